// Name and path rules shared by both programs (payload/path_rules.h).
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "payload/path_rules.h"

namespace {

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool IsDeviceComponent(const char* name, const char* end) {
  const char* stop = name;
  while (stop < end && *stop != '.') ++stop;
  while (stop > name && stop[-1] == ' ') --stop;
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  size_t length = static_cast<size_t>(stop - name);
  for (const char* reserved : kNames) {
    size_t i = 0;
    while (i < length && reserved[i] != '\0' && UpperAscii(name[i]) == reserved[i]) ++i;
    if (i == length && reserved[i] == '\0') return true;
  }
  if (length != 4) return false;
  char a = UpperAscii(name[0]), b = UpperAscii(name[1]), c = UpperAscii(name[2]);
  unsigned char digit = static_cast<unsigned char>(name[3]);
  bool port = (a == 'C' && b == 'O' && c == 'M') || (a == 'L' && b == 'P' && c == 'T');
  return port &&
         ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

int IsPlainFileName(const char* name) {
  size_t length = strlen(name);
  if (length == 0 || length > 255 || name[length - 1] == '.' || name[length - 1] == ' ' ||
      strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || IsDeviceComponent(name, name + length)) {
    return 0;
  }
  for (const char* p = name; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c > 0x7E || strchr("\\/:*?\"<>|", c) != nullptr) return 0;
  }
  return 1;
}

int JoinPath(const char* directory, const char* name, char* path, int size) {
  size_t length = strlen(directory);
  bool separated = length > 0 && (directory[length - 1] == '\\' || directory[length - 1] == '/');
  int written =
      snprintf(path, static_cast<size_t>(size), separated ? "%s%s" : "%s\\%s", directory, name);
  return written >= 0 && written < size ? 1 : 0;
}

int PathIsGone(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}
