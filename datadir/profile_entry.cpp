// The profile entry that records the data directory, shared by the setup,
// which writes it, and the uninstaller, which removes it again.
#include <string.h>

#include "datadir/datadir.h"

extern const char kProfileSection[] = "Options";
extern const char kProfileKey[] = "dataDir";

namespace {

char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Copies a directory text into `out` in the form that comparisons use:
// separators normalized and one trailing separator dropped, unless it is
// all there is after a drive ("C:\") or of the text ("\"). False when the
// text does not fit.
bool ComparableForm(const char* text, char (&out)[kDataDirSize]) {
  size_t length = strlen(text);
  if (length >= sizeof out) return false;
  memcpy(out, text, length + 1);
  NormalizeSeparators(out);
  length = strlen(out);
  bool driveRoot = length == 3 && out[1] == ':';
  if (length > 1 && !driveRoot) StripTrailingChar(out, '\\');
  return true;
}

}  // namespace

int ReadRecordedDataDirectory(const char* fallback, char* out) {
  static char recorded[kDataDirSize];
  DWORD length = GetPrivateProfileStringA(kProfileSection, kProfileKey, fallback, recorded,
                                          kDataDirSize, SetupConfig.profileName);
  // A value that fills the buffer whole may have been cut: it is never used
  // as a path.
  if (length >= static_cast<DWORD>(kDataDirSize - 1)) return 0;
  memcpy(out, recorded, length + 1);
  return 1;
}

int RecordDataDirectory(const char* directory) {
  return WritePrivateProfileStringA(kProfileSection, kProfileKey, directory,
                                    SetupConfig.profileName)
             ? 1
             : 0;
}

int SameDirectory(const char* a, const char* b) {
  static char left[kDataDirSize];
  static char right[kDataDirSize];
  if (!ComparableForm(a, left) || !ComparableForm(b, right)) return 0;
  const char* x = left;
  const char* y = right;
  while (*x != '\0' && ToLowerAscii(*x) == ToLowerAscii(*y)) {
    ++x;
    ++y;
  }
  return *x == '\0' && *y == '\0' ? 1 : 0;
}

void ForgetDataDirectory(const char* directory) {
  static char recorded[kDataDirSize];
  if (!ReadRecordedDataDirectory("", recorded) || recorded[0] == '\0') return;
  if (!SameDirectory(recorded, directory)) return;
  WritePrivateProfileStringA(kProfileSection, kProfileKey, nullptr, SetupConfig.profileName);
}
