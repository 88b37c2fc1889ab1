// Program Manager commands and registration, and closing running copies.
#include <gtest/gtest.h>
#include <standin.h>

#include <string>
#include <vector>

#include "datadir/datadir.h"
#include "desktop/progman.h"
#include "desktop/running_copies.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/scratch.h"

namespace {

const char kDir[] = "C:\\Program Files\\Tidewell";
const char kMainExe[] = "C:\\Program Files\\Tidewell\\tw32.exe";
const char kUninstaller[] = "C:\\Program Files\\Tidewell\\uninst.exe";

const std::vector<std::string> kTenCommands = {
    "[CreateGroup(Tidewell)]",
    "[ShowGroup(Tidewell,5)]",
    "[ReplaceItem(Tidewell)]",
    "[AddItem(\"C:\\Program Files\\Tidewell\\tw32.exe\",Tidewell,,,,,\"C:\\Program "
    "Files\\Tidewell\")]",
    "[ReplaceItem(Uninstall)]",
    "[AddItem(\"C:\\Program Files\\Tidewell\\uninst.exe\",Uninstall,,,,,\"C:\\Program "
    "Files\\Tidewell\")]",
    "[CreateGroup(Startup)]",
    "[ShowGroup(Startup,5)]",
    "[ReplaceItem(Tidewell)]",
    "[AddItem(\"C:\\Program Files\\Tidewell\\tw32.exe\",Tidewell,,,,,\"C:\\Program "
    "Files\\Tidewell\")]",
};

std::vector<std::string> Texts(const ProgmanCommand* commands, int count) {
  return std::vector<std::string>(commands, commands + count);
}

TEST(ProgmanCommands, TheTenTextsForThisBuild) {
  static ProgmanCommand main[kMainGroupCommandCount], startup[kStartupGroupCommandCount];
  ASSERT_EQ(MainGroupCommands("Tidewell", "Tidewell", kMainExe, kUninstaller, kDir, main), 1);
  ASSERT_EQ(StartupGroupCommands("Tidewell", kMainExe, kDir, startup), 1);
  std::vector<std::string> all = Texts(main, kMainGroupCommandCount);
  for (const std::string& s : Texts(startup, kStartupGroupCommandCount)) all.push_back(s);
  EXPECT_EQ(all, kTenCommands);
  for (int i : {kProgramAddItem, kUninstallAddItem, kMainGroupCommandCount + kStartupAddItem})
    EXPECT_EQ(all[i].rfind("[AddItem(", 0), 0u) << all[i];
}

TEST(ProgmanCommands, GroupAndApplicationNamesLandInTheirOwnPlaces) {
  static ProgmanCommand main[kMainGroupCommandCount], startup[kStartupGroupCommandCount];
  ASSERT_EQ(
      MainGroupCommands("Grp", "App", "D:\\p q\\a.exe", "D:\\p q\\uninst.exe", "D:\\p q", main), 1);
  ASSERT_EQ(StartupGroupCommands("Grp", "D:\\p q\\a.exe", "D:\\p q", startup), 1);
  EXPECT_EQ(Texts(main, kMainGroupCommandCount),
            (std::vector<std::string>{
                "[CreateGroup(Grp)]", "[ShowGroup(Grp,5)]", "[ReplaceItem(App)]",
                "[AddItem(\"D:\\p q\\a.exe\",App,,,,,\"D:\\p q\")]", "[ReplaceItem(Uninstall)]",
                "[AddItem(\"D:\\p q\\uninst.exe\",Uninstall,,,,,\"D:\\p q\")]"}));
  EXPECT_EQ(Texts(startup, kStartupGroupCommandCount),
            (std::vector<std::string>{"[CreateGroup(Startup)]", "[ShowGroup(Startup,5)]",
                                      "[ReplaceItem(Grp)]",
                                      "[AddItem(\"D:\\p q\\a.exe\",Grp,,,,,\"D:\\p q\")]"}));
}

TEST(ProgmanCommands, LongestDataDirectoryIsBuiltWhole) {
  static ProgmanCommand main[kMainGroupCommandCount];
  std::string dir = "C:\\" + std::string(kDataDirSize - 4, 'd');
  std::string uninstaller = dir + "\\uninst.exe";
  ASSERT_EQ(dir.size(), static_cast<size_t>(kDataDirSize - 1));
  ASSERT_EQ(MainGroupCommands("Tidewell", "Tidewell", (dir + "\\tw32.exe").c_str(),
                              uninstaller.c_str(), dir.c_str(), main),
            1);
  std::string expected = "[AddItem(\"" + uninstaller + "\",Uninstall,,,,,\"" + dir + "\")]";
  EXPECT_EQ(std::string(main[5]), expected);
  EXPECT_EQ(strlen(main[5]), 2 * dir.size() + 41);
  // An input beyond what the buffers are sized for is refused, never cut.
  std::string tooLong(kCommandSize, 'x');
  EXPECT_EQ(MainGroupCommands("G", "A", tooLong.c_str(), "u", "d", main), 0);
}

struct Received {
  std::vector<std::string> texts;
  std::vector<std::string> raw;  // exact bytes, NUL included
};

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinReset();
    snprintf(dataDirectory, kDataDirSize, "%s", kDir);
  }
  void RegisterRecordingServer(const char* service = "PROGMAN") {
    StandinRegisterDdeServer(service, "PROGMAN", [this](const unsigned char* data, DWORD length) {
      received.raw.emplace_back(reinterpret_cast<const char*>(data), length);
      received.texts.emplace_back(reinterpret_cast<const char*>(data));
      return true;
    });
  }
  Received received;
  ScratchDrive drive;  // keeps the profile's records away from the user's own
};

