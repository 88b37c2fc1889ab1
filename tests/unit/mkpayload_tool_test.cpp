// mkpayload run as the build runs it: outputs, determinism and refusals.
#include "mkpayload.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A scratch directory per test, emptied first and removed unless the test failed.
struct Scratch {
  fs::path dir;
  Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::path(::testing::TempDir()) / ("mkpayload_" + std::string(info->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Scratch() {
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
  }
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Deterministic content of mixed compressibility: words and runs of noise.
std::string MakeData(std::size_t size, unsigned seed) {
  std::string out;
  unsigned state = seed * 2654435761u + 1;
  const char* words[] = {"payload ", "chunk ", "setup ", "window ", "table ", "\r\n"};
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    if ((state >> 16) % 4 != 0) {
      out += words[(state >> 20) % 6];
      continue;
    }
    for (int i = 0; i < 64; ++i)
      out += static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  }
  out.resize(size);
  return out;
}

std::set<fs::path> Listing(const fs::path& dir) {
  return {fs::directory_iterator(dir), fs::directory_iterator()};
}

// Splits a command line at spaces.
std::vector<std::string> Args(const std::string& line) {
  std::istringstream words(line);
  return {std::istream_iterator<std::string>(words), {}};
}

struct RunResult {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs a command in dir with its standard output and error captured.
RunResult RunIn(const fs::path& dir, const std::vector<std::string>& command) {
  auto quote = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  fs::path capture = fs::path(::testing::TempDir()) / ("mkpayload_run_" + std::to_string(getpid()));
  std::string line = "cd " + quote(dir.string()) + " &&";
  for (const std::string& arg : command) line += " " + quote(arg);
  line += " >" + quote(capture.string() + ".out") + " 2>" + quote(capture.string() + ".err");
  int status = std::system(line.c_str());
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                   ReadFile(capture.string() + ".out"), ReadFile(capture.string() + ".err")};
  fs::remove(capture.string() + ".out");
  fs::remove(capture.string() + ".err");
  return result;
}

RunResult RunTool(const fs::path& dir, const std::string& line) {
  std::vector<std::string> args = Args(line);
  args.insert(args.begin(), MKPAYLOAD_PATH);
  return RunIn(dir, args);
}

const std::string kOutputs = "--blob out.bin --asm out.S --table out.cpp ";

struct ParsedFile {
  std::string name;  // the literal as written, or kMainExeName
  int chunkCount;
  std::vector<mkpayload::ChunkRef> chunks;
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
      refs.push_back({std::stoul((*c)[1]), std::stoul((*c)[2])});
    }
  }
  std::vector<ParsedFile> files;
  std::smatch block;
  std::regex filesRe(R"(kPayloadFiles\[\] = \{([^;]*)\};)");
  if (!std::regex_search(source, block, filesRe)) return files;
  std::string body = block[1];
  std::regex fileRe(R"(\{(kMainExeName|"[^"]*"), (\d+), (kFile\d+Chunks|nullptr)\})");
  for (std::sregex_iterator it(body.begin(), body.end(), fileRe), end; it != end; ++it) {
    files.push_back({(*it)[1], std::stoi((*it)[2]), arrays[(*it)[3]]});
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
  RunResult run = RunTool(dir, line);
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::string blob = ReadFile(dir / "out.bin");
  std::string table = ReadFile(dir / "out.cpp");
  std::vector<ParsedFile> files = ParseTable(table);
  ASSERT_EQ(files.size(), std::size(cases)) << table;
  EXPECT_NE(table.find("kPayloadTable = {5, kPayloadFiles};"), std::string::npos) << table;
  std::size_t end = 0;  // chunks lie back to back in table order
  for (std::size_t f = 0; f < files.size(); ++f) {
    const Case& c = cases[f];
    EXPECT_EQ(files[f].name, f == 0 ? "kMainExeName" : "\"" + std::string(c.name) + "\"");
    std::string listed = "\"" + std::string(c.name) + "\" " + std::to_string(c.size) + " bytes";
    EXPECT_NE(table.find(listed), std::string::npos) << "no " << listed << " in\n" << table;
    ASSERT_EQ(files[f].chunks.size(), c.pieces.size()) << c.name;
    EXPECT_EQ(files[f].chunkCount, int(c.pieces.size())) << c.name;
    std::string rebuilt;
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
      // The length covers the stream exactly: one byte less loses the trailer.
      length = out.size();
      EXPECT_NE(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, data, ref.length - 1),
                Z_OK)
          << c.name << " chunk " << k << " decompressed without its last byte";
    }
    EXPECT_TRUE(rebuilt == MakeData(c.size, unsigned(f)))
        << c.name << " rebuilt " << rebuilt.size() << " bytes of " << c.size;
  }
  EXPECT_EQ(end, blob.size()) << "bytes after the last chunk";
}

