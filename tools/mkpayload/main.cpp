// Command line of mkpayload: options, then the packing steps in order.
#include "mkpayload.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <new>
#include <thread>

namespace {

const char kUsage[] =
    "Usage: mkpayload --main-exe NAME --blob OUT.bin --asm OUT.S --table OUT.cpp\n"
    "                 [--names OUT.cpp] [--level L] [--jobs N] INPUT...\n"
    "       mkpayload --main-exe NAME --names OUT.cpp INPUT...\n"
    "       mkpayload --help\n"
    "\n"
    "Packs the INPUT files, in the order given, into the payload of the setup\n"
    "program. Each INPUT is PATH (installed under the last component of PATH)\n"
    "or NAME=PATH (installed as NAME); an INPUT with '/' before its first '='\n"
    "is a PATH. The first file must be the one named by --main-exe, and one\n"
    "file must be named \"uninst.exe\". Names must be printable ASCII and\n"
    "valid bare Windows file names, not device names nor the setup's own\n"
    "folders \"~setup.tmp\" to \"~setup3.tmp\". Only regular files are packed,\n"
    "1 GiB (1073741824 bytes) in all at most.\n"
    "Each file is cut into 30000-byte pieces, each compressed by itself; a\n"
    "piece that repeats an earlier one byte for byte is stored once, and a\n"
    "line on standard output tells how many did.\n"
    "\n"
    "  --main-exe NAME  file name of the product's main executable\n"
    "  --blob OUT.bin   where to write the compressed chunks\n"
    "  --asm OUT.S      where to write the assembler source embedding OUT.bin\n"
    "  --table OUT.cpp  where to write the C++ source of the payload table\n"
    "  --names OUT.cpp  where to write the C++ source of the payload's names\n"
    "                   alone (kPayloadNames, for the uninstaller); without\n"
    "                   --blob, --asm and --table no input file is opened, so\n"
    "                   the files need not exist yet\n"
    "  --level L        compress with libdeflate at level L, 1 to 12 (default 12),\n"
    "                   with zlib's default level if L is \"zlib\", or with\n"
    "                   zopfli if L is \"zopfli\" (the smallest chunks, at some\n"
    "                   50 times the time); every chunk is a zlib stream\n"
    "  --jobs N         compress on N threads (default: one per core); the\n"
    "                   outputs do not depend on N\n"
    "  --help           show this text\n"
    "\n"
    "Outputs are written under temporary names and renamed into place when all\n"
    "are complete; on any error mkpayload exits with status 1 and leaves the\n"
    "previous outputs as they were. Command-line mistakes exit with status 2.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "mkpayload: error: %s\n", message.c_str());
  return 1;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "mkpayload: error: %s\nTry 'mkpayload --help'.\n", message.c_str());
  return 2;
}

bool ParseJobs(const std::string& text, unsigned* jobs) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  unsigned long value = std::stoul(text);
  if (value < 1 || value > 1024) return false;
  *jobs = static_cast<unsigned>(value);
  return true;
}

bool ParseLevel(const std::string& text, int* level) {
  if (text == "zlib" || text == "zopfli") {
    *level = text == "zlib" ? mkpayload::kZlibLevel : mkpayload::kZopfliLevel;
    return true;
  }
  if (text.empty() || text.size() > 2 || text[0] == '0') return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *level = std::stoi(text);
  return *level <= mkpayload::kMaxLevel;
}

