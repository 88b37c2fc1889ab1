// The uninstaller over the stand-in: the lock and the question, the
// hand-over to a copy and whom the copy trusts, and what the copy removes
// from a scratch drive.
#include <gtest/gtest.h>
#include <standin.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
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
const char kFolder[] = "Program Files/Tidewell";
const char kCopy[] = "C:\\tmp\\uns1A.tmp";
const char kProfileAround[] = "[Before]\r\nk=v\r\n[Options]\r\nother=1\r\n";
const char kProfileAfter[] = "more=2\r\n[After]\r\nx=y\r\n";
const std::vector<std::string> kAllFiles = {"help.txt", "tw32.exe", "uninst.exe"};

class UninstallTest : public ::testing::Test {
 public:
  void SetUp() override { Fresh(); }
  void TearDown() override {
    unsetenv("TMPDIR");
    unsetenv("SETUP_DRIVE_D");
  }

  // A new scratch drive with an installation in `folder`, and a reset
  // stand-in; the running program is the installed uninstaller.
  void Fresh(const std::string& folder = kFolder) {
    scratch.reset();
    scratch = std::make_unique<ScratchDrive>();
    commands.clear();
    StandinReset();
    scratch->MakeDirectory(folder);
    scratch->MakeDirectory("tmp");
    setenv("TMPDIR", scratch->Path("tmp").c_str(), 1);
    for (const std::string& name : kAllFiles) {
      scratch->WriteFile(folder + "/" + name, "of " + name);
    }
    scratch->WriteFile("tmp/uns1A.tmp", "of uninst.exe");
    StandinSetModuleFileName("C:\\Program Files\\Tidewell\\uninst.exe");
    WriteProfile("dataDir=" + std::string(kDir) + "\r\n");
    RecordProgmanCommands(&commands);
  }

