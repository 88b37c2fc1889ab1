// Writes the payload files into the staging folder, one chunk at a time,
// then swaps them into place: the installed files change only when every
// new one has been written whole.
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

#include "payload/swap.h"

namespace {

char stagedPath[kStagedPathSize];

// Writes one file's chunks to an open stream. The buffer holds
// kExtractBufferSize bytes and is reused for every chunk.
ExtractResult WriteChunks(const PayloadFile* file, unsigned char* buffer, FILE* out) {
  for (int j = 0; j < file->chunkCount; ++j) {
    const PayloadChunk* chunk = &file->chunks[j];
    uLongf length = kExtractBufferSize;
    // A chunk that fails to decompress is never written as if it were good.
    if (uncompress(buffer, &length, chunk->data, chunk->compressedLength) != Z_OK) {
      return kExtractCorruptPayload;
    }
    if (fwrite(buffer, 1, length, out) != length) return kExtractShortWrite;
  }
  return kExtractDone;
}

// Writes one file whole as its staged copy.
ExtractResult StageFile(int index, const PayloadFile* file, unsigned char* buffer) {
  if (!StagingPath("", index, file->name, kStagedSuffix, stagedPath, kStagedPathSize)) {
    return kExtractCannotCreate;
  }
  FILE* out = fopen(stagedPath, "wb");
  if (out == nullptr) return kExtractCannotCreate;
  ExtractResult result = WriteChunks(file, buffer, out);
  // Data still buffered when the file is closed must reach the disk too.
  if (fclose(out) != 0 && result == kExtractDone) result = kExtractShortWrite;
  return result;
}

}  // namespace

ExtractResult ExtractPayloadFrom(const Payload* payload, HWND owner, ProgressFn progress) {
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kExtractBufferSize));
  if (buffer == nullptr) return kExtractNoMemory;

  ExtractResult result = PrepareStagingFolder(payload) ? kExtractDone : kExtractCannotCreate;
  int sum = 0;
  for (int i = 0; i < payload->fileCount && result == kExtractDone; ++i) {
    const PayloadFile* file = &payload->files[i];
    if (progress != nullptr) progress(owner, file->name, sum / payload->fileCount);
    result = StageFile(i, file, buffer);
    sum += 100;
  }
  free(buffer);
  if (result != kExtractDone) return result;
  // A file that cannot take the place of the installed one (held open by a
  // program that does not let it be renamed) fails like one that cannot be
  // created; the previous files are back in place then.
  int asides = SwapInStagedFiles(payload);
  if (asides < 0) return kExtractCannotCreate;
  DiscardAsideCopies(payload, asides);
  if (progress != nullptr) progress(owner, "", 100);
  return kExtractDone;
}

ExtractResult ExtractPayload(HWND owner, ProgressFn progress) {
  return ExtractPayloadFrom(&kPayloadTable, owner, progress);
}