TEST_F(RegistrationTest, AnswerDecidesTheStartupCommands) {
  struct Case {
    const char* answer;
    size_t commands;
  } cases[] = {{"y", 10}, {"n", 6}, {"", 6}, {"yes please", 6}};
  for (const Case& c : cases) {
    StandinReset();
    received = {};
    RegisterRecordingServer();
    StandinQueueAnswer(c.answer);
    RegisterProgramItems(kMainExe, kUninstaller);
    std::vector<std::string> expected(kTenCommands.begin(), kTenCommands.begin() + c.commands);
    EXPECT_EQ(received.texts, expected) << "answer \"" << c.answer << "\"";
    std::vector<std::string> boxes = EventsOf("MessageBoxA");
    ASSERT_EQ(boxes.size(), 1u) << EventDump();
    EXPECT_EQ(Fields(boxes[0])[1], "Add To Startup Group");
    EXPECT_EQ(Fields(boxes[0])[3], "0x4");
    EXPECT_EQ(Fields(boxes[0])[4], "0");
    // The question comes after the six main-group commands.
    EXPECT_GT(FirstEvent("MessageBoxA|"),
              FirstEvent("DdeExecute|PROGMAN|PROGMAN|[AddItem(\"" + std::string(kUninstaller)));
  }
}

TEST_F(RegistrationTest, EachCommandTravelsWithOneNulInItsOwnConversation) {
  RegisterRecordingServer();
  StandinQueueAnswer("y");
  RegisterProgramItems(kMainExe, kUninstaller);
  ASSERT_EQ(received.raw.size(), 10u);
  for (size_t i = 0; i < received.raw.size(); ++i) {
    EXPECT_EQ(received.raw[i], kTenCommands[i] + std::string(1, '\0')) << "command " << i;
  }
  EXPECT_EQ(EventsOf("DdeConnect").size(), 10u) << EventDump();
  EXPECT_EQ(EventsOf("DdeConnect")[0], "DdeConnect|PROGMAN|PROGMAN|1");
}

TEST_F(RegistrationTest, NoServerSendsNothingButStillAsks) {
  RegisterRecordingServer("SOMEONE_ELSE");
  StandinQueueAnswer("y");
  RegisterProgramItems(kMainExe, kUninstaller);
  EXPECT_TRUE(received.texts.empty());
  EXPECT_EQ(EventsOf("DdeExecute").size(), 0u);
  EXPECT_EQ(EventsOf("DdeConnect").size(), 2u) << "each list stops after its CreateGroup";
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Add To Startup Group"});
}

