// The packing pipeline called directly: the chunks it hands on, their order,
// and how it stops.
#include "mkpayload.h"
#include "mkpayload_test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

namespace fs = std::filesystem;
using namespace mkpayload_test;

namespace {

// Each piece compressed by zlib's one-call function at the default level:
// what --level zlib must write.
std::string ExpectedStream(const std::vector<std::string>& contents) {
  std::string out;
  for (const std::string& data : contents) {
    for (std::size_t at = 0; at < data.size(); at += mkpayload::kPieceSize) {
      std::size_t size = std::min(mkpayload::kPieceSize, data.size() - at);
      std::string chunk(compressBound(size), '\0');
      uLongf length = chunk.size();
      compress2(reinterpret_cast<Bytef*>(chunk.data()), &length,
                reinterpret_cast<const Bytef*>(data.data() + at), size, Z_DEFAULT_COMPRESSION);
      out += chunk.substr(0, length);
    }
  }
  return out;
}

TEST(MkpayloadPipeline, HandsOnEveryPieceInTableOrderWhateverTheJobCount) {
  Scratch scratch;
  std::vector<mkpayload::Input> inputs;
  std::vector<std::string> contents;
  // More files and pieces than the ring holds, with empty, whole and short
  // pieces. No piece repeats (the one-byte files differ), so each has a chunk.
  const std::size_t sizes[] = {90001, 0, 30000, 1, 29999, 650000, 60000};
  for (std::size_t i = 0; i < 3 * std::size(sizes); ++i) {
    std::string name = "f" + std::to_string(i);
    std::size_t size = sizes[i % std::size(sizes)];
    contents.push_back(size == 1 ? std::string(1, char('a' + i)) : MakeData(size, unsigned(i)));
    WriteFile(scratch.dir / name, contents.back());
    inputs.push_back({name, name, (scratch.dir / name).string()});
  }
  // zlib's chunks are known byte for byte; libdeflate's (the default) must
  // not depend on the job count. Its headers and their round trip through
  // zlib are checked by the tool's test.
  const int zlib = mkpayload::kZlibLevel, best = mkpayload::kDefaultLevel;
  std::map<int, std::string> expected = {{zlib, ExpectedStream(contents)}};
  const std::pair<int, unsigned> runs[] = {{zlib, 1}, {zlib, 2}, {zlib, 3}, {zlib, 8}, {1, 1},
                                           {1, 3},    {best, 1}, {best, 2}, {best, 8}};
  for (auto [level, jobs] : runs) {
    std::string stream;
    auto sink = [&stream](const unsigned char* data, std::size_t size, std::string*) {
      stream.append(reinterpret_cast<const char*>(data), size);
      return true;
    };
    std::vector<mkpayload::FileLayout> layout;
    mkpayload::PackStats stats;
    std::string error;
    ASSERT_TRUE(
        mkpayload::PackInputs(inputs, jobs, level, {sink, nullptr}, &layout, &stats, &error))
        << error;
    if (expected.count(level) == 0) expected[level] = stream;
    EXPECT_TRUE(stream == expected[level])
        << "level " << level << " --jobs " << jobs << ": " << stream.size() << " bytes, expected "
        << expected[level].size();
    ASSERT_EQ(layout.size(), inputs.size());
    std::uint64_t end = 0;
    for (std::size_t f = 0; f < layout.size(); ++f) {
      EXPECT_EQ(layout[f].name, inputs[f].name);
      EXPECT_EQ(layout[f].size, contents[f].size()) << layout[f].name;
      EXPECT_EQ(layout[f].chunks.size(), (contents[f].size() + 29999) / 30000) << layout[f].name;
      for (const mkpayload::ChunkRef& chunk : layout[f].chunks) {
        EXPECT_EQ(chunk.offset, end) << layout[f].name << " --jobs " << jobs;
        end = chunk.offset + chunk.length;
      }
    }
    EXPECT_EQ(end, stream.size()) << "--jobs " << jobs;
  }
}

// The first chunk is handed on before the last input is opened: inputs are
// not read ahead of the output by more than the ring holds.
TEST(MkpayloadPipeline, WritesBeforeItHasReadEverything) {
  Scratch scratch;
  WriteFile(scratch.dir / "first", MakeData(100 * mkpayload::kPieceSize, 1));
  WriteFile(scratch.dir / "last", MakeData(10, 2));
  std::vector<mkpayload::Input> inputs = {{"first", "first", (scratch.dir / "first").string()},
                                          {"last", "last", (scratch.dir / "last").string()}};
  int calls = 0;
  auto sink = [&](const unsigned char*, std::size_t, std::string*) {
    if (calls++ == 0) fs::remove(scratch.dir / "last");
    return true;
  };
  std::vector<mkpayload::FileLayout> layout;
  mkpayload::PackStats stats;
  std::string error;
  EXPECT_FALSE(mkpayload::PackInputs(inputs, 2, mkpayload::kDefaultLevel, {sink, nullptr}, &layout,
                                     &stats, &error));
  EXPECT_NE(error.find("input \"last\": cannot open"), std::string::npos) << error;
  // The reader runs at most the ring's size ahead of the writer.
  const int ring = static_cast<int>(2 * mkpayload::kPiecesPerJob);
  EXPECT_GE(calls, 100 - ring) << "chunks handed on before \"last\" was opened";
  EXPECT_LE(calls, 100) << "chunks handed on before \"last\" was opened";
}

// A sink that fails stops the pipeline with the sink's message, at once.
TEST(MkpayloadPipeline, StopsAtTheFirstFailingWrite) {
  Scratch scratch;
  WriteFile(scratch.dir / "data", MakeData(40 * mkpayload::kPieceSize, 3));
  std::vector<mkpayload::Input> inputs = {{"data", "data", (scratch.dir / "data").string()}};
  for (int failAt : {0, 1, 7, 39}) {
    int calls = 0;
    auto sink = [&](const unsigned char*, std::size_t, std::string* error) {
      if (calls++ < failAt) return true;
      *error = "disk full at " + std::to_string(failAt);
      return false;
    };
    std::vector<mkpayload::FileLayout> layout;
    mkpayload::PackStats stats;
    std::string error;
    EXPECT_FALSE(mkpayload::PackInputs(inputs, 2, mkpayload::kDefaultLevel, {sink, nullptr},
                                       &layout, &stats, &error));
    EXPECT_EQ(error, "disk full at " + std::to_string(failAt));
    EXPECT_EQ(calls, failAt + 1) << "sink calls when failing at " << failAt;
  }
}

}  // namespace
