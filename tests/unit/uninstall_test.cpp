// The uninstaller over the stand-in: the question, the hand-over to a copy,
// and what the copy removes from a scratch scratch->
#include <gtest/gtest.h>
#include <standin.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"
#include "uninstall/uninstall.h"

namespace {

const char* const kNames[] = {kMainExeName, "uninst.exe", "help.txt"};

}  // namespace

extern const PayloadNames kPayloadNames = {3, kNames};

namespace {

namespace fs = std::filesystem;

const char kDir[] = "C:\\Program Files\\Tidewell";
const char kProfileAround[] = "[Before]\r\nk=v\r\n[Options]\r\nother=1\r\n";
const char kProfileAfter[] = "more=2\r\n[After]\r\nx=y\r\n";

class UninstallTest : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  void TearDown() override { unsetenv("TMPDIR"); }

  // A new scratch drive with an installation, and a reset stand-in.
  void Fresh() {
    scratch.reset();
    scratch = std::make_unique<ScratchDrive>();
    commands.clear();
    StandinReset();
    scratch->MakeDirectory("Program Files\\Tidewell");
    scratch->MakeDirectory("tmp");
    setenv("TMPDIR", scratch->Path("tmp").c_str(), 1);
    for (const char* name : {"tw32.exe", "uninst.exe", "help.txt"}) {
      scratch->WriteFile(std::string("Program Files\\Tidewell\\") + name,
                         std::string("of ") + name);
    }
    StandinSetModuleFileName("C:\\Program Files\\Tidewell\\uninst.exe");
    WriteProfile(kDir);
    RecordProgmanCommands(&commands);
  }

