// The whole setup run, stage by stage, over the stand-in and a scratch drive.
#include <gtest/gtest.h>
#include <standin.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "datadir/datadir.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/journal.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"
#include "ui/resource.h"

namespace {

const char kInstallDir[] = "Program Files\\Tidewell";

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinReset();
    main = MakeContents(78848, 11);
    uninstaller = MakeContents(38912, 12);
    SetInstalledPayload(main, uninstaller);
    drive.MakeDirectory(kInstallDir);
    RecordProgmanCommands(&commands);
  }
  int Run(const std::vector<std::string>& answers) { return RunSetup(answers); }
  std::string Installed(const char* name) {
    return ReadFile(drive.Path(std::string(kInstallDir) + "\\" + name));
  }
  // A file's contents as a check prints them: a short text whole, a long
  // one by its size.
  static std::string Short(const std::string& contents) {
    return contents.size() <= 64 ? contents : std::to_string(contents.size()) + " bytes";
  }
  HWND ProgressWindow() {
    std::vector<HWND> dialogs = StandinDialogWindows();
    return dialogs.empty() ? nullptr : dialogs.front();
  }
  ScratchDrive drive;
  std::string main, uninstaller;
  std::vector<std::string> commands;
};

TEST_F(SequenceTest, SuccessfulInstallationInStageOrder) {
  ASSERT_EQ(Run({"", "n", "n"}), 0);
  EXPECT_EQ(Installed("tw32.exe"), main);
  EXPECT_EQ(Installed("uninst.exe"), uninstaller);
  EXPECT_EQ(ReadFile(drive.ProfilePath()), "[Options]\ndataDir=C:\\Program Files\\Tidewell\n");
  EXPECT_EQ(commands.size(), 6u);
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Closing Running Copies", "Add To Startup Group",
                                      "Installation Successful"}));

  std::string progress = StandinWindowName(ProgressWindow());
  int created = FirstEvent("CreateDialogParamA|109|");
  int warned = FirstEvent("MessageBoxA|Closing Running Copies|");
  int first = FirstEvent("SetDlgItemTextA|" + progress + "|1002|Percent Complete: 0%");
  int half = FirstEvent("SetDlgItemTextA|" + progress + "|1002|Percent Complete: 50%");
  int done = FirstEvent("SetDlgItemTextA|" + progress + "|1002|Percent Complete: 100%");
  int destroyed = FirstEvent("DestroyWindow|" + progress);
  int registered = FirstEvent("DdeConnect|");
  int asked = FirstEvent("MessageBoxA|Add To Startup Group|");
  int profile = static_cast<int>(StandinEvents().size()) - 1;
  while (profile >= 0 && StandinEvents()[profile].rfind("WritePrivateProfileStringA|", 0) != 0) {
    --profile;
  }
  int question = FirstEvent("MessageBoxA|Installation Successful|");
  std::vector<int> order = {created,   warned,     first, half,    done,
                            destroyed, registered, asked, profile, question};
  for (size_t i = 0; i < order.size(); ++i) {
    ASSERT_GE(order[i], 0) << "stage " << i << " missing\n" << EventDump();
    if (i > 0) {
      EXPECT_LT(order[i - 1], order[i]) << "stage " << i << "\n" << EventDump();
    }
  }
  EXPECT_EQ(Fields(StandinEvents()[question])[2],
            "Tidewell has been successfully installed on your system.Would you like to start "
            "Tidewell now?");
  EXPECT_EQ(Fields(StandinEvents()[question])[3], "0x4");
  EXPECT_EQ(EventsOf("WritePrivateProfileStringA|Options|dataDir").size(), 2u)
      << "resolution and the end";
  EXPECT_EQ(EventsOf("WinExec").size(), 0u) << "No starts nothing";
  EXPECT_FALSE(StandinWindowExists(ProgressWindow()));
}

TEST_F(SequenceTest, YesStartsTheProductByItsQuotedPath) {
  ASSERT_EQ(Run({"", "y", "y"}), 0);
  EXPECT_EQ(commands.size(), 10u);
  EXPECT_EQ(EventsOf("WinExec"),
            std::vector<std::string>{"WinExec|\"C:\\Program Files\\Tidewell\\tw32.exe\"|5"});
}

TEST_F(SequenceTest, DriveRootGivesDoubledBackslashes) {
  drive.WriteFile("windows\\tidewell.ini", "[Options]\ndataDir=C:\\\n");
  ASSERT_EQ(Run({"", "y", "y"}), 0);
  EXPECT_EQ(ReadFile(drive.Path("tw32.exe")), main);
  EXPECT_EQ(EventsOf("WinExec"), std::vector<std::string>{"WinExec|\"C:\\\\tw32.exe\"|5"});
  ASSERT_EQ(commands.size(), 10u);
  EXPECT_EQ(commands[5], "[AddItem(\"C:\\\\uninst.exe\",Uninstall,,,,,\"C:\\\")]");
}

