// The staging folder's names and held folders, and a run's side of it: the
// folder made and held, the journal written, the subfolders for the copies.
#include <direct.h>
#include <stdio.h>
#include <string.h>

#include "payload/staging.h"

extern const char kStagingFolderName[] = "~setup.tmp";
extern const char kJournalName[] = "journal";
extern const char kJournalHeader[] = "tidewell staging 1";
extern const char kStagedSuffix[] = ".new";
extern const char kAsideSuffix[] = ".old";
extern const char kDiscardedSuffix[] = ".del";
// The folder, a separator, a subfolder of up to eight digits, a separator
// and a suffix.
static_assert(sizeof kStagingFolderName - 1 + 1 + 8 + 1 + sizeof kStagedSuffix - 1 <=
                      kStagingExtraLength &&
                  sizeof kAsideSuffix == sizeof kStagedSuffix &&
                  sizeof kDiscardedSuffix == sizeof kStagedSuffix &&
                  sizeof kAsideSuffix - 1 == kCopySuffixLength,
              "kStagingExtraLength must cover the folder, any subfolder and either suffix");

namespace {

// Subfolder numbers tried for a new batch before giving up: a number taken
// by what an earlier run could not remove is stepped over.
const int kBatchTries = 1000;
// A journal record: a tag, a blank, a name of at most 255 characters, a
// size and the line's end.
const int kRecordSize = 32 + 256;

char folderPath[kStagingPathSize];
char batchPath[kStagingPathSize];
char journalPath[kStagingPathSize];
char record[kRecordSize];
HANDLE heldFolder = INVALID_HANDLE_VALUE;
HANDLE heldBatch = INVALID_HANDLE_VALUE;
HANDLE journal = INVALID_HANDLE_VALUE;
int batchNumber = -1;
int batchCopies = kStagingBatch;

bool Fits(int length, int size) {
  return length >= 0 && length < size;
}

void LetGo(HANDLE* held) {
  if (*held != INVALID_HANDLE_VALUE) CloseHandle(*held);
  *held = INVALID_HANDLE_VALUE;
}

// Writes one record: `tag`, then `name` and `size` when given.
bool WriteRecord(const char* tag, const char* name, const char* size) {
  int length = snprintf(record, sizeof record, "%s%s%s%s%s\n", tag, name[0] != '\0' ? " " : "",
                        name, size[0] != '\0' ? " " : "", size);
  return Fits(length, kRecordSize) && WriteWhole(journal, record, static_cast<DWORD>(length));
}

// Makes and holds the next free subfolder for a batch of copies.
bool OpenNextBatch() {
  LetGo(&heldBatch);
  for (int tries = 0; tries < kBatchTries; ++tries) {
    ++batchNumber;
    if (!Fits(snprintf(batchPath, sizeof batchPath, "%s\\%d", folderPath, batchNumber),
              kStagingPathSize)) {
      return false;
    }
    // A number that is taken holds what an earlier run left and could not
    // remove: it is not the setup's to write into.
    if (_mkdir(batchPath) != 0) continue;
    heldBatch = HoldRealDirectory(batchPath, FALSE);
    if (heldBatch == INVALID_HANDLE_VALUE) return false;
    batchCopies = 0;
    return true;
  }
  return false;
}

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

HANDLE HoldRealDirectory(const char* path, BOOL inheritable) {
  SECURITY_ATTRIBUTES security = {static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr,
                                  inheritable};
  // Reading the directory counts for sharing, and the missing
  // FILE_SHARE_DELETE keeps it in place; a link is opened itself, not what
  // it leads to, so it can be told apart.
  HANDLE handle = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

int PathIsGone(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

int RemoveAsItself(const char* path, DWORD attributes) {
  // A directory's link, a junction among them, goes with RemoveDirectoryA,
  // which removes the link and leaves its target; a file's link with
  // DeleteFileA, which does the same.
  bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return (folder ? RemoveDirectoryA(path) : DeleteFileA(path)) || PathIsGone(path) ? 1 : 0;
}

int JoinPath(const char* directory, const char* name, char* path, int size) {
  size_t length = strlen(directory);
  bool separated = length > 0 && (directory[length - 1] == '\\' || directory[length - 1] == '/');
  return Fits(snprintf(path, static_cast<size_t>(size), separated ? "%s%s" : "%s\\%s", directory,
                       name),
              size)
             ? 1
             : 0;
}

int WriteWhole(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size ? 1 : 0;
}

ExtractResult OpenStagingFolder(const char* directory) {
  if (!JoinPath(directory, kStagingFolderName, folderPath, kStagingPathSize) ||
      !JoinPath(folderPath, kJournalName, journalPath, kStagingPathSize)) {
    return kExtractCannotCreate;
  }
  // The folder may be there already with what an earlier run could not
  // remove; it is used only when it is a real directory.
  _mkdir(folderPath);
  heldFolder = HoldRealDirectory(folderPath, FALSE);
  if (heldFolder == INVALID_HANDLE_VALUE) return kExtractCannotCreate;
  // A new file: nothing at the name is followed or written over.
  journal = CreateFileA(journalPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  batchNumber = -1;
  batchCopies = kStagingBatch;
  ExtractResult result = journal == INVALID_HANDLE_VALUE       ? kExtractCannotCreate
                         : WriteRecord(kJournalHeader, "", "") ? kExtractDone
                                                               : kExtractShortWrite;
  if (result != kExtractDone) CloseStagingFolder();
  return result;
}

ExtractResult RecordCreation(const char* name) {
  return WriteRecord("c", name, "") ? kExtractDone : kExtractShortWrite;
}

void RecordNotCreated(const char* name) {
  WriteRecord("x", name, "");
}

ExtractResult RecordPreviousBytes(const char* name, HANDLE file, DWORD size, unsigned char* buffer,
                                  DWORD bufferSize) {
  char decimal[16];
  snprintf(decimal, sizeof decimal, "%lu", static_cast<unsigned long>(size));
  if (!WriteRecord("b", name, decimal)) return kExtractShortWrite;
  for (DWORD left = size; left > 0;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, left < bufferSize ? left : bufferSize, &got, nullptr) || got == 0) {
      return kExtractCannotCreate;
    }
    if (!WriteWhole(journal, buffer, got)) return kExtractShortWrite;
    left -= got;
  }
  return kExtractDone;
}

int NextAsidePath(const char* name, char* aside) {
  if (batchCopies >= kStagingBatch && !OpenNextBatch()) return 0;
  ++batchCopies;
  return Fits(snprintf(aside, kStagingPathSize, "%s\\%s%s", batchPath, name, kAsideSuffix),
              kStagingPathSize)
             ? 1
             : 0;
}

ExtractResult RecordCommit() {
  return WriteRecord("commit", "", "") ? kExtractDone : kExtractShortWrite;
}

void CloseStagingFolder() {
  LetGo(&journal);
  LetGo(&heldBatch);
  LetGo(&heldFolder);
}
