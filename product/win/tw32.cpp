// The product stand-in: one top-level window titled "Tidewell" whose message
// loop ends when WM_QUIT arrives. On start it writes the file name of the
// program that started it, and the directory it runs in, to tw32-parent.log
// in the temporary directory: the tests tell by it whether the setup started
// the product itself or through the desktop's Explorer.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>

namespace {

const char kParentLogName[] = "tw32-parent.log";

// The program file name of the process `processId` in a snapshot, or "".
void ProcessName(HANDLE snapshot, DWORD processId, char* name, size_t size) {
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  name[0] = '\0';
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == processId) {
      snprintf(name, size, "%s", entry.szExeFile);
      return;
    }
  }
}

void LogParent() {
  char temporary[MAX_PATH];
  char logPath[MAX_PATH + sizeof kParentLogName];
  char directory[MAX_PATH];
  char parent[MAX_PATH] = "";
  DWORD length = GetTempPathA(MAX_PATH, temporary);
  if (length == 0 || length >= MAX_PATH) return;
  int written = snprintf(logPath, sizeof logPath, "%s%s", temporary, kParentLogName);
  if (written < 0 || written >= static_cast<int>(sizeof logPath)) return;
  if (GetCurrentDirectoryA(MAX_PATH, directory) == 0) directory[0] = '\0';
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32 self;
    self.dwSize = sizeof self;
    DWORD parentId = 0;
    for (BOOL more = Process32First(snapshot, &self); more; more = Process32Next(snapshot, &self)) {
      if (self.th32ProcessID == GetCurrentProcessId()) parentId = self.th32ParentProcessID;
    }
    ProcessName(snapshot, parentId, parent, sizeof parent);
    CloseHandle(snapshot);
  }
  FILE* log = fopen(logPath, "w");
  if (log == nullptr) return;
  fprintf(log, "parent=%s\ndirectory=%s\n", parent, directory);
  fclose(log);
}

LRESULT CALLBACK ProductWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  LogParent();
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProductWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "TidewellMain";
  if (!RegisterClassA(&windowClass)) return 1;

  HWND window = CreateWindowA("TidewellMain", "Tidewell", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, showCommand);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
