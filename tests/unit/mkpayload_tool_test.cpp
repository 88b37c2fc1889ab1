// mkpayload run as the build runs it: outputs, determinism and the names source.
#include "mkpayload.h"
#include "mkpayload_test_support.h"
#include "payload/content_hash.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <map>
#include <random>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using namespace mkpayload_test;

namespace {

const std::string kOutputs = "--blob out.bin --asm out.S --table out.cpp ";

struct ParsedFile {
  std::string name;  // the literal as written, or kMainExeName
  int chunkCount;
  std::vector<mkpayload::ChunkRef> chunks;
  std::size_t size;
  unsigned int hash;
};

// Reads the table back out of the generated C++ source.
std::vector<ParsedFile> ParseTable(const std::string& source) {
  std::map<std::string, std::vector<mkpayload::ChunkRef>> arrays;
  std::regex arrayRe(R"(static const PayloadChunk (kFile\d+Chunks)\[\] = \{([^;]*)\};)");
  std::regex chunkRe(R"(\{kPayloadBlob \+ (\d+), (\d+)\})");
  for (std::sregex_iterator it(source.begin(), source.end(), arrayRe), end; it != end; ++it) {
    std::string body = (*it)[2];
    auto& refs = arrays[(*it)[1]];
    for (std::sregex_iterator c(body.begin(), body.end(), chunkRe); c != end; ++c) {
      refs.push_back({std::stoul((*c)[1]), std::stoul((*c)[2]), 0});
    }
  }
  std::vector<ParsedFile> files;
  std::smatch block;
  std::regex filesRe(R"(kPayloadFiles\[\] = \{([^;]*)\};)");
  if (!std::regex_search(source, block, filesRe)) return files;
  std::string body = block[1];
  std::regex fileRe(
      R"(\{(kMainExeName|"[^"]*"), (\d+), (kFile\d+Chunks|nullptr), (\d+)u, (\d+)u\})");
  for (std::sregex_iterator it(body.begin(), body.end(), fileRe), end; it != end; ++it) {
    files.push_back({(*it)[1], std::stoi((*it)[2]), arrays[(*it)[3]], std::stoul((*it)[4]),
                     static_cast<unsigned int>(std::stoul((*it)[5]))});
  }
  return files;
}

TEST(MkpayloadTool, RoundTripsEveryFileThroughTheTable) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  struct Case {
    const char* name;
    std::size_t size;
    std::vector<std::size_t> pieces;
  };
  const Case cases[] = {
      {"tw32.exe", 78848, {30000, 30000, 18848}},
      {"uninst.exe", 38912, {30000, 8912}},
      {"empty.dat", 0, {}},
      {"exact.bin", 30000, {30000}},
      {"over.bin", 30001, {30000, 1}},
  };
  std::string line = "--main-exe tw32.exe " + kOutputs;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WriteFile(dir / ("in" + std::to_string(i)), MakeData(cases[i].size, unsigned(i)));
    line += std::string(" ") + cases[i].name + "=in" + std::to_string(i);
  }
  // A symbolic link to a regular file is packed as that file.
  fs::rename(dir / "in4", dir / "target4");
  fs::create_symlink("target4", dir / "in4");
  RunResult run = RunTool(dir, line);
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::string blob = ReadFile(dir / "out.bin");
  std::string table = ReadFile(dir / "out.cpp");
  std::vector<ParsedFile> files = ParseTable(table);
  ASSERT_EQ(files.size(), std::size(cases)) << table;
  EXPECT_NE(table.find("kPayloadTable = {5, kPayloadFiles, &kPayloadChecksum};"), std::string::npos)
      << table;
  std::size_t end = 0;  // chunks lie back to back in table order
  for (std::size_t f = 0; f < files.size(); ++f) {
    const Case& c = cases[f];
    EXPECT_EQ(files[f].name, f == 0 ? "kMainExeName" : "\"" + std::string(c.name) + "\"");
    std::string listed = "\"" + std::string(c.name) + "\" " + std::to_string(c.size) + " bytes";
    EXPECT_NE(table.find(listed), std::string::npos) << "no " << listed << " in\n" << table;
    ASSERT_EQ(files[f].chunks.size(), c.pieces.size()) << c.name;
    EXPECT_EQ(files[f].chunkCount, int(c.pieces.size())) << c.name;
    EXPECT_EQ(files[f].size, c.size) << c.name;
    std::string rebuilt;
    unsigned int hash = kContentHashStart;
    for (std::size_t k = 0; k < c.pieces.size(); ++k) {
      const mkpayload::ChunkRef& ref = files[f].chunks[k];
      EXPECT_EQ(ref.offset, end) << c.name << " chunk " << k;
      end = ref.offset + ref.length;
      ASSERT_LE(end, blob.size()) << c.name << " chunk " << k;
      const auto* data = reinterpret_cast<const Bytef*>(blob.data() + ref.offset);
      EXPECT_EQ(data[0] * 256 + data[1], 0x789C) << c.name << " chunk " << k << " header";
      std::string out(mkpayload::kExtractBufferSize, '\0');
      uLongf length = out.size();
      ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, data, ref.length), Z_OK)
          << c.name << " chunk " << k;
      EXPECT_EQ(length, c.pieces[k]) << c.name << " chunk " << k;
      rebuilt += out.substr(0, length);
      hash = FoldPieceHash(hash,
                           HashPiece(reinterpret_cast<const unsigned char*>(out.data()), length));
      // The length covers the stream exactly: one byte less loses the trailer.
      length = out.size();
      EXPECT_NE(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, data, ref.length - 1),
                Z_OK)
          << c.name << " chunk " << k << " decompressed without its last byte";
    }
    EXPECT_EQ(files[f].hash, hash) << c.name;
    EXPECT_TRUE(rebuilt == MakeData(c.size, unsigned(f)))
        << c.name << " rebuilt " << rebuilt.size() << " bytes of " << c.size;
  }
  EXPECT_EQ(end, blob.size()) << "bytes after the last chunk";

  // --level zlib and --level zopfli reach their compressors: the default
  // level makes a smaller blob than zlib, zopfli a smaller one still.
  RunResult zlib = RunTool(dir, "--level zlib " + line);
  ASSERT_EQ(zlib.exitCode, 0) << zlib.err;
  std::size_t zlibSize = ReadFile(dir / "out.bin").size();
  RunResult zopfli = RunTool(dir, "--level zopfli " + line);
  ASSERT_EQ(zopfli.exitCode, 0) << zopfli.err;
  std::size_t zopfliSize = ReadFile(dir / "out.bin").size();
  EXPECT_TRUE(zopfliSize < blob.size() && blob.size() < zlibSize)
      << "zopfli's blob " << zopfliSize << " bytes, the default " << blob.size() << ", zlib's "
      << zlibSize;
}

