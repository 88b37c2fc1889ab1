// The uninstaller over the stand-in: the lock and the question, the
// hand-over to a copy and whom the copy trusts, and what the copy removes
// from a scratch drive.
#include <gtest/gtest.h>
#include <standin.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/journal.h"
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
    scratch->MakeDirectory("other");
    setenv("TMPDIR", scratch->Path("tmp").c_str(), 1);
    for (const std::string& name : kAllFiles) {
      scratch->WriteFile(folder + "/" + name, "of " + name);
      scratch->WriteFile("other/" + name, "of another program");
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
    return Run(HandleOfThisProcess() + " " + HoldOf(directory) + " " + directory, {""});
  }
  // Runs the copy that the first process started, with its command line.
  void RunStartedCopy() {
    std::vector<std::string> started = EventsOf("CreateProcessA");
    if (started.empty()) return;
    std::vector<std::string> fields = Fields(started[0]);
    StandinSetModuleFileName(fields[1].c_str());
    StandinSetParentProcessId(GetCurrentProcessId());
    Run(fields[2].substr(fields[1].size() + 3), {""});
  }
  // The first process's hold on a directory, which its copy inherits.
  static std::string HoldOf(const std::string& directory) {
    HoldInstallDirectory(directory.c_str());
    return std::to_string(reinterpret_cast<uintptr_t>(HeldInstallDirectory()));
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
            (std::vector<std::string>{"CreateMutexA|Tidewell Uninstaller|1|0",
                                      "CreateMutexA|Tidewell Setup|0|0"}))
      << "the lock, for the copy to inherit, and a look for a setup at work";
  EXPECT_EQ(MessageBoxCaptions(),
            (std::vector<std::string>{"Uninstall Tidewell", "Closing Running Copies"}));
  EXPECT_EQ(StandinPostedMessages(product).size(), 1u);

  std::vector<std::string> started = EventsOf("CreateProcessA");
  ASSERT_EQ(started.size(), 1u) << EventDump();
  std::vector<std::string> fields = Fields(started[0]);
  std::string copy = fields[1];
  EXPECT_EQ(copy.rfind("C:\\tmp\\uns", 0), 0u) << copy;
  EXPECT_EQ(fields[2].rfind("\"" + copy + "\" ", 0), 0u) << fields[2];
  HandOver handOver;
  char dir[kDataDirSize];
  ASSERT_EQ(ParseHandOver(fields[2].substr(copy.size() + 3).c_str(), &handOver, dir, sizeof dir),
            1);
  EXPECT_STREQ(dir, kDir);
  EXPECT_EQ(GetProcessId(handOver.firstProcess), GetCurrentProcessId())
      << "a handle to this process";
  EXPECT_TRUE(IsHeldDirectory(handOver.heldDirectory)) << "the hold on the directory";
  EXPECT_EQ(fields[3], "C:\\tmp\\") << "the copy holds no file of the installation";
  EXPECT_EQ(fields[4], "1") << "the handle and the lock are inherited";
  EXPECT_EQ(ReadFile(scratch->Path(copy.substr(3))), "of uninst.exe");

  EXPECT_EQ(Left(), kAllFiles) << "the first process leaves everything to the copy";
  EXPECT_TRUE(commands.empty()) << "the items go after the files, in the copy";
}

