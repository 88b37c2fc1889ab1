// Writes the payload files into the data directory so that a failure, or a
// kill at any point, leaves the previous installation whole or the new one,
// never a mix. A file that was not installed is recorded in the staging
// folder's journal, then written straight at its name. An installed file's
// bytes are copied into the journal, then the new bytes are written over it
// in place: that needs no new name, which is what costs most where the
// system looks names up by reading the folder. One that cannot be changed
// in place (a running program's file, a link, a file with other links) is
// renamed aside instead and written anew. At the end the run commits; on a
// failure it is rolled back at once.
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "payload/payload.h"
#include "payload/staging.h"

namespace {

// What is at a payload file's name before the run.
enum InstalledKind : unsigned char {
  kNothingInstalled = 0,
  kFileInstalled = 1,
  kLinkInstalled = 2,  // a link, moved aside as itself
  kFolderInTheWay = 3  // a directory: no file can take its name
};

char currentDirectory[kStagingPathSize];
char installedPath[kStagingPathSize];
char asidePath[kStagingPathSize];
char listing[kStagingPathSize];
int previousRestored = 1;

// The payload being extracted, for the comparison of sorted file indexes.
const Payload* sortedPayload = nullptr;

// Compares names as Windows does, without regard to the case of ASCII
// letters; payload names are printable ASCII.
int CompareNames(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = *a >= 'a' && *a <= 'z' ? *a - 'a' + 'A' : static_cast<unsigned char>(*a);
    int y = *b >= 'a' && *b <= 'z' ? *b - 'a' + 'A' : static_cast<unsigned char>(*b);
    if (x != y || x == 0) return x - y;
  }
}

int CompareIndexes(const void* a, const void* b) {
  return CompareNames(sortedPayload->files[*static_cast<const int*>(a)].name,
                      sortedPayload->files[*static_cast<const int*>(b)].name);
}

