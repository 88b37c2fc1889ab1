// The file calls that the uninstaller makes: attributes, removing a
// directory, copying a file, the temporary directory and its unique names,
// and the deletion of a file once its program has ended.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "internal.h"

namespace standin {
namespace {

// Files whose removal was asked for "at the next restart". A program's
// restart on the host is its end: they are removed when the process exits.
std::vector<std::string>& RemoveAtExit() {
  static std::vector<std::string> paths;
  return paths;
}

void RemoveFilesAtExit() {
  for (const std::string& path : RemoveAtExit()) unlink(path.c_str());
}

// Files that tests hold open elsewhere, sharing only reading, by their
// identity, whichever name they are reached by.
std::vector<std::pair<dev_t, ino_t>> gHeldOpen;
// Text whose presence in a path makes writing a file there fail.
std::string gFailWriting;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CopyContents(int in, int out) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
  }
}

}  // namespace

void ResetFiles() {
  gHeldOpen.clear();
  gFailWriting.clear();
}

bool FailsWriting(const std::string& posixPath) {
  return !gFailWriting.empty() && posixPath.find(gFailWriting) != std::string::npos;
}

bool IsHeldOpenElsewhere(const std::string& posixPath) {
  struct stat info;
  if (gHeldOpen.empty() || lstat(posixPath.c_str(), &info) != 0) return false;
  for (const auto& [device, inode] : gHeldOpen) {
    if (info.st_dev == device && info.st_ino == inode) return true;
  }
  return false;
}

}  // namespace standin

using namespace standin;

DWORD GetFileAttributesA(LPCSTR name) {
  std::string mapped;
  if (!MapPathForCall(name, &mapped)) return INVALID_FILE_ATTRIBUTES;
  return AttributesOf(mapped);
}

BOOL RemoveDirectoryA(LPCSTR path) {
  DiskCall();
  std::string mapped;
  if (!MapPathForCall(path, &mapped)) return FALSE;
  // A link to a directory is removed itself, as Windows removes a directory
  // symbolic link, and its target stays.
  struct stat info;
  if (lstat(mapped.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
      (AttributesOf(mapped) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (unlink(mapped.c_str()) == 0) return TRUE;
    SetError(ErrorFromErrno(errno));
    return FALSE;
  }
  if (rmdir(mapped.c_str()) != 0) {
    SetError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CopyFileA(LPCSTR existingName, LPCSTR newName, BOOL failIfExists) {
  DiskCall();
  std::string from, to;
  if (!MapPath(existingName, &from) || !MapPath(newName, &to)) return FALSE;
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FALSE;
  struct stat info;
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(in);
    return FALSE;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
  int out = open(to.c_str(), flags, info.st_mode & 07777);
  if (out < 0) {
    close(in);
    return FALSE;
  }
  bool ok = CopyContents(in, out) && fchmod(out, info.st_mode & 07777) == 0;
  ok = close(out) == 0 && ok;
  close(in);
  if (!ok) unlink(to.c_str());
  return ok ? TRUE : FALSE;
}

BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
  LogEvent("MoveFileExA|" + Text(existingName) + "|" + Text(newName) + "|" + HexText(flags));
  std::string from;
  if (!MapPath(existingName, &from)) return FALSE;
  if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0) {
    // Only the deletion form is supported: no new name.
    if (newName != nullptr) return FALSE;
    if (Scripted()) return TRUE;
    if (RemoveAtExit().empty()) atexit(RemoveFilesAtExit);
    RemoveAtExit().push_back(from);
    return TRUE;
  }
  DiskCall();
  std::string to;
  if (newName == nullptr || !MapPath(newName, &to)) return FALSE;
  // A file held open without FILE_SHARE_DELETE is neither renamed nor
  // replaced, as Wine refuses both.
  if (IsHeldOpenElsewhere(from) || IsHeldOpenElsewhere(to)) {
    SetError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  struct stat info;
  if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && lstat(to.c_str(), &info) == 0) {
    SetError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  DiskRelease(to);
  if (rename(from.c_str(), to.c_str()) == 0) return TRUE;
  SetError(ErrorFromErrno(errno));
  return FALSE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  const char* tmp = getenv("TMPDIR");
  std::string windowsPath;
  if (!UnmapPath(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp", &windowsPath)) return 0;
  if (windowsPath.back() != '\\') windowsPath += '\\';
  // As on Windows: the length without the terminator, or the size needed.
  if (buffer == nullptr || windowsPath.size() + 1 > size) {
    return static_cast<DWORD>(windowsPath.size() + 1);
  }
  CopyCut(windowsPath, buffer, size);
  return static_cast<DWORD>(windowsPath.size());
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR name) {
  if (path == nullptr || name == nullptr || unique != 0) return 0;
  std::string directory = path;
  if (directory.empty()) return 0;
  if (!IsSeparator(directory.back())) directory += '\\';
  std::string start = Text(prefix).substr(0, 3);
  // Numbers are tried from a start that differs between processes, as
  // Windows does, until a name is free; the file is made empty.
  UINT first = static_cast<UINT>((getpid() ^ time(nullptr)) & 0xFFFF);
  for (UINT i = 0; i < 0xFFFF; ++i) {
    UINT number = (first + i) % 0xFFFF + 1;
    char hex[8];
    snprintf(hex, sizeof hex, "%X", number);
    std::string candidate = directory + start + hex + ".tmp";
    std::string mapped;
    if (candidate.size() >= MAX_PATH || !MapPath(candidate.c_str(), &mapped)) return 0;
    int fd = open(mapped.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      CopyCut(candidate, name, MAX_PATH);
      return number;
    }
    if (errno != EEXIST) return 0;
  }
  return 0;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  char* current = getcwd(nullptr, 0);
  std::string windowsPath;
  bool known = current != nullptr && UnmapPath(current, &windowsPath);
  free(current);
  if (!known) return 0;
  if (buffer == nullptr || windowsPath.size() + 1 > size) {
    return static_cast<DWORD>(windowsPath.size() + 1);
  }
  CopyCut(windowsPath, buffer, size);
  return static_cast<DWORD>(windowsPath.size());
}

void StandinFailWriting(const char* pathPart) {
  standin::gFailWriting = standin::Text(pathPart);
}

void StandinHoldOpen(const char* windowsPath) {
  std::string mapped;
  struct stat info;
  if (standin::MapPath(windowsPath, &mapped) && lstat(mapped.c_str(), &info) == 0) {
    standin::gHeldOpen.emplace_back(info.st_dev, info.st_ino);
  }
}
