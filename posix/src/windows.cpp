// The table of windows (the program's dialog windows and the fake top-level
// windows of other programs that tests make), window enumeration and text,
// posted messages, and the Toolhelp process snapshot.
#include <tlhelp32.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <memory>
#include <set>

#include "internal.h"

namespace standin {
namespace {

struct FakeProcess {
  DWORD id;
  std::string exeName;
};

struct Snapshot {
  std::vector<PROCESSENTRY32> entries;
  size_t next = 0;
};

struct Table {
  std::vector<std::unique_ptr<Window>> windows;  // creation order
  std::map<uintptr_t, Window*> byHandle;
  std::map<uintptr_t, std::pair<Window*, size_t>> controls;
  std::vector<FakeProcess> processes;
};

Table& Windows() {
  static Table table;
  return table;
}

// Handle values keep growing across resets, so a handle kept from before a
// reset never names a new window.
uintptr_t gNextHandle = 0x10000;

HWND NewHandle() {
  gNextHandle += 0x10;
  return reinterpret_cast<HWND>(gNextHandle);
}

std::set<Snapshot*>& Snapshots() {
  static std::set<Snapshot*> snapshots;
  return snapshots;
}

const std::string& CurrentExeName() {
  static std::string name;
  if (name.empty()) {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string full = n > 0 ? std::string(path, static_cast<size_t>(n)) : "setup";
    name = full.substr(full.find_last_of('/') + 1);
  }
  return name;
}

DWORD ProcessFor(const std::string& exeName) {
  Table& table = Windows();
  for (const FakeProcess& process : table.processes) {
    if (process.exeName == exeName) return process.id;
  }
  DWORD id = static_cast<DWORD>(0x4000 + 4 * table.processes.size());
  if (id == CurrentProcessId()) id += 2;
  table.processes.push_back({id, exeName});
  return id;
}

void FillEntry(DWORD id, DWORD parent, const std::string& exeName, PROCESSENTRY32* entry) {
  *entry = PROCESSENTRY32();
  entry->dwSize = sizeof *entry;
  entry->th32ProcessID = id;
  entry->th32ParentProcessID = parent;
  entry->cntThreads = 1;
  CopyCut(exeName, entry->szExeFile, sizeof entry->szExeFile);
}

bool CopyEntry(HANDLE snapshot, bool first, LPPROCESSENTRY32 entry) {
  auto it = Snapshots().find(static_cast<Snapshot*>(snapshot));
  if (it == Snapshots().end() || entry == nullptr || entry->dwSize < sizeof *entry) return false;
  Snapshot* s = *it;
  if (first) s->next = 0;
  if (s->next >= s->entries.size()) return false;
  *entry = s->entries[s->next++];
  return true;
}

}  // namespace

Window* NewWindow(const std::string& title, DWORD processId) {
  Table& table = Windows();
  table.windows.push_back(std::make_unique<Window>());
  Window* window = table.windows.back().get();
  window->handle = NewHandle();
  window->number = static_cast<int>(table.windows.size());
  window->title = title;
  window->processId = processId;
  table.byHandle[reinterpret_cast<uintptr_t>(window->handle)] = window;
  return window;
}

Window* LookupWindow(HWND handle) {
  auto& byHandle = Windows().byHandle;
  auto it = byHandle.find(reinterpret_cast<uintptr_t>(handle));
  return it != byHandle.end() && it->second->exists ? it->second : nullptr;
}

HWND NewControlHandle(Window* dialog, size_t controlIndex) {
  HWND handle = NewHandle();
  Windows().controls[reinterpret_cast<uintptr_t>(handle)] = {dialog, controlIndex};
  return handle;
}

Control* FindControlByHandle(HWND handle) {
  auto& controls = Windows().controls;
  auto it = controls.find(reinterpret_cast<uintptr_t>(handle));
  if (it == controls.end() || !it->second.first->exists) return nullptr;
  return &it->second.first->controls[it->second.second];
}

std::string WindowNameOf(HWND handle) {
  if (handle == nullptr) return "0";
  auto& byHandle = Windows().byHandle;
  auto it = byHandle.find(reinterpret_cast<uintptr_t>(handle));
  return it != byHandle.end() ? "#" + std::to_string(it->second->number) : "?";
}

DWORD CurrentProcessId() {
  return static_cast<DWORD>(getpid());
}

void ResetWindows() {
  Table& table = Windows();
  // A reset from inside a dialog procedure must not free the Window that a
  // modal loop further up the stack still holds; retired windows are kept.
  static std::vector<std::unique_ptr<Window>> retired;
  for (auto& window : table.windows) retired.push_back(std::move(window));
  table.windows.clear();
  table.byHandle.clear();
  table.controls.clear();
  table.processes.clear();
}

}  // namespace standin

