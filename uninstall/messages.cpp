// What the uninstaller tells the user.
#include <stdio.h>

#include "uninstall/uninstall.h"

namespace {

const char kCaptionFormat[] = "Uninstall %s";
const char kQuestionFormat[] =
    "Are you sure you want to remove %s and all of its components from %s?";
const char kRemovedFormat[] = "%s has been removed from your computer.";
const char kFilesLeftFormat[] =
    "%s has been removed from your computer, but some files in %s could not be removed. You may "
    "delete them yourself.";
const char kNoInstallationText[] =
    "The uninstaller could not find the directory it was started from. Nothing has been removed.";

// Every text is sized for the longest configured name and data directory.
const int kCaptionSize = sizeof kCaptionFormat + kConfigNameSize;
const int kMessageSize = sizeof kFilesLeftFormat + kConfigNameSize + kDataDirSize;
static_assert(sizeof kQuestionFormat <= sizeof kFilesLeftFormat, "the question must fit");

char caption[kCaptionSize];
char message[kMessageSize];

void FormatCaption() {
  snprintf(caption, sizeof caption, kCaptionFormat, SetupConfig.appName);
}

}  // namespace

int ConfirmRemoval(const char* directory) {
  FormatCaption();
  snprintf(message, sizeof message, kQuestionFormat, SetupConfig.appName, directory);
  return MessageBoxA(nullptr, message, caption, MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

void ReportNoInstallation() {
  FormatCaption();
  MessageBoxA(nullptr, kNoInstallationText, caption, MB_OK | MB_ICONWARNING);
}

void ReportRemoval(int complete, const char* directory) {
  if (complete) {
    snprintf(message, sizeof message, kRemovedFormat, SetupConfig.appName);
  } else {
    snprintf(message, sizeof message, kFilesLeftFormat, SetupConfig.appName, directory);
  }
  MessageBoxA(nullptr, message, "Uninstall Complete",
              MB_OK | (complete ? MB_ICONINFORMATION : MB_ICONWARNING));
}
