// Writes the payload files into the data directory so that a failure, or a
// kill at any point, leaves the previous installation whole or the new one,
// never a mix. A file that was not installed is written straight at its
// name, recorded first in the staging folder's journal. An installed file
// gets a second link in the staging folder first; the new file is written
// there and then takes the installed one's name in one rename, so the name
// is never missing. Where there can be no second link, the installed file
// is renamed aside instead. At the end the run commits and the previous
// files go; on a failure the run is rolled back at once.
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
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
char stagedPath[kStagingPathSize];
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
ExtractResult WriteChunks(const PayloadFile* file, unsigned char* buffer, int out) {
  for (int j = 0; j < file->chunkCount; ++j) {
    const PayloadChunk* chunk = &file->chunks[j];
    uLongf length = kExtractBufferSize;
    // A chunk that fails to decompress is never written as if it were good.
    if (uncompress(buffer, &length, chunk->data, chunk->compressedLength) != Z_OK) {
      return kExtractCorruptPayload;
    }
    if (_write(out, buffer, static_cast<unsigned int>(length)) != static_cast<int>(length)) {
      return kExtractShortWrite;
    }
  }
  return kExtractDone;
}

// Writes `file` whole as a new file at `path`. Nothing at the name is
// followed or written over, a link planted there included. `existed` tells
// whether something had the name.
ExtractResult WriteNewFile(const PayloadFile* file, const char* path, unsigned char* buffer,
                           bool* existed) {
  int out = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  *existed = out < 0 && errno == EEXIST;
  if (out < 0) return kExtractCannotCreate;
  ExtractResult result = WriteChunks(file, buffer, out);
  // Data still buffered when the file is closed must reach the disk too.
  if (_close(out) != 0 && result == kExtractDone) result = kExtractShortWrite;
  return result;
}

// A file with nothing installed at its name: recorded, then written there.
ExtractResult CreateNewFile(const PayloadFile* file, unsigned char* buffer) {
  ExtractResult recorded = RecordCreation(file->name);
  if (recorded != kExtractDone) return recorded;
  bool existed = false;
  ExtractResult result = WriteNewFile(file, installedPath, buffer, &existed);
  // Something took the name meanwhile: it is not the run's to remove.
  if (existed) RecordNotCreated(file->name);
  return result;
}

// A file whose installed copy the run replaces.
ExtractResult ReplaceInstalledFile(const PayloadFile* file, InstalledKind kind,
                                   unsigned char* buffer) {
  if (!NextCopyPaths(file->name, asidePath, stagedPath, 0)) return kExtractCannotCreate;
  bool linked = kind == kFileInstalled && CreateHardLinkA(asidePath, installedPath, nullptr);
  bool existed = false;
  ExtractResult result = WriteNewFile(file, stagedPath, buffer, &existed);
  if (result != kExtractDone) return result;
  if (linked && MoveFileExA(stagedPath, installedPath, MOVEFILE_REPLACE_EXISTING)) {
    return kExtractDone;
  }
  // No second link (a file system without them, a link at the name), or a
  // file that cannot be replaced (a running program's): renaming works for
  // it, so the installed file is renamed aside, next to its second link when
  // it has one, which cannot be deleted either. Without
  // MOVEFILE_REPLACE_EXISTING nothing that is there is ever lost.
  if (linked && !NextCopyPaths(file->name, asidePath, nullptr, 1)) return kExtractCannotCreate;
  if (!MoveFileExA(installedPath, asidePath, 0)) {
    // Gone since the folder was listed: the new file is the run's own.
    if (!PathIsGone(installedPath)) return kExtractCannotCreate;
    ExtractResult recorded = RecordCreation(file->name);
    if (recorded != kExtractDone) return recorded;
  }
  return MoveFileExA(stagedPath, installedPath, 0) ? kExtractDone : kExtractCannotCreate;
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

}  // namespace

ExtractResult ExtractPayloadInto(const Payload* payload, const char* directory, HWND owner,
                                 ProgressFn progress) {
  previousRestored = 1;
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
  DWORD length = GetCurrentDirectoryA(sizeof currentDirectory, currentDirectory);
  if (length == 0 || length >= sizeof currentDirectory) return kExtractCannotCreate;
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
  DWORD length = GetCurrentDirectoryA(sizeof currentDirectory, currentDirectory);
  bool settled = length > 0 && length < sizeof currentDirectory &&
                 SettleStagingFolder(currentDirectory, kSettleToRestore) == kStagingSettled;
  if (progress != nullptr) progress(owner, "", 100);
  return settled ? kExtractDone : 0;
}

int DeletePayload(HWND owner, ProgressFn progress) {
  return DeletePayloadFrom(&kPayloadTable, owner, progress);
}
