// Writes the benchmark's file set: the same bytes on every machine, made by
// an integer-only generator (no system files, no library random numbers).
//
//   make_bench_set DIR LIST [repeats|previous]
//
// DIR receives 111 MiB (116251407 bytes) in 1275 files, all in one folder
// since a payload holds bare names; LIST receives their paths in payload
// order, tw32.exe first and uninst.exe second. By share of the bytes:
//   50 % programs (.exe, .dll): 32-bit machine code made of common
//        instruction forms and recurring sequences of them, string and
//        pointer tables, relocations, a compressed resource and zero-filled
//        alignment;
//   18 % text (.txt, .xml, .ini, .js): prose, markup, settings and source
//        lines over a vocabulary of made-up words, used with a skew;
//   20 % already compressed (.png, .jpg, .cab, .zip): noise behind a header;
//   12 % data (.dat, .ttf): tables of small integers and of numbers whose
//        low bytes vary.
// zlib at level 9 makes whole files 54 % of their size on this set (programs
// 43 %, text 31 %, data 59 %).
// File sizes are spread over powers of two, small files the most common, as
// in an installed product. Each file's content depends only on its index.
//
// With "repeats", the same files come first, and after them files that
// repeat what came before, as real products do:
//   copies   every 20th program after tw32.exe and uninst.exe again under
//            a second name (one DLL shipped in two places): the same bytes;
//   signed   every 20th program, from the 10th on, again as a signed build:
//            a different checksum in the header and a signature appended,
//            the rest the same bytes;
//   reserved every 40th data table again as a preallocated store: its bytes,
//            then as many zero bytes again.
// The generator prints how many bytes each kind adds.
//
// With "previous", the same names hold a previous version of the set: every
// file of other bytes, every other one an eighth shorter and the rest an
// eighth longer, for timing a reinstallation that changes every file.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// splitmix64: a fixed formula of 64-bit integers, so the set is the same everywhere.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  // Skewed towards 0, as word and operand frequencies are: each power of
  // two below n is as likely as the next, roughly Zipf's law.
  std::uint32_t Skewed(std::uint32_t n) {
    std::uint32_t bits = 0;
    while ((2u << bits) <= n) ++bits;
    std::uint32_t shift = Below(bits + 1);
    return ((1u << shift) - 1 + Below(1u << shift)) % n;
  }
  // The least of three draws: most files are small, a few are large.
  std::uint32_t Small(std::uint32_t n) {
    std::uint32_t a = Below(n), b = Below(n), c = Below(n);
    return a < b ? (a < c ? a : c) : (b < c ? b : c);
  }
};

using Bytes = std::string;

