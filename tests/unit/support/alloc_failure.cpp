// Makes the extraction buffer's allocation fail on request. Linked with
// -Wl,--wrap=malloc, so only the program's own calls to malloc come here.
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
