// The progress window's procedure and its percentage line.
#include <stdio.h>
#include <string.h>

#include "ui/progress.h"
#include "ui/resource.h"

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (LOWORD(message)) {
    case WM_INITDIALOG:
      ShowWindow(dialog, SW_SHOW);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return FALSE;
  }
  return FALSE;
}

// Setting the line redraws it, and with many payload files most reports
// repeat the percentage before them, so a text that this function has set on
// this very window is not set again. Only a set that succeeded counts: after
// a failure the next report tries again. A new window shows its template's
// text, which no report produces, so its first report always sets the line.
void ReportProgress(HWND owner, const char*, int percent) {
  static char percentText[kPercentTextSize];
  static char shownText[kPercentTextSize];
  static HWND shownOwner = NULL;
  static int shown = 0;
  int length = snprintf(percentText, sizeof percentText, "Percent Complete: %d%%", percent);
  if (length < 0 || length >= kPercentTextSize) return;
  if (shown && owner == shownOwner && strcmp(percentText, shownText) == 0) return;
  shown = SetDlgItemTextA(owner, IDC_PERCENT, percentText) ? 1 : 0;
  shownOwner = owner;
  memcpy(shownText, percentText, static_cast<size_t>(length) + 1);
}