// The product cannot find its data without the profile entry, so a final
// write that fails is reported before success is announced.
TEST_F(SequenceTest, ProfileThatCannotBeWrittenIsReportedBeforeSuccess) {
  drive.MakeDirectory("windows\\tidewell.ini");  // a directory where the file belongs
  ASSERT_EQ(Run({"", "n", "", "y"}), 0);
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Closing Running Copies", "Add To Startup Group",
                                      "Data Directory Not Recorded", "Installation Successful"}))
      << EventDump();
  int warning = FirstEvent("MessageBoxA|Data Directory Not Recorded|");
  ASSERT_GT(warning, 0) << EventDump();
  std::vector<std::string> box = Fields(StandinEvents()[warning]);
  EXPECT_EQ(box[2],
            "Setup could not record the location of the data directory in tidewell.ini. Tidewell "
            "is installed, but it may not find its data files. Make sure you may write to the "
            "Windows directory, then run the setup program again.");
  EXPECT_EQ(box[3], "0x30");
  EXPECT_EQ(box[4], "0") << "no owner window";
  EXPECT_EQ(box[5], "1") << "OK";
  EXPECT_EQ(Fields(StandinEvents()[warning - 1])[0], "WritePrivateProfileStringA")
      << "the warning follows the final write\n"
      << EventDump();
  EXPECT_EQ(Installed("tw32.exe"), main) << "nothing else changes";
  EXPECT_EQ(EventsOf("WinExec").size(), 1u) << EventDump();
}

TEST_F(SequenceTest, RefusedDirectoryEndsBeforeAnythingIsShownOrWritten) {
  drive.WriteFile("windows\\tidewell.ini", "[Options]\ndataDir=Q:\\nowhere\n");
  ASSERT_EQ(Run({":cancel"}), 0);
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Shutting Down", "Application Not Installed"}));
  EXPECT_EQ(Fields(EventsOf("MessageBoxA")[1])[2],
            "The application will not be installed at this time.If you decide to install the "
            "application later, just launch this program again to complete the installation "
            "process.");
  EXPECT_EQ(Fields(EventsOf("MessageBoxA")[1])[3], "0x30");
  EXPECT_EQ(EventsOf("CreateDialogParamA").size(), 0u);
  EXPECT_EQ(EventsOf("Sleep").size(), 0u);
  EXPECT_EQ(Installed("tw32.exe"), "<missing>");
  EXPECT_EQ(commands.size(), 0u);
}

// Holds an installed file open as another program would.
void HoldOpen(const char* name) {
  StandinHoldOpen((std::string("C:\\") + kInstallDir + "\\" + name).c_str());
}

// One setup at a time, and none while the uninstaller works: a second
// start says so and touches nothing, not even the profile.
TEST_F(SequenceTest, ASecondSetupOrARunningUninstallerStopsTheSetup) {
  for (const char* lock : {"Tidewell Setup", "Tidewell Uninstaller"}) {
    StandinReset();
    HANDLE other = CreateMutexA(nullptr, FALSE, lock);
    ASSERT_EQ(Run({""}), 0);
    EXPECT_EQ(EventsOf("MessageBoxA"),
              std::vector<std::string>{
                  "MessageBoxA|Setup Not Started|Another setup program, or the uninstaller of the "
                  "application, may be running. Nothing has been changed. Wait until it has "
                  "finished, then run the setup program again.|0x30|0|1"})
        << lock;
    EXPECT_FALSE(std::filesystem::exists(drive.ProfilePath())) << lock;
    EXPECT_EQ(Installed("tw32.exe"), "<missing>") << lock;
    CloseHandle(other);
  }
}

// A killed run's new file that another program holds stops the next run
// before it touches anything: the previous file moved aside is kept and the
// message says so. Once it is let go, the next run restores and installs.
TEST_F(SequenceTest, APreviousFileThatCannotBePutBackIsKeptAndReported) {
  std::string dir = drive.Path(kInstallDir);
  TestJournal killed(dir + "/~setup.tmp");
  drive.WriteFile("Program Files\\Tidewell\\~setup.tmp\\0.old", "previous main");
  drive.WriteFile("Program Files\\Tidewell\\tw32.exe", "killed run's main");
  killed.Add('c', "tw32.exe").Add('a', "tw32.exe", killed.folder + "/0.old", 0);
  killed.Add('i', "tw32.exe", dir + "/tw32.exe").Save();
  HoldOpen("tw32.exe");
  ASSERT_EQ(Run({""}), 0);
  std::vector<std::string> boxes = EventsOf("MessageBoxA");
  ASSERT_EQ(boxes.size(), 2u) << EventDump();
  EXPECT_NE(Fields(boxes[1])[2].find("could not be restored completely. Run the setup program "
                                     "again to finish restoring it."),
            std::string::npos)
      << Fields(boxes[1])[2];
  EXPECT_EQ(Installed("~setup.tmp\\0.old"), "previous main");
  EXPECT_EQ(Installed("uninst.exe"), "<missing>") << "nothing is written";

  StandinReset();
  ASSERT_EQ(Run({"", "n", "n"}), 0);
  EXPECT_EQ(Installed("tw32.exe"), main);
  EXPECT_FALSE(std::filesystem::exists(dir + "/~setup.tmp"));
}