int Run(int argc, char** argv) {
  std::map<std::string, std::string> options = {{"--main-exe", ""}, {"--blob", ""},  {"--asm", ""},
                                                {"--table", ""},    {"--names", ""}, {"--jobs", ""},
                                                {"--level", ""}};
  std::map<std::string, bool> given;
  std::vector<mkpayload::Input> inputs;
  bool onlyInputs = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyInputs || arg.empty() || arg[0] != '-') {
      inputs.push_back(mkpayload::ParseInput(arg));
    } else if (arg == "--") {
      onlyInputs = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (options.count(arg) == 0) {
      return UsageError("unknown option \"" + arg + "\"");
    } else if (given[arg]) {
      return UsageError("option " + arg + " is given twice");
    } else if (i + 1 >= argc) {
      return UsageError("option " + arg + " needs a value");
    } else {
      given[arg] = true;
      options[arg] = argv[++i];
    }
  }
  if (options["--main-exe"].empty()) return UsageError("missing option --main-exe");
  // --names may stand alone; the three packing outputs come together.
  bool pack = !options["--blob"].empty() || !options["--asm"].empty() ||
              !options["--table"].empty() || options["--names"].empty();
  for (const char* required : {"--blob", "--asm", "--table"}) {
    if (pack && options[required].empty()) {
      return UsageError(std::string("missing option ") + required);
    }
  }
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  if (given["--jobs"] && !ParseJobs(options["--jobs"], &jobs)) {
    return UsageError("bad --jobs value \"" + options["--jobs"] +
                      "\"; expected a whole number from 1 to 1024");
  }

  int level = mkpayload::kDefaultLevel;
  if (given["--level"] && !ParseLevel(options["--level"], &level)) {
    return UsageError("bad --level value \"" + options["--level"] +
                      "\"; expected a whole number from 1 to 12, zlib or zopfli");
  }

  // Every check that can refuse the run comes before the first output is
  // created, so a refused run leaves the previous outputs untouched.
  mkpayload::OutputNames outputs;
  for (const char* option : {"--blob", "--asm", "--table", "--names"}) {
    if (!options[option].empty()) outputs.push_back({option, options[option]});
  }
  std::string error;
  if (!mkpayload::CheckOutputPaths(outputs, inputs, &error)) return Fail(error);
  if (!mkpayload::CheckInputs(inputs, options["--main-exe"], &error)) return Fail(error);
  if (pack && !mkpayload::CheckInputFiles(inputs, &error)) return Fail(error);

  mkpayload::RemoveTemporariesOnSignal();
  mkpayload::OutputSet files;
  mkpayload::PackStats stats;
  if (pack) {
    std::error_code ec;
    std::string blobPath = std::filesystem::absolute(options["--blob"], ec).lexically_normal();
    if (ec) return Fail("cannot make \"" + options["--blob"] + "\" absolute: " + ec.message());
    int blob = files.Create(options["--blob"], &error);
    if (blob < 0) return Fail(error);
    std::vector<mkpayload::FileLayout> layout;
    mkpayload::BlobAccess access;
    access.write = [&files, blob](const unsigned char* data, std::size_t size, std::string* why) {
      return files.Write(blob, data, size, why);
    };
    access.read = [&files, blob](std::uint64_t offset, unsigned char* data, std::size_t size,
                                 std::string* why) {
      return files.Read(blob, offset, data, size, why);
    };
    if (!mkpayload::PackInputs(inputs, jobs, level, access, &layout, &stats, &error)) {
      return Fail(error);
    }

    const std::pair<const char*, std::string> sources[] = {
        {"--asm", mkpayload::AsmSource(blobPath)},
        {"--table", mkpayload::TableSource(layout)},
    };
    for (const auto& [option, text] : sources) {
      int index = files.Create(options[option], &error);
      if (index < 0 || !files.Write(index, text.data(), text.size(), &error)) return Fail(error);
    }
  }
  if (!options["--names"].empty()) {
    std::string text = mkpayload::NamesSource(inputs);
    int index = files.Create(options["--names"], &error);
    if (index < 0 || !files.Write(index, text.data(), text.size(), &error)) return Fail(error);
  }
  if (!files.Commit(&error)) return Fail(error);
  if (pack) {
    std::printf(
        "mkpayload: %zu files, %ju pieces; %ju of them repeat an earlier piece and share "
        "its chunk: %ju bytes of input, %ju compressed bytes stored once\n",
        inputs.size(), static_cast<std::uintmax_t>(stats.pieces),
        static_cast<std::uintmax_t>(stats.sharedPieces),
        static_cast<std::uintmax_t>(stats.sharedInputBytes),
        static_cast<std::uintmax_t>(stats.sharedChunkBytes));
  }
  return 0;
}

}  // namespace

// Every failure, an exception included, ends in one line on standard error
// and exit status 1; the outputs' temporary files are removed on the way out.
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  } catch (const std::exception& e) {
    return Fail(e.what());
  } catch (...) {
    return Fail("unexpected failure");
  }
}