// Each row: a file, read through a folder named "r=1", and how many of its
// pieces must share an earlier piece's chunk. Every --jobs writes the same.
TEST(MkpayloadTool, StoresEachDistinctPieceOnceWhateverTheJobCount) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  const std::size_t piece = mkpayload::kPieceSize;
  const std::string a = MakeData(piece, 1), b = MakeData(piece, 2), zeros(piece, '\0');
  const std::pair<std::string, std::size_t> rows[] = {
      {a + b + "tail", 0},
      {MakeData(24 * piece, 3), 0},  // more than the ring: later repeats are read back
      {a + b + "tail", 3},
      {b + a, 2},
      {zeros + zeros + zeros + "z", 2},
      {"", 0},
  };
  std::string line = "--main-exe tw32.exe " + kOutputs + "--names names.cpp";
  fs::create_directories(dir / "r=1");
  for (std::size_t f = 0; f < std::size(rows); ++f) {
    fs::path path = dir / "r=1" / ("f" + std::to_string(f));
    WriteFile(path, rows[f].first);
    line += std::string(f == 0 ? " tw32.exe=" : f == 1 ? " uninst.exe=" : " ") + path.string();
  }
  std::string first;
  for (const char* jobs : {"1", "2", "3"}) {
    RunResult run = RunTool(dir, line + " --jobs " + jobs);
    ASSERT_EQ(run.exitCode, 0) << "--jobs " << jobs << ": " << run.err;
    EXPECT_NE(run.out.find("6 files, 36 pieces; 7 of them repeat"), std::string::npos) << run.out;
    std::string blob = ReadFile(dir / "out.bin"), table = ReadFile(dir / "out.cpp");
    std::vector<ParsedFile> files = ParseTable(table);
    ASSERT_EQ(files.size(), std::size(rows)) << table;
    std::map<std::uint64_t, std::size_t> chunks;  // each chunk once: offset, length
    for (std::size_t f = 0; f < files.size(); ++f) {
      std::string rebuilt;
      std::size_t shared = 0;
      for (const mkpayload::ChunkRef& ref : files[f].chunks) {
        shared += chunks.count(ref.offset);
        chunks[ref.offset] = ref.length;
        std::string out(mkpayload::kExtractBufferSize, '\0');
        uLongf length = out.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                             reinterpret_cast<const Bytef*>(blob.data() + ref.offset), ref.length),
                  Z_OK)
            << "file " << f;
        rebuilt += out.substr(0, length);
      }
      EXPECT_TRUE(rebuilt == rows[f].first)
          << "file " << f << " --jobs " << jobs << ": rebuilt " << rebuilt.size() << " bytes";
      EXPECT_EQ(shared, rows[f].second) << "file " << f << " --jobs " << jobs;
    }
    std::size_t stored = 0;  // the distinct chunks fill the blob: nothing is stored twice
    for (const auto& chunk : chunks) stored += chunk.second;
    EXPECT_EQ(stored, blob.size()) << "--jobs " << jobs;
    std::string outputs =
        blob + "|" + ReadFile(dir / "out.S") + "|" + table + "|" + ReadFile(dir / "names.cpp");
    if (first.empty()) first = outputs;
    EXPECT_TRUE(outputs == first) << "--jobs " << jobs << " wrote " << outputs.size()
                                  << " bytes, --jobs 1 " << first.size();
  }
}

