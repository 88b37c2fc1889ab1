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

const char kProgramFilesFormat[] = "C:\\Program Files\\%s";
// The default with the longest group name stays short of filling the buffer.
static_assert(sizeof kProgramFilesFormat - 3 + kConfigNameSize < kDataDirSize,
              "the Program Files default must fit the data directory buffer");

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
  // A text that fills the buffer whole is never taken for a path (see
  // ReadRecordedDataDirectory), so neither is a fallback of that length.
  fits = fits && strlen(fallback) < sizeof fallback - 1;
  if (fits) memcpy(dataDirectory, fallback, sizeof fallback);
}

// Enters the directory in the buffer (with `create`, making it first) and
// then names it absolutely: a relative name ("Tidewell", "sub\dir",
// "\Tidewell", "C:Tidewell") is replaced by the full path of the directory
// just entered, so that what is recorded and built from it no longer depends
// on the current drive and directory. False when the directory cannot be
// entered or its full path would fill the buffer whole.
bool EnterDataDirectory(int create) {
  if (EnsureDirectory(dataDirectory, create) != 0) return false;
  if (IsAbsolutePath(dataDirectory)) return true;
  char fullPath[kDataDirSize];
  DWORD length = GetFullPathNameA(".", kDataDirSize, fullPath, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kDataDirSize - 1)) return false;
  memcpy(dataDirectory, fullPath, length + 1);
  return true;
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
  int length = snprintf(dataDirectory, kDataDirSize, kProgramFilesFormat, SetupConfig.groupName);
  if (length < 0 || length >= kDataDirSize) dataDirectory[0] = '\0';
  if (EnsureDirectory(dataDirectory, 0) != 0) ProposeHomeDirectory(homePath, homeDrive);

  // A recorded directory wins over both computed ones; one that does not fit
  // counts as a directory that cannot be entered.
  bool recordedFits = ReadRecordedDataDirectory(dataDirectory, dataDirectory) != 0;

  NormalizeSeparators(dataDirectory);
  if (!recordedFits || !EnterDataDirectory(0)) {
    for (;;) {
      if (!AskForDirectory(instance)) {
        MessageBoxA(messageOwner, kShuttingDownText, "Shutting Down", MB_OK | MB_ICONWARNING);
        return 0;
      }
      NormalizeSeparators(dataDirectory);
      if (EnterDataDirectory(1)) break;
      MessageBoxA(messageOwner, kCouldNotAccessText, "Couldn't Access Directory",
                  MB_OK | MB_ICONWARNING);
    }
  }

  RecordDataDirectory(dataDirectory);
  return 1;
}