// A run that fails leaves the installation as it found it: none, or the
// previous files byte for byte, and nothing of its staging. A damaged setup
// program finds the damage before it touches anything at all.
TEST_F(SequenceTest, FailedRunLeavesThePreviousInstallation) {
  const char* kDamaged =
      "The setup program is damaged: one of its component files could not be unpacked. Obtain "
      "a new copy of the setup program and run it again.";
  const char* kCannotCreate =
      "The application was not able to create one of its component files. The disk is full, or "
      "a copy of the application is already running, or you do not have write access to the "
      "directory in which you are attempting to install the application. Check your available "
      "disk space and run the setup program again.";
  struct Case {
    const char* what;
    std::function<void(bool reinstall)> fault;
    const char* text;
    bool reinstallOnly;  // a fault that needs an installed file
  } cases[] = {
      {"damaged chunk", [](bool) { CorruptInstalledChunk(1, 1); }, kDamaged, false},
      {"damaged table entry", [](bool) { CorruptInstalledName(1); }, kDamaged, false},
      {"cannot create", [](bool) { StandinFailWriting("uninst.exe"); }, kCannotCreate, false},
      {"short write", [](bool) {},
       "The application was unable to finish writing a file to disk. Your hard drive is probably "
       "full. Check your available disk space, make additional space available, and run the "
       "setup program again.",
       false},
      {"no room", [](bool) { StandinSetDiskFree(1000); },
       "The disk does not have enough free space for the application's files. Nothing has been "
       "changed. Make additional space available, and run the setup program again.",
       false},
      {"no memory", [](bool) { failExtractBufferAllocation = true; },
       "Insufficient memory was available for the setup procedure. Close other applications and "
       "run the setup program again.",
       false},
      // Held open by another program that lets it be neither written nor
      // renamed: the first file, or the second after the first was written.
      {"first file in use", [](bool) { HoldOpen("tw32.exe"); }, kCannotCreate, true},
      {"second file in use", [](bool) { HoldOpen("uninst.exe"); }, kCannotCreate, true},
  };
  for (bool reinstall : {false, true}) {
    for (const Case& c : cases) {
      if (c.reinstallOnly && !reinstall) continue;
      std::string what = std::string(c.what) + (reinstall ? ", reinstallation" : ", first");
      StandinReset();
      commands.clear();
      SetInstalledPayload(main, uninstaller);
      std::filesystem::remove_all(drive.Path(kInstallDir));
      std::filesystem::remove(drive.ProfilePath());
      drive.MakeDirectory(kInstallDir);
      if (reinstall) {
        drive.WriteFile("Program Files\\Tidewell\\tw32.exe", "previous main");
        drive.WriteFile("Program Files\\Tidewell\\uninst.exe", "previous uninstaller");
      }
      c.fault(reinstall);
      bool damaged = c.text == kDamaged;
      bool progressShownDuringFailure = false;
      if (!damaged) {
        StandinQueueAnswer("");  // the running-copies warning
        // The second box is the failure: the progress window must still be there.
        StandinOnNextMessageBox([this, &progressShownDuringFailure] {
          StandinOnNextMessageBox([this, &progressShownDuringFailure] {
            progressShownDuringFailure = StandinWindowExists(ProgressWindow());
          });
        });
      }
      int result;
      {
        FileSizeLimit limit(std::string(c.what) == "short write" ? 40000 : RLIM_INFINITY);
        result = Run({""});
      }
      failExtractBufferAllocation = false;
      EXPECT_EQ(result, 0) << what;
      std::vector<std::string> boxes = EventsOf("MessageBoxA");
      ASSERT_EQ(boxes.size(), damaged ? 1u : 2u) << what << "\n" << EventDump();
      EXPECT_EQ(Fields(boxes.back())[1], "Tidewell Installation Failed") << what;
      EXPECT_EQ(Fields(boxes.back())[2], c.text) << what;
      EXPECT_EQ(Fields(boxes.back())[3], "0x30") << what;
      EXPECT_EQ(progressShownDuringFailure, !damaged) << what;
      EXPECT_EQ(Short(Installed("tw32.exe")), reinstall ? "previous main" : "<missing>") << what;
      EXPECT_EQ(Short(Installed("uninst.exe")), reinstall ? "previous uninstaller" : "<missing>")
          << what;
      EXPECT_FALSE(std::filesystem::exists(drive.Path("Program Files\\Tidewell\\~setup.tmp")))
          << what << ": staging folder";
      EXPECT_EQ(commands.size(), 0u) << what;
      EXPECT_EQ(EventsOf("WritePrivateProfileStringA|Options|dataDir").size(), damaged ? 0u : 1u)
          << what;
      EXPECT_EQ(EventsOf("CreateDialogParamA").size(), damaged ? 0u : 1u) << what;
      EXPECT_EQ(EventsOf("WinExec").size(), 0u) << what;
    }
  }
}

}  // namespace
