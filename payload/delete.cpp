// Removes the payload files from the current directory after a failed
// extraction. Works by name: a file of a payload file's name is removed
// whether or not this run wrote it.
#include <stdio.h>

#include "payload/payload.h"

int DeletePayloadFrom(const Payload* payload, HWND owner, ProgressFn progress) {
  int sum = 0;
  for (int i = 0; i < payload->fileCount; ++i) {
    const char* name = payload->files[i].name;
    if (progress != nullptr) progress(owner, name, sum / payload->fileCount);
    // A file that cannot be opened for reading is taken as absent.
    FILE* probe = fopen(name, "rb");
    if (probe != nullptr) {
      fclose(probe);
      // Stop at the first file that stays: later files are left as they are.
      if (!DeleteFileA(name)) return 0;
    }
    sum += 100;
  }
  if (progress != nullptr) progress(owner, "", 100);
  return kExtractDone;
}

int DeletePayload(HWND owner, ProgressFn progress) {
  return DeletePayloadFrom(&kPayloadTable, owner, progress);
}
