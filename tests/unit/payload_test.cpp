// Extraction and deletion of payload files, on real files in a scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "payload/payload.h"
#include <standin.h>
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"

namespace {

struct Report {
  std::string name;
  int percent;
  bool operator==(const Report& other) const {
    return name == other.name && percent == other.percent;
  }
};
std::ostream& operator<<(std::ostream& out, const Report& r) {
  return out << "(\"" << r.name << "\", " << r.percent << ")";
}

std::vector<Report> reports;
HWND reportedOwner;
void Record(HWND owner, const char* name, int percent) {
  reportedOwner = owner;
  reports.push_back({name, percent});
}

class PayloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinReset();
    reports.clear();
  }
  ScratchDrive drive;
};

TEST_F(PayloadTest, ChunkBoundariesFollowTheFileSizes) {
  struct Case {
    size_t size;
    std::vector<uLong> pieces;
  };
  const Case cases[] = {
      {78848, {30000, 30000, 18848}},
      {38912, {30000, 8912}},
      {30000, {30000}},
      {30001, {30000, 1}},
      {1, {1}},
      {0, {}},
  };
  for (const Case& c : cases) {
    TestPayload payload;
    payload.Build({{"f.bin", MakeContents(c.size, 7)}});
    ASSERT_EQ(payload.table.files[0].chunkCount, static_cast<int>(c.pieces.size())) << c.size;
    for (size_t j = 0; j < c.pieces.size(); ++j) {
      const PayloadChunk& chunk = payload.table.files[0].chunks[j];
      std::vector<unsigned char> out(kExtractBufferSize);
      uLongf length = out.size();
      ASSERT_EQ(uncompress(out.data(), &length, chunk.data, chunk.compressedLength), Z_OK);
      EXPECT_EQ(length, c.pieces[j]) << "file of " << c.size << " bytes, chunk " << j;
      EXPECT_EQ(chunk.data[0], 0x78);
      EXPECT_EQ(chunk.data[1], 0x9C);
    }
  }
}

TEST_F(PayloadTest, ExtractsFilesByteForByteWithReportsInOrder) {
  const std::string main = MakeContents(78848, 1), uninstaller = MakeContents(38912, 2);
  TestPayload payload;
  payload.Build({{"tw32.exe", main}, {"uninst.exe", uninstaller}});
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(ExtractPayloadFrom(&payload.table, owner, Record), kExtractDone);
  EXPECT_EQ(ReadFile("tw32.exe"), main);
  EXPECT_EQ(ReadFile("uninst.exe"), uninstaller);
  EXPECT_EQ(reports, (std::vector<Report>{{"tw32.exe", 0}, {"uninst.exe", 50}, {"", 100}}));
  EXPECT_EQ(reportedOwner, owner);
}

TEST_F(PayloadTest, PercentagesUseIntegerDivisionOverTheFileCount) {
  TestPayload payload;
  payload.Build({{"a", "1"}, {"b", "2"}, {"c", "3"}});
  EXPECT_EQ(ExtractPayloadFrom(&payload.table, nullptr, Record), kExtractDone);
  EXPECT_EQ(reports, (std::vector<Report>{{"a", 0}, {"b", 33}, {"c", 66}, {"", 100}}));
  reports.clear();
  EXPECT_EQ(DeletePayloadFrom(&payload.table, nullptr, Record), 4);
  EXPECT_EQ(reports, (std::vector<Report>{{"a", 0}, {"b", 33}, {"c", 66}, {"", 100}}));
  EXPECT_EQ(ReadFile("b"), "2") << "the rollback removes staged copies, never installed files";
}

TEST_F(PayloadTest, ZeroFilesMakesOnlyTheFinalReport) {
  TestPayload payload;
  payload.Build({});
  EXPECT_EQ(ExtractPayloadFrom(&payload.table, nullptr, Record), kExtractDone);
  EXPECT_EQ(DeletePayloadFrom(&payload.table, nullptr, Record), 4);
  EXPECT_EQ(reports, (std::vector<Report>{{"", 100}, {"", 100}}));
  auto entries = std::distance(std::filesystem::directory_iterator("."),
                               std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1) << "only the scratch Windows folder may be there";
}

TEST_F(PayloadTest, ZeroChunkFileTruncatesAnExistingFile) {
  drive.WriteFile("empty.dat", "old contents that must go");
  drive.WriteFile("big.dat", std::string(100000, 'x'));
  TestPayload payload;
  payload.Build({{"empty.dat", ""}, {"big.dat", "short"}});
  EXPECT_EQ(ExtractPayloadFrom(&payload.table, nullptr, nullptr), kExtractDone);
  EXPECT_EQ(ReadFile("empty.dat"), "");
  EXPECT_EQ(ReadFile("big.dat"), "short");
}

TEST_F(PayloadTest, SecondFileNotCreatable) {
  StandinFailWriting("uninst.exe");
  TestPayload payload;
  payload.Build({{"tw32.exe", MakeContents(78848, 3)}, {"uninst.exe", "u"}});
  EXPECT_EQ(ExtractPayloadFrom(&payload.table, nullptr, Record), kExtractCannotCreate);
  EXPECT_TRUE(reports.empty()) << "a batch's files are all made before any is written";
  EXPECT_EQ(ReadFile("tw32.exe"), "<missing>") << "the first file goes again";
}