// The assembler source must assemble and carry the blob, even from a path
// with quotes, backslashes and spaces.
TEST(MkpayloadTool, AsmSourceEmbedsTheBlobByAbsolutePath) {
  Scratch scratch;
  fs::path dir = scratch.dir / "odd \"dir\\ name";
  fs::create_directories(dir);
  WriteFile(dir / "tw32.exe", MakeData(40000, 1));
  WriteFile(dir / "uninst.exe", MakeData(100, 2));
  RunResult run = RunTool(dir, "--main-exe tw32.exe " + kOutputs + "tw32.exe uninst.exe");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string incbin = ".incbin \"" + mkpayload::EscapeCString(dir / "out.bin") + "\"";
  std::string asmText = ReadFile(dir / "out.S");
  EXPECT_NE(asmText.find(incbin), std::string::npos) << "no " << incbin << " in:\n" << asmText;

  RunResult cc = RunIn(dir, {MKPAYLOAD_TEST_CXX, "-c", "out.S", "-o", "out.o"});
  ASSERT_EQ(cc.exitCode, 0) << cc.err;
  std::string object = ReadFile(dir / "out.o");
  EXPECT_NE(object.find(ReadFile(dir / "out.bin")), std::string::npos)
      << "the object of " << object.size() << " bytes lacks the blob";
  RunResult nm = RunIn(dir, {"nm", "out.o"});
  EXPECT_NE(nm.out.find(" R kPayloadBlob"), std::string::npos) << nm.out << nm.err;
}

// Compiles generated tables and name lists with a small main that prints
// their content.
TEST(MkpayloadTool, EmittedTablesCompileWithoutWarnings) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  const std::pair<std::vector<mkpayload::FileLayout>, const char*> cases[] = {
      {{}, "0|0|"},
      {{{"main.exe", 0, {}, 0},
        {"q\"b\\s?\?/n\nx\xe9", 0, {}, 0},
        {"two.bin", 2, {{0, 3, 0}, {3, 5, 0}}, 0}},
       "3|main.exe:0|q\"b\\s\?\?/n\nx\xe9:0|two.bin:2:1,3:4,5|"
       "3|main.exe|q\"b\\s\?\?/n\nx\xe9|two.bin|"},
  };
  WriteFile(dir / "main.cpp", R"(#include "payload/payload.h"
#include "config/setup_config.h"
#include <cstdio>
extern "C" const unsigned char kPayloadBlob[] = {1, 2, 3, 4, 5, 6, 7, 8};
extern const char kMainExeName[] = "main.exe";
extern const PayloadNames kPayloadNames;
int main() {
  std::printf("%d|", kPayloadTable.fileCount);
  for (int f = 0; f < kPayloadTable.fileCount; ++f) {
    const PayloadFile& file = kPayloadTable.files[f];
    std::printf("%s:%d", file.name, file.chunkCount);
    for (int c = 0; c < file.chunkCount; ++c)
      std::printf(":%d,%u", file.chunks[c].data[0], file.chunks[c].compressedLength);
    std::printf("|");
  }
  std::printf("%d|", kPayloadNames.fileCount);
  for (int f = 0; f < kPayloadNames.fileCount; ++f) std::printf("%s|", kPayloadNames.names[f]);
  return (kPayloadTable.fileCount == 0 && kPayloadTable.files != nullptr) ||
         (kPayloadNames.fileCount == 0 && kPayloadNames.names != nullptr);
})");
  for (const auto& [layout, expected] : cases) {
    std::vector<mkpayload::Input> inputs;
    for (const mkpayload::FileLayout& file : layout) inputs.push_back({"", file.name, ""});
    std::string table = mkpayload::TableSource(layout);
    std::string names = mkpayload::NamesSource(inputs);
    WriteFile(dir / "table.cpp", table);
    WriteFile(dir / "names.cpp", names);
    RunResult cc = RunIn(
        dir, Args(MKPAYLOAD_TEST_CXX " -std=c++17 -Wall -Wextra -Werror "
                                     "-I" MKPAYLOAD_TEST_ROOT " -I" MKPAYLOAD_TEST_ROOT
                                     "/posix/include table.cpp names.cpp main.cpp -o table_check"));
    ASSERT_EQ(cc.exitCode, 0) << cc.err << "\n" << table << names;
    RunResult check = RunIn(dir, {"./table_check"});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out, expected) << "printed " << check.out;
  }
}

