// Path operations, data directory resolution and the directory dialog, over
// the stand-in with scripted answers and a scratch drive C:.
#include <gtest/gtest.h>
#include <limits.h>
#include <standin.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "datadir/datadir.h"
#include "payload/staging.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"
#include "ui/resource.h"

namespace {

std::string CurrentDirectory() {
  char cwd[PATH_MAX];
  return getcwd(cwd, sizeof cwd) ? cwd : "";
}

std::string Apply(void (*op)(char*, char), const char* text, char ch) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%s", text);
  op(buffer, ch);
  return buffer;
}

TEST(PathOps, StripTrailingCharRemovesAtMostOne) {
  struct Case {
    const char* text;
    char ch;
    const char* expected;
  } cases[] = {
      {"C:\\a\\", '\\', "C:\\a"},
      {"C:\\a\\\\", '\\', "C:\\a\\"},
      {"C:/a/", '\\', "C:/a/"},
      {"C:/a/", '/', "C:/a"},
      {"", '\\', ""},
      {"\\", '\\', ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Apply(StripTrailingChar, c.text, c.ch), c.expected) << c.text;
}

TEST(PathOps, NormalizeSeparators) {
  struct Case {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:/a//b\\\\/c", "C:\\a\\b\\c"},
      {"C:/data//tw/", "C:\\data\\tw\\"},  // A trailing run stays as one backslash.
      {"C:\\Program Files\\Tidewell", "C:\\Program Files\\Tidewell"},
      {"\\\\srv\\share\\tw", "\\\\srv\\share\\tw"},  // Network paths keep their two.
      {"//srv//share/tw", "\\\\srv\\share\\tw"},
      {"\\/\\srv\\share", "\\\\srv\\share"},
      {"/root", "\\root"},
      {"\\", "\\"},
      {"//", "\\\\"},
      {"", ""},
      {"a b/./..//c", "a b\\.\\..\\c"},  // No resolution of "." or "..".
  };
  for (const Case& c : cases) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%s", c.path);
    NormalizeSeparators(buffer);
    EXPECT_STREQ(buffer, c.expected) << c.path;
  }
}

class DataDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinReset();
    dataDirectory[0] = '\0';
  }
  std::string Profile() { return ReadFile(drive.ProfilePath()); }
  ScratchDrive drive;
};

TEST_F(DataDirTest, EnsureDirectoryEntersAndCreatesOneLevel) {
  drive.MakeDirectory("there");
  EXPECT_EQ(EnsureDirectory("C:\\there", 0), 0);
  EXPECT_EQ(CurrentDirectory(), drive.Path("there"));
  EXPECT_EQ(EnsureDirectory("C:\\new", 0), -1);
  EXPECT_FALSE(std::filesystem::exists(drive.Path("new")));
  EXPECT_EQ(EnsureDirectory("C:\\new", 1), 0);
  EXPECT_EQ(CurrentDirectory(), drive.Path("new"));
  EXPECT_EQ(EnsureDirectory("C:\\no\\parent", 1), -1);
  EXPECT_EQ(EnsureDirectory("Q:\\unmapped", 1), -1);
}

TEST_F(DataDirTest, DefaultExistsWithoutProfileEntry) {
  drive.MakeDirectory("Program Files\\Tidewell");
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 1);
  EXPECT_STREQ(dataDirectory, "C:\\Program Files\\Tidewell");
  EXPECT_EQ(CurrentDirectory(), drive.Path("Program Files/Tidewell"));
  EXPECT_EQ(EventsOf("DialogBoxParamA").size(), 0u) << EventDump();
  EXPECT_EQ(EventsOf("MessageBoxA").size(), 0u) << EventDump();
  EXPECT_EQ(Profile(), "[Options]\ndataDir=C:\\Program Files\\Tidewell\n");
}