void Put32(Bytes* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// Made-up words from syllables: a vocabulary that no dictionary favours.
std::vector<std::string> MakeWords(std::size_t count) {
  const char* syllables[] = {"ta", "re",  "mon", "di",  "se", "ka",  "lo",  "ver", "in", "pa",
                             "tu", "shi", "or",  "en",  "ba", "qui", "dal", "ne",  "fo", "gra",
                             "ti", "ul",  "me",  "sto", "ri", "ca",  "ze",  "wol", "an", "pe"};
  Random random{7};
  std::vector<std::string> words;
  for (std::size_t i = 0; i < count; ++i) {
    std::string word;
    for (std::uint32_t n = 1 + random.Below(3) + (i > 200 ? 1 : 0); n > 0; --n) {
      word += syllables[random.Below(30)];
    }
    words.push_back(word);
  }
  return words;
}

const std::vector<std::string>& Words() {
  static const std::vector<std::string> words = MakeWords(3000);
  return words;
}

// One 32-bit instruction of a common form, its operands drawn with a skew:
// moves through the frame and globals, calls to the module's functions and
// imports, compares and short jumps.
struct Module {
  std::uint32_t base;
  std::uint32_t globals[256];
  std::uint32_t functions[128];
};

void Instruction(Random& r, const Module& m, Bytes* out) {
  const char reg[] = {0, 6, 7, 1, 3, 2};
  char a = reg[r.Skewed(6)], b = reg[r.Skewed(6)];
  char disp = static_cast<char>(r.Below(2) ? 8 + 4 * r.Skewed(8) : -4 * (1 + r.Skewed(16)));
  switch (r.Skewed(12)) {
    case 0:  // mov r, [ebp+disp]
      *out += '\x8b', *out += static_cast<char>(0x45 | a << 3), *out += disp;
      break;
    case 1:  // mov [ebp+disp], r
      *out += '\x89', *out += static_cast<char>(0x45 | a << 3), *out += disp;
      break;
    case 2:  // call function
      *out += '\xe8';
      Put32(out,
            m.functions[r.Skewed(128)] - (m.base + static_cast<std::uint32_t>(out->size()) + 4));
      break;
    case 3:  // mov r, r / test r, r / xor r, r
      *out += "\x8b\x85\x33"[r.Below(3)], *out += static_cast<char>(0xc0 | a << 3 | b);
      break;
    case 4:  // short conditional jump
      *out += static_cast<char>(0x74 + r.Skewed(4)), *out += static_cast<char>(r.Skewed(64));
      break;
    case 5:  // mov r, [global]
      *out += '\x8b', *out += static_cast<char>(0x05 | a << 3);
      Put32(out, m.globals[r.Skewed(256)]);
      break;
    case 6:  // push imm8 / push r
      if (r.Below(2)) {
        *out += '\x6a', *out += static_cast<char>(r.Skewed(32));
      } else {
        *out += static_cast<char>(0x50 + a);
      }
      break;
    case 7:  // call [import]
      *out += "\xff\x15";
      Put32(out, m.base + 0x30000 + 4 * r.Skewed(96));
      break;
    case 8:  // cmp r, imm8
      *out += '\x83', *out += static_cast<char>(0xf8 | a), *out += static_cast<char>(r.Skewed(16));
      break;
    case 9:  // lea r, [ebp+disp]
      *out += '\x8d', *out += static_cast<char>(0x45 | a << 3), *out += disp;
      break;
    case 10:  // mov r, imm32
      *out += static_cast<char>(0xb8 + a);
      Put32(out, r.Below(2) ? m.globals[r.Skewed(256)] : r.Skewed(4096));
      break;
    default:  // add esp, n after a call
      *out += "\x83\xc4", *out += static_cast<char>(4 * (1 + r.Skewed(6)));
      break;
  }
}

// Functions: a prologue, a body that is mostly the module's recurring
// instruction sequences (a compiler's idioms) with single instructions
// between them, an epilogue, and padding to 16 bytes.
void Code(Random& r, std::size_t size, std::uint32_t base, Bytes* out) {
  const std::size_t end = out->size() + size;
  Module m{base, {}, {}};
  for (auto& g : m.globals) g = base + 0x20000 + r.Below(0x8000) * 4;
  for (auto& f : m.functions) f = base + 0x1000 + r.Below(static_cast<std::uint32_t>(size) + 1);
  std::vector<Bytes> idioms(2048);
  for (Bytes& idiom : idioms) {
    for (std::uint32_t n = 2 + r.Skewed(6); n > 0; --n) Instruction(r, m, &idiom);
  }
  while (out->size() < end) {
    *out += "\x55\x8b\xec";  // push ebp; mov ebp, esp
    if (r.Below(2)) {        // sub esp, n
      *out += "\x83\xec";
      *out += static_cast<char>(4 * (1 + r.Skewed(16)));
    }
    *out += "\x53\x56\x57" + r.Below(3);  // push ebx, esi, edi
    for (std::uint32_t n = 2 + r.Below(24); n > 0; --n) {
      if (r.Below(3) == 0) {
        *out += idioms[r.Skewed(2048)];
      } else {
        Instruction(r, m, out);
      }
    }
    *out += "\x5f\x5e\x5b\x8b\xe5\x5d\xc3";  // pop edi, esi, ebx; mov esp, ebp; pop ebp; ret
    while (out->size() % 16 != 0) *out += '\xcc';
  }
  out->resize(end);
}

void Noise(Random& r, std::size_t size, Bytes* out) {
  for (std::size_t i = 0; i < size; i += 8) {
    std::uint64_t value = r.Next();
    for (std::size_t k = 0; k < 8 && i + k < size; ++k)
      out->push_back(static_cast<char>(value >> (8 * k)));
  }
}

// Words in one of four shapes: prose, markup, settings or source lines.
void Text(Random& r, std::size_t size, int shape, Bytes* out) {
  const std::vector<std::string>& words = Words();
  const std::size_t end = out->size() + size;
  int depth = 0;
  while (out->size() < end) {
    const std::string& w = words[r.Skewed(3000)];
    switch (shape) {
      case 0:  // prose
        *out += w;
        *out += r.Below(12) == 0 ? ". " : r.Below(10) == 0 ? ", " : " ";
        if (r.Below(90) == 0) *out += "\r\n\r\n";
        break;
      case 1:  // markup
        *out += std::string(2 * depth, ' ') + "<" + w + " " + words[r.Skewed(60)] + "=\"" +
                std::to_string(r.Skewed(1000)) + "\">" + words[r.Skewed(3000)] + "</" + w + ">\r\n";
        depth = (depth + (r.Below(3) == 0 ? 1 : 0)) % 6;
        break;
      case 2:  // settings
        *out += words[r.Skewed(200)] + "." + w + "=" + std::to_string(r.Skewed(100000)) + "\r\n";
        if (r.Below(25) == 0) *out += "\r\n[" + words[r.Skewed(300)] + "]\r\n";
        break;
      default:  // source
        *out += std::string(2 * depth, ' ') + "var " + w + " = " + words[r.Skewed(400)] + "(" +
                words[r.Skewed(3000)] + ", " + std::to_string(r.Skewed(64)) + ");\n";
        if (r.Below(6) == 0) {
          *out += std::string(2 * depth, ' ') + (depth < 4 ? "if (" + w + ") {\n" : "}\n");
          depth += depth < 4 ? 1 : -1;
        }
        break;
    }
  }
  out->resize(end);
}

// Tables: records of small integers, or numbers whose low bytes vary.
void Data(Random& r, std::size_t size, Bytes* out) {
  const std::size_t end = out->size() + size;
  while (out->size() < end) {
    if (r.Below(2)) {
      for (int k = 0; k < 64; ++k) {
        *out += static_cast<char>(r.Skewed(24));
        *out += static_cast<char>(k % 8 == 0 ? r.Below(256) : 0);
      }
    } else {
      for (int k = 0; k < 32; ++k) {
        Put32(out, 0x3f800000u + (r.Skewed(64) << 17) + (r.Below(1u << 9) << 6));
      }
    }
  }
  out->resize(end);
}

// A program file: headers, code, read-only data with strings and pointers,
// relocations, a compressed resource and zero-filled alignment.
void Program(Random& r, std::size_t size, Bytes* out) {
  std::uint32_t base = 0x10000000u + 0x10000u * r.Below(256);
  *out += "MZ\x90";
  out->resize(1024, '\0');
  Code(r, size * 55 / 100, base, out);
  out->resize((out->size() + 4095) / 4096 * 4096, '\0');
  const std::size_t data = out->size() + size * 25 / 100;
  while (out->size() < data) {
    if (r.Below(3) == 0) {
      std::uint32_t at = base + 0x40000 + r.Below(0x1000) * 16;
      for (int k = r.Below(24); k >= 0; --k) Put32(out, at += 4 * (1 + r.Skewed(8)));
    } else {
      Text(r, 8 + r.Skewed(40), 0, out);
      *out += '\0';
    }
  }
  out->resize((out->size() + 4095) / 4096 * 4096, '\0');
  // Relocations: sorted offsets within pages, then a compressed resource.
  const std::size_t relocations = out->size() + (size > out->size() ? (size - out->size()) / 2 : 0);
  for (std::uint32_t page = 0; out->size() < relocations; page += 0x1000) {
    Put32(out, page);
    Put32(out, 8 + 2 * 64);
    for (std::uint32_t k = 0, at = 0; k < 64; ++k) {
      at += 4 + 4 * r.Skewed(16);
      out->push_back(static_cast<char>(at & 0xff));
      out->push_back(static_cast<char>(0x30 | ((at >> 8) & 0x0f)));
    }
  }
  Noise(r, size > out->size() ? (size - out->size()) / 2 : 0, out);
  out->resize(size, '\0');
}

struct Kind {
  const char* stem;
  const char* extensions[4];
  int minShift, maxShift;  // sizes from 2^minShift to 2^(maxShift+1)
  std::uint64_t bytes;     // this kind's share of the set
};

}  // namespace

