// Parallel compression of the pieces, placed by index so the output does not
// depend on the number of threads.
#include "mkpayload.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include <zlib.h>

namespace mkpayload {
namespace {

struct Piece {
  std::size_t file;
  std::size_t chunk;
  const unsigned char* data;
  std::size_t size;
};

// Compresses one piece and checks the stream; returns "" or the reason it failed.
std::string CompressPiece(const Piece& piece, Bytes* out) {
  uLongf length = compressBound(static_cast<uLong>(piece.size));
  out->resize(length);
  int rc = compress2(out->data(), &length, piece.data, static_cast<uLong>(piece.size),
                     Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) return "compress2 failed with code " + std::to_string(rc);
  out->resize(length);
  if (length < 2 || (*out)[0] != 0x78 || (*out)[1] != 0x9C) {
    return "the zlib stream does not start with 0x78 0x9C";
  }
  Bytes check(kExtractBufferSize);
  uLongf checkLength = static_cast<uLongf>(check.size());
  rc = uncompress(check.data(), &checkLength, out->data(), length);
  if (rc != Z_OK) return "the zlib stream does not decompress (code " + std::to_string(rc) + ")";
  if (checkLength != piece.size || std::memcmp(check.data(), piece.data, piece.size) != 0) {
    return "the zlib stream does not decompress to the piece";
  }
  return "";
}

}  // namespace

bool CompressAll(const std::vector<SourceFile>& files, unsigned jobs, FileChunks* chunks,
                 std::string* error) {
  std::vector<Piece> pieces;
  chunks->assign(files.size(), {});
  for (std::size_t f = 0; f < files.size(); ++f) {
    const Bytes& data = files[f].data;
    std::size_t count = (data.size() + kPieceSize - 1) / kPieceSize;
    (*chunks)[f].resize(count);
    for (std::size_t c = 0; c < count; ++c) {
      std::size_t offset = c * kPieceSize;
      pieces.push_back({f, c, data.data() + offset, std::min(kPieceSize, data.size() - offset)});
    }
  }

  std::vector<std::string> problems(pieces.size());
  std::atomic<std::size_t> next{0};
  auto work = [&]() {
    for (std::size_t i = next++; i < pieces.size(); i = next++) {
      const Piece& piece = pieces[i];
      problems[i] = CompressPiece(piece, &(*chunks)[piece.file][piece.chunk]);
    }
  };
  std::size_t threadCount = std::min<std::size_t>(std::max(jobs, 1u), pieces.size());
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threadCount; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();

  // Report the first failure in table order, so the message is deterministic too.
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (!problems[i].empty()) {
      *error = "file " + Quote(files[pieces[i].file].name) + ", chunk " +
               std::to_string(pieces[i].chunk) + ": " + problems[i];
      return false;
    }
  }
  return true;
}

}  // namespace mkpayload