TEST_F(DataDirTest, ProfileWinsOverTheDefaultAndIsWrittenBackNormalized) {
  drive.MakeDirectory("Program Files\\Tidewell");
  drive.MakeDirectory("data\\tw");
  // An earlier run made the directory: the record stays with a reinstallation.
  drive.WriteFile(
      "windows\\tidewell.ini",
      "[Other]\nkeep=1\n[Options]\ndataDir=C:/data//tw/\ndataDirCreated=C:\\data\\tw\n");
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 1);
  EXPECT_STREQ(dataDirectory, "C:\\data\\tw\\");
  EXPECT_EQ(CurrentDirectory(), drive.Path("data/tw"));
  EXPECT_EQ(Profile(),
            "[Other]\nkeep=1\n[Options]\ndataDir=C:\\data\\tw\\\ndataDirCreated=C:\\data\\tw\n");
  EXPECT_EQ(EventsOf("MessageBoxA").size(), 0u) << EventDump();
}

TEST_F(DataDirTest, HomeDirectoryFallbackProposals) {
  struct Case {
    const char* homeDrive;  // nullptr: unset
    const char* homePath;
    const char* proposal;
  } cases[] = {
      {nullptr, nullptr, "C:\\Tidewell"},
      {"D:", "\\", "D:\\Tidewell"},
      {"D:\\", "\\Users\\x", "D:\\Users\\x\\Tidewell"},
      {"Z:", "D:\\Users\\ann\\", "D:\\Users\\ann\\Tidewell"},
      {"D:", "\\Users\\ann", "D:\\Users\\ann\\Tidewell"},
      {"E:/", "/home/", "E:\\home\\Tidewell"},  // Shown after normalization.
      {"", "", "C:\\Tidewell"},  // Set but empty is the empty text: "\Tidewell" on drive C:.
  };
  for (const Case& c : cases) {
    StandinReset();
    c.homeDrive ? setenv("HOMEDRIVE", c.homeDrive, 1) : unsetenv("HOMEDRIVE");
    c.homePath ? setenv("HOMEPATH", c.homePath, 1) : unsetenv("HOMEPATH");
    StandinQueueAnswer(":cancel");
    EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0);
    EXPECT_EQ(DialogProposals(), std::vector<std::string>{c.proposal})
        << "HOMEDRIVE=" << (c.homeDrive ? c.homeDrive : "(unset)")
        << " HOMEPATH=" << (c.homePath ? c.homePath : "(unset)");
  }
}

// The home proposal: the desktop user's profile folder when the setup runs
// as another user, else the variables'; a name outside the ANSI code page
// only by its short name, else none, never by the ANSI look-alike.
TEST(HomeProposal, DesktopUserFirstAndNeverALookAlike) {
  const HomeFolder none = {}, admin = {1, 1, "C:", "\\Users\\admin", ""};
  const HomeFolder ann = {1, 1, "", "C:\\Users\\ann", ""};
  const HomeFolder lukasz = {1, 0, "", "C:\\users\\Lukasz", "C:\\users\\_UKA~INY"};
  const HomeFolder noShort = {1, 0, "C:", "\\users\\Lukasz", ""};
  struct Case {
    HomeFolder desktopUser, variables;
    const char* proposal;  // nullptr: none
  } cases[] = {
      {ann, admin, "C:\\Users\\ann\\Tidewell"},         {none, admin, "C:\\Users\\admin\\Tidewell"},
      {lukasz, admin, "C:\\users\\_UKA~INY\\Tidewell"}, {noShort, admin, nullptr},
      {none, lukasz, "C:\\users\\_UKA~INY\\Tidewell"},  {none, noShort, nullptr}};
  for (const Case& c : cases) {
    HomeFolders homes = {c.desktopUser, c.variables};
    char proposal[kDataDirSize] = "none";
    int made = ProposeHomeDirectory(&homes, proposal);
    EXPECT_STREQ(proposal, c.proposal ? c.proposal : "none") << &c - cases << ": " << made;
    EXPECT_EQ(made, c.proposal != nullptr) << &c - cases;
  }
}

TEST_F(DataDirTest, FallbackThatWouldNotFitKeepsTheDefault) {
  setenv("HOMEDRIVE", "D:", 1);
  setenv("HOMEPATH", ("\\" + std::string(1020, 'h')).c_str(), 1);
  StandinQueueAnswer(":cancel");
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0);
  EXPECT_EQ(DialogProposals(), std::vector<std::string>{"C:\\Program Files\\Tidewell"});
}

