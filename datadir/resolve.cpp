// Settles the product's data directory: profile entry, Program Files
// default or home-directory fallback, then the dialog until the user gives a
// directory that can be entered, or gives up.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "datadir/datadir.h"
#include "ui/resource.h"

char dataDirectory[kDataDirSize];
HWND messageOwner;

namespace {

const char kProfileSection[] = "Options";
const char kProfileKey[] = "dataDir";

const char kCouldNotAccessText[] =
    "That directory does not exist and could not be created. Please enter a valid location for "
    "a directory on your system.";
const char kShuttingDownText[] =
    "This program cannot operate without a data directory to store its files in. The program "
    "will exit now. Please determine an appropriate directory name and start the program again "
    "later.";

// Appends `text` to the buffer; false (buffer unchanged) when it would not fit.
bool Append(char* buffer, size_t size, const char* text) {
  size_t used = strlen(buffer);
  size_t extra = strlen(text);
  if (used + extra >= size) return false;
  memcpy(buffer + used, text, extra + 1);
  return true;
}

// Builds "<home drive><home path>\<groupName>" into the data directory
// buffer. A fallback that would not fit whole is not used: the buffer keeps
// the Program Files default rather than a cut, different path.
void ProposeHomeDirectory(const char* homePath, const char* homeDrive) {
  if (homePath == nullptr) homePath = "";
  if (homeDrive == nullptr) homeDrive = "C:";

  char fallback[kDataDirSize] = "";
  bool fits = true;
  // A home path such as "D:\Users\ann" carries its own drive.
  if (!(strlen(homePath) >= 2 && homePath[1] == ':')) {
    fits = Append(fallback, sizeof fallback, homeDrive);
    StripTrailingChar(fallback, '\\');
    StripTrailingChar(fallback, '/');
  }
  fits = fits && Append(fallback, sizeof fallback, homePath);
  StripTrailingChar(fallback, '\\');
  StripTrailingChar(fallback, '/');
  fits = fits && Append(fallback, sizeof fallback, "\\");
  fits = fits && Append(fallback, sizeof fallback, SetupConfig.groupName);
  if (fits) memcpy(dataDirectory, fallback, sizeof fallback);
}

// Runs the dialog once: true when the user accepted a path. A dialog that
// cannot be shown counts as a cancel.
bool AskForDirectory(HINSTANCE instance) {
  INT_PTR result =
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_DATADIR), messageOwner, DataDirDialogProc, 0);
  return result != 0 && result != -1;
}

}  // namespace

int ResolveDataDirectory(HINSTANCE instance, HWND owner) {
  const char* homePath = getenv("HOMEPATH");
  const char* homeDrive = getenv("HOMEDRIVE");
  messageOwner = owner;

  // A default that does not fit whole is left empty, so it cannot be entered.
  int length =
      snprintf(dataDirectory, kDataDirSize, "C:\\Program Files\\%s", SetupConfig.groupName);
  if (length < 0 || length >= kDataDirSize) dataDirectory[0] = '\0';
  if (EnsureDirectory(dataDirectory, 0) != 0) ProposeHomeDirectory(homePath, homeDrive);

  // A recorded directory wins over both computed ones.
  GetPrivateProfileStringA(kProfileSection, kProfileKey, dataDirectory, dataDirectory, kDataDirSize,
                           SetupConfig.profileName);

  NormalizeSeparators(dataDirectory);
  if (EnsureDirectory(dataDirectory, 0) != 0) {
    for (;;) {
      if (!AskForDirectory(instance)) {
        MessageBoxA(messageOwner, kShuttingDownText, "Shutting Down", MB_OK | MB_ICONWARNING);
        return 0;
      }
      NormalizeSeparators(dataDirectory);
      if (EnsureDirectory(dataDirectory, 1) == 0) break;
      MessageBoxA(messageOwner, kCouldNotAccessText, "Couldn't Access Directory",
                  MB_OK | MB_ICONWARNING);
    }
  }

  WritePrivateProfileStringA(kProfileSection, kProfileKey, dataDirectory, SetupConfig.profileName);
  return 1;
}