  // The [Options] entries of the installation, between other entries.
  void WriteProfile(const std::string& entries) {
    scratch->WriteFile("windows\\tidewell.ini", kProfileAround + entries + kProfileAfter);
  }
  int Run(const std::string& commandLine, const std::vector<std::string>& answers) {
    StandinQueueAnswers(answers);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    return WinMain(nullptr, nullptr, line.data(), SW_SHOW);
  }
  // Runs as the copy that the first process started: its parent, a handle
  // to that process, its own file in the temporary directory.
  int RunCopy(const std::string& directory) {
    StandinSetModuleFileName(kCopy);
    StandinSetParentProcessId(GetCurrentProcessId());
    return Run(HandleOfThisProcess() + " " + directory, {""});
  }
  std::string HandleOfThisProcess() {
    HANDLE process = GetCurrentProcess();
    HANDLE handle = nullptr;
    EXPECT_TRUE(DuplicateHandle(process, process, process, &handle, SYNCHRONIZE, TRUE, 0));
    return std::to_string(reinterpret_cast<uintptr_t>(handle));
  }
  std::vector<std::string> Left(const std::string& folder = kFolder) {
    std::vector<std::string> names;
    if (!fs::exists(scratch->Path(folder))) return {"<no directory>"};
    for (const auto& entry : fs::directory_iterator(scratch->Path(folder))) {
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
  EXPECT_EQ(Left(), kAllFiles);
  EXPECT_EQ(ReadFile(scratch->ProfilePath()), profile);
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(EventsOf("CreateProcessA").empty()) << EventDump();
}

TEST_F(UninstallTest, YesClosesCopiesAndHandsOverToACopy) {
  HWND product = StandinCreateTopLevelWindow("Tidewell", "tw32.exe");
  ASSERT_EQ(Run("", {"y", ""}), 0);
  EXPECT_EQ(EventsOf("CreateMutexA"),
            std::vector<std::string>{"CreateMutexA|Tidewell Uninstaller|1|0"})
      << "the lock, for the copy to inherit";
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Uninstall Tidewell", "Closing Running Copies"}));
  EXPECT_EQ(StandinPostedMessages(product).size(), 1u);

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
  EXPECT_EQ(GetProcessId(handle), GetCurrentProcessId()) << "a handle to this process";
  EXPECT_EQ(fields[3], "C:\\tmp\\") << "the copy holds no file of the installation";
  EXPECT_EQ(fields[4], "1") << "the handle and the lock are inherited";
  EXPECT_EQ(ReadFile(scratch->Path(copy.substr(3))), "of uninst.exe");

  EXPECT_EQ(Left(), kAllFiles) << "the first process leaves everything to the copy";
  EXPECT_TRUE(commands.empty()) << "the items go after the files, in the copy";
}

// Only a copy that its parent started from the temporary directory, with a
// handle to that parent, acts without asking. Any other command line is a
// person's: asked about the directory it names, and No touches nothing.
TEST_F(UninstallTest, OnlyTheCopyItsParentStartedActsWithoutAsking) {
  struct Case {
    const char* what;
    std::function<std::string(UninstallTest&)> handle;
    bool parentIsTheHandle;
    const char* module;
    bool trusted;
  } cases[] = {
      {"the copy its parent started", [](UninstallTest& t) { return t.HandleOfThisProcess(); },
       true, kCopy, true},
      {"a handle to a process that is not the parent",
       [](UninstallTest& t) { return t.HandleOfThisProcess(); }, false, kCopy, false},
      {"a waitable object that is no process",
       [](UninstallTest&) {
         HANDLE mutex = CreateMutexA(nullptr, FALSE, "some other object");
         return std::to_string(reinterpret_cast<uintptr_t>(mutex));
       },
       true, kCopy, false},
      {"a copy outside the temporary directory",
       [](UninstallTest& t) { return t.HandleOfThisProcess(); }, true,
       "C:\\Program Files\\Tidewell\\uninst.exe", false},
      {"the number of the pseudo handle", [](UninstallTest&) { return "18446744073709551615"; },
       false, kCopy, false},
      {"a number past the largest handle", [](UninstallTest&) { return "18446744073709551616"; },
       true, kCopy, false},
  };
  for (const Case& c : cases) {
    Fresh();
    std::string commandLine = c.handle(*this) + " " + kDir;
    StandinSetModuleFileName(c.module);
    StandinSetParentProcessId(c.parentIsTheHandle ? GetCurrentProcessId()
                                                  : GetCurrentProcessId() + 1);
    ASSERT_EQ(Run(commandLine, {"n", ""}), 0) << c.what;
    std::vector<std::string> captions = MessageBoxCaptions();
    if (c.trusted) {
      EXPECT_EQ(captions, std::vector<std::string>{"Uninstall Complete"}) << c.what;
      EXPECT_EQ(Left(), std::vector<std::string>{}) << c.what;
      EXPECT_EQ(EventsOf("MoveFileExA"),
                std::vector<std::string>{std::string("MoveFileExA|") + kCopy + "||0x4"})
          << c.what << ": the copy's own file is marked for deletion";
    } else {
      EXPECT_EQ(captions, std::vector<std::string>{"Uninstall Tidewell"}) << c.what;
      EXPECT_EQ(Left(), kAllFiles) << c.what;
      EXPECT_TRUE(EventsOf("MoveFileExA").empty()) << c.what;
    }
  }
}

// A person's command line that names a directory is a whole uninstallation
// of that directory, by its full path, once they said Yes.
TEST_F(UninstallTest, ATypedDirectoryIsAskedAboutByItsFullPath) {
  ASSERT_EQ(Run("8 C:\\Program Files\\Tidewell\\..\\Tidewell. ", {"y", ""}), 0);
  std::vector<std::string> boxes = EventsOf("MessageBoxA");
  ASSERT_EQ(boxes.size(), 2u) << EventDump();
  EXPECT_EQ(Fields(boxes[0])[2],
            "Are you sure you want to remove Tidewell and all of its components from C:\\Program "
            "Files\\Tidewell?");
  std::vector<std::string> started = EventsOf("CreateProcessA");
  ASSERT_EQ(started.size(), 1u) << EventDump();
  std::string line = Fields(started[0])[2];
  EXPECT_EQ(line.substr(line.size() - sizeof kDir), std::string(" ") + kDir) << line;
}

std::string ClosingText(RemovalOutcome outcome) {
  switch (outcome) {
    case kRemovedAll:
      return "Tidewell has been removed from your computer.";
    case kRemovedKeptDirectory:
      return "Tidewell has been removed from your computer. The directory C:\\Program "
             "Files\\Tidewell was kept because it holds files that Tidewell did not install.";
    case kRemovalIncomplete:
      return "Tidewell could not be removed completely: some of its files in C:\\Program "
             "Files\\Tidewell are in use or protected. Close all programs and choose Uninstall "
             "again.";
  }
  return "";
}

// What the copy removes, after its first process has ended: the payload
// files, uninst.exe last; then, when the profile names this installation
// (or none), the items and the records; the directory only when the setup
// made it, it is empty, real and not a root. A file that stays stops it
// short of the uninstaller, the items and the records.
TEST_F(UninstallTest, TheCopyRemovesOnlyWhatTheSetupMade) {
  const std::string recorded = "dataDir=" + std::string(kDir) + "\r\n";
  const std::string made = "dataDirCreated=" + std::string(kDir) + "\r\n";
  const std::string startup = "startupItem=1\r\n";
  const std::vector<std::string> group = {"[CreateGroup(Tidewell)]", "[DeleteItem(Tidewell)]",
                                          "[DeleteItem(Uninstall)]"};
  struct Case {
    const char* what;
    std::string entries;  // of [Options], before
    std::function<void(UninstallTest&)> arrange;
    std::vector<std::string> left;
    RemovalOutcome outcome;
    std::vector<std::string> commands;
    std::string entriesAfter;
  } cases[] = {
      {"a directory the setup made",
       recorded + made,
       nullptr,
       {"<no directory>"},
       kRemovedAll,
       group,
       ""},
      {"with the Startup item the setup made",
       recorded + made + startup,
       nullptr,
       {"<no directory>"},
       kRemovedAll,
       {"[CreateGroup(Tidewell)]", "[DeleteItem(Tidewell)]", "[DeleteItem(Uninstall)]",
        "[CreateGroup(Startup)]", "[DeleteItem(Tidewell)]"},
       ""},
      {"an existing directory the user chose", recorded, nullptr, {}, kRemovedAll, group, ""},
      {"a file of the user's",
       recorded + made,
       [](UninstallTest& t) { t.scratch->WriteFile("Program Files\\Tidewell\\notes.txt", "mine"); },
       {"notes.txt"},
       kRemovedKeptDirectory,
       group,
       made},
      {"a payload file that cannot be deleted",
       recorded + made + startup,
       [](UninstallTest& t) {
         fs::remove(t.scratch->Path("Program Files/Tidewell/tw32.exe"));
         t.scratch->MakeDirectory("Program Files\\Tidewell\\tw32.exe\\inside");
       },
       {"tw32.exe", "uninst.exe"},
       kRemovalIncomplete,
       {},
       recorded + made + startup},
      {"payload files already gone",
       recorded + made,
       [](UninstallTest& t) { fs::remove(t.scratch->Path("Program Files/Tidewell/help.txt")); },
       {"<no directory>"},
       kRemovedAll,
       group,
       ""},
      {"an older installation, the profile names a newer one",
       "dataDir=C:\\new\r\ndataDirCreated=C:\\new\r\n" + startup,
       nullptr,
       {},
       kRemovedAll,
       {},
       "dataDir=C:\\new\r\ndataDirCreated=C:\\new\r\n" + startup},
      {"an older installation in a directory the setup made",
       "dataDir=C:\\new\r\n" + made + startup,
       nullptr,
       {"<no directory>"},
       kRemovedAll,
       {},
       "dataDir=C:\\new\r\n" + startup},
      {"no directory recorded", "", nullptr, {}, kRemovedAll, group, ""},
      {"a directory that is a link to another",
       recorded + made,
       [](UninstallTest& t) {
         fs::rename(t.scratch->Path(kFolder), t.scratch->Path("real"));
         fs::create_directory_symlink(t.scratch->Path("real"), t.scratch->Path(kFolder));
       },
       {},
       kRemovedAll,
       group,
       made},
  };
  for (const Case& c : cases) {
    Fresh();
    WriteProfile(c.entries);
    if (c.arrange) c.arrange(*this);
    std::vector<std::string> before = Left();
    std::vector<std::string> seenWhileWaiting;
    StandinOnNextWait([&] { seenWhileWaiting = Left(); });
    ASSERT_EQ(RunCopy(kDir), 0) << c.what;

    EXPECT_EQ(seenWhileWaiting, before) << c.what << ": nothing goes before the first process ends";
    EXPECT_EQ(Left(), c.left) << c.what;
    std::vector<std::string> boxes = EventsOf("MessageBoxA");
    ASSERT_EQ(boxes.size(), 1u) << c.what << EventDump();
    EXPECT_EQ(Fields(boxes[0])[1], "Uninstall Complete") << c.what;
    EXPECT_EQ(Fields(boxes[0])[2], ClosingText(c.outcome)) << c.what;
    EXPECT_EQ(Fields(boxes[0])[3], c.outcome == kRemovalIncomplete ? "0x30" : "0x40") << c.what;
    EXPECT_EQ(commands, c.commands) << c.what;
    EXPECT_EQ(ReadFile(scratch->ProfilePath()), kProfileAround + c.entriesAfter + kProfileAfter)
        << c.what;
    DWORD slept = 0;
    for (const std::string& event : EventsOf("Sleep")) slept += std::stoul(Fields(event)[1]);
    EXPECT_EQ(slept, c.outcome == kRemovalIncomplete ? kDeleteRetryMs : 0) << c.what;
    EXPECT_EQ(EventsOf("MoveFileExA").size(), 1u) << c.what;
  }
}

// The root of a drive is never removed, even when the profile says the
// setup made it.
TEST_F(UninstallTest, ADriveRootStays) {
  Fresh("ddrive");
  setenv("SETUP_DRIVE_D", scratch->Path("ddrive").c_str(), 1);
  WriteProfile("dataDir=D:\\\r\ndataDirCreated=D:\\\r\n");
  ASSERT_EQ(RunCopy("D:\\"), 0);
  EXPECT_EQ(Left("ddrive"), std::vector<std::string>{});
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Uninstall Complete"});
}

TEST_F(UninstallTest, OneUninstallerAtATime) {
  HANDLE other = CreateMutexA(nullptr, FALSE, "Tidewell Uninstaller");
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(Run("", {""}), 0);
  EXPECT_EQ(EventsOf("MessageBoxA"),
            std::vector<std::string>{"MessageBoxA|Uninstall Tidewell|Tidewell is already being "
                                     "removed.|0x40|0|1"});
  EXPECT_EQ(Left(), kAllFiles);
  CloseHandle(other);
  StandinReset();
  ASSERT_EQ(Run("", {"n"}), 0);
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Uninstall Tidewell"})
      << "the lock is free again";
}

TEST_F(UninstallTest, WithoutACopyTheFirstProcessRemovesTheFilesItself) {
  WriteProfile("dataDir=" + std::string(kDir) + "\r\ndataDirCreated=" + kDir + "\r\n");
  setenv("TMPDIR", scratch->Path("no/such/folder").c_str(), 1);
  ASSERT_EQ(Run("", {"y", "", ""}), 0);
  EXPECT_TRUE(EventsOf("CreateProcessA").empty()) << EventDump();
  EXPECT_EQ(Left(), std::vector<std::string>{"<no directory>"});
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Uninstall Tidewell", "Closing Running Copies",
                                      "Uninstall Complete"}));
  EXPECT_TRUE(EventsOf("MoveFileExA").empty()) << "only a copy marks its own file";
}

