// The rollback after a failed extraction: removes what the run wrote, its
// staged copies and the staging folder. The installed files are not the
// rollback's: a failed extraction has already put the previous ones back,
// and a first installation never had any.
#include "payload/swap.h"

int DeletePayloadFrom(const Payload* payload, HWND owner, ProgressFn progress) {
  static char stagedPath[kStagedPathSize];
  int sum = 0;
  bool complete = true;
  for (int i = 0; i < payload->fileCount; ++i) {
    const char* name = payload->files[i].name;
    if (progress != nullptr) progress(owner, name, sum / payload->fileCount);
    // A staged copy that is not there is already gone; one that stays is
    // removed with the folder by the next run.
    if (!StagingPath("", i, name, kStagedSuffix, stagedPath, sizeof stagedPath) ||
        (!DeleteFileA(stagedPath) && !PathIsGone(stagedPath))) {
      complete = false;
    }
    sum += 100;
  }
  // An aside copy that could not be put back keeps the folder: the next run
  // puts it back.
  if (!RemoveStagingFolder("", payload->fileCount)) complete = false;
  if (progress != nullptr) progress(owner, "", 100);
  return complete ? kExtractDone : 0;
}

int DeletePayload(HWND owner, ProgressFn progress) {
  return DeletePayloadFrom(&kPayloadTable, owner, progress);
}
