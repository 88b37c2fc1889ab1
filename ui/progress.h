// The modeless "Setup Progress" window.
#ifndef TIDEWELL_UI_PROGRESS_H
#define TIDEWELL_UI_PROGRESS_H

#include <windows.h>

// Room for the percentage line.
const int kPercentTextSize = 256;

// The dialog procedure of IDD_PROGRESS: shows the window on creation.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// A ProgressFn: sets "Percent Complete: <percent>%" on the window `owner`.
void ReportProgress(HWND owner, const char* name, int percent);

#endif  // TIDEWELL_UI_PROGRESS_H