  void WriteProfile(const std::string& recorded) {
    scratch->WriteFile("windows\\tidewell.ini",
                       kProfileAround + ("dataDir=" + recorded + "\r\n") + kProfileAfter);
  }
  int Run(const std::string& commandLine, const std::vector<std::string>& answers) {
    StandinQueueAnswers(answers);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    return WinMain(nullptr, nullptr, line.data(), SW_SHOW);
  }
  // The command line of a copy, with a handle that the stand-in knows.
  std::string CopyCommandLine() {
    HANDLE process = GetCurrentProcess();
    HANDLE handle = nullptr;
    EXPECT_TRUE(DuplicateHandle(process, process, process, &handle, SYNCHRONIZE, TRUE, 0));
    return std::to_string(reinterpret_cast<uintptr_t>(handle)) + " " + kDir;
  }
  std::vector<std::string> Left() {
    std::vector<std::string> names;
    if (!fs::exists(scratch->Path("Program Files/Tidewell"))) return {"<no directory>"};
    for (const auto& entry : fs::directory_iterator(scratch->Path("Program Files/Tidewell"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<ScratchDrive> scratch;
  std::vector<std::string> commands;
};

TEST_F(UninstallTest, NoTouchesNothing) {
  std::string profile = ReadFile(scratch->ProfilePath());
  ASSERT_EQ(Run("", {"n"}), 0);
  EXPECT_EQ(EventsOf("MessageBoxA"),
            std::vector<std::string>{
                "MessageBoxA|Uninstall Tidewell|Are you sure you want to remove Tidewell and all "
                "of its components from C:\\Program Files\\Tidewell?|0x24|0|7"});
  EXPECT_EQ(Left(), (std::vector<std::string>{"help.txt", "tw32.exe", "uninst.exe"}));
  EXPECT_EQ(ReadFile(scratch->ProfilePath()), profile);
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(EventsOf("CreateProcessA").empty()) << EventDump();
}

TEST_F(UninstallTest, YesClosesCopiesRemovesItemsAndHandsOverToACopy) {
  HWND product = StandinCreateTopLevelWindow("Tidewell", "tw32.exe");
  ASSERT_EQ(Run("", {"y", ""}), 0);
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Uninstall Tidewell", "Closing Running Copies"}));
  EXPECT_EQ(StandinPostedMessages(product).size(), 1u);
  EXPECT_EQ(commands, (std::vector<std::string>{"[DeleteGroup(Tidewell)]", "[CreateGroup(Startup)]",
                                                "[DeleteItem(Tidewell)]"}));

  std::vector<std::string> started = EventsOf("CreateProcessA");
  ASSERT_EQ(started.size(), 1u) << EventDump();
  std::vector<std::string> fields = Fields(started[0]);
  std::string copy = fields[1];
  EXPECT_EQ(copy.rfind("C:\\tmp\\uns", 0), 0u) << copy;
  EXPECT_EQ(fields[2].rfind("\"" + copy + "\" ", 0), 0u) << fields[2];
  HANDLE handle = nullptr;
  char dir[kDataDirSize];
  ASSERT_EQ(ParseHandOver(fields[2].substr(copy.size() + 3).c_str(), &handle, dir, sizeof dir), 1);
  EXPECT_STREQ(dir, kDir);
  EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0) << "a handle to this process";
  EXPECT_EQ(fields[3], "C:\\tmp\\") << "the copy holds no file of the installation";
  EXPECT_EQ(fields[4], "1") << "the handle is inherited";
  EXPECT_EQ(ReadFile(scratch->Path(copy.substr(3))), "of uninst.exe");

  EXPECT_LT(FirstEvent("DdeConnect|"), FirstEvent("CreateProcessA|"));
  EXPECT_EQ(Left(), (std::vector<std::string>{"help.txt", "tw32.exe", "uninst.exe"}))
      << "the first process leaves the files to the copy";
}

TEST_F(UninstallTest, TheCopyWaitsThenRemovesWhatThePayloadNamed) {
  struct Case {
    const char* name;
    std::function<void(ScratchDrive&)> arrange;
    std::vector<std::string> left;
    bool complete;
  } cases[] = {
      {"only payload files", [](ScratchDrive&) {}, {"<no directory>"}, true},
      {"a file the user put there",
       [](ScratchDrive& d) { d.WriteFile("Program Files\\Tidewell\\notes.txt", "mine"); },
       {"notes.txt"},
       false},
      {"a payload file that cannot be deleted",
       [](ScratchDrive& d) {
         fs::remove(d.Path("Program Files/Tidewell/tw32.exe"));
         d.MakeDirectory("Program Files\\Tidewell\\tw32.exe\\inside");
       },
       {"tw32.exe"},
       false},
      {"payload files already gone",
       [](ScratchDrive& d) { fs::remove(d.Path("Program Files/Tidewell/help.txt")); },
       {"<no directory>"},
       true},
  };
  for (const Case& c : cases) {
    Fresh();
    c.arrange(*scratch);
    std::vector<std::string> before = Left();
    std::vector<std::string> seenWhileWaiting;
    StandinOnNextWait([&] { seenWhileWaiting = Left(); });
    ASSERT_EQ(Run(CopyCommandLine(), {""}), 0) << c.name;

    EXPECT_EQ(seenWhileWaiting, before) << c.name << ": nothing goes before the first process ends";
    EXPECT_EQ(Left(), c.left) << c.name;
    std::vector<std::string> boxes = EventsOf("MessageBoxA");
    ASSERT_EQ(boxes.size(), 1u) << c.name << EventDump();
    EXPECT_EQ(Fields(boxes[0])[1], "Uninstall Complete") << c.name;
    EXPECT_EQ(Fields(boxes[0])[2],
              c.complete ? "Tidewell has been removed from your computer."
                         : "Tidewell has been removed from your computer, but some files in "
                           "C:\\Program Files\\Tidewell could not be removed. You may delete "
                           "them yourself.")
        << c.name;
    EXPECT_EQ(Fields(boxes[0])[3], c.complete ? "0x40" : "0x30") << c.name;
    EXPECT_EQ(EventsOf("MoveFileExA"),
              std::vector<std::string>{"MoveFileExA|C:\\Program Files\\Tidewell\\uninst.exe||0x4"})
        << c.name << ": the copy's own file is marked for deletion";
    EXPECT_TRUE(commands.empty()) << c.name << ": the first process removed the items";
    TearDown();
  }
}

TEST_F(UninstallTest, TheProfileEntryGoesOnlyWhenItNamesThisDirectory) {
  struct Case {
    const char* recorded;
    bool removed;
  } cases[] = {
      {"C:\\Program Files\\Tidewell", true},   {"c:\\program files\\TIDEWELL", true},
      {"C:\\Program Files\\Tidewell\\", true}, {"C:/Program Files//Tidewell/", true},
      {"C:\\Program Files\\Tidewell2", false}, {"C:\\Program Files", false},
      {"D:\\Program Files\\Tidewell", false},  {"", false},
  };
  for (const Case& c : cases) {
    Fresh();
    WriteProfile(c.recorded);
    std::string before = ReadFile(scratch->ProfilePath());
    ASSERT_EQ(Run(CopyCommandLine(), {""}), 0) << c.recorded;
    EXPECT_EQ(ReadFile(scratch->ProfilePath()),
              c.removed ? std::string(kProfileAround) + kProfileAfter : before)
        << c.recorded;
  }
}

TEST_F(UninstallTest, ACommandLineWithoutAFirstProcessIsAskedAbout) {
  ASSERT_EQ(Run("999 C:\\Program Files\\Tidewell", {"n"}), 0);
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Uninstall Tidewell"});
  EXPECT_EQ(Left(), (std::vector<std::string>{"help.txt", "tw32.exe", "uninst.exe"}));
}

TEST_F(UninstallTest, WithoutACopyTheFirstProcessRemovesTheFilesItself) {
  setenv("TMPDIR", scratch->Path("no/such/folder").c_str(), 1);
  ASSERT_EQ(Run("", {"y", "", ""}), 0);
  EXPECT_TRUE(EventsOf("CreateProcessA").empty()) << EventDump();
  EXPECT_EQ(Left(), std::vector<std::string>{"<no directory>"});
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Uninstall Tidewell", "Closing Running Copies",
                                      "Uninstall Complete"}));
  EXPECT_TRUE(EventsOf("MoveFileExA").empty()) << "only a copy marks its own file";
}

