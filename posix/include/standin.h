// Scripting interface of the POSIX stand-in, for tests only.
//
// A test calls StandinReset() first: from then on the stand-in is scripted.
// Answers come from a queue instead of standard input (an empty queue is the
// end of input), sleeps and program starts are recorded but not performed,
// nothing is drawn on the terminal, and every user-visible call is appended to
// one ordered event log. Files, directories and the profile stay real: tests
// point the drive mapping and the Windows directory at scratch folders.
#ifndef TIDEWELL_POSIX_STANDIN_H
#define TIDEWELL_POSIX_STANDIN_H

#include <windows.h>
#include <ddeml.h>

#include <functional>
#include <string>
#include <vector>

// Clears answers, events, fake windows and processes, DDE servers and
// instances; switches to scripted mode. The host Program Manager is not
// registered after a reset.
void StandinReset();

// Queues one answer line, as if a person typed it and pressed Enter.
//   message box with OK:      any line dismisses it
//   message box with Yes/No:  "y" or "yes" (any case) is Yes, anything else No
//   directory dialog:         ""          keep the field's text and press OK
//                             ":cancel"   press Cancel
//                             ":clear"    empty the field and press OK
//                             other text  replace the field's text and press OK
// An empty queue is the end of input: OK, No and Cancel respectively.
void StandinQueueAnswer(const char* line);
void StandinQueueAnswers(const std::vector<std::string>& lines);

// Runs `hook` once, the next time a message box opens, before its answer is
// read. Lets a test act while a box is on screen (press a dialog button again,
// look at the windows that exist).
void StandinOnNextMessageBox(std::function<void()> hook);

// Processes in scripted mode: CreateProcessA is recorded but starts nothing;
// DuplicateHandle of the current process gives a handle that
// WaitForSingleObject accepts at once (any other handle gives WAIT_FAILED).
// `hook` runs once, inside the next wait on such a handle.
void StandinOnNextWait(std::function<void()> hook);
// The process that started this one, as the Toolhelp snapshot reports it
// (0: the POSIX parent). The host binaries set it from what the stand-in's
// CreateProcessA or WinExec handed over; a reset clears it.
void StandinSetParentProcessId(DWORD processId);
// The name GetModuleFileNameA gives for the running program ("" again: the
// real one, in its Windows form).
void StandinSetModuleFileName(const char* windowsPath);

// Makes the next DialogBoxParamA fail with -1 without showing anything.
void StandinFailNextDialog();
// Holds the file at `windowsPath` open as another program reading it would,
// sharing only reading: whatever name it is reached by, it is neither
// written, renamed, replaced nor deleted (ERROR_SHARING_VIOLATION), as
// under Wine. A reset lets it go.
void StandinHoldOpen(const char* windowsPath);
// Makes every CreateFileA that opens or makes a file for writing whose path
// holds `pathPart` fail, as where the program may not write it. A reset
// clears it.
void StandinFailWriting(const char* pathPart);

// Gives the files under drive C: `bytes` more bytes of room from now on,
// all together, as a volume has (-1: no limit but the real volume's). A
// write or an extension past it fails with ERROR_DISK_FULL and changes
// nothing; GetDiskFreeSpaceExA reports what is left. SETUP_DISK_FREE sets
// it for a whole process; a reset lifts it.
void StandinSetDiskFree(long long bytes);
// The bytes the files under drive C: take now, and the most they took
// since StandinSetDiskFree, while a budget is set.
void StandinDiskUse(long long* now, long long* most);

// The ordered log of user-visible calls since the last reset. Formats:
//   "MessageBoxA|<caption>|<text>|<type in hex, 0x..>|<owner: 0 or window name>|<result>"
//   "CreateDialogParamA|<resource id>|<window name>"
//   "DialogBoxParamA|<resource id>|<result>"
//   "ShowWindow|<window name>|<show command>"
//   "SetDlgItemTextA|<window name>|<control id>|<text>"
//   "EndDialog|<window name>|<result>"
//   "DestroyWindow|<window name>"
//   "Sleep|<milliseconds>"
//   "PostMessageA|<window name>|<message in hex>|<wParam>|<lParam>"
//   "DdeConnect|<service>|<topic>|<1 when a server answered, else 0>"
//   "DdeExecute|<service>|<topic>|<text up to the first NUL>|<byte count>"
//   "WinExec|<command line>|<show command>"
//   "WritePrivateProfileStringA|<section>|<key>|<value>|<file>"
//   "CreateProcessA|<application>|<command line>|<directory>|<inherit 0 or 1>"
//   "WaitForSingleObject|<handle as a number>|<milliseconds>|<result>"
//   "MoveFileExA|<existing name>|<new name>|<flags in hex>"
//   "SetFilePointer|<distance>|<method>"
//   "SetEndOfFile"
//   "FlushFileBuffers"
//   "CreateMutexA|<name>|<inherit 0 or 1>|<0, or 183 when it existed>"
// A window's name is "#<n>" in order of creation, starting at #1.
const std::vector<std::string>& StandinEvents();

// Fake top-level windows owned by other programs. `exeName` is the bare name
// of the owning program's executable, as a Toolhelp snapshot reports it; each
// distinct name is one fake process.
HWND StandinCreateTopLevelWindow(const char* title, const char* exeName);

struct StandinPostedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
// Messages posted to a window with PostMessageA, in order.
std::vector<StandinPostedMessage> StandinPostedMessages(HWND window);

// Whether a window (fake or made by the program) still exists, and its name
// ("#<n>") and current title.
bool StandinWindowExists(HWND window);
std::string StandinWindowName(HWND window);
// The current text of a control of a dialog window, "" when it has none.
std::string StandinControlText(HWND dialog, int id);
// Every window the program made from a dialog resource, in creation order.
std::vector<HWND> StandinDialogWindows();

// A DDE server for a service and topic (compared without regard to case, as
// DDE string handles are). `execute` gets the exact bytes of each execute
// transaction and returns whether it accepted the command.
typedef std::function<bool(const unsigned char* data, DWORD length)> StandinDdeExecuteFn;
void StandinRegisterDdeServer(const char* service, const char* topic, StandinDdeExecuteFn execute);
// Registers the host's Program Manager (service and topic PROGMAN), which
// turns commands into freedesktop desktop entries. The host setup binary
// registers it at start unless SETUP_NO_PROGMAN is set.
void StandinRegisterProgramManager();

// The host Program Manager's command interpreter, for tests: runs one command
// text and returns whether it was understood and carried out.
bool StandinProgramManagerExecute(const char* command);

// Maps a Windows path to a POSIX path by the drive mapping. Returns false for
// an unmapped drive or a result that does not fit.
bool StandinMapPath(const char* windowsPath, char* posixPath, size_t size);
// The Windows form of an absolute POSIX path, by the drive whose folder holds
// it most closely (Z: is "/" unless SETUP_DRIVE_Z says otherwise). Returns
// false for a relative path or a result that does not fit.
bool StandinUnmapPath(const char* posixPath, char* windowsPath, size_t size);

#endif  // TIDEWELL_POSIX_STANDIN_H
