// The payload's checksum over the whole table, so that damage that each
// chunk's own check cannot see (a name, a count, a chunk swapped for another
// valid stream) is found before anything is installed.
#include <string.h>
#include <zlib.h>

#include "payload/payload.h"

namespace {

// Bounds that every table made by the build keeps: a chunk's stream is never
// much longer than the piece it holds, and no payload holds more than 1 GiB.
// A damaged count or length beyond them is found without reading past the
// table's own data.
const unsigned int kLongestChunk = kExtractBufferSize + 64;
const int kMostChunks = (1 << 30) / kPayloadPieceSize + 1;

uLong AddWord(uLong sum, unsigned int value) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return adler32(sum, bytes, sizeof bytes);
}

}  // namespace

unsigned int PayloadChecksum(const Payload* payload) {
  uLong sum = adler32(0, Z_NULL, 0);
  sum = AddWord(sum, static_cast<unsigned int>(payload->fileCount));
  for (int i = 0; i < payload->fileCount; ++i) {
    const PayloadFile* file = &payload->files[i];
    sum = adler32(sum, reinterpret_cast<const Bytef*>(file->name),
                  static_cast<uInt>(strlen(file->name) + 1));
    sum = AddWord(sum, static_cast<unsigned int>(file->chunkCount));
    sum = AddWord(sum, file->size);
    sum = AddWord(sum, file->hash);
    for (int j = 0; j < file->chunkCount; ++j) {
      const PayloadChunk* chunk = &file->chunks[j];
      sum = AddWord(sum, chunk->compressedLength);
      sum = adler32(sum, chunk->data, chunk->compressedLength);
    }
  }
  return static_cast<unsigned int>(sum);
}

int PayloadIsIntact(const Payload* payload) {
  if (payload->checksum == nullptr || payload->fileCount < 0) return 0;
  for (int i = 0; i < payload->fileCount; ++i) {
    const PayloadFile* file = &payload->files[i];
    if (file->chunkCount < 0 || file->chunkCount > kMostChunks) return 0;
    for (int j = 0; j < file->chunkCount; ++j) {
      if (file->chunks[j].compressedLength > kLongestChunk) return 0;
    }
  }
  return PayloadChecksum(payload) == *payload->checksum ? 1 : 0;
}