int main(int argc, char** argv) {
  const bool repeats = argc == 4 && std::string(argv[3]) == "repeats";
  const bool previous = argc == 4 && std::string(argv[3]) == "previous";
  if (argc != 3 && !repeats && !previous) {
    std::fprintf(stderr, "usage: make_bench_set DIR LIST [repeats|previous]\n");
    return 2;
  }
  fs::path dir = fs::absolute(argv[1]);
  fs::create_directories(dir);
  const std::uint64_t MiB = 1 << 20;
  Kind kinds[] = {
      {"module", {".dll", ".exe", ".dll", ".dll"}, 14, 21, 52 * MiB},
      {"readme", {".txt", ".xml", ".ini", ".js"}, 13, 19, 20 * MiB},
      {"media", {".png", ".jpg", ".cab", ".zip"}, 12, 21, 22 * MiB},
      {"table", {".dat", ".ttf", ".dat", ".dat"}, 12, 20, 12 * MiB},
  };
  // Sizes are drawn for every kind first, then the files are interleaved
  // by a fixed rule, so the payload order mixes the kinds.
  struct File {
    std::string name;
    int kind;
    int shape;
    std::uint64_t size;
  };
  std::vector<File> files = {{"tw32.exe", 0, 0, 3 * MiB}, {"uninst.exe", 0, 0, 60000}};
  std::vector<std::vector<File>> byKind(4);
  Random sizes{2024};
  for (int k = 0; k < 4; ++k) {
    for (std::uint64_t total = 0; total < kinds[k].bytes;) {
      int shift = kinds[k].minShift +
                  static_cast<int>(sizes.Small(kinds[k].maxShift - kinds[k].minShift + 1));
      std::uint64_t size = (1ull << shift) + sizes.Below(1u << shift);
      int shape = static_cast<int>(sizes.Below(4));
      char name[32];
      std::snprintf(name, sizeof name, "%s%04zu%s", kinds[k].stem, byKind[k].size(),
                    kinds[k].extensions[shape]);
      byKind[k].push_back({name, k, shape, size});
      total += size;
    }
  }
  for (std::size_t i = 0, more = 1; more != 0; ++i) {
    more = 0;
    for (int k = 0; k < 4; ++k) {
      if (i < byKind[k].size()) files.push_back(byKind[k][i]), ++more;
    }
  }
  for (std::size_t i = 0; previous && i < files.size(); ++i) {
    files[i].size += i % 2 == 0 ? -(files[i].size / 8) : files[i].size / 8;
  }

  const std::size_t base = files.size();
  if (repeats) {
    for (std::size_t i = 2, programs = 0, tables = 0; i < base; ++i) {
      const File& f = files[i];
      if (f.kind == 0 && programs % 20 == 0) files.push_back({"copy-" + f.name, 4, 0, f.size});
      if (f.kind == 0 && programs++ % 20 == 10) {
        files.push_back({"signed-" + f.name, 5, 0, f.size + 4096 + f.size % 8192});
      }
      if (f.kind == 3 && tables++ % 40 == 0) files.push_back({"store-" + f.name, 6, 0, 2 * f.size});
    }
  }
  std::map<std::string, std::size_t> index;  // a repeated file's original
  for (std::size_t i = 0; i < base; ++i) index[files[i].name] = i;

  std::ofstream list(argv[2]);
  std::uint64_t total = 0, kindBytes[7] = {}, kindFiles[7] = {},
                fingerprint = 0xCBF29CE484222325ull;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const File& f = files[i];
    Random r{(previous ? 0x9E7100000ull : 0x5EED0000ull) + i};
    // A repeat starts from its original's bytes, made again from its index.
    const std::size_t from = f.kind >= 4 ? index[f.name.substr(f.name.find('-') + 1)] : i;
    const File& made = files[from];
    if (from != i) r = Random{0x5EED0000ull + from};
    Bytes bytes;
    bytes.reserve(f.size + 64);
    switch (made.kind) {
      case 0:
        Program(r, made.size, &bytes);
        break;
      case 1:
        Text(r, made.size, made.shape, &bytes);
        break;
      case 2:
        bytes += made.shape == 0   ? "\x89PNG\r\n\x1a\n"
                 : made.shape == 1 ? "\xff\xd8\xff\xe0"
                 : made.shape == 2 ? "MSCF"
                                   : "PK\x03\x04";
        Noise(r, made.size - bytes.size(), &bytes);
        break;
      default:
        Data(r, made.size, &bytes);
        break;
    }
    bytes.resize(made.size);
    if (f.kind == 5) {  // signed: another header checksum, a signature after the end
      std::uint64_t checksum = r.Next();
      for (int k = 0; k < 4; ++k) bytes[0xd8 + k] = static_cast<char>(checksum >> (8 * k));
      Noise(r, f.size - made.size, &bytes);
    }
    bytes.resize(f.size, '\0');
    std::ofstream(dir / f.name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    list << (dir / f.name).string() << "\n";
    total += f.size;
    kindBytes[f.kind] += f.size;
    ++kindFiles[f.kind];
    const std::string* parts[] = {&f.name, &bytes};
    for (const std::string* part : parts) {
      for (char c : *part)
        fingerprint = (fingerprint ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
  }
  // Names and contents in order, FNV-1a: equal on every machine.
  std::printf("  set: %zu files, %llu bytes (%.1f MiB) in %s, fingerprint %016llx\n", files.size(),
              static_cast<unsigned long long>(total), total / double(MiB), dir.c_str(),
              static_cast<unsigned long long>(fingerprint));
  const char* names[] = {"programs", "text", "compressed", "data", "copies", "signed", "reserved"};
  for (int k = 0; k < (repeats ? 7 : 4); ++k) {
    std::printf("    %-10s %4llu files %6.1f MiB\n", names[k],
                static_cast<unsigned long long>(kindFiles[k]), kindBytes[k] / double(MiB));
  }
  return 0;
}
