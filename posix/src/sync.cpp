// Named mutexes, for a program that must run once at a time. A named mutex
// is a lock file under $XDG_RUNTIME_DIR (else /tmp) held with flock(): the
// first CreateMutexA of a name takes the lock and makes the object; a later
// one, while the lock is held, gets ERROR_ALREADY_EXISTS. An inheritable
// handle survives into a started program, and the object lives until the
// last process holding the lock ends, as Windows keeps a mutex alive while a
// handle to it is open. A handle that met an existing object does not keep
// that object alive by itself: enough for telling a second run apart.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "internal.h"

namespace standin {
namespace {

// A mutex handle is its lock file's descriptor plus this base.
const uintptr_t kMutexHandleBase = 0x20000;
const uintptr_t kMutexHandleLimit = kMutexHandleBase + 0x10000;

std::string LockFileFor(const char* name) {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  std::string path = runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp";
  path += "/standin-mutex-" + std::to_string(getuid()) + "-";
  for (const char* p = name; *p != '\0'; ++p) {
    char hex[4];
    snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*p));
    path += hex;
  }
  return path;
}

}  // namespace

bool IsMutexHandle(HANDLE handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  return value >= kMutexHandleBase && value < kMutexHandleLimit &&
         fcntl(static_cast<int>(value - kMutexHandleBase), F_GETFD) >= 0;
}

bool CloseMutexHandle(HANDLE handle) {
  return IsMutexHandle(handle) &&
         close(static_cast<int>(reinterpret_cast<uintptr_t>(handle) - kMutexHandleBase)) == 0;
}

}  // namespace standin

using namespace standin;

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL, LPCSTR name) {
  // Only named mutexes: an unnamed one would be a lock nobody else can see.
  if (name == nullptr || name[0] == '\0' || strchr(name, '\\') != nullptr) {
    SetError(ERROR_INVALID_NAME);
    return nullptr;
  }
  bool inherit = attributes != nullptr && attributes->bInheritHandle;
  int fd = open(LockFileFor(name).c_str(), O_RDWR | O_CREAT | (inherit ? 0 : O_CLOEXEC), 0600);
  if (fd < 0 || static_cast<uintptr_t>(fd) >= kMutexHandleLimit - kMutexHandleBase) {
    SetError(ErrorFromErrno(fd < 0 ? errno : EMFILE));
    if (fd >= 0) close(fd);
    return nullptr;
  }
  int rc;
  while ((rc = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  DWORD error = rc == 0 ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
  LogEvent("CreateMutexA|" + std::string(name) + "|" + std::to_string(inherit ? 1 : 0) + "|" +
           std::to_string(error));
  SetError(error);
  return reinterpret_cast<HANDLE>(kMutexHandleBase + static_cast<uintptr_t>(fd));
}
