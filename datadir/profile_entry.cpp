// The profile entries that record an installation, shared by the setup,
// which writes them, and the uninstaller, which reads and removes them.
#include <string.h>

#include "datadir/datadir.h"

extern const char kProfileSection[] = "Options";
extern const char kProfileKey[] = "dataDir";
extern const char kProfileCreatedKey[] = "dataDirCreated";
extern const char kProfileStartupKey[] = "startupItem";

namespace {

// The value of a yes/no entry: "1" is yes, anything else no.
const char kYes[] = "1";
const int kFlagSize = 8;

char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Copies a directory text into `out` in the form that comparisons use: its
// full path where it names one without the current directory, separators
// normalized and one trailing separator dropped, unless it is all there is
// after a drive ("C:\") or of the text ("\"). False when the text does not
// fit.
bool ComparableForm(const char* text, char (&out)[kDataDirSize]) {
  size_t length = strlen(text);
  if (length >= sizeof out) return false;
  memcpy(out, text, length + 1);
  if (IsAbsolutePath(out) && MakeFullPath(out) < 0) return false;
  NormalizeSeparators(out);
  length = strlen(out);
  bool driveRoot = length == 3 && out[1] == ':';
  if (length > 1 && !driveRoot) StripTrailingChar(out, '\\');
  return true;
}

bool FlagIsSet(const char* key) {
  char value[kFlagSize];
  GetPrivateProfileStringA(kProfileSection, key, "", value, kFlagSize, SetupConfig.profileName);
  return strcmp(value, kYes) == 0;
}

// Whether the entry `key` holds a directory that is `directory`.
bool NamesDirectory(const char* key, const char* directory) {
  static char recorded[kDataDirSize];
  DWORD length = GetPrivateProfileStringA(kProfileSection, key, "", recorded, kDataDirSize,
                                          SetupConfig.profileName);
  return length > 0 && length < static_cast<DWORD>(kDataDirSize - 1) &&
         SameDirectory(recorded, directory);
}

void RemoveEntry(const char* key) {
  WritePrivateProfileStringA(kProfileSection, key, nullptr, SetupConfig.profileName);
}

// The file system's identity of the directory a text names (its volume and
// file index), following links as any use of the name would: false when it
// cannot be opened.
bool DirectoryIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* identity) {
  // Asking for attributes only keeps no other program out of the directory.
  HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(handle, identity) != 0 &&
               (identity->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  CloseHandle(handle);
  return known;
}

// Whether two existing directories are one, whatever names reach them: a
// short name, another letter case, a link.
bool SameIdentity(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION left;
  BY_HANDLE_FILE_INFORMATION right;
  return DirectoryIdentity(a, &left) && DirectoryIdentity(b, &right) &&
         left.dwVolumeSerialNumber == right.dwVolumeSerialNumber &&
         left.nFileIndexHigh == right.nFileIndexHigh && left.nFileIndexLow == right.nFileIndexLow;
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

int RecordDataDirectory(const char* directory, int created) {
  bool written = WritePrivateProfileStringA(kProfileSection, kProfileKey, directory,
                                            SetupConfig.profileName) != 0;
  // The record names the directory made; an existing one leaves it as it
  // is, so that a reinstallation into the same directory keeps it.
  if (created) {
    written = WritePrivateProfileStringA(kProfileSection, kProfileCreatedKey, directory,
                                         SetupConfig.profileName) != 0 &&
              written;
  }
  return written ? 1 : 0;
}

int RecordStartupItem() {
  return WritePrivateProfileStringA(kProfileSection, kProfileStartupKey, kYes,
                                    SetupConfig.profileName)
             ? 1
             : 0;
}

void ReadInstallationRecord(const char* directory, InstallationRecord* record) {
  static char recorded[kDataDirSize];
  memset(record, 0, sizeof *record);
  record->created = NamesDirectory(kProfileCreatedKey, directory) ? 1 : 0;
  // A recorded text that does not fit the buffer names no directory that
  // could be compared, so it is not taken to name this one.
  if (!ReadRecordedDataDirectory("", recorded)) return;
  record->current = recorded[0] == '\0' || SameDirectory(recorded, directory) ? 1 : 0;
  record->startupItem = record->current && FlagIsSet(kProfileStartupKey) ? 1 : 0;
}

void ForgetInstallation() {
  RemoveEntry(kProfileKey);
  RemoveEntry(kProfileStartupKey);
}

void ForgetCreatedDirectory() {
  RemoveEntry(kProfileCreatedKey);
}

int SameDirectory(const char* a, const char* b) {
  static char left[kDataDirSize];
  static char right[kDataDirSize];
  // Texts that do not fit name nothing that could be compared.
  if (!ComparableForm(a, left) || !ComparableForm(b, right)) return 0;
  const char* x = left;
  const char* y = right;
  while (*x != '\0' && ToLowerAscii(*x) == ToLowerAscii(*y)) {
    ++x;
    ++y;
  }
  // Equal full paths are one directory even when it is gone; different
  // ones may still reach the same directory.
  if (*x == '\0' && *y == '\0') return 1;
  return SameIdentity(left, right) ? 1 : 0;
}