TEST(UninstallPaths, HandOverCommandLines) {
  struct Case {
    const char* line;
    int parsed;
    const char* directory;
  } cases[] = {
      {"124 C:\\dir", 1, "C:\\dir"},
      {"  8 C:\\a  b\\", 1, "C:\\a  b\\"},
      {"", 0, ""},
      {"/S", 0, ""},
      {"124", 0, ""},
      {"124 ", 0, ""},
      {"124C:\\x", 0, ""},
      {"12x C:\\x", 0, ""},
  };
  for (const Case& c : cases) {
    HANDLE handle = nullptr;
    char directory[16] = "";
    EXPECT_EQ(ParseHandOver(c.line, &handle, directory, sizeof directory), c.parsed) << c.line;
    if (c.parsed) {
      EXPECT_STREQ(directory, c.directory) << c.line;
    }
  }
  char small[8];
  HANDLE handle = nullptr;
  EXPECT_EQ(ParseHandOver("1 C:\\1234567", &handle, small, sizeof small), 0) << "does not fit";
}

TEST(UninstallPaths, InstallationIsTheDirectoryOfTheOwnFile) {
  StandinReset();
  struct Case {
    std::string module;
    int found;
    const char* directory;
  } cases[] = {
      {"C:\\Program Files\\Tidewell\\uninst.exe", 1, "C:\\Program Files\\Tidewell"},
      {"D:\\uninst.exe", 1, "D:\\"},
      {"\\\\server\\share\\uninst.exe", 1, "\\\\server\\share"},
      {"uninst.exe", 0, ""},
      {"C:\\" + std::string(kDataDirSize, 'x') + "\\uninst.exe", 0, ""},
  };
  for (const Case& c : cases) {
    StandinSetModuleFileName(c.module.c_str());
    char directory[kDataDirSize] = "";
    EXPECT_EQ(LocateInstallation(directory, kDataDirSize), c.found) << c.module;
    if (c.found) {
      EXPECT_STREQ(directory, c.directory) << c.module;
    }
  }
  char path[16];
  EXPECT_EQ(JoinPath("D:\\", "a.exe", path, sizeof path), 1);
  EXPECT_STREQ(path, "D:\\a.exe");
  EXPECT_EQ(JoinPath("D:\\x", "a.exe", path, sizeof path), 1);
  EXPECT_STREQ(path, "D:\\x\\a.exe");
  EXPECT_EQ(JoinPath("D:\\xyz", "abcdefgh.exe", path, sizeof path), 0);
}

}  // namespace
