// The program built with another configuration record: the group and the
// application names differ, the main executable has another name and the
// Startup item is not offered. Each use must take the field it belongs to.
#include <gtest/gtest.h>
#include <standin.h>

#include <string>
#include <vector>

#include "datadir/datadir.h"
#include "desktop/progman.h"
#include "desktop/running_copies.h"
#include "config/setup_config.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"

extern const char kMainExeName[] = "app.exe";
extern const SetupConfigRecord SetupConfig = {"Grp", "App",    "tidewell.ini",
                                              0,     "Offer?", kMainExeName};

namespace {

class AltConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinReset();
    SetInstalledPayload("main program", "uninstaller");
    RecordProgmanCommands(&commands);
  }
  int Run(const std::vector<std::string>& answers) { return RunSetup(answers); }
  ScratchDrive drive;
  std::vector<std::string> commands;
};

TEST_F(AltConfigTest, SuccessfulRunTakesEachNameFromItsField) {
  drive.MakeDirectory("Program Files\\Grp");
  HWND copy = StandinCreateTopLevelWindow("App", "APP.EXE");
  HWND group = StandinCreateTopLevelWindow("Grp", "app.exe");
  ASSERT_EQ(Run({"", "y"}), 0);

  EXPECT_EQ(ReadFile(drive.Path("Program Files/Grp/app.exe")), "main program");
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Closing Running Copies", "Installation Successful"}))
      << "no Startup question when it is not offered";
  std::vector<std::string> boxes = EventsOf("MessageBoxA");
  EXPECT_EQ(Fields(boxes[0])[2],
            "Any copies of App currently running must now be shut down. This may take a few "
            "seconds.");
  EXPECT_EQ(Fields(boxes[1])[2],
            "App has been successfully installed on your system.Would you like to start App now?");
  EXPECT_EQ(StandinPostedMessages(copy).size(), 1u) << "title prefix is appName";
  EXPECT_EQ(StandinPostedMessages(group).size(), 0u);
  EXPECT_EQ(commands,
            (std::vector<std::string>{
                "[CreateGroup(Grp)]", "[ShowGroup(Grp,5)]", "[ReplaceItem(App)]",
                "[AddItem(\"C:\\Program Files\\Grp\\app.exe\",App,,,,,\"C:\\Program "
                "Files\\Grp\")]",
                "[ReplaceItem(Uninstall)]",
                "[AddItem(\"C:\\Program Files\\Grp\\uninst.exe\",Uninstall,,,,,\"C:\\Program "
                "Files\\Grp\")]"}));
  EXPECT_EQ(EventsOf("WinExec"),
            std::vector<std::string>{"WinExec|\"C:\\Program Files\\Grp\\app.exe\"|5"});
}

TEST_F(AltConfigTest, FailureCaptionFallbackLeafAndDialogExampleUseTheirFields) {
  drive.WriteFile("file.txt", "x");
  // No default: the fallback C:\Grp is proposed; a file is refused with the
  // group name as the example; C:\Grp is then created, and a directory named
  // uninst.exe appears in it while the running-copies warning is open.
  StandinOnNextMessageBox(
      [this] { StandinOnNextMessageBox([this] { drive.MakeDirectory("Grp\\uninst.exe"); }); });
  ASSERT_EQ(Run({"C:\\file.txt", "", "C:\\Grp", "", ""}), 0);
  std::vector<std::string> boxes = EventsOf("MessageBoxA");
  ASSERT_EQ(boxes.size(), 3u) << EventDump();
  EXPECT_EQ(Fields(boxes[0])[2],
            "That path specifies a file, and not a new or existing directory name. Please enter "
            "a directory name, such as Grp for example.");
  EXPECT_EQ(Fields(boxes[2])[1], "App Installation Failed");
  EXPECT_EQ(DialogProposals(), std::vector<std::string>{"C:\\Grp"});
}

TEST_F(AltConfigTest, DdeCallbackAcceptsTheGroupName) {
  DdeStart();
  HSZ topic = DdeCreateStringHandleA(ddeInstance, "PROGMAN", 0);
  HSZ grp = DdeCreateStringHandleA(ddeInstance, "Grp", 0);
  HSZ app = DdeCreateStringHandleA(ddeInstance, "App", 0);
  EXPECT_NE(DdeCallback(XTYP_CONNECT, 0, nullptr, topic, grp, nullptr, 0, 0), nullptr);
  EXPECT_EQ(DdeCallback(XTYP_CONNECT, 0, nullptr, topic, app, nullptr, 0, 0), nullptr);
  DdeStop();
}

TEST_F(AltConfigTest, RemovalTakesTheItemsAndTheStartupItemOnlyWhenRecorded) {
  const std::vector<std::string> items = {"[CreateGroup(Grp)]", "[DeleteItem(App)]",
                                          "[DeleteItem(Uninstall)]"};
  UnregisterProgramItems("C:\\Grp", 0);
  EXPECT_EQ(commands, items);
  commands.clear();
  UnregisterProgramItems("C:\\Grp", 1);
  std::vector<std::string> all = items;
  all.insert(all.end(), {"[CreateGroup(Startup)]", "[DeleteItem(Grp)]"});
  EXPECT_EQ(commands, all);
}

}  // namespace
