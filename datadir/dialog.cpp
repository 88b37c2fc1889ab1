// The "Choose a Data Directory" dialog: shows the candidate, and on OK
// accepts a directory it created or an existing one the user confirms.
#include <direct.h>
#include <stdio.h>

#include "datadir/datadir.h"
#include "ui/resource.h"

namespace {

// Room for the "Please Enter a Directory Name" text with the group name.
const int kRejectedPathTextSize = 256;

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
const char kExistingDirectoryText[] =
    "That directory already exists. The application can use it, but we do not recommend using "
    "a directory name that is already being used for other purposes. Are you sure you want to "
    "use this directory?";

// The message boxes have no owner window, so the dialog stays enabled while
// one is open and OK or Cancel can run again inside it. The first run that
// ends the dialog decides its result; later runs leave it alone.
bool dialogEnded;

void EndOnce(HWND dialog, INT_PTR result) {
  if (dialogEnded) return;
  dialogEnded = true;
  EndDialog(dialog, result);
}

void AcceptTypedDirectory(HWND dialog) {
  GetDlgItemTextA(dialog, IDC_DATADIR, dataDirectory, kDataDirSize);
  switch (QueryPathStatus(dataDirectory)) {
    case kPathNotFound:
      if (_mkdir(dataDirectory) == 0) {
        EndOnce(dialog, 1);
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
                      MB_YESNO) == IDYES) {
        EndOnce(dialog, 1);
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