TEST(MkpayloadTool, IsDeterministicWhateverTheJobCount) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  WriteFile(dir / "tw32.exe", MakeData(650000, 7));
  WriteFile(dir / "uninst.exe", MakeData(90001, 8));
  WriteFile(dir / "data.bin", MakeData(123456, 9));
  std::string first;
  for (const char* jobs : {"1", "1", "2", "4"}) {
    RunResult run = RunTool(dir, "--main-exe tw32.exe " + kOutputs + "--jobs " + jobs +
                                     " tw32.exe data.bin uninst.exe");
    ASSERT_EQ(run.exitCode, 0) << "--jobs " << jobs << ": " << run.err;
    std::string outputs =
        ReadFile(dir / "out.bin") + "|" + ReadFile(dir / "out.S") + "|" + ReadFile(dir / "out.cpp");
    if (first.empty()) first = outputs;
    EXPECT_GT(outputs.size(), 100000u);
    EXPECT_TRUE(outputs == first) << "--jobs " << jobs << " wrote " << outputs.size()
                                  << " bytes, the first run " << first.size();
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

// Compiles generated tables with a small main that prints their content.
TEST(MkpayloadTool, EmittedTablesCompileWithoutWarnings) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  const std::pair<std::vector<mkpayload::FileLayout>, const char*> cases[] = {
      {{}, "0|"},
      {{{"main.exe", 0, {}}, {"q\"b\\s?\?/n\nx\xe9", 0, {}}, {"two.bin", 2, {{0, 3}, {3, 5}}}},
       "3|main.exe:0|q\"b\\s\?\?/n\nx\xe9:0|two.bin:2:1,3:4,5|"},
  };
  WriteFile(dir / "main.cpp", R"(#include "payload/payload.h"
#include "config/setup_config.h"
#include <cstdio>
extern "C" const unsigned char kPayloadBlob[] = {1, 2, 3, 4, 5, 6, 7, 8};
extern const char kMainExeName[] = "main.exe";
int main() {
  std::printf("%d|", kPayloadTable.fileCount);
  for (int f = 0; f < kPayloadTable.fileCount; ++f) {
    const PayloadFile& file = kPayloadTable.files[f];
    std::printf("%s:%d", file.name, file.chunkCount);
    for (int c = 0; c < file.chunkCount; ++c)
      std::printf(":%d,%u", file.chunks[c].data[0], file.chunks[c].compressedLength);
    std::printf("|");
  }
  return kPayloadTable.fileCount == 0 && kPayloadTable.files != nullptr;
})");
  for (const auto& [layout, expected] : cases) {
    std::string source = mkpayload::TableSource(layout);
    WriteFile(dir / "table.cpp", source);
    RunResult cc =
        RunIn(dir, Args(MKPAYLOAD_TEST_CXX " -std=c++17 -Wall -Wextra -Werror "
                                           "-I" MKPAYLOAD_TEST_ROOT " -I" MKPAYLOAD_TEST_ROOT
                                           "/posix/include table.cpp main.cpp -o table_check"));
    ASSERT_EQ(cc.exitCode, 0) << cc.err << "\n" << source;
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

// Each refused command line exits non-zero, explains itself and leaves no file.
TEST(MkpayloadTool, RefusesBadInputAndWritesNothing) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  WriteFile(dir / "tw32.exe", MakeData(40000, 3));
  WriteFile(dir / "uninst.exe", MakeData(5000, 4));
  fs::create_directories(dir / "subdir");
  std::set<fs::path> before = Listing(dir);

  const std::string opts = "--main-exe tw32.exe " + kOutputs;
  const std::string ok = opts + "tw32.exe uninst.exe ";
  const std::pair<std::string, const char*> cases[] = {
      {ok + "=tw32.exe", "input \"=tw32.exe\": name \"\": the name is empty"},
      {ok + "a/b=tw32.exe", "input \"a/b=tw32.exe\": name \"a/b\": the name contains '/'"},
      {ok + "a\\b=tw32.exe", "contains '\\'"},
      {ok + "c:x=tw32.exe", "contains ':'"},
      {ok + "x\x01=tw32.exe",
       "input \"x\\001=tw32.exe\": name \"x\\001\": the name contains a control"},
      {ok + "..=tw32.exe", "contains \"..\""},
      {ok + "Con.txt=tw32.exe", "name \"Con.txt\": the name is a reserved device name"},
      {ok + "x.=tw32.exe", "ends in a dot"},
      {ok + "TW32.exe=tw32.exe", "input \"TW32.exe=tw32.exe\": name \"TW32.exe\" duplicates"},
      {opts + "uninst.exe tw32.exe",
       "input \"uninst.exe\": the first file is named \"uninst.exe\""},
      {opts + "tw32.exe", "no input is named \"uninst.exe\""},
      {opts, "no input files"},
      {ok + "gone.txt", "input \"gone.txt\": cannot read \"gone.txt\""},
      {ok + "subdir", "input \"subdir\": \"subdir\" is a directory"},
      // Opens, but every read fails (even for root): an unreadable input.
      {ok + "mem=/proc/self/mem", "input \"mem=/proc/self/mem\": cannot read"},
      {"--main-exe tw32.exe --blob out.bin --asm out.S tw32.exe uninst.exe",
       "missing option --table"},
      {"--blob out.bin --asm out.S --table out.cpp tw32.exe uninst.exe",
       "missing option --main-exe"},
      {"--main-exe tw32.exe --blob o.bin --asm o.S --table o.bin tw32.exe uninst.exe",
       "three different files"},
      {ok + "--fast", "unknown option \"--fast\""},
      {ok + "--jobs", "--jobs needs a value"},
      {ok + "--main-exe x.exe", "--main-exe is given twice"},
      {ok + "--jobs 0", "bad --jobs value \"0\""},
      {ok + "--jobs two", "bad --jobs value \"two\""},
      {ok + "--jobs 99999999999", "bad --jobs value"},
      // The table cannot be written after the blob and the assembler source were.
      {"--main-exe tw32.exe --blob out.bin --asm out.S --table nodir/t.cpp tw32.exe uninst.exe",
       "cannot write \"nodir/t.cpp\""},
  };
  for (const auto& [line, message] : cases) {
    RunResult run = RunTool(dir, line);
    EXPECT_NE(run.exitCode, 0) << line;
    EXPECT_NE(run.err.find(message), std::string::npos)
        << line << "\nstderr: " << run.err << "expected: " << message;
    std::set<fs::path> after = Listing(dir);
    EXPECT_TRUE(after == before) << line << "\nleft " << after.size() - before.size()
                                 << " new entries in " << dir;
  }
}

}  // namespace