// Only a copy that its parent started from the temporary directory, with a
// handle to that parent, acts on the directory in its command line. Any
// other start is an ordinary one on its own directory, C:\tmp holds no
// installation, and C:\other, which the command line names, stays.
TEST_F(UninstallTest, OnlyTheCopyItsParentStartedActsOnItsCommandLine) {
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
    std::string directory = c.trusted ? kDir : "C:\\other";
    std::string commandLine = c.handle(*this) + " " + HoldOf(directory) + " " + directory;
    StandinSetModuleFileName(c.module);
    StandinSetParentProcessId(c.parentIsTheHandle ? GetCurrentProcessId()
                                                  : GetCurrentProcessId() + 1);
    ASSERT_EQ(Run(commandLine, {"y", ""}), 0) << c.what;
    std::vector<std::string> captions = MessageBoxCaptions();
    EXPECT_EQ(Left("other"), kAllFiles) << c.what;
    if (c.trusted) {
      EXPECT_EQ(captions, std::vector<std::string>{"Uninstall Complete"}) << c.what;
      EXPECT_EQ(Left(), std::vector<std::string>{}) << c.what;
      EXPECT_EQ(EventsOf("MoveFileExA"),
                std::vector<std::string>{std::string("MoveFileExA|") + kCopy + "||0x4"})
          << c.what << ": the copy's own file is marked for deletion";
    } else {
      EXPECT_EQ(Fields(EventsOf("MessageBoxA").at(0))[2],
                c.module != kCopy ? "Are you sure you want to remove Tidewell and all of its "
                                    "components from C:\\Program Files\\Tidewell?"
                                  : "No installation of Tidewell was found in C:\\tmp. Nothing "
                                    "has been removed.")
          << c.what;
      EXPECT_EQ(Left(), kAllFiles) << c.what;
      EXPECT_TRUE(EventsOf("MoveFileExA").empty()) << c.what;
    }
  }
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
      {"what an interrupted setup left in its staging folder",
       recorded + made,
       [](UninstallTest& t) {
         // Killed after it wrote over tw32.exe and moved uninst.exe aside.
         std::string dir = t.scratch->Path(kFolder);
         TestJournal killed(dir + "/~setup.tmp");
         fs::rename(dir + "/uninst.exe", killed.folder + "/0.old");
         killed.Add('b', "tw32.exe", dir + "/tw32.exe", 11, "of tw32.exe").Add('c', "uninst.exe");
         killed.Add('a', "uninst.exe", killed.folder + "/0.old", 0).Save();
         t.scratch->WriteFile("Program Files\\Tidewell\\tw32.exe", "staged");
       },
       {"<no directory>"},
       kRemovedAll,
       group,
       ""},
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
    // Its own file marked for deletion; a setup's aside copy put back first.
    bool staged = std::string(c.what).find("staging") != std::string::npos;
    EXPECT_EQ(EventsOf("MoveFileExA").size(), staged ? 2u : 1u) << c.what;
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

// One uninstaller at a time, and none while a setup runs: the second says
// so and removes nothing.
TEST_F(UninstallTest, OneUninstallerAtATimeAndNoneBesideASetup) {
  const struct {
    const char* lock;
    const char* box;
  } cases[] = {
      {"Tidewell Uninstaller", "Uninstall Tidewell|Tidewell is already being removed.|0x40"},
      {"Tidewell Setup",
       "Uninstall Tidewell|The setup program of Tidewell is running. Nothing has been removed. "
       "Wait until it has finished, then choose Uninstall again.|0x30"},
  };
  for (const auto& c : cases) {
    StandinReset();
    HANDLE other = CreateMutexA(nullptr, FALSE, c.lock);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(Run("", {""}), 0);
    EXPECT_EQ(EventsOf("MessageBoxA"),
              std::vector<std::string>{"MessageBoxA|" + std::string(c.box) + "|0|1"})
        << c.lock;
    EXPECT_EQ(Left(), kAllFiles) << c.lock;
    CloseHandle(other);
  }
  StandinReset();
  ASSERT_EQ(Run("", {"n"}), 0);
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Uninstall Tidewell"})
      << "the locks are free again";
}

// Nothing outside the directory the user was asked about is ever removed,
// and nothing at all when the uninstaller cannot be sure of it: without the
// lock, without a copy, without a hold on the directory. A directory
// swapped for a link to C:\\other before the question, while it is shown,
// or while the copy waits, leaves C:\\other alone; one that another program
// removed is gone, not kept for holding files.
TEST_F(UninstallTest, NothingOutsideTheDirectoryAskedAbout) {
  const std::string notHeld =
      "The directory C:\\Program Files\\Tidewell cannot be kept unchanged during the removal: "
      "it is a link, cannot be opened or was replaced. Nothing has been removed.";
  auto swap = [](UninstallTest& t) {
    fs::rename(t.scratch->Path(kFolder), t.scratch->Path("moved"));
    fs::create_directory_symlink(t.scratch->Path("other"), t.scratch->Path(kFolder));
  };
  const std::vector<std::string> kEmpty, kGone = {"<no directory>"};
  enum When { kBefore, kWhileAsked, kWhileCopyWaits };
  struct Case {
    const char* what;
    When when;
    std::function<void(UninstallTest&)> act;
    std::string lastText;
    const char* filesAt;  // where the installation's files are then
    std::vector<std::string> left;
  } cases[] = {
      {"the lock cannot be made", kBefore,
       [](UninstallTest& t) { setenv("XDG_RUNTIME_DIR", t.scratch->Path("none").c_str(), 1); },
       "The uninstaller could not create the lock that keeps two uninstallers from working at "
       "once. Nothing has been removed.",
       kFolder, kAllFiles},
      {"no copy can be made in the temporary directory", kBefore,
       [](UninstallTest& t) { setenv("TMPDIR", t.scratch->Path("no/such").c_str(), 1); },
       "The uninstaller could not copy itself to the temporary directory C:\\no\\such. Nothing "
       "has been removed. Make sure that this directory exists and can be written to, then "
       "choose Uninstall again.",
       kFolder, kAllFiles},
      {"the directory is a link", kBefore, swap, notHeld, "moved", kAllFiles},
      {"swapped for a link while the question is shown", kWhileAsked, swap, notHeld, "moved",
       kAllFiles},
      {"its parent swapped for a loop of links, which cannot be looked at", kWhileAsked,
       [](UninstallTest& t) {
         fs::rename(t.scratch->Path("Program Files"), t.scratch->Path("parent"));
         fs::create_directory_symlink("Program Files", t.scratch->Path("Program Files"));
       },
       notHeld, "parent/Tidewell", kAllFiles},
      {"swapped for a link while the copy waits", kWhileCopyWaits, swap, ClosingText(kRemovedAll),
       "moved", kEmpty},
      {"removed by another program while the copy waits", kWhileCopyWaits,
       [](UninstallTest& t) { fs::remove_all(t.scratch->Path(kFolder)); }, ClosingText(kRemovedAll),
       kFolder, kGone},
  };
  for (const Case& c : cases) {
    Fresh();
    WriteProfile("dataDir=" + std::string(kDir) + "\r\ndataDirCreated=" + kDir + "\r\n");
    auto act = [&] { c.act(*this); };
    if (c.when == kBefore) act();
    if (c.when == kWhileAsked) StandinOnNextMessageBox(act);
    ASSERT_EQ(Run("", {"y", ""}), 0) << c.what;
    if (c.when == kWhileCopyWaits) StandinOnNextWait(act);
    RunStartedCopy();
    EXPECT_EQ(Fields(EventsOf("MessageBoxA").back())[2], c.lastText) << c.what;
    EXPECT_EQ(Left(c.filesAt), c.left) << c.what;
    EXPECT_EQ(Left("other"), kAllFiles) << c.what;
    EXPECT_EQ(ReadFile(scratch->ProfilePath()).find("dataDirCreated") != std::string::npos,
              c.left != kGone)
        << c.what << ": the record of the directory goes only with the directory";
  }
}

