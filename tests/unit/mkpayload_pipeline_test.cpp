// The packing pipeline called directly: the chunks it hands on, their order,
// the pieces it shares, and how it stops.
#include "mkpayload.h"
#include "mkpayload_test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>

namespace fs = std::filesystem;
using namespace mkpayload_test;

namespace {

// A blob kept in memory, written and read back as PackInputs does.
mkpayload::BlobAccess InMemory(std::string* blob) {
  mkpayload::BlobAccess access;
  access.write = [blob](const unsigned char* data, std::size_t size, std::string*) {
    blob->append(reinterpret_cast<const char*>(data), size);
    return true;
  };
  access.read = [blob](std::uint64_t offset, unsigned char* data, std::size_t size,
                       std::string* error) {
    if (offset + size > blob->size()) {
      *error = "read past the blob";
      return false;
    }
    std::memcpy(data, blob->data() + offset, size);
    return true;
  };
  return access;
}

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
    contents.push_back(size == 1 ? std::string(1, static_cast<char>('a' + i))
                                 : MakeData(size, unsigned(i)));
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
    std::vector<mkpayload::FileLayout> layout;
    mkpayload::PackStats stats;
    std::string error;
    ASSERT_TRUE(
        mkpayload::PackInputs(inputs, jobs, level, InMemory(&stream), &layout, &stats, &error))
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

// Files made of whole pieces and short ones; each row gives how many of the
// file's pieces, and how many of its bytes, must refer to a chunk written for
// an earlier piece. Every
// job count must make the same blob and table.
TEST(MkpayloadPipeline, StoresEveryDistinctPieceOnce) {
  Scratch scratch;
  const std::size_t piece = mkpayload::kPieceSize;
  const std::string a = MakeData(piece, 1), b = MakeData(piece, 2), c = MakeData(piece, 3);
  const std::string zeros(piece, '\0'), tail = MakeData(100, 4);
  std::string changed = a, filler;
  changed[piece / 2] ^= 1;
  for (unsigned i = 0; i < 24; ++i) filler += MakeData(piece, 100 + i);
  const struct {
    const char* name;
    std::string content;
    std::size_t shared;
    std::size_t sharedBytes;
  } rows[] = {
      {"first", a + b + c + tail, 0, 0},
      // More than the ring holds: the repeats below are compared with chunks
      // read back from the blob.
      {"filler", filler, 0, 0},
      {"copy", a + b + c + tail, 4, 3 * piece + 100},
      {"reordered", c + a, 2, 2 * piece},
      // Repeats of a piece that may still be in the ring.
      {"zeros", zeros + zeros + zeros + std::string(10, '\0'), 2, 2 * piece},
      {"short last piece", b + tail, 2, piece + 100},
      {"one byte shorter", a.substr(0, piece - 1), 0, 0},
      {"one byte changed", changed, 0, 0},
      {"empty", "", 0, 0},
  };
  std::vector<mkpayload::Input> inputs;
  std::size_t sharedPieces = 0, sharedBytes = 0;
  for (const auto& row : rows) {
    WriteFile(scratch.dir / row.name, row.content);
    inputs.push_back({row.name, row.name, (scratch.dir / row.name).string()});
    sharedPieces += row.shared;
    sharedBytes += row.sharedBytes;
  }
  std::string firstBlob, firstTable;
  for (unsigned jobs : {1u, 2u, 3u}) {
    std::string blob;
    std::vector<mkpayload::FileLayout> layout;
    mkpayload::PackStats stats;
    std::string error;
    ASSERT_TRUE(mkpayload::PackInputs(inputs, jobs, mkpayload::kDefaultLevel, InMemory(&blob),
                                      &layout, &stats, &error))
        << error;
    std::map<std::uint64_t, std::size_t> chunks;  // offset -> length, each chunk once
    for (std::size_t f = 0; f < std::size(rows); ++f) {
      std::string rebuilt;
      std::size_t shared = 0;
      for (const mkpayload::ChunkRef& ref : layout[f].chunks) {
        shared += chunks.count(ref.offset);
        chunks[ref.offset] = ref.length;
        ASSERT_LE(ref.offset + ref.length, blob.size()) << rows[f].name;
        const auto* data = reinterpret_cast<const Bytef*>(blob.data() + ref.offset);
        EXPECT_EQ(ref.adler, adler32(adler32(0, Z_NULL, 0), data, ref.length)) << rows[f].name;
        std::string out(mkpayload::kExtractBufferSize, '\0');
        uLongf length = out.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, data, ref.length), Z_OK)
            << rows[f].name;
        rebuilt += out.substr(0, length);
      }
      EXPECT_TRUE(rebuilt == rows[f].content)
          << rows[f].name << " --jobs " << jobs << ": rebuilt " << rebuilt.size() << " bytes of "
          << rows[f].content.size();
      EXPECT_EQ(shared, rows[f].shared) << rows[f].name << " --jobs " << jobs;
    }
    // The distinct chunks fill the blob back to back: nothing is stored twice.
    std::uint64_t end = 0;
    for (auto [offset, length] : chunks) {
      EXPECT_EQ(offset, end) << "--jobs " << jobs;
      end = offset + length;
    }
    EXPECT_EQ(end, blob.size()) << "--jobs " << jobs;
    EXPECT_EQ(stats.sharedPieces, sharedPieces) << "--jobs " << jobs;
    EXPECT_EQ(stats.sharedInputBytes, sharedBytes) << "--jobs " << jobs;
    std::string table = mkpayload::TableSource(layout);
    if (firstBlob.empty()) firstBlob = blob, firstTable = table;
    EXPECT_TRUE(blob == firstBlob && table == firstTable)
        << "--jobs " << jobs << " made a blob of " << blob.size() << " bytes, --jobs 1 of "
        << firstBlob.size();
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
  mkpayload::BlobAccess access;
  access.write = [&](const unsigned char*, std::size_t, std::string*) {
    if (calls++ == 0) fs::remove(scratch.dir / "last");
    return true;
  };
  std::vector<mkpayload::FileLayout> layout;
  mkpayload::PackStats stats;
  std::string error;
  EXPECT_FALSE(
      mkpayload::PackInputs(inputs, 2, mkpayload::kDefaultLevel, access, &layout, &stats, &error));
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
    mkpayload::BlobAccess access;
    access.write = [&](const unsigned char*, std::size_t, std::string* error) {
      if (calls++ < failAt) return true;
      *error = "disk full at " + std::to_string(failAt);
      return false;
    };
    std::vector<mkpayload::FileLayout> layout;
    mkpayload::PackStats stats;
    std::string error;
    EXPECT_FALSE(mkpayload::PackInputs(inputs, 2, mkpayload::kDefaultLevel, access, &layout, &stats,
                                       &error));
    EXPECT_EQ(error, "disk full at " + std::to_string(failAt));
    EXPECT_EQ(calls, failAt + 1) << "sink calls when failing at " << failAt;
  }
}

}  // namespace