TEST_F(DataDirTest, EmptyProfileValueOpensAnEmptyField) {
  drive.MakeDirectory("Program Files\\Tidewell");
  drive.WriteFile("windows\\tidewell.ini", "[Options]\ndataDir=\n");
  StandinQueueAnswer(":cancel");
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0);
  EXPECT_EQ(DialogProposals(), std::vector<std::string>{""});
}

TEST_F(DataDirTest, CancelAtTheFirstDialogShowsOnlyShuttingDown) {
  StandinQueueAnswer(":cancel");
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0);
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Shutting Down"});
  std::vector<std::string> box = Fields(EventsOf("MessageBoxA")[0]);
  EXPECT_EQ(box[2],
            "This program cannot operate without a data directory to store its files in. The "
            "program will exit now. Please determine an appropriate directory name and start the "
            "program again later.");
  EXPECT_EQ(box[3], "0x30");
  EXPECT_EQ(box[4], "0") << "no owner window";
  EXPECT_EQ(Profile(), "<missing>");
}

TEST_F(DataDirTest, DialogThatCannotBeShownCountsAsCancel) {
  StandinFailNextDialog();
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0);
  EXPECT_EQ(MessageBoxCaptions(), std::vector<std::string>{"Shutting Down"});
  EXPECT_EQ(Profile(), "<missing>");
}

TEST_F(DataDirTest, TypedDirectoryIsCreatedEnteredAndRecorded) {
  StandinQueueAnswer("C:/apps//tidewell");
  drive.MakeDirectory("apps");
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 1);
  EXPECT_STREQ(dataDirectory, "C:\\apps\\tidewell");
  EXPECT_EQ(CurrentDirectory(), drive.Path("apps/tidewell"));
  EXPECT_EQ(Profile(),
            "[Options]\ndataDir=C:\\apps\\tidewell\ndataDirCreated=C:\\apps\\tidewell\n");
  EXPECT_EQ(EventsOf("MessageBoxA").size(), 0u) << EventDump();
}

// Every name, relative or absolute, recorded or typed, ends as the full path
// Windows makes of it: relative to the current drive and directory, with
// "." and ".." resolved, a dot that ends a name and trailing dots and blanks
// of the last name dropped. A directory the dialog made is recorded as made.
TEST_F(DataDirTest, EveryNameEndsAsItsFullPath) {
  struct Case {
    const char* profile;  // nullptr: no entry, the name is typed at the dialog
    const char* typed;
    const char* recorded;
    const char* entered;  // below the drive's folder
    bool created;
  } cases[] = {
      {"Tidewell", nullptr, "C:\\start\\Tidewell", "start/Tidewell", false},
      {"sub/dir/", nullptr, "C:\\start\\sub\\dir\\", "start/sub/dir", false},
      {"\\Tidewell", nullptr, "C:\\Tidewell", "Tidewell", false},
      {"C:Tidewell", nullptr, "C:\\start\\Tidewell", "start/Tidewell", false},
      {"..\\start\\.\\sub", nullptr, "C:\\start\\sub", "start/sub", false},
      {"C:/start//sub/", nullptr, "C:\\start\\sub\\", "start/sub", false},
      {"c:\\START\\..\\start\\sub", nullptr, "C:\\start\\sub", "start/sub", false},
      {"C:\\start\\Tidewell. . ", nullptr, "C:\\start\\Tidewell", "start/Tidewell", false},
      {nullptr, "Tidewell", "C:\\start\\Tidewell", "start/Tidewell", true},
      {nullptr, "sub\\dir", "C:\\start\\sub\\dir", "start/sub/dir", false},
      {nullptr, "\\Tidewell", "C:\\Tidewell", "Tidewell", true},
      {nullptr, "C:Tidewell", "C:\\start\\Tidewell", "start/Tidewell", true},
      {nullptr, "C:\\start\\sub\\", "C:\\start\\sub\\", "start/sub", false},
      {nullptr, "C:\\twdot.", "C:\\twdot", "twdot", true},
  };
  for (const Case& c : cases) {
    StandinReset();
    for (const char* made : {"start", "Tidewell", "twdot"}) {
      std::filesystem::remove_all(drive.Path(made));
    }
    std::filesystem::remove(drive.ProfilePath());
    drive.MakeDirectory("start\\sub\\dir");
    if (c.profile != nullptr) {
      drive.MakeDirectory(c.entered);
      drive.WriteFile("windows\\tidewell.ini",
                      std::string("[Options]\ndataDir=") + c.profile + "\n");
    }
    // The typed answers: the name, then Yes should it already exist.
    StandinQueueAnswers({c.typed != nullptr ? c.typed : ":cancel", "y"});
    ASSERT_EQ(chdir(drive.Path("start").c_str()), 0);
    const char* what = c.profile != nullptr ? c.profile : c.typed;
    EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 1) << what << "\n" << EventDump();
    EXPECT_STREQ(dataDirectory, c.recorded) << what;
    EXPECT_EQ(CurrentDirectory(), drive.Path(c.entered)) << what;
    EXPECT_EQ(Profile(), std::string("[Options]\ndataDir=") + c.recorded + "\n" +
                             (c.created ? std::string("dataDirCreated=") + c.recorded + "\n" : ""))
        << what;
    EXPECT_EQ(EventsOf("DialogBoxParamA").size(), c.typed != nullptr ? 1u : 0u) << what;
  }
}

