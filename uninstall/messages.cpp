// What the uninstaller tells the user.
#include <stdio.h>

#include "uninstall/uninstall.h"

namespace {

const char kCaptionFormat[] = "Uninstall %s";
const char kQuestionFormat[] =
    "Are you sure you want to remove %s and all of its components from %s?";
const char kRemovedFormat[] = "%s has been removed from your computer.";
const char kKeptDirectoryFormat[] =
    "%s has been removed from your computer. The directory %s was kept because it holds files "
    "that %s did not install.";
const char kIncompleteFormat[] =
    "%s could not be removed completely: some of its files in %s are in use or protected. Close "
    "all programs and choose Uninstall again.";
const char kAlreadyRemovingFormat[] = "%s is already being removed.";
const char kSetupRunningFormat[] =
    "The setup program of %s is running. Nothing has been removed. Wait until it has finished, "
    "then choose Uninstall again.";
const char kNoInstallationText[] =
    "The uninstaller could not find the directory it was started from. Nothing has been removed.";
const char kNotInstalledFormat[] =
    "No installation of %s was found in %s. Nothing has been removed.";
const char kNoCopyFormat[] =
    "The uninstaller could not copy itself to the temporary directory %s. Nothing has been "
    "removed. Make sure that this directory exists and can be written to, then choose Uninstall "
    "again.";
const char kNoLockText[] =
    "The uninstaller could not create the lock that keeps two uninstallers from working at once. "
    "Nothing has been removed.";
const char kNotHeldFormat[] =
    "The directory %s cannot be kept unchanged during the removal: it is a link, cannot be opened "
    "or was replaced. Nothing has been removed.";

// Every text is sized for the longest configured names and data directory:
// the longest format, two names and a directory.
constexpr int Longest(int a, int b) {
  return a > b ? a : b;
}
const int kCaptionSize = sizeof kCaptionFormat + kConfigNameSize;
const int kMessageSize =
    Longest(Longest(Longest(sizeof kQuestionFormat, sizeof kKeptDirectoryFormat),
                    Longest(sizeof kIncompleteFormat, sizeof kNotInstalledFormat)),
            Longest(sizeof kNoCopyFormat, sizeof kNotHeldFormat)) +
    2 * kConfigNameSize + kDataDirSize;

char caption[kCaptionSize];
char message[kMessageSize];

void FormatCaption() {
  snprintf(caption, sizeof caption, kCaptionFormat, SetupConfig.appName);
}

// A warning with an OK button under the uninstaller's caption.
void Warn(const char* text) {
  FormatCaption();
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

}  // namespace

int ConfirmRemoval(const char* directory) {
  FormatCaption();
  snprintf(message, sizeof message, kQuestionFormat, SetupConfig.appName, directory);
  return MessageBoxA(nullptr, message, caption, MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

void ReportNoInstallation() {
  Warn(kNoInstallationText);
}

void ReportNotInstalled(const char* directory) {
  snprintf(message, sizeof message, kNotInstalledFormat, SetupConfig.appName, directory);
  Warn(message);
}

void ReportNoCopy(const char* tempDirectory) {
  snprintf(message, sizeof message, kNoCopyFormat, tempDirectory);
  Warn(message);
}

void ReportNoLock() {
  Warn(kNoLockText);
}

void ReportDirectoryNotHeld(const char* directory) {
  snprintf(message, sizeof message, kNotHeldFormat, directory);
  Warn(message);
}

void ReportAlreadyRemoving() {
  FormatCaption();
  snprintf(message, sizeof message, kAlreadyRemovingFormat, SetupConfig.appName);
  MessageBoxA(nullptr, message, caption, MB_OK | MB_ICONINFORMATION);
}

void ReportSetupRunning() {
  snprintf(message, sizeof message, kSetupRunningFormat, SetupConfig.appName);
  Warn(message);
}

void ReportRemoval(RemovalOutcome outcome, const char* directory) {
  const char* appName = SetupConfig.appName;
  UINT icon = MB_ICONINFORMATION;
  switch (outcome) {
    case kRemovedAll:
      snprintf(message, sizeof message, kRemovedFormat, appName);
      break;
    case kRemovedKeptDirectory:
      snprintf(message, sizeof message, kKeptDirectoryFormat, appName, directory, appName);
      break;
    case kRemovalIncomplete:
      snprintf(message, sizeof message, kIncompleteFormat, appName, directory);
      icon = MB_ICONWARNING;
      break;
  }
  MessageBoxA(nullptr, message, "Uninstall Complete", MB_OK | icon);
}
