// Settles the product's data directory: profile entry, Program Files
// default or home-directory fallback, then the dialog until the user gives a
// directory that can be entered, or gives up.
#include <stdio.h>
#include <string.h>

#include "datadir/datadir.h"
#include "ui/resource.h"

char dataDirectory[kDataDirSize];
HWND messageOwner;
int dataDirectoryCreated;

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

// Builds "<drive><path>\<groupName>" into `proposal` when it fits whole.
int JoinHome(const char* homeDrive, const char* homePath, char* proposal) {
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
  if (fits) memcpy(proposal, fallback, sizeof fallback);
  return fits ? 1 : 0;
}

// The result of naming the text in the buffer by its full path.
enum FullPathResult { kFullPathUsable, kFullPathNone, kFullPathUnusable };

// Replaces the text in the buffer with its full path, so that what is
// entered, created, recorded and built from it is the directory Windows
// itself makes of the text ("C:\data\Tidewell " is C:\data\Tidewell), and
// no longer depends on the current drive and directory. Unusable: the
// payload's files would not fit under it, or it names a device.
FullPathResult NameByFullPath() {
  int made = MakeFullPath(dataDirectory);
  if (made < 0 || (made > 0 && (!InstalledPathsFit(dataDirectory) || NamesDevice(dataDirectory)))) {
    return kFullPathUnusable;
  }
  return made > 0 ? kFullPathUsable : kFullPathNone;
}

// Runs the dialog once: true when the user accepted a path. A dialog that
// cannot be shown counts as a cancel.
bool AskForDirectory(HINSTANCE instance) {
  INT_PTR result =
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_DATADIR), messageOwner, DataDirDialogProc, 0);
  return result != 0 && result != -1;
}

}  // namespace

int ProposeHomeDirectory(const HomeFolders* homes, char* proposal) {
  // Under another user's desktop the variables name the setup's own user's
  // home, which the desktop's user, who runs the product, cannot enter.
  const HomeFolder* home = homes->desktopUser.found ? &homes->desktopUser : &homes->variables;
  if (home->spelt) return JoinHome(home->drive, home->path, proposal);
  // The ANSI functions would spell the name with a look-alike or '?':
  // another folder or none. A short name is a full path of its own.
  if (home->shortName != nullptr && home->shortName[0] != '\0') {
    return JoinHome("", home->shortName, proposal);
  }
  return 0;
}

int ResolveDataDirectory(HINSTANCE instance, HWND owner) {
  messageOwner = owner;
  dataDirectoryCreated = 0;

  // A default that does not fit whole is left empty, so it cannot be entered.
  int length = snprintf(dataDirectory, kDataDirSize, kProgramFilesFormat, SetupConfig.groupName);
  if (length < 0 || length >= kDataDirSize) dataDirectory[0] = '\0';
  // A home folder that cannot be named keeps the Program Files default.
  if (EnsureDirectory(dataDirectory, 0) != 0) {
    static HomeFolders homes;
    LookUpHomeFolders(&homes);
    ProposeHomeDirectory(&homes, dataDirectory);
  }
  static char proposal[kDataDirSize];
  memcpy(proposal, dataDirectory, sizeof proposal);

  // A recorded directory wins over both computed ones. One that does not
  // fit the buffer, whose files' paths would not fit or that names a device
  // is not proposed: the dialog offers the computed directory instead.
  bool recordedFits = ReadRecordedDataDirectory(dataDirectory, dataDirectory) != 0;
  NormalizeSeparators(dataDirectory);
  FullPathResult named = recordedFits ? NameByFullPath() : kFullPathUnusable;
  if (named == kFullPathUnusable) {
    memcpy(dataDirectory, proposal, sizeof proposal);
    NormalizeSeparators(dataDirectory);
  }
  if (named != kFullPathUsable || EnsureDirectory(dataDirectory, 0) != 0) {
    for (;;) {
      if (!AskForDirectory(instance)) {
        MessageBoxA(messageOwner, kShuttingDownText, "Shutting Down", MB_OK | MB_ICONWARNING);
        return 0;
      }
      // The dialog accepts only a full path whose files fit, of a directory.
      NormalizeSeparators(dataDirectory);
      if (EnsureDirectory(dataDirectory, 1) == 0) break;
      MessageBoxA(messageOwner, kCouldNotAccessText, "Couldn't Access Directory",
                  MB_OK | MB_ICONWARNING);
    }
  }

  RecordDataDirectory(dataDirectory, dataDirectoryCreated);
  return 1;
}