using namespace standin;

BOOL EnumWindows(WNDENUMPROC proc, LPARAM data) {
  if (proc == nullptr) return FALSE;
  // The list is taken first: the callback may make or destroy windows.
  std::vector<HWND> handles;
  for (const auto& window : Windows().windows) {
    if (window->exists) handles.push_back(window->handle);
  }
  for (HWND handle : handles) {
    if (LookupWindow(handle) != nullptr && !proc(handle, data)) return FALSE;
  }
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int size) {
  if (text == nullptr || size <= 0) return 0;
  Window* w = LookupWindow(window);
  Control* control = w == nullptr ? FindControlByHandle(window) : nullptr;
  std::string title = w != nullptr ? w->title : control != nullptr ? control->text : "";
  return static_cast<int>(CopyCut(title, text, static_cast<size_t>(size)));
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = LookupWindow(window);
  if (w == nullptr) return FALSE;
  w->posted.push_back({message, wParam, lParam});
  LogEvent("PostMessageA|" + WindowNameOf(window) + "|" + HexText(message) + "|" +
           std::to_string(wParam) + "|" + std::to_string(lParam));
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  Window* w = LookupWindow(window);
  if (w == nullptr) return 0;
  if (processId != nullptr) *processId = w->processId;
  return w->processId;  // each fake process has one thread with its own id
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD /*processId*/) {
  if ((flags & TH32CS_SNAPPROCESS) == 0) return INVALID_HANDLE_VALUE;
  Snapshot* snapshot = new Snapshot;
  PROCESSENTRY32 entry;
  FillEntry(CurrentProcessId(), ParentProcessId(), CurrentExeName(), &entry);
  snapshot->entries.push_back(entry);
  for (const FakeProcess& process : Windows().processes) {
    FillEntry(process.id, 0, process.exeName, &entry);
    snapshot->entries.push_back(entry);
  }
  Snapshots().insert(snapshot);
  return snapshot;
}

BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) {
  return CopyEntry(snapshot, true, entry) ? TRUE : FALSE;
}

BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) {
  return CopyEntry(snapshot, false, entry) ? TRUE : FALSE;
}

BOOL CloseHandle(HANDLE handle) {
  if (CloseProcessHandle(handle) || CloseMutexHandle(handle) || CloseFileHandle(handle)) {
    return TRUE;
  }
  auto it = Snapshots().find(static_cast<Snapshot*>(handle));
  if (it == Snapshots().end()) return FALSE;
  delete *it;
  Snapshots().erase(it);
  return TRUE;
}

HWND StandinCreateTopLevelWindow(const char* title, const char* exeName) {
  return NewWindow(Text(title), ProcessFor(Text(exeName)))->handle;
}

std::vector<StandinPostedMessage> StandinPostedMessages(HWND window) {
  auto& byHandle = Windows().byHandle;
  auto it = byHandle.find(reinterpret_cast<uintptr_t>(window));
  return it != byHandle.end() ? it->second->posted : std::vector<StandinPostedMessage>();
}

bool StandinWindowExists(HWND window) {
  return LookupWindow(window) != nullptr;
}

std::string StandinWindowName(HWND window) {
  return WindowNameOf(window);
}

std::vector<HWND> StandinDialogWindows() {
  std::vector<HWND> dialogs;
  for (const auto& window : Windows().windows) {
    if (window->isDialog) dialogs.push_back(window->handle);
  }
  return dialogs;
}

std::string StandinControlText(HWND dialog, int id) {
  auto& byHandle = Windows().byHandle;
  auto it = byHandle.find(reinterpret_cast<uintptr_t>(dialog));
  if (it == byHandle.end()) return "";
  for (const Control& control : it->second->controls) {
    if (control.id == id) return control.text;
  }
  return "";
}