// A directory is usable only when the full path of every payload file in it
// stays within the platform's limit (uninst.exe is the longest name). A
// recorded one that is too long, or that fills the buffer whole and so may
// have been cut, is not proposed: the dialog offers the computed directory,
// even when the cut text names one that exists. A typed one is refused with
// "Directory Name Too Long", and nothing is created.
TEST_F(DataDirTest, DirectoriesWhoseFilesWouldNotFitAreNeverUsed) {
  // "C:" and components of 200 characters, `length` characters in all.
  auto longPath = [](size_t length) {
    std::string path = "C:";
    while (path.size() < length) {
      path += "\\" + std::string(std::min<size_t>(200, length - path.size() - 1), 'a');
    }
    return path;
  };
  // The longest path below the directory is in the staging folder: a copy
  // moved aside, "\\~setup1.tmp\\<up to eight digits>.old".
  const size_t longest = kInstalledPathLimit - 1 - kStagingExtraLength;
  struct Case {
    size_t length;
    bool typed;
    bool used;
  } cases[] = {
      {longest, false, true},
      {longest + 1, false, false},
      {kDataDirSize - 1, false, false},
      {kDataDirSize, false, false},
      {longest, true, true},
      {longest + 1, true, false},
      {kDataDirSize - 1, true, false},
      {kDataDirSize, true, false},
  };
  for (const Case& c : cases) {
    StandinReset();
    std::filesystem::remove_all(drive.Path("a" + std::string(199, 'a')));
    std::filesystem::remove(drive.ProfilePath());
    std::string text = longPath(c.length);
    std::string parent = text.substr(3, text.rfind('\\') - 3);
    std::string cut = text.substr(3, std::min<size_t>(text.size(), kDataDirSize - 1) - 3);
    // Everything but the last level exists; a profile value's directory and
    // the cut text's directory exist too.
    drive.MakeDirectory(parent);
    if (!c.typed) {
      drive.MakeDirectory(text.substr(3));
      drive.MakeDirectory(cut);
      drive.WriteFile("windows\\tidewell.ini", "[Options]\ndataDir=" + text + "\n");
      StandinQueueAnswer(":cancel");
    } else {
      StandinQueueAnswers({text, "", ":cancel"});
    }
    std::string what = std::to_string(c.length) + (c.typed ? " typed" : " recorded");
    int result = ResolveDataDirectory(nullptr, nullptr);
    EXPECT_EQ(result, c.used ? 1 : 0) << what << "\n" << EventDump();
    if (c.used) {
      EXPECT_EQ(std::string(dataDirectory), text) << what;
      EXPECT_TRUE(std::filesystem::is_directory(drive.Path(text.substr(3)))) << what;
      EXPECT_EQ(Profile().rfind("[Options]\ndataDir=" + text + "\n", 0), 0u) << what;
    } else if (c.typed) {
      EXPECT_EQ(MessageBoxCaptions(),
                (std::vector<std::string>{"Directory Name Too Long", "Shutting Down"}))
          << what;
      EXPECT_EQ(Fields(EventsOf("MessageBoxA")[0])[2],
                "That directory name is too long for the application's files. Please choose a "
                "shorter directory name.");
      EXPECT_EQ(Fields(EventsOf("MessageBoxA")[0])[3], "0x30");
      EXPECT_FALSE(std::filesystem::exists(drive.Path(text.substr(3)))) << what;
      EXPECT_FALSE(std::filesystem::exists(drive.Path(cut))) << what;
    } else {
      EXPECT_EQ(DialogProposals(), std::vector<std::string>{"C:\\Tidewell"}) << what;
      EXPECT_EQ(Profile(), "[Options]\ndataDir=" + text + "\n") << what << ": left alone";
    }
  }
}