// The profile names this installation by any text that reaches its
// directory: another letter case, either separator, a trailing one, a
// second name (a short name on Windows; a link stands in for one here).
// Then a directory that holds only an uninstaller still holds the rest of
// an installation to remove; otherwise it holds none.
TEST_F(UninstallTest, TheProfileNamesTheDirectoryByAnyOfItsNames) {
  fs::create_directory_symlink(scratch->Path("Program Files"), scratch->Path("PROGRA~1"));
  scratch->MakeDirectory("Program Files/Tidewell2");
  fs::remove(scratch->Path("Program Files/Tidewell/tw32.exe"));
  fs::remove(scratch->Path("Program Files/Tidewell/help.txt"));
  struct Case {
    const char* recorded;
    int same;
  } cases[] = {
      {"C:\\PROGRA~1\\Tidewell", 1},        {"c:\\program files\\TIDEWELL", 1},
      {"C:\\Program Files\\Tidewell\\", 1}, {"C:/Program Files//Tidewell/", 1},
      {"C:\\Program Files\\Tidewell2", 0},  {"C:\\PROGRA~1\\Tidewell3", 0},
  };
  for (const Case& c : cases) {
    WriteProfile("dataDir=" + std::string(c.recorded) + "\r\ndataDirCreated=" + c.recorded +
                 "\r\n");
    InstallationRecord record;
    ReadInstallationRecord(kDir, &record);
    EXPECT_EQ(record.current, c.same) << c.recorded;
    EXPECT_EQ(record.created, c.same) << c.recorded;
    EXPECT_EQ(HoldsInstallation(&kPayloadNames, kDir), c.same) << c.recorded;
  }
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

// What is outside, as names and contents (a link by what it names).
std::vector<std::string> Snapshot(const std::string& root) {
  std::vector<std::string> seen;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string line = entry.path().string();
    if (entry.is_symlink()) {
      line += " -> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      line += ": " + ReadFile(entry.path().string());
    }
    seen.push_back(line);
  }
  std::sort(seen.begin(), seen.end());
  return seen;
}

