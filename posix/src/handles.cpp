// Handles to files and directories opened with CreateFileA, for what they
// tell (GetFileInformationByHandle) and for holding a directory in place.
//
// On Windows a directory opened without FILE_SHARE_DELETE cannot be renamed,
// deleted or replaced while the handle is open, so every name below it keeps
// naming what is inside it. POSIX has no such lock. The stand-in keeps the
// same promise for the program that holds the directory: a name that lies
// below a held directory is resolved through the held descriptor
// (/proc/self/fd/N/...), so another process that renames the directory, or
// puts a link in its place, cannot redirect the program's calls. So is the
// name with a trailing separator, which stands for its entries; the held
// directory's own name is still resolved by its text, since its entry lies
// in its parent.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "internal.h"

namespace standin {
namespace {

// A file handle is its descriptor plus this base, apart from the process
// and mutex handles' ranges.
const uintptr_t kFileHandleBase = 0x40000;
const uintptr_t kFileHandleLimit = kFileHandleBase + 0x10000;

// A handle this program opened: its descriptor, the POSIX path it was
// opened by, and whether it holds the directory in place.
struct Opened {
  int fd;
  std::string path;
  bool holds;
};

// In the order of opening; the latest hold of a path wins.
std::vector<Opened>& OpenedHandles() {
  static std::vector<Opened> opened;
  return opened;
}

void Forget(int fd) {
  auto& opened = OpenedHandles();
  for (auto it = opened.begin(); it != opened.end();) {
    it = it->fd == fd ? opened.erase(it) : it + 1;
  }
}

}  // namespace

int DescriptorOfFile(HANDLE handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value < kFileHandleBase || value >= kFileHandleLimit) return -1;
  int fd = static_cast<int>(value - kFileHandleBase);
  return fcntl(fd, F_GETFD) >= 0 ? fd : -1;
}

void ResolveThroughHeldDirectory(std::string* posixPath) {
  if (posixPath->empty() || (*posixPath)[0] != '/') return;
  const auto& opened = OpenedHandles();
  // A directory held below another was opened through the outer one's
  // descriptor, so its path names that descriptor: the name is resolved
  // again until no hold lies further in, each folder through its own.
  for (size_t depth = 0; depth < opened.size(); ++depth) {
    auto it = opened.rbegin();
    for (; it != opened.rend(); ++it) {
      const std::string& held = it->path;
      if (it->holds && posixPath->size() >= held.size() + 1 &&
          posixPath->compare(0, held.size(), held) == 0 && (*posixPath)[held.size()] == '/') {
        break;
      }
    }
    if (it == opened.rend()) return;
    *posixPath = "/proc/self/fd/" + std::to_string(it->fd) + posixPath->substr(it->path.size());
  }
}

bool CloseFileHandle(HANDLE handle) {
  int fd = DescriptorOfFile(handle);
  if (fd < 0) return false;
  Forget(fd);
  return close(fd) == 0;
}

void ResetFileHandles() {
  for (const Opened& handle : OpenedHandles()) close(handle.fd);
  OpenedHandles().clear();
}

}  // namespace standin

using namespace standin;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE) {
  // Opening what exists (for its information, to hold it, or to read and
  // write it), making a new file, or either.
  if (disposition != OPEN_EXISTING && disposition != CREATE_NEW && disposition != OPEN_ALWAYS) {
    SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition != OPEN_EXISTING) DiskCall();
  std::string path;
  if (!MapPathForCall(name, &path)) return INVALID_HANDLE_VALUE;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  bool writes = (access & GENERIC_WRITE) != 0, reads = (access & GENERIC_READ) != 0;
  if (writes && FailsWriting(path)) {
    SetError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (writes && IsHeldOpenElsewhere(path)) {
    SetError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  bool inherit = attributes != nullptr && attributes->bInheritHandle;
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, as Windows opens the
  // reparse point rather than what it leads to; a link opened for reading
  // or writing fails instead. CREATE_NEW follows nothing: anything at the
  // name makes it fail.
  int openFlags = (writes  ? (reads ? O_RDWR : O_WRONLY)
                   : reads ? O_RDONLY
                           : O_PATH) |
                  (inherit ? 0 : O_CLOEXEC) |
                  ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 ? O_NOFOLLOW : 0) |
                  (disposition == CREATE_NEW ? O_CREAT | O_EXCL : 0) |
                  (disposition == OPEN_ALWAYS ? O_CREAT : 0);
  int fd = open(path.c_str(), openFlags, 0666);
  if (fd < 0) {
    SetError(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  // A directory opens only for backup semantics, as on Windows.
  bool refused = fstat(fd, &info) != 0 ||
                 (S_ISDIR(info.st_mode) && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) ||
                 static_cast<uintptr_t>(fd) >= kFileHandleLimit - kFileHandleBase;
  if (refused) {
    close(fd);
    SetError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool holds = S_ISDIR(info.st_mode) && (shareMode & FILE_SHARE_DELETE) == 0;
  OpenedHandles().push_back({fd, path, holds});
  SetError(ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(kFileHandleBase + static_cast<uintptr_t>(fd));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPVOID) {
  ssize_t n = read(DescriptorOfFile(file), buffer, size);
  if (got != nullptr) *got = n > 0 ? static_cast<DWORD>(n) : 0;
  if (n < 0) SetError(ErrorFromErrno(errno));
  return n >= 0 ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPVOID) {
  DiskCall();
  int fd = DescriptorOfFile(file);
  if (written != nullptr) *written = 0;
  if (!DiskWrite(fd, size)) return FALSE;
  ssize_t n = write(fd, buffer, size);
  if (written != nullptr) *written = n > 0 ? static_cast<DWORD>(n) : 0;
  if (n < 0) SetError(ErrorFromErrno(errno));
  return n >= 0 ? TRUE : FALSE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG, DWORD method) {
  LogEvent("SetFilePointer|" + std::to_string(distance) + "|" + std::to_string(method));
  off_t at = lseek(DescriptorOfFile(file), distance,
                   method == FILE_BEGIN     ? SEEK_SET
                   : method == FILE_CURRENT ? SEEK_CUR
                                            : SEEK_END);
  return at < 0 ? INVALID_SET_FILE_POINTER : static_cast<DWORD>(at);
}

BOOL SetEndOfFile(HANDLE file) {
  DiskCall();
  LogEvent("SetEndOfFile");
  int fd = DescriptorOfFile(file);
  off_t at = lseek(fd, 0, SEEK_CUR);
  struct stat info;
  return at >= 0 && fstat(fd, &info) == 0 && DiskResize(info.st_size, at) && ftruncate(fd, at) == 0
             ? TRUE
             : FALSE;
}

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
  int fd = DescriptorOfFile(handle);
  struct stat info;
  if (fd < 0 || information == nullptr || fstat(fd, &info) != 0) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The device and inode stand for the volume and the file index; a link
  // is a reparse point; the times are not kept.
  *information = BY_HANDLE_FILE_INFORMATION();
  if (S_ISLNK(info.st_mode)) {
    information->dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
  } else {
    information->dwFileAttributes =
        S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  }
  uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
  uint64_t index = static_cast<uint64_t>(info.st_ino);
  information->dwVolumeSerialNumber = static_cast<DWORD>(info.st_dev);
  information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  information->nFileSizeLow = static_cast<DWORD>(size);
  information->nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
  information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
  information->nFileIndexLow = static_cast<DWORD>(index);
  return TRUE;
}
