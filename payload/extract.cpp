// Writes the payload files into the current directory, one chunk at a time.
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

#include "payload/payload.h"

namespace {

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

}  // namespace

ExtractResult ExtractPayloadFrom(const Payload* payload, HWND owner, ProgressFn progress) {
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kExtractBufferSize));
  if (buffer == nullptr) return kExtractNoMemory;

  ExtractResult result = kExtractDone;
  int sum = 0;
  for (int i = 0; i < payload->fileCount && result == kExtractDone; ++i) {
    const PayloadFile* file = &payload->files[i];
    if (progress != nullptr) progress(owner, file->name, sum / payload->fileCount);
    FILE* out = fopen(file->name, "wb");
    if (out == nullptr) {
      result = kExtractCannotCreate;
      break;
    }
    result = WriteChunks(file, buffer, out);
    // Data still buffered when the file is closed must reach the disk too.
    if (fclose(out) != 0 && result == kExtractDone) result = kExtractShortWrite;
    sum += 100;
  }
  if (result == kExtractDone && progress != nullptr) progress(owner, "", 100);

  free(buffer);
  return result;
}

ExtractResult ExtractPayload(HWND owner, ProgressFn progress) {
  return ExtractPayloadFrom(&kPayloadTable, owner, progress);
}
