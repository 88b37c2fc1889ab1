// The setup program: every stage once, in a fixed order, on one thread.
//
//   the lock taken (another setup or the uninstaller at work: message, end)
//   -> payload checked (damaged: message, end) -> data directory -> progress
//   window -> running copies closed -> extraction, journaled until it
//   commits
//   failure: message (the run is rolled back already, or the message says
//            that the previous files could not all be put back), the
//            staging folder removed, end
//   success: progress window gone, Program Manager items (or shortcut
//            files), the Apps & features entry, profile entry, offer to
//            start the product, end
// Every path returns 0.
#include <windows.h>
#include <direct.h>
#include <stdio.h>

#include "datadir/datadir.h"
#include "desktop/progman.h"
#include "desktop/running_copies.h"
#include "desktop/shell.h"
#include "loader/dll_search.h"
#include "payload/payload.h"
#include "payload/staging.h"
#include "config/setup_config.h"
#include "ui/common_controls.h"
#include "ui/progress.h"
#include "ui/resource.h"

// The installed main executable and uninstaller; built on the success path.
char mainExePath[kInstalledPathSize];
char uninstallerPath[kInstalledPathSize];

namespace {

// Room for the failure caption and the closing question with appName twice.
const int kMessageSize = 1024;
// The start command: mainExePath in double quotes.
const int kStartCommandSize = kInstalledPathSize + 2;

// Room for a failure text followed by the restoration notice.
const int kFailureTextSize = 1024;

char messageText[kMessageSize];
char failureText[kFailureTextSize];
char startCommand[kStartCommandSize];

const char kNotRestoredText[] =
    "The previous installation could not be restored completely. Run the setup program again "
    "to finish restoring it.";

const char kNotRecordedFormat[] =
    "Setup could not record the location of the data directory in %s. %s is installed, but it "
    "may not find its data files. Make sure you may write to the Windows directory, then run the "
    "setup program again.";
// The longest text built in the message buffer: this format less its two
// "%s", the profile and application names at their longest, the terminator.
static_assert(sizeof kNotRecordedFormat - 5 + 2 * (kConfigNameSize - 1) + 1 <= kMessageSize,
              "the message buffer must hold the longest configured names");

const char kNotInstalledText[] =
    "The application will not be installed at this time.If you decide to install the "
    "application later, just launch this program again to complete the installation process.";

// The texts that take appName, for a name too long to fit in.
const char kFailureCaption[] = "Installation Failed";
const char kStartQuestionText[] =
    "The application has been successfully installed on your system.Would you like to start it "
    "now?";
const char kNotRecordedText[] =
    "Setup could not record the location of the data directory in the profile. The application "
    "is installed, but it may not find its data files. Make sure you may write to the Windows "
    "directory, then run the setup program again.";

// Whether snprintf's result says the whole text fitted into `size` characters.
bool Fits(int length, int size) {
  return length >= 0 && length < size;
}

// Failure texts, by ExtractResult code.
const char* FailureText(ExtractResult result) {
  switch (result) {
    case kExtractCannotCreate:
      return "The application was not able to create one of its component files. The disk is "
             "full, or a copy of the application is already running, or you do not have write "
             "access to the directory in which you are attempting to install the application. "
             "Check your available disk space and run the setup program again.";
    case kExtractShortWrite:
      return "The application was unable to finish writing a file to disk. Your hard drive is "
             "probably full. Check your available disk space, make additional space available, "
             "and run the setup program again.";
    case kExtractNoMemory:
      return "Insufficient memory was available for the setup procedure. Close other "
             "applications and run the setup program again.";
    case kExtractNoRoom:
      return "The disk does not have enough free space for the application's files. Nothing "
             "has been changed. Make additional space available, and run the setup program "
             "again.";
    case kExtractUnfinishedByOther:
    case kExtractStagingBusy:
      return "The directory holds the working files of another setup program that is running "
             "or did not finish. Nothing has been changed. Let it finish, or run it again, then "
             "run this setup program again.";
    default:
      return "The setup program is damaged: one of its component files could not be unpacked. "
             "Obtain a new copy of the setup program and run it again.";
  }
}

void ReportFailure(ExtractResult result) {
  int length =
      snprintf(messageText, sizeof messageText, "%s Installation Failed", SetupConfig.appName);
  const char* caption = Fits(length, kMessageSize) ? messageText : kFailureCaption;
  // A file of the previous installation that could not be put back is kept
  // in the staging folder; the user learns that the next run finishes it.
  const char* text = FailureText(result);
  if (result != kExtractCorruptPayload && !PreviousInstallationRestored() &&
      Fits(snprintf(failureText, sizeof failureText, "%s %s", text, kNotRestoredText),
           kFailureTextSize)) {
    text = failureText;
  }
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

void ReportFailureAndRollBack(ExtractResult result) {
  ReportFailure(result);
  DeletePayload(nullptr, nullptr);
}

void FinishInstallation() {
  // Configured names are shorter than kConfigNameSize, so both paths fit. A
  // path cut short would name another file: nothing is registered or started.
  bool pathsFit =
      Fits(snprintf(mainExePath, sizeof mainExePath, "%s\\%s", dataDirectory,
                    SetupConfig.mainExeName),
           kInstalledPathSize) &&
      Fits(snprintf(uninstallerPath, sizeof uninstallerPath, "%s\\uninst.exe", dataDirectory),
           kInstalledPathSize);
  // The uninstaller removes the Startup item only when the setup made it.
  if (pathsFit && RegisterProgramItems(mainExePath, uninstallerPath)) RecordStartupItem();
  // Where Windows lists installed programs; the uninstaller takes it away.
  if (pathsFit) WriteUninstallEntry(dataDirectory, mainExePath, uninstallerPath);
  // Without this entry the product cannot find its data, so a failed write
  // is reported before the user is told of success. The record of whether
  // the setup created the directory, made when it was settled, stays.
  if (!RecordDataDirectory(dataDirectory, 0)) {
    int length = snprintf(messageText, sizeof messageText, kNotRecordedFormat,
                          SetupConfig.profileName, SetupConfig.appName);
    const char* text = Fits(length, kMessageSize) ? messageText : kNotRecordedText;
    MessageBoxA(nullptr, text, "Data Directory Not Recorded", MB_OK | MB_ICONWARNING);
  }
  if (!pathsFit) return;

  int length =
      snprintf(messageText, sizeof messageText,
               "%s has been successfully installed on your system.Would you like to start %s now?",
               SetupConfig.appName, SetupConfig.appName);
  const char* question = Fits(length, kMessageSize) ? messageText : kStartQuestionText;
  if (MessageBoxA(nullptr, question, "Installation Successful", MB_YESNO) != IDYES) return;
  // As the desktop's user, not with the setup's administrator token; where
  // the shell cannot do that, directly.
  if (!StartThroughShell(mainExePath, dataDirectory) &&
      // Quoted, so that a path with blanks cannot start another program.
      Fits(snprintf(startCommand, sizeof startCommand, "\"%s\"", mainExePath), kStartCommandSize)) {
    WinExec(startCommand, SW_SHOW);
  }
}

// Every stage after the lock, in order.
void RunSetup(HINSTANCE instance) {
  // A damaged setup program is found before it touches anything: no
  // directory made, no profile written, no running copy closed.
  if (!PayloadIsIntact(&kPayloadTable)) {
    ReportFailure(kExtractCorruptPayload);
    return;
  }
  if (!ResolveDataDirectory(instance, nullptr)) {
    MessageBoxA(nullptr, kNotInstalledText, "Application Not Installed", MB_OK | MB_ICONWARNING);
    return;
  }
  _chdir(dataDirectory);

  HWND progressWindow =
      CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
  CloseRunningCopies();
  ExtractResult result = ExtractPayload(progressWindow, ReportProgress);
  if (result != kExtractDone) {
    // The progress window stays on screen behind the message and the rollback.
    ReportFailureAndRollBack(result);
    return;
  }
  DestroyWindow(progressWindow);
  FinishInstallation();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  PrepareCommonControls();
  // One setup at a time, and none while the uninstaller works: a second
  // start touches nothing.
  LockResult lock = TakeLock(kSetupLockFormat, kUninstallLockFormat, FALSE);
  if (lock == kLockTaken) {
    RunSetup(instance);
    ReleaseLock();
  } else {
    // Another setup or the uninstaller is at work, or the system could not
    // tell.
    MessageBoxA(nullptr,
                "Another setup program, or the uninstaller of the application, may be running. "
                "Nothing has been changed. Wait until it has finished, then run the setup "
                "program again.",
                "Setup Not Started", MB_OK | MB_ICONWARNING);
  }
  return 0;
}
