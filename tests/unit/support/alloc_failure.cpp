// Makes the extraction buffer's allocation, or the creation of a file, fail
// on request. The test program is linked with
// -Wl,--wrap=malloc, -Wl,--wrap=fopen and -Wl,--wrap=_open; while the flag is set, a request
// of exactly kExtractBufferSize bytes fails and every other one goes through.
#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "tests/unit/support/test_payload.h"

bool failExtractBufferAllocation = false;

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
  if (failExtractBufferAllocation && size == static_cast<size_t>(kExtractBufferSize)) {
    return nullptr;
  }
  return __real_malloc(size);
}

std::string failCreatingPath;

extern "C" FILE* __real_fopen(const char* path, const char* mode);
extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
  if (!failCreatingPath.empty() && mode[0] == 'w' && strstr(path, failCreatingPath.c_str())) {
    return nullptr;
  }
  return __real_fopen(path, mode);
}

extern "C" int __real__open(const char* path, int flags, int mode);
extern "C" int __wrap__open(const char* path, int flags, int mode) {
  if (!failCreatingPath.empty() && (flags & O_CREAT) != 0 &&
      strstr(path, failCreatingPath.c_str())) {
    errno = EACCES;
    return -1;
  }
  return __real__open(path, flags, mode);
}
