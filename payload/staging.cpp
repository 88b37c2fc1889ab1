// The staging folder's names and held folders, the locks that keep one
// setup or uninstaller at work, and a run's side of the journal: the folder
// made and held, records added in batches and flushed, the places to move
// installed objects aside to.
#include <direct.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include "config/setup_config.h"
#include "payload/staging.h"

extern const char* const kStagingFolderNames[kStagingFolderCount] = {"~setup.tmp", "~setup1.tmp",
                                                                     "~setup2.tmp", "~setup3.tmp"};
extern const char kJournalName[] = "journal";
extern const char kJournalMagic[] = "tidewell journal";
extern const char kSetupLockFormat[] = "%.100s Setup";
extern const char kUninstallLockFormat[] = "%.100s Uninstaller";
static_assert(sizeof kJournalMagic - 1 == sizeof(JournalHeader::magic),
              "the magic fills the header's first field");

namespace {

// Records are gathered here and written in large pieces; the previous bytes
// of a file are read straight into it.
const DWORD kPendingSize = 1 << 20;
// A lock's name: the application's name, cut to 100 characters, and a word.
const int kLockNameSize = 128;

char folderPath[kStagingPathSize];
char journalPath[kStagingPathSize];
HANDLE heldFolder = INVALID_HANDLE_VALUE;
HANDLE journal = INVALID_HANDLE_VALUE;
// Adler-32 of the run value: where every record's check starts.
unsigned int runCheck;
unsigned char pending[kPendingSize];
DWORD pendingUsed;
// What the journal holds on the disk and in `pending`.
unsigned long long journalLength;
unsigned int nextAside;
HANDLE heldLock;

// What a file is, as ntdll tells it: its number (the very index that
// GetFileInformationByHandle gives), its length and links, its attributes,
// without the name that Wine looks up for GetFileInformationByHandle at a
// cost. Where ntdll has none (the host), the older call serves.
typedef LONG(WINAPI* QueryInformationFileFn)(HANDLE, void*, void*, ULONG, int);
const int kFileStandardInformation = 5;
const int kFileInternalInformation = 6;
const int kFileAttributeTagInformation = 35;
QueryInformationFileFn query;
bool queryLookedUp;

void LetGo(HANDLE* held) {
  if (*held != INVALID_HANDLE_VALUE) CloseHandle(*held);
  *held = INVALID_HANDLE_VALUE;
}

bool WritePending() {
  bool written = WriteWhole(journal, pending, pendingUsed) != 0;
  pendingUsed = 0;
  return written;
}

unsigned char zeros[kJournalSector];
const unsigned int kNoIndex[2] = {0, 0};

// Adds `size` bytes to the pending records and to `check`.
bool Append(const void* data, DWORD size, unsigned int* check) {
  if (pendingUsed + size > kPendingSize && !WritePending()) return false;
  memcpy(pending + pendingUsed, data, size);
  pendingUsed += size;
  journalLength += size;
  if (check != nullptr) *check = AddToCheck(*check, data, size);
  return true;
}

// Adds a record's head and name, and returns its check so far.
bool AppendHead(unsigned int tag, const char* name, const unsigned int index[2], unsigned int value,
                DWORD dataLength, unsigned int* check) {
  DWORD length = static_cast<DWORD>(strlen(name));
  JournalRecord record = {tag, length, {index[0], index[1]}, value, dataLength};
  *check = runCheck;
  return Append(&record, sizeof record, check) && Append(name, length, check);
}

// The mutex of `format` with the application's name: its handle, and in
// `existed` whether it was there already.
HANDLE OpenLock(const char* format, BOOL inheritable, bool* existed) {
  char name[kLockNameSize];
  snprintf(name, sizeof name, format, SetupConfig.appName);
  // A backslash would name a namespace.
  for (char* p = name; *p != '\0'; ++p) {
    if (*p == '\\') *p = '/';
  }
  SECURITY_ATTRIBUTES security = {static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr,
                                  inheritable};
  HANDLE lock = CreateMutexA(&security, FALSE, name);
  *existed = lock != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  return lock;
}

}  // namespace

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
      !IsRealDirectory(information.dwFileAttributes)) {
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

int RemoveAsItself(const char* path, DWORD attributes) {
  // A directory's link, a junction among them, goes with RemoveDirectoryA,
  // which removes the link and leaves its target; a file's link with
  // DeleteFileA, which does the same.
  bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return (folder ? RemoveDirectoryA(path) : DeleteFileA(path)) || PathIsGone(path) ? 1 : 0;
}

int WriteWhole(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size ? 1 : 0;
}

int ReadFileFacts(HANDLE file, FileFacts* facts) {
  if (!queryLookedUp) {
    queryLookedUp = true;
    query = reinterpret_cast<QueryInformationFileFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
  }
  if (query != nullptr) {
    void* status[2];
    struct {
      long long allocated, size;
      ULONG links;
      unsigned char deleting, directory;
    } standard;
    struct {
      ULONG attributes, tag;
    } tagged;
    if (query(file, status, facts->index, sizeof facts->index, kFileInternalInformation) != 0 ||
        query(file, status, &standard, sizeof standard, kFileStandardInformation) != 0 ||
        query(file, status, &tagged, sizeof tagged, kFileAttributeTagInformation) != 0) {
      return 0;
    }
    facts->size = static_cast<unsigned long long>(standard.size);
    facts->links = standard.links;
    facts->attributes = tagged.attributes | (standard.directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return 1;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return 0;
  facts->index[0] = information.nFileIndexLow;
  facts->index[1] = information.nFileIndexHigh;
  facts->size =
      static_cast<unsigned long long>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  facts->links = information.nNumberOfLinks;
  facts->attributes = information.dwFileAttributes;
  return 1;
}

bool IsPlainFile(const FileFacts& facts) {
  return facts.links == 1 &&
         (facts.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool IsRealDirectory(DWORD attributes) {
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
         FILE_ATTRIBUTE_DIRECTORY;
}

unsigned int AddToCheck(unsigned int sum, const void* data, DWORD size) {
  return static_cast<unsigned int>(adler32(sum, static_cast<const Bytef*>(data), size));
}

LockResult TakeLock(const char* ownFormat, const char* otherFormat, BOOL inheritable) {
  bool existed = false, otherExisted = false;
  HANDLE own = OpenLock(ownFormat, inheritable, &existed);
  // Without the lock two programs could work at once: none does.
  if (own == nullptr) return kLockFailed;
  LockResult result = existed ? kLockHeldElsewhere : kLockTaken;
  if (result == kLockTaken) {
    // Looked for only after the own lock is taken: of two programs started
    // together, at least the second to look finds the other's.
    HANDLE other = OpenLock(otherFormat, FALSE, &otherExisted);
    if (other == nullptr) result = kLockFailed;
    if (otherExisted) result = kLockOtherAtWork;
    if (other != nullptr) CloseHandle(other);
  }
  if (result != kLockTaken) {
    CloseHandle(own);
    return result;
  }
  heldLock = own;
  return kLockTaken;
}

void ReleaseLock() {
  if (heldLock != nullptr) CloseHandle(heldLock);
  heldLock = nullptr;
}

ExtractResult OpenStagingFolder(const char* directory) {
  for (const char* name : kStagingFolderNames) {
    if (!JoinPath(directory, name, folderPath, kStagingPathSize) ||
        !JoinPath(folderPath, kJournalName, journalPath, kStagingPathSize)) {
      return kExtractCannotCreate;
    }
    // The folder may be there already with what is not the setup's; it is
    // used only when it is a real directory and nothing has the journal's
    // name in it: a new file, so nothing there is followed or written over.
    _mkdir(folderPath);
    heldFolder = HoldRealDirectory(folderPath, FALSE);
    BY_HANDLE_FILE_INFORMATION information;
    if (heldFolder != INVALID_HANDLE_VALUE &&
        GetFileInformationByHandle(heldFolder, &information)) {
      // Held without sharing: nothing else reads or changes it meanwhile.
      journal = CreateFileA(journalPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (journal == INVALID_HANDLE_VALUE) {
      LetGo(&heldFolder);
      continue;
    }
    // The run's own value, so that no record of another run counts: its
    // start time and its process.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    JournalHeader header;
    memcpy(header.magic, kJournalMagic, sizeof header.magic);
    header.version = kJournalVersion;
    header.run[0] = now.dwLowDateTime;
    header.run[1] = now.dwHighDateTime ^ GetCurrentProcessId();
    header.volume = information.dwVolumeSerialNumber;
    header.check = AddToCheck(1, &header, sizeof header - sizeof header.check);
    runCheck = AddToCheck(1, header.run, sizeof header.run);
    pendingUsed = 0;
    journalLength = 0;
    nextAside = 0;
    Append(&header, sizeof header, nullptr);
    return kExtractDone;
  }
  return kExtractCannotCreate;
}

ExtractResult AddRecord(unsigned int tag, const char* name, const unsigned int index[2],
                        unsigned int value) {
  unsigned int check;
  return AppendHead(tag, name, index, value, 0, &check) && Append(&check, sizeof check, nullptr)
             ? kExtractDone
             : kExtractShortWrite;
}

ExtractResult AddPreviousBytes(const char* name, const unsigned int index[2], HANDLE file,
                               DWORD length, DWORD size) {
  unsigned int check;
  if (!AppendHead('b', name, index, length, size, &check)) return kExtractShortWrite;
  for (DWORD left = size, got; left > 0; left -= got) {
    if (pendingUsed == kPendingSize && !WritePending()) return kExtractShortWrite;
    DWORD room = kPendingSize - pendingUsed;
    if (!ReadFile(file, pending + pendingUsed, left < room ? left : room, &got, nullptr) ||
        got == 0) {
      return kExtractCannotCreate;
    }
    check = AddToCheck(check, pending + pendingUsed, got);
    pendingUsed += got;
    journalLength += got;
  }
  return Append(&check, sizeof check, nullptr) ? kExtractDone : kExtractShortWrite;
}

ExtractResult FlushJournal() {
  // A pad record ends the batch at a sector's end, so that the next batch
  // never writes into a sector that holds records already on the disk.
  DWORD pad = static_cast<DWORD>(kJournalSector - journalLength % kJournalSector) % kJournalSector;
  if (pad > 0 && pad < sizeof(JournalRecord) + sizeof(unsigned int)) pad += kJournalSector;
  unsigned int check;
  bool padded = pad == 0 || (AppendHead('z', "", kNoIndex, 0,
                                        pad - sizeof(JournalRecord) - sizeof check, &check) &&
                             Append(zeros, pad - sizeof(JournalRecord) - sizeof check, &check) &&
                             Append(&check, sizeof check, nullptr));
  return padded && WritePending() && FlushFileBuffers(journal) ? kExtractDone : kExtractShortWrite;
}

int NextAsidePath(char* aside, unsigned int* number) {
  // A number taken by what the folder held before is stepped over.
  for (; nextAside < kMostAsideCopies; ++nextAside) {
    int length = snprintf(aside, kStagingPathSize, "%s\\%u.old", folderPath, nextAside);
    if (length < 0 || length >= kStagingPathSize) return 0;
    if (PathIsGone(aside)) {
      *number = nextAside++;
      return 1;
    }
  }
  return 0;
}

StagingOutcome FinishRun(const char* directory, bool cut, bool* committed) {
  // What is still pending was added before a failure: it goes out too, so
  // that the files it names are known when the run is rolled back.
  WritePending();
  HANDLE held = heldFolder, written = journal;
  heldFolder = journal = INVALID_HANDLE_VALUE;
  return SettleJournal(directory, folderPath, held, written, kSettleToRestore,
                       cut ? kJournalOwnCut : kJournalOwn, committed);
}
