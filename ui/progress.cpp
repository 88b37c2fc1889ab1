// The progress window's procedure and its percentage line.
#include <stdio.h>

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

void ReportProgress(HWND owner, const char*, int percent) {
  static char percentText[kPercentTextSize];
  int length = snprintf(percentText, sizeof percentText, "Percent Complete: %d%%", percent);
  if (length >= 0 && length < kPercentTextSize) SetDlgItemTextA(owner, IDC_PERCENT, percentText);
}