// What is not the setup's in its folders, and a link at an installed name,
// is never followed or deleted: a setup that succeeds, one that fails and
// the uninstaller change nothing outside, the failing run leaves the
// directory as it was, and the runs after them install and uninstall.
TEST_F(UninstallTest, NothingPlantedIsFollowedOrDeleted) {
  // Plants into the data directory `d`, with `f` a file outside.
  struct Plant {
    const char* what;
    std::function<void(const std::string& d, const std::string& f)> make;
  } plants[] = {
      {"the staging folder a link to a folder outside",
       [](const std::string& d, const std::string& f) {
         fs::create_directory_symlink(fs::path(f).parent_path(), d + "/~setup.tmp");
       }},
      {"the journal and a copy's place links to a file outside",
       [](const std::string& d, const std::string& f) {
         fs::create_directory(d + "/~setup.tmp");
         fs::create_symlink(f, d + "/~setup.tmp/journal");
         fs::create_symlink(f, d + "/~setup.tmp/0.old");
       }},
      {"a folder with a file in it at the journal's name",
       [](const std::string& d, const std::string&) {
         fs::create_directories(d + "/~setup.tmp/journal");
         std::ofstream(d + "/~setup.tmp/journal/keep") << "kept";
       }},
      {"a file of the user's at the staging folder's name",
       [](const std::string& d, const std::string&) {
         std::ofstream(d + "/~setup.tmp") << "mine";
       }},
      {"tw32.exe a link to a file outside",
       [](const std::string& d, const std::string& f) {
         fs::remove(d + "/tw32.exe");
         fs::create_symlink(f, d + "/tw32.exe");
       }},
  };
  const char* const kActions[] = {"a setup that succeeds", "a setup that fails", "the uninstaller"};
  TestPayload payload;
  payload.Build({{"tw32.exe", MakeContents(70000, 1)},
                 {"uninst.exe", "new uninst.exe"},
                 {"help.txt", "new help.txt"}});
  for (const Plant& plant : plants) {
    for (const char* action : kActions) {
      std::string what = std::string(plant.what) + ", " + action;
      Fresh();
      std::string outside = scratch->Path("outside"), dir = scratch->Path(kFolder);
      fs::create_directories(outside);
      std::ofstream(outside + "/file") << "outside's";
      plant.make(dir, outside + "/file");
      std::vector<std::string> before = Snapshot(outside), installed = Snapshot(dir);
      if (action == kActions[0]) {
        EXPECT_EQ(ExtractPayloadInto(&payload.table, kDir, nullptr, nullptr), kExtractDone) << what;
        EXPECT_EQ(ReadFile(dir + "/help.txt"), "new help.txt") << what;
      } else if (action == kActions[1]) {
        FileSizeLimit full(100);
        EXPECT_EQ(ExtractPayloadInto(&payload.table, kDir, nullptr, nullptr), kExtractShortWrite)
            << what;
        EXPECT_EQ(Snapshot(dir), installed) << what;
      } else {
        RunCopy(kDir);
        EXPECT_EQ(ReadFile(dir + "/tw32.exe"), "<missing>") << what;
      }
      EXPECT_EQ(Snapshot(outside), before) << what;
      // The next runs as usual.
      StandinReset();
      EXPECT_EQ(ExtractPayloadInto(&payload.table, kDir, nullptr, nullptr), kExtractDone) << what;
      EXPECT_EQ(ReadFile(dir + "/help.txt"), "new help.txt") << what;
      RunCopy(kDir);
      std::vector<std::string> left = Left();
      // The directory the user chose stays, with what was planted in it.
      EXPECT_TRUE(left.empty() || left == std::vector<std::string>{"~setup.tmp"})
          << what << ": left " << testing::PrintToString(left);
      EXPECT_EQ(Snapshot(outside), before) << what;
    }
  }
}

TEST(UninstallPaths, HandOverCommandLines) {
  struct Case {
    const char* line;
    int parsed;
    const char* directory;
  } cases[] = {
      {"124 9 C:\\dir", 1, "C:\\dir"},
      {"  8 9 C:\\a  b\\", 1, "C:\\a  b\\"},
      {"18446744073709551615 9 C:\\x", 1, "C:\\x"},
      {"9 18446744073709551616 C:\\x", 0, ""},
      {"", 0, ""},
      {"/S", 0, ""},
      {"124 9", 0, ""},
      {"124 9 ", 0, ""},
      {"124 C:\\x", 0, ""},
      {"12x 9 C:\\x", 0, ""},
  };
  for (const Case& c : cases) {
    HandOver handOver;
    char directory[16] = "";
    EXPECT_EQ(ParseHandOver(c.line, &handOver, directory, sizeof directory), c.parsed) << c.line;
    if (c.parsed) {
      EXPECT_STREQ(directory, c.directory) << c.line;
    }
  }
  char small[8];
  HandOver handOver;
  EXPECT_EQ(ParseHandOver("1 2 C:\\1234567", &handOver, small, sizeof small), 0) << "does not fit";
  char path[16];
  EXPECT_EQ(JoinPath("D:\\", "a.exe", path, sizeof path), 1);
  EXPECT_STREQ(path, "D:\\a.exe");
  EXPECT_EQ(JoinPath("D:\\x", "a.exe", path, sizeof path), 1);
  EXPECT_STREQ(path, "D:\\x\\a.exe");
  EXPECT_EQ(JoinPath("D:\\xyz", "abcdefgh.exe", path, sizeof path), 0);
}

}  // namespace
