// Letting Program Manager's replies in. An elevated setup runs at a higher
// integrity level than Explorer, the desktop's Program Manager, and User
// Interface Privilege Isolation drops messages from a lower level unless
// the receiving process admits them. The DDEML's windows receive the
// server's WM_DDE_ACK (to the connection and to each command) and its
// WM_DDE_TERMINATE; without them no conversation is ever made.
#include <windows.h>
#include <dde.h>

#include "desktop/shell.h"
#include "desktop/system_library.h"

namespace {

// The exact type of ChangeWindowMessageFilter (Windows Vista and later).
typedef BOOL(WINAPI* ChangeWindowMessageFilterFn)(UINT message, DWORD flag);

const UINT kDdeReplies[] = {WM_DDE_ACK, WM_DDE_TERMINATE};

}  // namespace

int AdmitDdeReplies() {
  FARPROC found;
  if (!LookUpAll("user32.dll", "ChangeWindowMessageFilter", &found, 1)) return 0;
  ChangeWindowMessageFilterFn changeFilter = As<ChangeWindowMessageFilterFn>(found);
  int admitted = 1;
  for (UINT message : kDdeReplies) {
    if (!changeFilter(message, MSGFLT_ADD)) admitted = 0;
  }
  return admitted;
}