TEST_F(RegistrationTest, CallbackAcceptsOnlyTheExactGroupName) {
  DdeStart();
  ASSERT_NE(ddeInstance, 0u);
  struct Case {
    UINT type;
    const char* service;
    const char* topic;
    bool accepted;
  } cases[] = {
      {XTYP_CONNECT, "Tidewell", "PROGMAN", true},  {XTYP_CONNECT, "Tidewell", "anything", true},
      {XTYP_CONNECT, "tidewell", "PROGMAN", false}, {XTYP_CONNECT, "TIDEWELL", "PROGMAN", false},
      {XTYP_CONNECT, "Tidewel", "PROGMAN", false},  {XTYP_CONNECT, "Tidewell2", "PROGMAN", false},
      {XTYP_REQUEST, "Tidewell", "PROGMAN", false}, {XTYP_POKE, "Tidewell", "PROGMAN", false},
      {XTYP_REGISTER, "Tidewell", "x", false},      {XTYP_UNREGISTER, "Tidewell", "x", false},
      {XTYP_EXECUTE, "Tidewell", "PROGMAN", false},
  };
  for (const Case& c : cases) {
    HSZ topic = DdeCreateStringHandleA(ddeInstance, c.topic, 0);
    HSZ service = DdeCreateStringHandleA(ddeInstance, c.service, 0);
    HDDEDATA result = DdeCallback(c.type, 0, nullptr, topic, service, nullptr, 0, 0);
    EXPECT_EQ(result != nullptr, c.accepted)
        << std::hex << c.type << " " << c.service << "/" << c.topic;
    if (c.accepted) {
      EXPECT_EQ(reinterpret_cast<INT_PTR>(result), TRUE);
    }
    DdeFreeStringHandle(ddeInstance, topic);
    DdeFreeStringHandle(ddeInstance, service);
  }
  DdeStop();
}

// The outcome rule of the registration stage, over the four Startup
// commands: only CreateGroup and AddItem decide whether Program Manager made
// the item (then startupItem is recorded and an earlier shortcut file goes),
// the setup makes it as a shortcut file, or it may still be made.
TEST(DdeOutcome, TransactionsDecideWhoMakesTheStartupItem) {
  const TransactionResult ack = {1, 1, DDE_FACK, DMLERR_NO_ERROR};
  const TransactionResult none = {0, 0, 0, DMLERR_NO_ERROR};
  const TransactionResult refused = {1, 0, 0, DMLERR_NOTPROCESSED};
  const TransactionResult timedOut = {1, 0, 0, DMLERR_EXECACKTIMEOUT};
  const TransactionResult busy = {1, 1, 0, DMLERR_NO_ERROR};  // answered without DDE_FACK
  const TransactionResult lost = {1, 0, 0, 0x400A};           // DMLERR_POSTMSG_FAILED
  const ItemOutcome pm = kItemByProgramManager, file = kItemNeedsShortcut,
                    later = kItemMayStillBeMade;
  struct Case {
    const char* what;
    TransactionResult results[kStartupGroupCommandCount];
    ItemOutcome item;
    bool restSent;
  } cases[] = {
      {"every command acknowledged", {ack, ack, ack, ack}, pm, true},
      {"first installation: no item to replace", {ack, ack, refused, ack}, pm, true},
      {"ShowGroup refused alone", {ack, refused, ack, ack}, pm, true},
      {"no Program Manager", {none, none, none, none}, file, false},
      {"CreateGroup refused", {refused, ack, ack, ack}, file, false},
      {"AddItem refused", {ack, ack, ack, refused}, file, true},
      {"answered without acknowledging", {ack, ack, ack, busy}, file, true},
      {"message not delivered", {ack, ack, ack, lost}, file, true},
      {"server gone half way", {ack, ack, none, none}, file, true},
      {"AddItem timed out", {ack, ack, ack, timedOut}, later, true},
      {"ReplaceItem timed out", {ack, ack, timedOut, ack}, pm, true},
      {"a refusal outweighs a timeout", {timedOut, ack, ack, refused}, file, true},
  };
  for (const Case& c : cases) {
    CommandOutcome outcomes[kStartupGroupCommandCount];
    for (int i = 0; i < kStartupGroupCommandCount; ++i) {
      outcomes[i] = ClassifyTransaction(&c.results[i]);
    }
    ItemOutcome item = ItemOutcomeOf(outcomes, kStartupAddItem);
    EXPECT_EQ(item, c.item) << c.what << ": got " << item;
    EXPECT_EQ(GroupTakesItems(outcomes[0]), c.restSent) << c.what;
  }
}

