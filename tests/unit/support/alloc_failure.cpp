// Makes the extraction buffer's allocation fail on request. The test
// program is linked with -Wl,--wrap=malloc; while the flag is set, a request
// of exactly kExtractBufferSize bytes fails and every other one goes through.
#include <stddef.h>

#include "tests/unit/support/test_payload.h"

bool failExtractBufferAllocation = false;

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
  if (failExtractBufferAllocation && size == static_cast<size_t>(kExtractBufferSize)) {
    return nullptr;
  }
  return __real_malloc(size);
}