TEST(PathOps, NamesDevice) {
  struct Case {
    const char* path;
    bool device;
  } cases[] = {
      {"\\\\.\\nul", true},          {"\\\\?\\C:\\data", true},
      {"C:\\tw-dev\\nul", true},     {"C:\\a\\NUL.txt\\b", true},
      {"C:\\a\\com1", true},         {"C:\\a\\LPT\xb9", true},
      {"C:\\a\\aux .log", true},     {"C:\\a\\conout$", true},
      {"C:\\a\\nullify", false},     {"C:\\a\\com10", false},
      {"C:\\a\\console", false},     {"C:\\Program Files\\Tidewell", false},
      {"\\\\srv\\share\\tw", false}, {"C:\\a\\.nul", false},
  };
  for (const Case& c : cases) EXPECT_EQ(NamesDevice(c.path), c.device) << c.path;
}

// A device is never a data directory: typed, the dialog refuses it; from
// the profile, the dialog opens with the computed proposal.
TEST_F(DataDirTest, DeviceNamesAreNeverUsed) {
  for (bool typed : {true, false}) {
    StandinReset();
    std::filesystem::remove(drive.ProfilePath());
    drive.MakeDirectory("tw-dev");
    if (typed) {
      StandinQueueAnswers({"C:\\tw-dev\\nul", "", ":cancel"});
    } else {
      drive.WriteFile("windows\\tidewell.ini", "[Options]\ndataDir=C:\\tw-dev\\nul\n");
      StandinQueueAnswer(":cancel");
    }
    EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0) << typed;
    std::vector<std::string> expected = {"Shutting Down"};
    if (typed) expected.insert(expected.begin(), "Can't Create Directory");
    EXPECT_EQ(MessageBoxCaptions(), expected) << typed << "\n" << EventDump();
    EXPECT_EQ(DialogProposals().front(), "C:\\Tidewell") << typed;
    EXPECT_FALSE(std::filesystem::exists(drive.Path("tw-dev\\nul"))) << typed;
  }
}

TEST_F(DataDirTest, DirectoryThatCannotBeEnteredAsksAgainWithTheNormalizedText) {
  drive.MakeDirectory("gone\\soon");
  // The directory vanishes, parent and all, while the user confirms it.
  // Typed text, Yes, OK to the failure, keep the text, OK to the failure, Cancel.
  StandinQueueAnswers({"C:/gone//soon", "y", "", "", "", ":cancel"});
  StandinOnNextMessageBox([this] { std::filesystem::remove_all(drive.Path("gone")); });
  EXPECT_EQ(ResolveDataDirectory(nullptr, nullptr), 0);
  EXPECT_EQ(
      MessageBoxCaptions(),
      (std::vector<std::string>{"Write Data to Existing Directory?", "Couldn't Access Directory",
                                "Can't Create Directory", "Shutting Down"}))
      << EventDump();
  std::vector<std::string> proposals = DialogProposals();
  ASSERT_EQ(proposals.size(), 2u) << EventDump();
  EXPECT_EQ(proposals[1], "C:\\gone\\soon");
}

// The dialog on its own: what OK does for each kind of typed name.
class DataDirDialogTest : public DataDirTest {
 protected:
  INT_PTR RunDialog(const char* initial, const std::vector<std::string>& answers) {
    snprintf(dataDirectory, kDataDirSize, "%s", initial);
    StandinQueueAnswers(answers);
    return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_DATADIR), nullptr, DataDirDialogProc, 0);
  }
};

