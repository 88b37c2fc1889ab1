// The staging journal over the stand-in: what settling does with journals
// that a cut-off run, another run or version, or someone else left, and a
// disk that fills up during a run.
#include <gtest/gtest.h>
#include <standin.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/unit/support/journal.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"

namespace {

namespace fs = std::filesystem;

const char kDir[] = "C:\\Program Files\\Tidewell";

class StagingTest : public ::testing::Test {
 public:
  void SetUp() override {
    StandinReset();
    dir = drive.Path("Program Files/Tidewell");
    fs::create_directories(dir + "/docs");
    Write("docs/keep", "the user's");
    Write("tw32.exe", "previous main");
    Write("uninst.exe", "previous uninstaller");
    drive.WriteFile("outside", "outside's");
  }
  void Write(const std::string& name, const std::string& contents) {
    std::ofstream(dir + "/" + name, std::ios::binary) << contents;
  }
  std::string Read(const std::string& name) { return ReadFile(dir + "/" + name); }

  ScratchDrive drive;
  std::string dir;
};

// Only whole records of the journal's own run are replayed, onto the files
// they recorded and nothing else: not a file with a second name, another
// file at a name, or a folder. Another version's journal, or one that
// cannot be opened, is left as it is.
TEST_F(StagingTest, SettlingReplaysOnlyWholeRecordsOfTheRunOntoItsFiles) {
  const std::string kBytes = "journal bytes";
  // A record of tw32.exe's previous bytes, the journal's first, and its size.
  auto b = [&](TestJournal& j) { j.Add('b', "tw32.exe", dir + "/tw32.exe", 13, kBytes); };
  auto size = [](TestJournal& j, unsigned value) {
    memcpy(&j.bytes[sizeof(JournalHeader) + offsetof(JournalRecord, dataLength)], &value, 4);
  };
  struct Case {
    const char* what;
    std::function<void(TestJournal& j)> make;
    StagingOutcome outcome;
    const char* main;  // tw32.exe afterwards
  } cases[] = {
      {"a record cut short", [&](TestJournal& j) { b(j), j.bytes.resize(j.bytes.size() - 6); },
       kStagingSettled, "previous main"},
      {"a record whose bytes read back as zeros",
       [&](TestJournal& j) { b(j), std::fill(j.bytes.end() - 17, j.bytes.end() - 4, '\0'); },
       kStagingSettled, "previous main"},
      {"a record of another run", [&](TestJournal& j) { j.header.run[0] ^= 1, b(j); },
       kStagingSettled, "previous main"},
      {"a size past the journal's end", [&](TestJournal& j) { b(j), size(j, 1000); },
       kStagingSettled, "previous main"},
      {"a size that wraps", [&](TestJournal& j) { b(j), size(j, 0xFFFFFFF8u); }, kStagingSettled,
       "previous main"},
      {"a file with a second name outside",
       [&](TestJournal& j) {
         fs::remove(dir + "/tw32.exe");
         fs::create_hard_link(drive.Path("outside"), dir + "/tw32.exe");
         b(j);
       },
       kStagingSettled, "outside's"},
      {"a creation, and a file of the user's at its name since",
       [&](TestJournal& j) {
         Write("created", "");
         j.Add('c', "tw32.exe").Add('i', "tw32.exe", dir + "/created");
         fs::remove(dir + "/created");
       },
       kStagingSettled, "previous main"},
      {"a creation that names a folder",
       [&](TestJournal& j) { j.Add('c', "docs").Add('i', "docs", dir + "/docs"); }, kStagingSettled,
       "previous main"},
      {"a journal of another version",
       [&](TestJournal& j) { b(j), j.bytes[offsetof(JournalHeader, version)] = 3; },
       kStagingForeign, "previous main"},
      {"a journal another program holds open",
       [&](TestJournal& j) {
         b(j), j.Save();
         StandinHoldOpen("C:\\Program Files\\Tidewell\\~setup.tmp\\journal");
       },
       kStagingBusy, "previous main"},
  };
  for (const Case& c : cases) {
    SetUp();
    TestJournal journal(dir + "/~setup.tmp");
    c.make(journal);
    journal.Save();
    EXPECT_EQ(SettleStagingFolder(kDir, kSettleToRestore), c.outcome) << c.what;
    EXPECT_EQ(Read("tw32.exe"), c.main) << c.what;
    EXPECT_EQ(Read("docs/keep"), "the user's") << c.what;
    EXPECT_EQ(ReadFile(drive.Path("outside")), "outside's") << c.what;
    EXPECT_EQ(fs::exists(dir + "/~setup.tmp"), c.outcome != kStagingSettled) << c.what;
    fs::remove_all(dir);
  }
}

void FillTheDisk(HWND, const char* name, int) {
  if (strcmp(name, "uninst.exe") == 0) StandinSetDiskFree(0);
}

// Another program fills the disk after the room check: the previous files,
// the one that got shorter too, come back whole without room.
TEST_F(StagingTest, ADiskThatFillsDuringTheRunLeavesThePreviousInstallation) {
  std::string main = MakeContents(100000, 1);
  Write("tw32.exe", main);
  TestPayload payload;
  payload.Build({{"tw32.exe", MakeContents(40000, 2)}, {"uninst.exe", MakeContents(60000, 3)}});
  EXPECT_EQ(ExtractPayloadInto(&payload.table, kDir, nullptr, FillTheDisk), kExtractShortWrite);
  EXPECT_EQ(PreviousInstallationRestored(), 1);
  EXPECT_TRUE(Read("tw32.exe") == main) << Read("tw32.exe").size() << " bytes";
  EXPECT_EQ(Read("uninst.exe"), "previous uninstaller");
  EXPECT_FALSE(fs::exists(dir + "/~setup.tmp"));
}

}  // namespace
