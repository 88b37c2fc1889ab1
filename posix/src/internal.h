// Shared state and helpers of the POSIX stand-in. Everything runs on the one
// thread of the program, so nothing here is locked.
#ifndef TIDEWELL_POSIX_SRC_INTERNAL_H
#define TIDEWELL_POSIX_SRC_INTERNAL_H

#include <windows.h>
#include <ddeml.h>
#include <standin.h>

#include <string>
#include <vector>

namespace standin {

// ---- events.cpp: mode, event log, small text helpers ----

// True after StandinReset(): answers come from the queue and nothing is drawn.
bool Scripted();
void SetScripted(bool scripted);
void LogEvent(const std::string& event);
// Reserves the next log slot for a call whose result is known only later, so
// the log keeps the order in which calls began. Returns the slot's index.
size_t ReserveEvent();
void FillEvent(size_t index, const std::string& event);
void ClearEvents();

// The calling thread's last error, as GetLastError reports it, and the
// Windows error for a failed POSIX call's errno.
void SetError(DWORD error);
DWORD ErrorFromErrno(int error);

std::string HexText(unsigned long value);
std::string Text(const char* text);  // "" for null
bool EqualNoCase(const std::string& a, const std::string& b);
std::string ToLower(std::string text);
// Copies `text` cut to size-1 characters and terminates it; returns the
// number of characters copied. Nothing is written when size is 0.
size_t CopyCut(const std::string& text, char* buffer, size_t size);

// ---- terminal.cpp: answers and output ----

// Reads one answer line (without its line ending). False at end of input.
bool ReadAnswer(std::string* line);
// Writes lines to standard output and flushes, unless scripted.
void PrintLine(const std::string& line);
void QueueAnswer(const std::string& line);
void SetMessageBoxHook(std::function<void()> hook);
void ClearAnswers();

// ---- paths.cpp ----

bool IsSeparator(char c);
// The directory that drive `letter` maps to; false when it is unmapped.
bool DriveRoot(char letter, std::string* root);
// Maps a Windows path to a POSIX path; false for an unmapped drive or a
// network name. A relative name stays relative to the current directory; a
// rooted name without a drive ("\x") lies on the current drive. A name below
// a directory that the program holds open goes through its descriptor.
bool MapPath(const char* windowsPath, std::string* posixPath);
// The full Windows form of a name ("X:\a\b"), resolved against the current
// drive and directory as Windows does; false when it has none.
bool FullWindowsPath(const char* name, std::string* full);
// The drive a name lies on before it is entered, and the record, after a
// successful _chdir, of the drive through which the new current directory
// was entered.
char DriveOfName(const char* windowsPath);
void RecordEnteredDirectory(char drive);
// The Windows form of an absolute POSIX path: the drive whose folder holds
// it most closely, then the rest with backslashes ("X:\a\b"). False for a
// relative path or one that no drive holds.
bool UnmapPath(const std::string& posixPath, std::string* windowsPath);
// MapPath for a file call: false, with the error that Windows would report
// set, for no name, a forbidden character, a network name or an unmapped
// drive.
bool MapPathForCall(const char* windowsPath, std::string* posixPath);
// The Windows attributes of what is at a POSIX path, or
// INVALID_FILE_ATTRIBUTES with the error set. A symbolic link is a reparse
// point (and a directory when it leads to one), as Windows reports links.
DWORD AttributesOf(const std::string& posixPath);
// Whether a name holds a character that Windows does not allow in file names
// (wildcards, quotes, redirections); such names cannot be made or entered.
bool HasForbiddenCharacter(const char* windowsPath);
// The user's home directory: $HOME, else the password database.
std::string HomeDirectory();
// $XDG_CONFIG_HOME or ~/.config, and $XDG_DATA_HOME or ~/.local/share.
std::string ConfigHome();
std::string DataHome();
// Creates a directory and its missing parents.
bool MakeDirectories(const std::string& path);
// Replaces `path` with `content` by writing a temporary file in the same
// directory and renaming it over the original. Keeps the old file's mode.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// ---- handles.cpp: file handles ----

// Rewrites an absolute POSIX path that lies below a directory this program
// holds open (see CreateFileA) to go through the held descriptor.
void ResolveThroughHeldDirectory(std::string* posixPath);
// Closes a handle from CreateFileA; false for any other handle.
bool CloseFileHandle(HANDLE handle);
// The descriptor of a handle from CreateFileA, or -1.
int DescriptorOfFile(HANDLE handle);
// Closes every handle from CreateFileA.
void ResetFileHandles();

// ---- process.cpp ----

// Closes a process handle from DuplicateHandle; false for any other handle.
bool CloseProcessHandle(HANDLE handle);
void ResetProcesses();
// Takes over what the program that started this one handed over: its
// process id and the processes behind inherited process handles.
void AdoptStartInfo();
// The process that started this one, as Windows records it at creation:
// kept even when that process has ended (see StandinSetParentProcessId).
DWORD ParentProcessId();

// ---- files.cpp ----

// Forgets a move that a test asked to fail.
void ResetFiles();
// Whether a test holds the file at `posixPath` open as another program
// would, sharing only reading (StandinHoldOpen).
bool IsHeldOpenElsewhere(const std::string& posixPath);
// Whether writing a file at `posixPath` is to fail (StandinFailWriting).
bool FailsWriting(const std::string& posixPath);

// ---- disk.cpp: the power cut and the drive budget ----

// Called first by every file call that changes the disk: the power cut
// happens here when it is due.
void DiskCall();
// Before `size` bytes are written at the file position of `fd`: false, with
// ERROR_DISK_FULL set, when the budget does not take them. Keeps what a
// power cut would put back.
bool DiskWrite(int fd, size_t size);
// Before a file's length goes from `from` to `to`: false when the budget
// does not take it.
bool DiskResize(off_t from, off_t to);
// Before the name at `posixPath` is deleted or replaced: its bytes go back
// to the budget when it is a file's last name.
void DiskRelease(const std::string& posixPath);

// ---- sync.cpp: named mutexes ----

// Closes a mutex handle; false for any other handle.
bool CloseMutexHandle(HANDLE handle);
bool IsMutexHandle(HANDLE handle);

// Windows has no execute permission: any program file can be started. So a
// regular file that is about to be started, or that a menu entry names, gets
// execute bits wherever it has read bits.
void MakeRunnable(const std::string& path);

// ---- windows.cpp: the window table ----

struct Control {
  int id;
  std::string className;
  uint32_t style;
  std::string text;
  HWND handle;
};

struct Window {
  HWND handle = nullptr;
  int number = 0;  // the "#n" in the window's name
  bool exists = true;
  std::string title;
  DWORD processId = 0;
  // Dialog windows made from a template.
  bool isDialog = false;
  int resourceId = 0;
  uint32_t style = 0;
  DLGPROC proc = nullptr;
  std::vector<Control> controls;
  bool visible = false;
  bool shownOnTerminal = false;
  bool modal = false;
  bool ended = false;
  INT_PTR endResult = 0;
  std::vector<StandinPostedMessage> posted;
};

// Makes a top-level window. Entries are never moved or freed before the next
// reset, so a Window* stays valid across re-entrant calls into the proc.
Window* NewWindow(const std::string& title, DWORD processId);
// The window for a handle, or null when it is unknown or destroyed.
Window* LookupWindow(HWND handle);
// A new handle for a dialog control.
HWND NewControlHandle(Window* dialog, size_t controlIndex);
// The control with this handle, or null.
Control* FindControlByHandle(HWND handle);
std::string WindowNameOf(HWND handle);  // "0" for null, "?" when unknown
DWORD CurrentProcessId();
void ResetWindows();

// ---- dialogs.cpp, dde.cpp, progman.cpp ----

void ResetDialogs();

void ResetDde();
void ResetProgramManager();

}  // namespace standin

#endif  // TIDEWELL_POSIX_SRC_INTERNAL_H
