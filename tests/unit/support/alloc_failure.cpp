// Makes the extraction buffer's allocation, the creation of a file, or any
// write past a size fail on request. The test program is linked with
// -Wl,--wrap=malloc and -Wl,--wrap=fopen; while the flag is set, a request
// of exactly kExtractBufferSize bytes fails and every other one goes through.
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>

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

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
  // A write past the limit then fails with EFBIG instead of ending the process.
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  previous = limit.rlim_cur;
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previous;
  setrlimit(RLIMIT_FSIZE, &limit);
}
