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

// One worker's zlib streams, made once and reset for every piece: a fresh
// deflate state per piece costs a large allocation each time, which the
// threads would contend for. A reset stream produces the same bytes as
// compress2 at the same level.
struct Streams {
  z_stream deflater{};
  z_stream inflater{};
  Bytes check = Bytes(kExtractBufferSize);
  bool ready = false;
  Streams() {
    ready = deflateInit(&deflater, Z_DEFAULT_COMPRESSION) == Z_OK;
    ready = inflateInit(&inflater) == Z_OK && ready;
  }
  ~Streams() {
    deflateEnd(&deflater);
    inflateEnd(&inflater);
  }
  Streams(const Streams&) = delete;
  Streams& operator=(const Streams&) = delete;
};

// Compresses one piece and checks the stream; returns "" or the reason it failed.
std::string CompressPiece(const Piece& piece, Streams* streams, Bytes* out) {
  if (!streams->ready) return "zlib could not be initialised";
  z_stream& d = streams->deflater;
  deflateReset(&d);
  out->resize(deflateBound(&d, static_cast<uLong>(piece.size)));
  d.next_in = const_cast<Bytef*>(piece.data);
  d.avail_in = static_cast<uInt>(piece.size);
  d.next_out = out->data();
  d.avail_out = static_cast<uInt>(out->size());
  int rc = deflate(&d, Z_FINISH);
  if (rc != Z_STREAM_END) return "deflate failed with code " + std::to_string(rc);
  out->resize(d.total_out);
  if (out->size() < 2 || (*out)[0] != 0x78 || (*out)[1] != 0x9C) {
    return "the zlib stream does not start with 0x78 0x9C";
  }

  // The check is what extraction does: one buffer of kExtractBufferSize.
  z_stream& i = streams->inflater;
  inflateReset(&i);
  i.next_in = out->data();
  i.avail_in = static_cast<uInt>(out->size());
  i.next_out = streams->check.data();
  i.avail_out = static_cast<uInt>(streams->check.size());
  rc = inflate(&i, Z_FINISH);
  if (rc != Z_STREAM_END || i.avail_in != 0) {
    return "the zlib stream does not decompress (code " + std::to_string(rc) + ")";
  }
  if (i.total_out != piece.size ||
      std::memcmp(streams->check.data(), piece.data, piece.size) != 0) {
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
    Streams streams;
    for (std::size_t i = next++; i < pieces.size(); i = next++) {
      const Piece& piece = pieces[i];
      problems[i] = CompressPiece(piece, &streams, &(*chunks)[piece.file][piece.chunk]);
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
