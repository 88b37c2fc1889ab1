// The content hash of a payload file, which lets the setup find that an
// installed file already holds the payload's bytes without unpacking them:
// for each piece of the file (kPayloadPieceSize bytes, the last one the
// rest), FNV-1a over its bytes taken four at a time as little-endian words,
// any last one to three bytes one at a time; the file's hash is FNV-1a over
// its pieces' hashes, in order, from kContentHashStart. mkpayload records it
// in the table; the setup computes it over an installed file. With each
// piece's own Adler-32, which its zlib stream ends with, a changed piece
// goes unnoticed about once in 2^64.
#ifndef TIDEWELL_PAYLOAD_CONTENT_HASH_H
#define TIDEWELL_PAYLOAD_CONTENT_HASH_H

#include <stddef.h>

const unsigned int kContentHashStart = 2166136261u;
const unsigned int kContentHashPrime = 16777619u;

inline unsigned int HashPiece(const unsigned char* data, size_t size) {
  unsigned int hash = kContentHashStart;
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    unsigned int word = data[i] | static_cast<unsigned int>(data[i + 1]) << 8 |
                        static_cast<unsigned int>(data[i + 2]) << 16 |
                        static_cast<unsigned int>(data[i + 3]) << 24;
    hash = (hash ^ word) * kContentHashPrime;
  }
  for (; i < size; ++i) hash = (hash ^ data[i]) * kContentHashPrime;
  return hash;
}

inline unsigned int FoldPieceHash(unsigned int fileHash, unsigned int pieceHash) {
  return (fileHash ^ pieceHash) * kContentHashPrime;
}

#endif  // TIDEWELL_PAYLOAD_CONTENT_HASH_H