TEST(MkpayloadTool, HelpExitsZero) {
  RunResult run = RunTool(Scratch().dir, "--help");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Usage: mkpayload --main-exe NAME"), std::string::npos) << run.out;
}

// --names alone looks at no input file: the files need not exist yet, and a
// directory among them is not opened. With the packing outputs it writes the
// same source.
TEST(MkpayloadTool, NamesSourceNeedsNoInputFile) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  fs::create_directories(dir / "adir");
  const std::string inputs = "tw32.exe=not/built/yet.exe uninst.exe=adir odd'name~.txt=gone.txt";
  RunResult alone = RunTool(dir, "--main-exe tw32.exe --names alone.cpp " + inputs);
  ASSERT_EQ(alone.exitCode, 0) << alone.err;
  EXPECT_EQ(ReadFile(dir / "alone.cpp"), R"(// Generated by mkpayload; do not edit.
#include "payload/payload.h"
#include "config/setup_config.h"

static const char* const kPayloadNameList[] = {
    kMainExeName,
    "uninst.exe",
    "odd'name~.txt",
};

extern const PayloadNames kPayloadNames = {3, kPayloadNameList};
)");
  std::set<fs::path> expected = {dir / "adir", dir / "alone.cpp"};
  EXPECT_TRUE(Listing(dir) == expected) << Listing(dir).size() << " entries in " << dir;

  WriteFile(dir / "tw32.exe", MakeData(70000, 5));
  WriteFile(dir / "uninst.exe", MakeData(300, 6));
  RunResult both =
      RunTool(dir, "--main-exe tw32.exe " + kOutputs + "--names both.cpp tw32.exe uninst.exe");
  ASSERT_EQ(both.exitCode, 0) << both.err;
  alone = RunTool(dir, "--main-exe tw32.exe --names alone.cpp tw32.exe uninst.exe");
  ASSERT_EQ(alone.exitCode, 0) << alone.err;
  std::string names = ReadFile(dir / "both.cpp");
  EXPECT_NE(names.find("{2, kPayloadNameList}"), std::string::npos) << names;
  EXPECT_EQ(names, ReadFile(dir / "alone.cpp"));
}

// A run ended by a signal while it writes the blob removes its temporary files.
TEST(MkpayloadTool, SignalLeavesNoTemporaryFile) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  // Noise compresses slowly, so the run is still going when the signal comes.
  std::string noise(48 << 20, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  WriteFile(dir / "tw32.exe", noise);
  WriteFile(dir / "uninst.exe", "x");
  const std::set<fs::path> before = Listing(dir);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    pid_t child = fork();
    if (child == 0) {
      std::signal(signal, SIG_DFL);
      if (chdir(dir.c_str()) == 0) {
        execl(MKPAYLOAD_PATH, MKPAYLOAD_PATH, "--jobs", "1", "--main-exe", "tw32.exe", "--blob",
              "out.bin", "--asm", "out.S", "--table", "out.cpp", "tw32.exe", "uninst.exe", nullptr);
      }
      _exit(127);
    }
    ASSERT_GT(child, 0);
    // Wait, with a deadline, until the blob's temporary file holds a chunk.
    fs::path temp;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while (fs::file_size(temp, ec) == 0 || ec) {
      if (std::chrono::steady_clock::now() > deadline || waitpid(child, nullptr, WNOHANG) != 0) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      for (const fs::path& path : Listing(dir)) {
        if (path.filename().string().rfind("out.bin.tmp", 0) == 0) temp = path;
      }
    }
    std::uintmax_t written = fs::file_size(temp, ec);
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_GT(written, 0u) << "signal " << signal << ": no chunk was written before it";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
        << "signal " << signal << ": wait status " << status;
    std::set<fs::path> after = Listing(dir);
    EXPECT_TRUE(after == before) << "signal " << signal << ": " << after.size()
                                 << " entries left, expected " << before.size();
  }
}

}  // namespace