// Its own file must be found again under the name the uninstaller has for
// it; a name the ANSI functions could not spell ("?" for each letter) names
// nothing, and nothing is removed.
TEST_F(UninstallTest, InstallationIsTheDirectoryOfTheOwnFile) {
  scratch->WriteFile("uninst.exe", "at the root");
  struct Case {
    std::string module;
    int found;
    const char* directory;
  } cases[] = {
      {"C:\\Program Files\\Tidewell\\uninst.exe", 1, kDir},
      {"C:\\uninst.exe", 1, "C:\\"},
      {"C:\\Program Files\\Tidewell\\gone.exe", 0, ""},
      {"C:\\?????\\uninst.exe", 0, ""},
      {"C:\\Program Files\\Tidewell", 0, ""},
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
  StandinSetModuleFileName("C:\\?????\\uninst.exe");
  ASSERT_EQ(Run("", {""}), 0);
  EXPECT_EQ(Fields(EventsOf("MessageBoxA").at(0))[2],
            "The uninstaller could not find the directory it was started from. Nothing has been "
            "removed.");
  EXPECT_EQ(Left(), kAllFiles);
}

// Gone is what the system says is not there; a name it cannot look up is
// not gone.
TEST_F(UninstallTest, GoneMeansNotFound) {
  scratch->WriteFile("file.txt", "x");
  struct Case {
    const char* path;
    int gone;
  } cases[] = {
      {"C:\\file.txt", 0},         {"C:\\Program Files", 0},   {"C:\\missing.txt", 1},
      {"C:\\no\\such.txt", 1},     {"C:\\file.txt\\below", 1}, {"C:\\?????\\uninst.exe", 0},
      {"\\\\server\\share\\x", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(PathIsGone(c.path), c.gone) << c.path;
}

TEST(UninstallPaths, HandOverCommandLines) {
  struct Case {
    const char* line;
    int parsed;
    const char* directory;
  } cases[] = {
      {"124 C:\\dir", 1, "C:\\dir"},
      {"  8 C:\\a  b\\", 1, "C:\\a  b\\"},
      {"18446744073709551615 C:\\x", 1, "C:\\x"},
      {"18446744073709551616 C:\\x", 0, ""},
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
  char path[16];
  EXPECT_EQ(JoinPath("D:\\", "a.exe", path, sizeof path), 1);
  EXPECT_STREQ(path, "D:\\a.exe");
  EXPECT_EQ(JoinPath("D:\\x", "a.exe", path, sizeof path), 1);
  EXPECT_STREQ(path, "D:\\x\\a.exe");
  EXPECT_EQ(JoinPath("D:\\xyz", "abcdefgh.exe", path, sizeof path), 0);
}

}  // namespace
