// Writes the payload files into the data directory so that a failure, a
// kill or a power cut at any point leaves the previous installation whole
// or the new one, never a mix, and a full disk leaves the previous one
// (payload/staging.h). The run, in this order:
//
//   what an earlier run left finished -> the data directory listed once ->
//   files that already hold the payload's bytes found and left alone ->
//   the room the rest needs checked -> for each batch of files: the records
//   that undo them, flushed; installed objects that cannot be changed in
//   place moved aside and new files created, their identities flushed; the
//   new bytes written and each file flushed -> commit, flushed -> rolled
//   forward (or, after a failure, back)
//
// An installed regular file with one name is changed in place behind a copy
// of its bytes in the journal: that needs no new name, which is what costs
// most where the system looks names up by reading the folder, and it keeps
// its previous length until the commit, so that putting its bytes back never
// needs room.
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "payload/content_hash.h"
#include "payload/payload.h"
#include "payload/staging.h"

namespace {

// What is at a payload file's name, and so what the run does with it.
enum Plan : unsigned char {
  kCreate = 0,         // nothing is there: the file is created
  kChangeInPlace = 1,  // a regular file: its bytes journaled, the new ones written over them
  kMoveAside = 2,      // a link, another special file, or a file that cannot be changed in
                       // place: moved aside as itself, then the file is created
  kUnchanged = 3,      // a file that already holds the payload's bytes: left alone
  kFolderInTheWay = 4  // a directory: no file can take its name
};

// Files whose records go to the disk with one flush.
const int kBatchFiles = 64;
// Room allowed per file beyond its bytes: its records, and the rounding of
// the file and of its part of the journal to the disk's clusters.
const unsigned long long kRoomPerFile = 8192;
const unsigned long long kRoomForTheJournal = 65536;
const DWORD kLargestInPlace = 0x7FFFFFFF;
const unsigned int kNoIndex[2] = {0, 0};
// The unpacked chunks written at once.
const DWORD kChunksSize = 8 * kExtractBufferSize;
unsigned char unpacked[kChunksSize];

char currentDirectory[kStagingPathSize];
char installedPath[kStagingPathSize];
char listing[kStagingPathSize];
int previousRestored = 1;

// The batch being written, by place in the batch: the open files, what
// they were before the run, where they go aside.
HANDLE handles[kBatchFiles];
FileFacts facts[kBatchFiles];
char asidePaths[kBatchFiles][kStagingPathSize];
// The files changed in place that got shorter, by index in the table, with
// their new lengths: held open until they are cut after the commit, which
// spares opening each again.
HANDLE* shorter;
DWORD* newLengths;
const DWORD kNotShorter = 0xFFFFFFFF;

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

// Lists `directory` once and plans each payload file by what is at its
// name, with the size of what is there: one look at the folder instead of
// one for every file, which is what a name that is not there costs where
// the system looks names up by reading the folder. False when the folder
// cannot be listed.
bool ListInstalledFiles(const Payload* payload, const char* directory, int* order,
                        unsigned char* plans, DWORD* sizes) {
  sortedPayload = payload;
  for (int i = 0; i < payload->fileCount; ++i) {
    order[i] = i;
    plans[i] = kCreate;
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
    bool large = found.nFileSizeHigh != 0 || found.nFileSizeLow > kLargestInPlace;
    plans[index] = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || large ? kMoveAside
                   : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0            ? kFolderInTheWay
                                                                             : kChangeInPlace;
    sizes[index] = found.nFileSizeLow;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return true;
}

// Whether the installed file at installedPath, of `size` bytes, holds
// `file`'s bytes: its size, each piece's Adler-32 (at the end of the
// piece's zlib stream), which rules out most changed files at their first
// piece, and the file's content hash, all without unpacking a chunk. The
// pieces are read through `buffer`.
bool HoldsPayload(const PayloadFile* file, DWORD size, unsigned char* buffer) {
  if (size != file->size) return false;
  HANDLE in = CreateFileA(installedPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  unsigned int hash = kContentHashStart;
  bool same = true;
  for (int j = 0; j < file->chunkCount && same; ++j, size -= kPayloadPieceSize) {
    const PayloadChunk* chunk = &file->chunks[j];
    DWORD piece = size < kPayloadPieceSize ? size : kPayloadPieceSize, got = 0;
    const unsigned char* end = chunk->data + chunk->compressedLength;
    same = ReadFile(in, buffer, piece, &got, nullptr) && got == piece &&
           chunk->compressedLength > 6 &&
           AddToCheck(1, buffer, piece) == (static_cast<unsigned int>(end[-4]) << 24 |
                                            static_cast<unsigned int>(end[-3]) << 16 |
                                            static_cast<unsigned int>(end[-2]) << 8 | end[-1]);
    hash = FoldPieceHash(hash, HashPiece(buffer, piece));
  }
  CloseHandle(in);
  return same && hash == file->hash;
}

// Writes one file's chunks to an open file, counting the bytes into
// `written`. Each chunk is unpacked into the next kExtractBufferSize bytes
// of `chunks`, and they go out when it is full or the file ends: fewer,
// larger writes.
ExtractResult WriteChunks(const PayloadFile* file, unsigned char* chunks, HANDLE out,
                          DWORD* written) {
  *written = 0;
  DWORD gathered = 0;
  for (int j = 0; j < file->chunkCount; ++j) {
    const PayloadChunk* chunk = &file->chunks[j];
    uLongf length = kExtractBufferSize;
    // A chunk that fails to decompress is never written as if it were good.
    if (uncompress(chunks + gathered, &length, chunk->data, chunk->compressedLength) != Z_OK) {
      return kExtractCorruptPayload;
    }
    gathered += static_cast<DWORD>(length);
    *written += static_cast<DWORD>(length);
    if (gathered + kExtractBufferSize > kChunksSize || j + 1 == file->chunkCount) {
      if (!WriteWhole(out, chunks, gathered)) return kExtractShortWrite;
      gathered = 0;
    }
  }
  return *written == file->size ? kExtractDone : kExtractCorruptPayload;
}

// The room the planned changes need at their peak: a new file's bytes; for
// a file changed in place, the journal's copy of the bytes it may write over
// and what the file grows by, which are its new size too; for a file moved
// aside, only its new copy.
unsigned long long RoomNeeded(const Payload* payload, const unsigned char* plans) {
  unsigned long long room = kRoomForTheJournal;
  for (int i = 0; i < payload->fileCount; ++i) {
    if (plans[i] != kUnchanged) room += payload->files[i].size + kRoomPerFile;
  }
  return room;
}

// The records that undo a batch's changes, flushed: an installed file's
// bytes, or the move of what cannot be changed in place; the creation of
// what is not there.
ExtractResult RecordBatch(const Payload* payload, const char* directory, int first, int end,
                          unsigned char* plans) {
  ExtractResult result = kExtractDone;
  for (int i = first; i < end && result == kExtractDone; ++i) {
    int k = i - first;
    const char* name = payload->files[i].name;
    if (plans[i] == kUnchanged) continue;
    if (!JoinPath(directory, name, installedPath, kStagingPathSize)) return kExtractCannotCreate;
    if (plans[i] == kChangeInPlace) {
      // Opened itself, never what a link at its name leads to, and only
      // while no other program has it open: a running program's file is
      // moved aside instead. It stays open, unshared, until it is written.
      HANDLE installed = CreateFileA(installedPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (installed != INVALID_HANDLE_VALUE && ReadFileFacts(installed, &facts[k]) &&
          IsPlainFile(facts[k]) && facts[k].size <= kLargestInPlace) {
        // Only the sectors the new bytes go into, a power cut spoiling a
        // whole sector.
        DWORD length = static_cast<DWORD>(facts[k].size);
        unsigned long long most =
            (payload->files[i].size + kJournalSector - 1ull) / kJournalSector * kJournalSector;
        handles[k] = installed;
        result = AddPreviousBytes(name, facts[k].index, installed, length,
                                  most < length ? static_cast<DWORD>(most) : length);
        continue;
      }
      if (installed != INVALID_HANDLE_VALUE) CloseHandle(installed);
      plans[i] = kMoveAside;
    }
    if (plans[i] == kMoveAside) {
      // The object itself, a link as a link, to know it again.
      HANDLE object = CreateFileA(
          installedPath, FILE_READ_ATTRIBUTES,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      unsigned int number = 0;
      bool known = object != INVALID_HANDLE_VALUE && ReadFileFacts(object, &facts[k]);
      if (object != INVALID_HANDLE_VALUE) CloseHandle(object);
      if (!known || !NextAsidePath(asidePaths[k], &number)) return kExtractCannotCreate;
      // The creation first: settling deletes an empty file a cut-short
      // creation left before it puts the object back.
      result = AddRecord('c', name, kNoIndex, 0);
      if (result == kExtractDone) result = AddRecord('a', name, facts[k].index, number);
    } else {
      result = AddRecord('c', name, kNoIndex, 0);
    }
  }
  return result == kExtractDone ? FlushJournal() : result;
}

// Moves aside and creates the batch's files, and flushes their identities
// before anything is written into them.
ExtractResult CreateBatch(const Payload* payload, const char* directory, int first, int end,
                          const unsigned char* plans) {
  bool created = false;
  for (int i = first; i < end; ++i) {
    int k = i - first;
    const char* name = payload->files[i].name;
    if (plans[i] != kCreate && plans[i] != kMoveAside) continue;
    if (!JoinPath(directory, name, installedPath, kStagingPathSize)) return kExtractCannotCreate;
    // Renaming works where writing does not (a running program's file), and
    // moves a link as itself. Nothing that is there is ever replaced.
    if (plans[i] == kMoveAside && !MoveFileExA(installedPath, asidePaths[k], 0)) {
      return kExtractCannotCreate;
    }
    handles[k] = CreateFileA(installedPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    FileFacts made;
    if (handles[k] == INVALID_HANDLE_VALUE || !ReadFileFacts(handles[k], &made)) {
      return kExtractCannotCreate;
    }
    ExtractResult result = AddRecord('i', name, made.index, 0);
    if (result != kExtractDone) return result;
    created = true;
  }
  return created ? FlushJournal() : kExtractDone;
}

// Writes the batch's files, with a report before each, then flushes and
// closes them: one flush after another costs the file system less than a
// flush after each write. A file changed in place that got shorter keeps
// its length until the commit; its 'n' record says where it ends.
ExtractResult WriteBatch(const Payload* payload, int first, int end, const unsigned char* plans,
                         HWND owner, ProgressFn progress) {
  ExtractResult result = kExtractDone;
  for (int i = first; i < end && result == kExtractDone; ++i) {
    int k = i - first;
    const PayloadFile* file = &payload->files[i];
    if (progress != nullptr) progress(owner, file->name, i * 100 / payload->fileCount);
    if (plans[i] == kUnchanged) continue;
    if (plans[i] == kChangeInPlace) SetFilePointer(handles[k], 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    result = WriteChunks(file, unpacked, handles[k], &written);
    newLengths[i] = plans[i] == kChangeInPlace && written < facts[k].size ? written : kNotShorter;
    if (result == kExtractDone && newLengths[i] != kNotShorter) {
      result = AddRecord('n', file->name, facts[k].index, written);
    }
  }
  for (int i = first; i < end && result == kExtractDone; ++i) {
    HANDLE& open = handles[i - first];
    if (plans[i] == kUnchanged) continue;
    if (!FlushFileBuffers(open)) result = kExtractShortWrite;
    if (newLengths[i] != kNotShorter) {
      shorter[i] = open;
    } else if (!CloseHandle(open)) {
      result = kExtractShortWrite;
    }
    open = INVALID_HANDLE_VALUE;
  }
  return result;
}

ExtractResult InstallFiles(const Payload* payload, const char* directory, unsigned char* plans,
                           HWND owner, ProgressFn progress) {
  ExtractResult result = OpenStagingFolder(directory);
  if (result != kExtractDone) return result;
  for (int first = 0; first < payload->fileCount && result == kExtractDone; first += kBatchFiles) {
    int end = first + kBatchFiles < payload->fileCount ? first + kBatchFiles : payload->fileCount;
    for (HANDLE& handle : handles) handle = INVALID_HANDLE_VALUE;
    result = RecordBatch(payload, directory, first, end, plans);
    if (result == kExtractDone) result = CreateBatch(payload, directory, first, end, plans);
    if (result == kExtractDone) {
      result = WriteBatch(payload, first, end, plans, owner, progress);
    }
    for (HANDLE handle : handles) {
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
  }
  if (result == kExtractDone) result = AddRecord('C', "", kNoIndex, 0);
  if (result == kExtractDone) result = FlushJournal();
  // Once the commit is on the disk, the files that got shorter are cut; the
  // rest of the roll forward, or after a failure the roll back, is what the
  // next run would do with the folder, done now.
  bool cut = result == kExtractDone;
  for (int i = 0; i < payload->fileCount; ++i) {
    if (shorter[i] == INVALID_HANDLE_VALUE) continue;
    cut = cut &&
          SetFilePointer(shorter[i], static_cast<LONG>(newLengths[i]), nullptr, FILE_BEGIN) ==
              newLengths[i] &&
          SetEndOfFile(shorter[i]);
    CloseHandle(shorter[i]);
  }
  bool forward = false;
  StagingOutcome finished = FinishRun(directory, cut, &forward);
  if (forward) return kExtractDone;
  if (finished != kStagingSettled) previousRestored = 0;
  return result == kExtractDone ? kExtractShortWrite : result;
}

ExtractResult Extract(const Payload* payload, const char* directory, unsigned char* buffer,
                      int* order, unsigned char* plans, DWORD* sizes, HWND owner,
                      ProgressFn progress) {
  // What an earlier run left is finished first; what could not be put back
  // or read stops the run before it touches anything.
  switch (SettleStagingFolder(directory, kSettleToRestore)) {
    case kStagingSettled:
      break;
    case kStagingNotRestored:
      previousRestored = 0;
      return kExtractCannotCreate;
    case kStagingForeign:
      return kExtractUnfinishedByOther;
    case kStagingBusy:
      return kExtractStagingBusy;
  }
  if (!ListInstalledFiles(payload, directory, order, plans, sizes)) return kExtractCannotCreate;
  bool changes = false;
  for (int i = 0; i < payload->fileCount; ++i) {
    // A directory at a file's name is found before anything is written.
    if (plans[i] == kFolderInTheWay) return kExtractCannotCreate;
    if (plans[i] == kChangeInPlace &&
        JoinPath(directory, payload->files[i].name, installedPath, kStagingPathSize) &&
        HoldsPayload(&payload->files[i], sizes[i], buffer)) {
      plans[i] = kUnchanged;
    }
    changes = changes || plans[i] != kUnchanged;
  }
  ULARGE_INTEGER available;
  if (changes && GetDiskFreeSpaceExA(directory, &available, nullptr, nullptr) &&
      available.QuadPart < RoomNeeded(payload, plans)) {
    return kExtractNoRoom;
  }
  if (changes) return InstallFiles(payload, directory, plans, owner, progress);
  // Nothing to change: the reports all the same.
  return WriteBatch(payload, 0, payload->fileCount, plans, owner, progress);
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
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kExtractBufferSize));
  size_t count = payload->fileCount > 0 ? static_cast<size_t>(payload->fileCount) : 1;
  int* order = static_cast<int*>(malloc(count * sizeof(int)));
  DWORD* sizes = static_cast<DWORD*>(malloc(count * sizeof(DWORD)));
  unsigned char* plans = static_cast<unsigned char*>(malloc(count));
  shorter = static_cast<HANDLE*>(malloc(count * sizeof(HANDLE)));
  newLengths = static_cast<DWORD*>(malloc(count * sizeof(DWORD)));
  ExtractResult result = kExtractNoMemory;
  if (buffer != nullptr && order != nullptr && sizes != nullptr && plans != nullptr &&
      shorter != nullptr && newLengths != nullptr) {
    for (size_t i = 0; i < count; ++i) shorter[i] = INVALID_HANDLE_VALUE;
    result = Extract(payload, directory, buffer, order, plans, sizes, owner, progress);
  }
  free(newLengths);
  free(shorter);
  free(plans);
  free(sizes);
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