TEST_F(PayloadTest, ShortWriteWhenTheDiskIsFull) {
  // A write past the limit fails at once; a small file fails only when the
  // close flushes it: both are short writes.
  for (unsigned long limit : {40000ul, 5ul}) {
    TestPayload payload;
    payload.Build({{"tw32.exe", MakeContents(limit * 2, 4)}, {"uninst.exe", "u"}});
    ExtractResult result;
    {
      FileSizeLimit full(limit);
      result = ExtractPayloadFrom(&payload.table, nullptr, Record);
    }
    EXPECT_EQ(result, kExtractShortWrite) << limit;
    EXPECT_EQ(ReadFile("tw32.exe"), "<missing>")
        << limit << ": a first installation leaves nothing";
    EXPECT_EQ(ReadFile("uninst.exe"), "<missing>") << limit;
    EXPECT_FALSE(std::filesystem::exists("~setup.tmp")) << limit;
  }
}

TEST_F(PayloadTest, CorruptChunkIsNotWrittenAsGood) {
  const std::string main = MakeContents(78848, 5);
  struct Case {
    const char* what;
    std::function<void(std::vector<unsigned char>&)> damage;
  };
  const Case cases[] = {
      {"flipped byte", [](std::vector<unsigned char>& s) { s[s.size() / 2] ^= 0xFF; }},
      {"cut stream", [](std::vector<unsigned char>& s) { s.resize(s.size() - 6); }},
      {"bad header", [](std::vector<unsigned char>& s) { s[0] = 0x00; }},
  };
  for (const Case& c : cases) {
    TestPayload payload;
    payload.Build({{"tw32.exe", main}, {"uninst.exe", "u"}});
    std::vector<unsigned char> damaged(payload.streams[1]);
    c.damage(damaged);
    payload.chunks[0][1] = {damaged.data(), static_cast<unsigned int>(damaged.size())};
    payload.files[0].chunks = payload.chunks[0].data();
    EXPECT_EQ(ExtractPayloadFrom(&payload.table, nullptr, nullptr), kExtractCorruptPayload)
        << c.what;
    EXPECT_EQ(ReadFile("tw32.exe"), "<missing>") << c.what << ": rolled back";
  }
}

TEST_F(PayloadTest, ChunkLargerThanTheBufferIsCorrupt) {
  std::string big(kExtractBufferSize + 1, 'z');
  uLongf length = compressBound(big.size());
  std::vector<unsigned char> stream(length);
  ASSERT_EQ(
      compress(stream.data(), &length, reinterpret_cast<const Bytef*>(big.data()), big.size()),
      Z_OK);
  PayloadChunk chunk = {stream.data(), static_cast<unsigned int>(length)};
  PayloadFile file = {"big.bin", 1, &chunk, static_cast<unsigned int>(big.size()), 0};
  Payload table = {1, &file, nullptr};
  EXPECT_EQ(ExtractPayloadFrom(&table, nullptr, nullptr), kExtractCorruptPayload);
}

// The table's checksum finds damage that each chunk's own check passes.
TEST_F(PayloadTest, ChecksumFindsDamageAcrossTheTable) {
  struct Case {
    const char* what;
    std::function<void(TestPayload&)> damage;
    int intact;
  };
  const Case cases[] = {
      {"as built", [](TestPayload&) {}, 1},
      {"a chunk count", [](TestPayload& p) { p.files[0].chunkCount -= 1; }, 0},
      {"a chunk swapped for another valid stream",
       [](TestPayload& p) { std::swap(p.chunks[0][0], p.chunks[1][0]); }, 0},
      {"a length past any chunk's",
       [](TestPayload& p) { p.chunks[0][0].compressedLength |= 0x40000000u; }, 0},
      {"no recorded checksum", [](TestPayload& p) { p.table.checksum = nullptr; }, 0},
  };
  for (const Case& c : cases) {
    TestPayload payload;
    payload.Build({{"tw32.exe", MakeContents(70000, 1)}, {"uninst.exe", MakeContents(9000, 2)}});
    c.damage(payload);
    EXPECT_EQ(PayloadIsIntact(&payload.table), c.intact)
        << c.what << ": recorded " << payload.checksum << ", computed "
        << (c.intact ? PayloadChecksum(&payload.table) : 0u);
  }
}

TEST_F(PayloadTest, NoMemoryTouchesNothing) {
  TestPayload payload;
  payload.Build({{"tw32.exe", "m"}, {"uninst.exe", "u"}});
  failExtractBufferAllocation = true;
  ExtractResult result = ExtractPayloadFrom(&payload.table, nullptr, Record);
  failExtractBufferAllocation = false;
  EXPECT_EQ(result, kExtractNoMemory);
  EXPECT_TRUE(reports.empty()) << reports.size() << " reports";
  EXPECT_EQ(ReadFile("tw32.exe"), "<missing>");
}

}  // namespace