TEST_F(DataDirDialogTest, OkByStatusOfTheTypedName) {
  struct Case {
    const char* what;
    std::vector<std::string> answers;
    INT_PTR result;
    std::vector<std::string> captions;
  } cases[] = {
      {"new directory, parent exists", {"C:\\fresh"}, 1, {}},
      {"missing parent", {"C:\\no\\such", ":cancel"}, 0, {"Can't Create Directory"}},
      {"empty field", {":clear", ":cancel"}, 0, {"Can't Create Directory"}},
      {"drive only", {"C:", ":cancel"}, 0, {"Can't Create Directory"}},
      {"star", {"C:\\a*b", ":cancel"}, 0, {"Can't Create Directory"}},
      {"question mark", {"C:\\a?b", ":cancel"}, 0, {"Can't Create Directory"}},
      {"unmapped drive root", {"Q:\\", ":cancel"}, 0, {"Can't Create Directory"}},
      {"existing file", {"C:\\file.txt", "", ":cancel"}, 0, {"Please Enter a Directory Name"}},
      {"existing directory, Yes", {"C:\\existing", "y"}, 1, {"Write Data to Existing Directory?"}},
      {"existing directory, No",
       {"C:\\existing", "n", ":cancel"},
       0,
       {"Write Data to Existing Directory?"}},
      {"drive root, Yes", {"C:\\", "yes"}, 1, {"Write Data to Existing Directory?"}},
      {"root of the current drive, Yes", {"\\", "y"}, 1, {"Write Data to Existing Directory?"}},
      {"existing directory and a backslash, Yes",
       {"C:\\existing\\", "y"},
       1,
       {"Write Data to Existing Directory?"}},
      {"existing directory and a slash, Yes",
       {"C:/existing/", "y"},
       1,
       {"Write Data to Existing Directory?"}},
      {"new directory and a backslash", {"C:\\fresh\\"}, 1, {}},
      {"existing file and a backslash",
       {"C:\\file.txt\\", "", ":cancel"},
       0,
       {"Please Enter a Directory Name"}},
      {"keep the proposal", {""}, 1, {}},
  };
  for (const Case& c : cases) {
    StandinReset();
    drive.MakeDirectory("existing");
    drive.WriteFile("file.txt", "not a directory");
    std::filesystem::remove_all(drive.Path("fresh"));
    std::filesystem::remove_all(drive.Path("proposed"));
    EXPECT_EQ(RunDialog("C:\\proposed", c.answers), c.result) << c.what << "\n" << EventDump();
    EXPECT_EQ(MessageBoxCaptions(), c.captions) << c.what;
  }
  EXPECT_TRUE(std::filesystem::is_directory(drive.Path("proposed")));
}

TEST_F(DataDirDialogTest, MessageTextsAndTypes) {
  drive.WriteFile("file.txt", "x");
  drive.MakeDirectory("existing");
  RunDialog("", {"C:\\file.txt", "", "C:\\no\\such", "", "C:\\existing", "n", ":cancel"});
  std::vector<std::string> boxes = EventsOf("MessageBoxA");
  ASSERT_EQ(boxes.size(), 3u) << EventDump();
  EXPECT_EQ(Fields(boxes[0])[2],
            "That path specifies a file, and not a new or existing directory name. Please enter "
            "a directory name, such as Tidewell for example.");
  EXPECT_EQ(Fields(boxes[0])[3], "0x30");
  EXPECT_EQ(Fields(boxes[1])[2],
            "That directory does not exist, and the application was not able to create it. Most "
            "likely the parent directory does not exist or you have entered a path the program "
            "does not have write access to.");
  EXPECT_EQ(Fields(boxes[1])[3], "0x30");
  EXPECT_EQ(Fields(boxes[2])[2],
            "That directory already exists. The application can use it, but we do not recommend "
            "using a directory name that is already being used for other purposes. Are you sure "
            "you want to use this directory?");
  EXPECT_EQ(Fields(boxes[2])[3], "0x4");
  for (const std::string& box : boxes) EXPECT_EQ(Fields(box)[4], "0") << "owner of " << box;
  // The buffer already holds the last typed text, although the user cancelled.
  EXPECT_STREQ(dataDirectory, "C:\\existing");
}

