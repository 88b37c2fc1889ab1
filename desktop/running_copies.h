// Asking running copies of the product to quit before its files are written.
#ifndef TIDEWELL_DESKTOP_RUNNING_COPIES_H
#define TIDEWELL_DESKTOP_RUNNING_COPIES_H

#include <windows.h>

// Room for a window title read back from the platform.
const int kWindowTitleSize = 256;

// Warns the user, waits, posts WM_QUIT to every window of a running copy and
// waits again.
void CloseRunningCopies();
// The enumeration callback: posts WM_QUIT to one window if it is a running
// copy's. Always returns TRUE so that every window is seen.
BOOL CALLBACK CloseCopyEnumProc(HWND window, LPARAM data);

// Whether a title begins with appName, exactly and case-sensitively.
bool TitleMarksRunningCopy(const char* title, const char* appName);
// Whether the program that owns the window runs from an executable named
// exeName (compared without regard to case, as Windows compares file names).
bool WindowOwnedByExecutable(HWND window, const char* exeName);

#endif  // TIDEWELL_DESKTOP_RUNNING_COPIES_H
