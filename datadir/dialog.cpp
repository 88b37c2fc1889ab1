// The "Choose a Data Directory" dialog: shows the candidate, and on OK
// accepts a directory it created or an existing one the user confirms.
#include <direct.h>
#include <stdio.h>
#include <string.h>

#include "datadir/datadir.h"
#include "ui/resource.h"

namespace {

const char kCannotCreateText[] =
    "That directory does not exist, and the application was not able to create it. Most likely "
    "the parent directory does not exist or you have entered a path the program does not have "
    "write access to.";
const char kPathIsFileFormat[] =
    "That path specifies a file, and not a new or existing directory name. Please enter a "
    "directory name, such as %s for example.";
// The same without the example, for a group name too long to fit in.
const char kPathIsFileText[] =
    "That path specifies a file, and not a new or existing directory name. Please enter a "
    "directory name.";
const char kTooLongText[] =
    "That directory name is too long for the application's files. Please choose a shorter "
    "directory name.";
const char kExistingDirectoryText[] =
    "That directory already exists. The application can use it, but we do not recommend using "
    "a directory name that is already being used for other purposes. Are you sure you want to "
    "use this directory?";

// Room for the "Please Enter a Directory Name" text with the longest group
// name the configuration admits.
const int kRejectedPathTextSize = 512;
// The format less its "%s", the longest name and the terminator:
static_assert(sizeof kPathIsFileFormat - 3 + kConfigNameSize <= kRejectedPathTextSize,
              "the rejected-path text must hold the longest group name");

// The message boxes have no owner window, so the dialog stays enabled while
// one is open and OK or Cancel can run again inside it. The first run that
// ends the dialog decides its result; later runs leave it alone.
bool dialogEnded;

void EndOnce(HWND dialog, INT_PTR result) {
  if (dialogEnded) return;
  dialogEnded = true;
  EndDialog(dialog, result);
}

// Accepts the directory of one OK run, by its full path, and whether this
// run created it. A nested run may have overwritten the data directory
// buffer meanwhile, so the run's own text is put back first.
void EndAccepting(HWND dialog, const char* fullPath, int created) {
  if (dialogEnded) return;
  memcpy(dataDirectory, fullPath, strlen(fullPath) + 1);
  dataDirectoryCreated = created;
  EndOnce(dialog, 1);
}

void AcceptTypedDirectory(HWND dialog) {
  // Each run keeps the text it read in a buffer of its own: a run that waits
  // for a message box can be re-entered from that box's message loop.
  char typed[kDataDirSize] = "";
  GetDlgItemTextA(dialog, IDC_DATADIR, typed, kDataDirSize);
  typed[kDataDirSize - 1] = '\0';
  size_t length = strlen(typed);
  memcpy(dataDirectory, typed, length + 1);
  // What is created and accepted is the directory Windows makes of the
  // text, named by its full path; the text itself is classified as typed.
  // A text that fills the field's whole capacity may have been cut, so it
  // never names a directory.
  char fullPath[kDataDirSize];
  memcpy(fullPath, typed, length + 1);
  int named = length >= static_cast<size_t>(kDataDirSize - 1) ? -1 : MakeFullPath(fullPath);
  if (named < 0 || (named > 0 && !InstalledPathsFit(fullPath))) {
    MessageBoxA(messageOwner, kTooLongText, "Directory Name Too Long", MB_OK | MB_ICONWARNING);
    return;
  }
  // A device is never a directory to create or to use, whether or not the
  // system reports one there.
  if (named > 0 && NamesDevice(fullPath)) {
    MessageBoxA(messageOwner, kCannotCreateText, "Can't Create Directory", MB_OK | MB_ICONWARNING);
    return;
  }
  switch (QueryPathStatus(typed)) {
    case kPathNotFound:
      // A text with no full path (an empty one) names nothing to create.
      if (named > 0 && _mkdir(fullPath) == 0) {
        EndAccepting(dialog, fullPath, 1);
      } else {
        MessageBoxA(messageOwner, kCannotCreateText, "Can't Create Directory",
                    MB_OK | MB_ICONWARNING);
      }
      break;
    case kPathFile: {
      static char text[kRejectedPathTextSize];
      int length = snprintf(text, sizeof text, kPathIsFileFormat, SetupConfig.groupName);
      const char* shown = (length >= 0 && length < kRejectedPathTextSize) ? text : kPathIsFileText;
      MessageBoxA(messageOwner, shown, "Please Enter a Directory Name", MB_OK | MB_ICONWARNING);
      break;
    }
    case kPathDirectory:
      if (MessageBoxA(messageOwner, kExistingDirectoryText, "Write Data to Existing Directory?",
                      MB_YESNO) == IDYES &&
          named > 0) {
        EndAccepting(dialog, fullPath, 0);
      }
      break;
  }
}

}  // namespace

INT_PTR CALLBACK DataDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      dialogEnded = false;
      SetDlgItemTextA(dialog, IDC_DATADIR, dataDirectory);
      SetFocus(GetDlgItem(dialog, IDOK));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDCANCEL:
          EndOnce(dialog, 0);
          return TRUE;
        case IDOK:
          if (!dialogEnded) AcceptTypedDirectory(dialog);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