// The same rule with the stand-in's Program Manager, which refuses the
// commands it is told to: the stage reports the Startup item only when it
// was made (the host has no shortcut files to fall back on).
TEST_F(RegistrationTest, StartupItemIsReportedOnlyWhenProgramManagerMadeIt) {
  struct Case {
    const char* refused;  // the command the server refuses, or ""
    int startupItem;
    size_t sent;
  } cases[] = {{"", 1, 10},
               {"[ReplaceItem(Tidewell)]", 1, 10},
               {"[ShowGroup(Startup,5)]", 1, 10},
               {"[CreateGroup(Startup)]", 0, 7},
               {kTenCommands[9].c_str(), 0, 10}};
  for (const Case& c : cases) {
    StandinReset();
    std::string refused = c.refused;
    size_t sent = 0;
    StandinRegisterDdeServer("PROGMAN", "PROGMAN", [&](const unsigned char* data, DWORD) {
      return ++sent, refused != reinterpret_cast<const char*>(data);
    });
    StandinQueueAnswer("y");
    int got = RegisterProgramItems(kMainExe, kUninstaller);
    EXPECT_EQ(got, c.startupItem) << "refusing \"" << c.refused << "\": got " << got;
    EXPECT_EQ(sent, c.sent) << "refusing \"" << c.refused << "\": commands sent";
  }
}

TEST(RunningCopies, TitlePrefixTest) {
  struct Case {
    std::string title;
    bool matches;
  } cases[] = {
      {"Tidewell", true},        {"Tidewell - Options", true},
      {"Tidewellness", true},    {"tidewell", false},
      {"TIDEWELL", false},       {"About Tidewell", false},
      {"Tide", false},           {"", false},
      {"Setup Progress", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TitleMarksRunningCopy(c.title.c_str(), "Tidewell"), c.matches) << c.title;
}

class CloseCopiesTest : public ::testing::Test {
 protected:
  void SetUp() override { StandinReset(); }
  size_t QuitsPosted(HWND window) {
    size_t quits = 0;
    for (const StandinPostedMessage& m : StandinPostedMessages(window)) {
      EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
      EXPECT_EQ(m.wParam, 0u);
      EXPECT_EQ(m.lParam, 0);
      ++quits;
    }
    return quits;
  }
};

TEST_F(CloseCopiesTest, OnlyTheProductsOwnWindowsAreToldToQuit) {
  struct Case {
    std::string title;
    const char* exe;
    size_t quits;
  } cases[] = {
      {"Tidewell", "tw32.exe", 1},
      {"Tidewell - Options", "TW32.EXE", 1},  // File names compare without case.
      {"Tidewell" + std::string(300, '!'), "tw32.exe", 1},
      {"Tidewell notes.txt - Editor", "editor.exe", 0},
      {"Tidewell", "explorer.exe", 0},
      {"tidewell", "tw32.exe", 0},
      {"About Tidewell", "tw32.exe", 0},
      {"", "tw32.exe", 0},
      {"Tide", "tw32.exe", 0},
      {"Tidewell", "tw32.exe.bak", 0},
  };
  std::vector<HWND> windows;
  for (const Case& c : cases)
    windows.push_back(StandinCreateTopLevelWindow(c.title.c_str(), c.exe));
  StandinQueueAnswer("");
  CloseRunningCopies();
  for (size_t i = 0; i < windows.size(); ++i) {
    EXPECT_EQ(QuitsPosted(windows[i]), cases[i].quits)
        << "\"" << cases[i].title.substr(0, 40) << "\" of " << cases[i].exe;
  }
}

TEST_F(CloseCopiesTest, WarningThenPauseEnumerationPause) {
  HWND first = StandinCreateTopLevelWindow("Tidewell", "tw32.exe");
  HWND second = StandinCreateTopLevelWindow("Tidewell 2", "tw32.exe");
  StandinQueueAnswer("");
  CloseRunningCopies();
  const std::vector<std::string>& events = StandinEvents();
  ASSERT_EQ(events.size(), 5u) << EventDump();
  EXPECT_EQ(events[0],
            "MessageBoxA|Closing Running Copies|Any copies of Tidewell currently running must now "
            "be shut down. This may take a few seconds.|0x30|0|1");
  EXPECT_EQ(events[1], "Sleep|4000");
  EXPECT_EQ(events[2], "PostMessageA|" + StandinWindowName(first) + "|0x12|0|0");
  EXPECT_EQ(events[3], "PostMessageA|" + StandinWindowName(second) + "|0x12|0|0");
  EXPECT_EQ(events[4], "Sleep|4000");
}

TEST_F(CloseCopiesTest, NoMatchingWindowStillWarnsAndSleepsTwice) {
  StandinCreateTopLevelWindow("Editor", "editor.exe");
  CloseRunningCopies();
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Closing Running Copies"});
  EXPECT_EQ(EventsOf("Sleep"), (std::vector<std::string>{"Sleep|4000", "Sleep|4000"}));
  EXPECT_EQ(EventsOf("PostMessageA").size(), 0u);
}

}  // namespace
