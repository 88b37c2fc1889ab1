// Names too long for the program's text buffers, with snprintf behaving as
// the bare C runtime formatter of Windows does: a text that does not fit
// leaves the buffer without a terminator and the result is -1 (or the size
// when the text fills the buffer exactly). A buffer whose text did not fit
// must never be shown, and under AddressSanitizer reading one runs into its
// guard zone; the fixed fallback texts are shown instead.
#include <gtest/gtest.h>
#include <stdarg.h>
#include <standin.h>
#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"

namespace {

bool runtimeFormatting = false;

// The configured names live in buffers that each test case fills.
char groupName[4096];
char appName[4096];

}  // namespace

// Every snprintf of the program is linked to this (-Wl,--wrap=snprintf).
extern "C" int __wrap_snprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length < 0 ? 0 : length, '\0');
  vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  if (length < 0 || size == 0) return length;
  size_t count = static_cast<size_t>(length);
  if (!runtimeFormatting) {
    // The C99 behaviour: cut to fit, always terminated, the full length.
    size_t kept = count < size ? count : size - 1;
    memcpy(buffer, text.data(), kept);
    buffer[kept] = '\0';
    return length;
  }
  // No terminator unless there is room for it; -1 when the text is longer.
  memcpy(buffer, text.c_str(), count < size ? count + 1 : size);
  return count <= size ? length : -1;
}

extern const char kMainExeName[] = "app.exe";
extern const SetupConfigRecord SetupConfig = {groupName, appName, "tidewell.ini",
                                              0,         "",      kMainExeName};

namespace {

const std::string kLong = std::string(3000, 'N');

struct LongNameCase {
  const char* label;
  std::string group;
  std::string app;
  std::function<void(const ScratchDrive&)> prepare;
  std::vector<std::string> answers;
  // The dialog's proposals, and every message box as "caption|text".
  std::vector<std::string> proposals;
  std::vector<std::string> boxes;
  bool commandsSent;
  const char* installedFile;  // below the drive root, "" for none
};

const char kWarning[] =
    "Any copies of App currently running must now be shut down. This may take a few seconds.";
const char kWarningFallback[] =
    "Any running copies of the application must now be shut down. This may take a few seconds.";
const char kQuestion[] =
    "App has been successfully installed on your system.Would you like to start App now?";
const char kQuestionFallback[] =
    "The application has been successfully installed on your system.Would you like to start it "
    "now?";
const char kPathIsFileFallback[] =
    "That path specifies a file, and not a new or existing directory name. Please enter a "
    "directory name.";

const std::vector<LongNameCase>& Cases() {
  static const std::vector<LongNameCase> cases = {
      {"a long application name: the warning and the question without it",
       "Grp",
       kLong,
       [](const ScratchDrive& drive) { drive.MakeDirectory("Program Files\\Grp"); },
       {"", ""},
       {},
       {std::string("Closing Running Copies|") + kWarningFallback,
        std::string("Installation Successful|") + kQuestionFallback},
       false,
       "Program Files/Grp/app.exe"},
      {"a long application name: the failure caption without it",
       "Grp",
       kLong,
       [](const ScratchDrive& drive) { drive.MakeDirectory("Program Files\\Grp\\app.exe"); },
       {"", ""},
       {},
       {std::string("Closing Running Copies|") + kWarningFallback,
        "Installation Failed|The application was not able to create one of its component files. "
        "The disk is full, or a copy of the application is already running, or you do not have "
        "write access to the directory in which you are attempting to install the application. "
        "Check your available disk space and run the setup program again."},
       false,
       ""},
      {"a long group name: no default directory, no example, no commands",
       kLong,
       "App",
       [](const ScratchDrive& drive) { drive.WriteFile("file.txt", "x"); },
       {"C:\\file.txt", "", "C:\\Inst", "", ""},
       {""},
       {std::string("Please Enter a Directory Name|") + kPathIsFileFallback,
        std::string("Closing Running Copies|") + kWarning,
        std::string("Installation Successful|") + kQuestion},
       false,
       "Inst/app.exe"},
      {"short names: every text whole and the commands sent",
       "Grp",
       "App",
       [](const ScratchDrive& drive) { drive.MakeDirectory("Program Files\\Grp"); },
       {"", ""},
       {},
       {std::string("Closing Running Copies|") + kWarning,
        std::string("Installation Successful|") + kQuestion},
       true,
       "Program Files/Grp/app.exe"},
  };
  return cases;
}

void SetName(char* buffer, const std::string& name) {
  ASSERT_LT(name.size(), sizeof groupName);
  memcpy(buffer, name.c_str(), name.size() + 1);
}

// The same outcome whichever way snprintf reports a text that does not fit.
TEST(LongNamesTest, TextsThatDoNotFitAreReplacedNeverShownCut) {
  for (bool windowsRuntime : {true, false}) {
    for (const LongNameCase& c : Cases()) {
      SCOPED_TRACE(std::string(c.label) +
                   (windowsRuntime ? ", Windows runtime formatting" : ", C99 formatting"));
      StandinReset();
      ScratchDrive drive;
      SetName(groupName, c.group);
      SetName(appName, c.app);
      SetInstalledPayload("main program", "uninstaller");
      std::vector<std::string> commands;
      RecordProgmanCommands(&commands);
      c.prepare(drive);

      runtimeFormatting = windowsRuntime;
      int exitCode = RunSetup(c.answers);
      runtimeFormatting = false;

      EXPECT_EQ(exitCode, 0);
      EXPECT_EQ(DialogProposals(), c.proposals);
      std::vector<std::string> boxes;
      for (const std::string& box : EventsOf("MessageBoxA")) {
        boxes.push_back(Fields(box)[1] + "|" + Fields(box)[2]);
      }
      EXPECT_EQ(boxes, c.boxes) << EventDump();
      EXPECT_EQ(!commands.empty(), c.commandsSent) << commands.size() << " commands sent";
      if (c.installedFile[0] != '\0') {
        EXPECT_EQ(ReadFile(drive.Path(c.installedFile)), "main program");
      }
    }
  }
}

}  // namespace
