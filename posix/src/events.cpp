// The mode switch and the event log, with the small text helpers that the
// other parts share.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "internal.h"

namespace standin {
namespace {

bool gScripted = false;
DWORD gLastError = ERROR_SUCCESS;

std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

}  // namespace

bool Scripted() {
  return gScripted;
}
void SetScripted(bool scripted) {
  gScripted = scripted;
}

void LogEvent(const std::string& event) {
  // End-to-end tests end the program as kill -9 would at an exact call: the
  // call whose event begins with this text (its SETUP_KILL_AT_COUNT-th such
  // call, the first by default), before it does anything.
  static const char* killAt = getenv("SETUP_KILL_AT_EVENT");
  static int killCountdown =
      getenv("SETUP_KILL_AT_COUNT") ? atoi(getenv("SETUP_KILL_AT_COUNT")) : 1;
  if (killAt != nullptr && killAt[0] != '\0' && event.compare(0, strlen(killAt), killAt) == 0 &&
      --killCountdown <= 0) {
    raise(SIGKILL);
  }
  Events().push_back(event);
}

size_t ReserveEvent() {
  Events().emplace_back();
  return Events().size() - 1;
}

void FillEvent(size_t index, const std::string& event) {
  // A reset in between may have emptied the log; the slot is then gone.
  if (index < Events().size()) Events()[index] = event;
}

void ClearEvents() {
  Events().clear();
}

void SetError(DWORD error) {
  gLastError = error;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOTEMPTY:
    case EEXIST:
      return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:  // EACCES, EPERM, EISDIR (DeleteFileA on a directory), EBUSY, EROFS...
      return ERROR_ACCESS_DENIED;
  }
}

std::string HexText(unsigned long value) {
  char text[24];
  snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

std::string Text(const char* text) {
  return text != nullptr ? text : "";
}

std::string ToLower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return ToLower(a) == ToLower(b);
}

size_t CopyCut(const std::string& text, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  // memmove: the text may have been read out of the very same buffer.
  memmove(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

}  // namespace standin

DWORD GetLastError(void) {
  return standin::gLastError;
}

void SetLastError(DWORD error) {
  standin::gLastError = error;
}

void GetSystemTimeAsFileTime(FILETIME* now) {
  // 100-nanosecond steps since 1601, as Windows counts.
  timespec time;
  clock_gettime(CLOCK_REALTIME, &time);
  uint64_t steps = (static_cast<uint64_t>(time.tv_sec) + 11644473600ull) * 10000000ull +
                   static_cast<uint64_t>(time.tv_nsec) / 100;
  now->dwLowDateTime = static_cast<DWORD>(steps);
  now->dwHighDateTime = static_cast<DWORD>(steps >> 32);
}

const std::vector<std::string>& StandinEvents() {
  return standin::Events();
}