TEST_F(DataDirDialogTest, InitialTextAndFocus) {
  RunDialog("C:\\Program Files\\Tidewell", {":cancel"});
  EXPECT_EQ(DialogProposals(), std::vector<std::string>{"C:\\Program Files\\Tidewell"});
  // The edit field holds at most 1023 characters when read back.
  std::string longText(1500, 'a');
  RunDialog("", {"C:\\" + longText, ":cancel"});
  EXPECT_EQ(strlen(dataDirectory), static_cast<size_t>(kDataDirSize - 1));
}

TEST_F(DataDirDialogTest, ButtonsPressedAgainInsideAMessageBoxAreHarmless) {
  drive.MakeDirectory("existing");
  struct Case {
    const char* what;
    WPARAM pressedInside;
    std::vector<std::string> answers;  // typed text, inner answer, outer answer
    INT_PTR result;
  } cases[] = {
      {"OK again, both Yes", IDOK, {"C:\\existing", "y", "y"}, 1},
      {"Cancel inside, then Yes", IDCANCEL, {"C:\\existing", "y"}, 0},
      {"OK again answered No, outer Yes", IDOK, {"C:\\existing", "n", "y"}, 1},
  };
  for (const Case& c : cases) {
    StandinReset();
    WPARAM pressed = c.pressedInside;
    StandinOnNextMessageBox([pressed] {
      HWND dialog = StandinDialogWindows().back();
      DataDirDialogProc(dialog, WM_COMMAND, pressed, 0);
    });
    EXPECT_EQ(RunDialog("", c.answers), c.result) << c.what << "\n" << EventDump();
    EXPECT_STREQ(dataDirectory, "C:\\existing") << c.what;
    EXPECT_EQ(EventsOf("EndDialog").size(), 1u) << c.what << ": the first end decides\n"
                                                << EventDump();
  }
}

// OK pressed again, with another existing directory in the field, while
// the first question is open: the run that ends the dialog leaves the text
// it asked about in the buffer, and the first run to end it decides.
TEST_F(DataDirDialogTest, SecondOkWhileAQuestionIsOpen) {
  drive.MakeDirectory("a");
  drive.MakeDirectory("b");
  struct Case {
    const char* inner;  // the answer to the question about C:\b, asked second
    const char* outer;  // the answer to the question about C:\a
    INT_PTR result;
    const char* accepted;
  } cases[] = {
      {"n", "y", 1, "C:\\a"},
      {"y", "n", 1, "C:\\b"},
      {"y", "y", 1, "C:\\b"},
      {"n", "n", 0, "C:\\b"},  // still open; then cancelled
  };
  for (const Case& c : cases) {
    StandinReset();
    StandinOnNextMessageBox([] {
      HWND dialog = StandinDialogWindows().back();
      SetDlgItemTextA(dialog, IDC_DATADIR, "C:\\b");
      DataDirDialogProc(dialog, WM_COMMAND, IDOK, 0);
    });
    std::string what = std::string("inner ") + c.inner + ", outer " + c.outer;
    EXPECT_EQ(RunDialog("", {"C:\\a", c.inner, c.outer, ":cancel"}), c.result) << what;
    EXPECT_STREQ(dataDirectory, c.accepted) << what;
    EXPECT_EQ(MessageBoxCaptions(), (std::vector<std::string>{"Write Data to Existing Directory?",
                                                              "Write Data to Existing Directory?"}))
        << what;
    EXPECT_EQ(EventsOf("EndDialog").size(), 1u) << what << "\n" << EventDump();
  }
}

TEST_F(DataDirDialogTest, ProcedureResults) {
  HWND dialog = reinterpret_cast<HWND>(0x10);
  EXPECT_EQ(DataDirDialogProc(dialog, WM_COMMAND, 1097 | (0x0300 << 16), 0), FALSE);
  EXPECT_EQ(DataDirDialogProc(dialog, 0x0200, 0, 0), FALSE);
  EXPECT_EQ(EventsOf("EndDialog").size(), 0u);
}

}  // namespace