// The payload file of `name` among `order`, the file indexes sorted by
// name: its index, or -1.
int FindByName(const int* order, int count, const char* name) {
  for (int low = 0, high = count - 1; low <= high;) {
    int middle = low + (high - low) / 2;
    int compared = CompareNames(name, sortedPayload->files[order[middle]].name);
    if (compared == 0) return order[middle];
    if (compared < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return -1;
}

// Lists `directory` once and marks what is at each payload file's name:
// one look at the folder instead of one for every file, which is what a
// name that is not there costs where the system looks names up by reading
// the folder. False when the folder cannot be listed.
bool FindInstalledFiles(const Payload* payload, const char* directory, int* order,
                        unsigned char* kinds) {
  sortedPayload = payload;
  for (int i = 0; i < payload->fileCount; ++i) {
    order[i] = i;
    kinds[i] = kNothingInstalled;
  }
  qsort(order, static_cast<size_t>(payload->fileCount), sizeof *order, CompareIndexes);
  if (!JoinPath(directory, "*", listing, kStagingPathSize)) return false;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(listing, &found);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    int index = FindByName(order, payload->fileCount, found.cFileName);
    if (index < 0) continue;
    DWORD attributes = found.dwFileAttributes;
    kinds[index] = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kLinkInstalled
                   : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? kFolderInTheWay
                                                                    : kFileInstalled;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return true;
}

// Writes one file's chunks to an open file. The buffer holds
// kExtractBufferSize bytes and is reused for every chunk.
ExtractResult WriteChunks(const PayloadFile* file, unsigned char* buffer, HANDLE out) {
  for (int j = 0; j < file->chunkCount; ++j) {
    const PayloadChunk* chunk = &file->chunks[j];
    uLongf length = kExtractBufferSize;
    // A chunk that fails to decompress is never written as if it were good.
    if (uncompress(buffer, &length, chunk->data, chunk->compressedLength) != Z_OK) {
      return kExtractCorruptPayload;
    }
    if (!WriteWhole(out, buffer, static_cast<DWORD>(length))) return kExtractShortWrite;
  }
  return kExtractDone;
}

// Writes `file` whole as a new file at installedPath. Nothing at the name is
// followed or written over, a link planted there included.
ExtractResult WriteNewFile(const PayloadFile* file, unsigned char* buffer) {
  HANDLE out = CreateFileA(installedPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    // Something took the name since the folder was listed: not the run's.
    if (GetLastError() == ERROR_FILE_EXISTS) RecordNotCreated(file->name);
    return kExtractCannotCreate;
  }
  ExtractResult result = WriteChunks(file, buffer, out);
  if (!CloseHandle(out) && result == kExtractDone) result = kExtractShortWrite;
  return result;
}

// A file with nothing installed at its name: recorded, then written there.
ExtractResult CreateNewFile(const PayloadFile* file, unsigned char* buffer) {
  ExtractResult recorded = RecordCreation(file->name);
  return recorded == kExtractDone ? WriteNewFile(file, buffer) : recorded;
}

typedef BOOL(WINAPI* GetInformationExFn)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// Whether the open `file` can be changed in place: a file of its own (no
// other link, which would change with it, no directory) of a size the
// journal takes, which goes into `size`. Windows Vista and later say so
// without asking for the file's name, which Wine answers slowly; before
// them, and on the host, the older call serves.
GetInformationExFn getInformationEx = nullptr;

bool CanChangeInPlace(HANDLE file, DWORD* size) {
  FILE_STANDARD_INFO standard;
  if (getInformationEx != nullptr) {
    if (!getInformationEx(file, FileStandardInfo, &standard, sizeof standard) ||
        standard.NumberOfLinks != 1 || standard.Directory ||
        standard.EndOfFile.QuadPart > 0x7FFFFFFF) {
      return false;
    }
    *size = static_cast<DWORD>(standard.EndOfFile.QuadPart);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information) || information.nNumberOfLinks != 1 ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
          0 ||
      information.nFileSizeHigh != 0 || information.nFileSizeLow > 0x7FFFFFFF) {
    return false;
  }
  *size = information.nFileSizeLow;
  return true;
}

// A file whose installed copy the run replaces.
ExtractResult ReplaceInstalledFile(const PayloadFile* file, InstalledKind kind,
                                   unsigned char* buffer) {
  // Opened itself, never what a link at its name leads to, and only while
  // no other program has it open: a running program's file is left as it
  // is, and renamed aside.
  HANDLE installed = kind != kFileInstalled
                         ? INVALID_HANDLE_VALUE
                         : CreateFileA(installedPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD size = 0;
  if (installed != INVALID_HANDLE_VALUE && CanChangeInPlace(installed, &size)) {
    ExtractResult result =
        RecordPreviousBytes(file->name, installed, size, buffer, kExtractBufferSize);
    if (result == kExtractDone) {
      SetFilePointer(installed, 0, nullptr, FILE_BEGIN);
      result = WriteChunks(file, buffer, installed);
    }
    if (result == kExtractDone && !SetEndOfFile(installed)) result = kExtractShortWrite;
    if (!CloseHandle(installed) && result == kExtractDone) result = kExtractShortWrite;
    return result;
  }
  if (installed != INVALID_HANDLE_VALUE) CloseHandle(installed);
  // Renaming works where writing does not (a running program's file), and
  // moves a link as itself. Without MOVEFILE_REPLACE_EXISTING nothing that
  // is there is ever lost.
  if (!NextAsidePath(file->name, asidePath)) return kExtractCannotCreate;
  if (!MoveFileExA(installedPath, asidePath, 0)) {
    // Gone since the folder was listed: the new file is the run's own.
    if (!PathIsGone(installedPath)) return kExtractCannotCreate;
    return CreateNewFile(file, buffer);
  }
  return WriteNewFile(file, buffer);
}

ExtractResult InstallFiles(const Payload* payload, const char* directory, unsigned char* kinds,
                           unsigned char* buffer, HWND owner, ProgressFn progress) {
  // A directory at a file's name is found before anything is written.
  for (int i = 0; i < payload->fileCount; ++i) {
    if (kinds[i] == kFolderInTheWay) return kExtractCannotCreate;
  }
  ExtractResult result = OpenStagingFolder(directory);
  int sum = 0;
  for (int i = 0; i < payload->fileCount && result == kExtractDone; ++i) {
    const PayloadFile* file = &payload->files[i];
    if (progress != nullptr) progress(owner, file->name, sum / payload->fileCount);
    sum += 100;
    if (!JoinPath(directory, file->name, installedPath, kStagingPathSize)) {
      result = kExtractCannotCreate;
    } else if (kinds[i] == kNothingInstalled) {
      result = CreateNewFile(file, buffer);
    } else {
      result = ReplaceInstalledFile(file, static_cast<InstalledKind>(kinds[i]), buffer);
    }
  }
  if (result == kExtractDone) result = RecordCommit();
  CloseStagingFolder();
  // Rolled forward after a commit, else back: what the next run would do
  // with the folder, done now.
  if (SettleStagingFolder(directory, kSettleToRestore) == kStagingNotRestored) previousRestored = 0;
  return result;
}

// The current directory, the data directory, into currentDirectory: false
// when it does not fit.
bool ReadCurrentDirectory() {
  DWORD length = GetCurrentDirectoryA(sizeof currentDirectory, currentDirectory);
  return length > 0 && length < sizeof currentDirectory;
}

}  // namespace

ExtractResult ExtractPayloadInto(const Payload* payload, const char* directory, HWND owner,
                                 ProgressFn progress) {
  previousRestored = 1;
  getInformationEx = reinterpret_cast<GetInformationExFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kExtractBufferSize));
  size_t count = payload->fileCount > 0 ? static_cast<size_t>(payload->fileCount) : 1;
  int* order = static_cast<int*>(malloc(count * sizeof(int)));
  unsigned char* kinds = static_cast<unsigned char*>(malloc(count));
  ExtractResult result = kExtractNoMemory;
  if (buffer != nullptr && order != nullptr && kinds != nullptr) {
    // What an earlier run left is finished first; a copy of an installed
    // file that cannot be put back stops the run before it touches
    // anything.
    StagingOutcome settled = SettleStagingFolder(directory, kSettleToRestore);
    if (settled != kStagingSettled) {
      previousRestored = settled == kStagingNotRestored ? 0 : 1;
      result = kExtractCannotCreate;
    } else if (!FindInstalledFiles(payload, directory, order, kinds)) {
      result = kExtractCannotCreate;
    } else {
      result = InstallFiles(payload, directory, kinds, buffer, owner, progress);
    }
  }
  free(kinds);
  free(order);
  free(buffer);
  if (result == kExtractDone && progress != nullptr) progress(owner, "", 100);
  return result;
}

ExtractResult ExtractPayloadFrom(const Payload* payload, HWND owner, ProgressFn progress) {
  if (!ReadCurrentDirectory()) return kExtractCannotCreate;
  return ExtractPayloadInto(payload, currentDirectory, owner, progress);
}

ExtractResult ExtractPayload(HWND owner, ProgressFn progress) {
  return ExtractPayloadFrom(&kPayloadTable, owner, progress);
}

int PreviousInstallationRestored() {
  return previousRestored;
}

int DeletePayloadFrom(const Payload* payload, HWND owner, ProgressFn progress) {
  // The extraction rolled its own run back already; what it could not put
  // back is tried once more.
  for (int i = 0, sum = 0; i < payload->fileCount && progress != nullptr; ++i, sum += 100) {
    progress(owner, payload->files[i].name, sum / payload->fileCount);
  }
  bool settled = ReadCurrentDirectory() &&
                 SettleStagingFolder(currentDirectory, kSettleToRestore) == kStagingSettled;
  if (progress != nullptr) progress(owner, "", 100);
  return settled ? kExtractDone : 0;
}

int DeletePayload(HWND owner, ProgressFn progress) {
  return DeletePayloadFrom(&kPayloadTable, owner, progress);
}
