// Small path operations of the data directory stage.
#include <direct.h>
#include <string.h>

#include "datadir/datadir.h"
#include "payload/path_rules.h"

namespace {
bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}
}  // namespace

void StripTrailingChar(char* text, char ch) {
  size_t length = strlen(text);
  if (length > 0 && text[length - 1] == ch) text[length - 1] = '\0';
}

void NormalizeSeparators(char* path) {
  char* out = path;
  const char* in = path;
  // A network path keeps the two separators that mark it.
  if (IsSeparator(in[0]) && IsSeparator(in[1])) {
    *out++ = '\\';
    *out++ = '\\';
    while (IsSeparator(*in)) ++in;
  }
  while (*in != '\0') {
    if (IsSeparator(*in)) {
      *out++ = '\\';
      while (IsSeparator(*in)) ++in;
    } else {
      *out++ = *in++;
    }
  }
  *out = '\0';
}

bool IsAbsolutePath(const char* path) {
  bool driveLetter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  if (driveLetter && path[1] == ':' && IsSeparator(path[2])) return true;
  return IsSeparator(path[0]) && IsSeparator(path[1]);  // a network path
}

bool IsRootPath(const char* path) {
  bool driveLetter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  if (driveLetter && path[1] == ':') {
    return path[2] == '\0' || (IsSeparator(path[2]) && path[3] == '\0');
  }
  if (!IsSeparator(path[0])) return false;
  if (!IsSeparator(path[1])) return path[1] == '\0';
  // A network name: the server and the share make its root.
  int names = 0;
  for (const char* p = path + 2; *p != '\0';) {
    while (IsSeparator(*p)) ++p;
    if (*p == '\0') break;
    ++names;
    while (*p != '\0' && !IsSeparator(*p)) ++p;
  }
  return names <= 2;
}

int MakeFullPath(char* path) {
  char full[kDataDirSize];
  DWORD length = GetFullPathNameA(path, kDataDirSize, full, nullptr);
  // The ANSI functions refuse a text longer than MAX_PATH outright.
  if (length == 0) return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? -1 : 0;
  // A full path that fills the buffer may have been cut; one that does not
  // fit comes back as the size it needs.
  if (length >= static_cast<DWORD>(kDataDirSize - 1)) return -1;
  memcpy(path, full, length + 1);
  return 1;
}

bool NamesDevice(const char* fullPath) {
  if (IsSeparator(fullPath[0]) && IsSeparator(fullPath[1]) &&
      (fullPath[2] == '.' || fullPath[2] == '?') && IsSeparator(fullPath[3])) {
    return true;
  }
  for (const char* p = fullPath; *p != '\0';) {
    while (IsSeparator(*p)) ++p;
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) ++p;
    if (p > start && IsDeviceComponent(start, p)) return true;
  }
  return false;
}

int EnsureDirectory(const char* path, int create) {
  if (_chdir(path) == 0) return 0;
  if (!create) return -1;
  _mkdir(path);  // Only the second attempt to enter it decides.
  return _chdir(path) == 0 ? 0 : -1;
}
