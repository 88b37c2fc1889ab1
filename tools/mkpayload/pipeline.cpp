// The packing pipeline. The calling thread reads the inputs piece by piece
// into a ring of slots and hands the finished chunks on in table order; a
// pool of threads compresses and checks the pieces in between. Piece n always
// lands in slot n % slots, and the ring never holds more than its size, so
// memory stays the same whatever the inputs, and the chunks do not depend on
// the number of threads.
//
// A piece whose bytes equal an earlier piece's is not compressed: it refers
// to the earlier piece's chunk. Repeats are found by the pieces' input bytes,
// not by their compressed bytes: the compressors are deterministic, so both
// find the same repeats, but only the input is known before compressing, and
// a repeat skips its compression, which at --level zopfli is most of the
// time. The reading thread decides, in table order, so the decisions do not
// depend on the threads either. A hash only proposes an earlier piece; the
// bytes are compared, with that piece itself while it is still in the ring,
// else with what its chunk in the blob decompresses to, so a shared chunk is
// known to decompress to the piece that refers to it.
#include "mkpayload.h"
#include "payload/content_hash.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>
#include <zopfli/zopfli.h>

namespace mkpayload {
namespace {

using Bytes = std::vector<unsigned char>;

// What went wrong with a piece; static texts, so that a worker never
// allocates.
struct Problem {
  const char* text = nullptr;
  int code = 0;
  bool withCode = false;
};

struct Slot {
  Bytes piece;
  std::size_t pieceSize = 0;
  Bytes chunk;
  std::size_t chunkSize = 0;
  std::size_t file = 0;
  long repeats = -1;  // the RepeatTable entry of the earlier piece it equals, or -1
  long entry = -1;    // its own entry, where its chunk is recorded, or -1
  Problem problem;
  bool done = false;  // the chunk is ready; guarded by Queue::mutex
};

struct Queue {
  std::mutex mutex;
  std::condition_variable piecesReady;  // the workers wait for a piece or the stop
  std::condition_variable chunkDone;    // the reading thread waits for the next chunk
  std::vector<Slot> slots;
  std::uint64_t published = 0;  // pieces read so far; only the reading thread raises it
  std::uint64_t taken = 0;      // pieces taken by a worker so far
  bool stop = false;
};

// One worker's compressor and check stream, made once and reused for every
// piece: a fresh compressor per piece costs a large allocation each time,
// which the threads would contend for. A reset zlib stream produces the same
// bytes as compress2 at the same level, and a libdeflate compressor keeps no
// state from one piece to the next, so the chunks stay the same whichever
// worker makes them. Zopfli keeps no state between calls either.
struct Streams {
  int level;
  libdeflate_compressor* compressor = nullptr;  // libdeflate levels
  z_stream deflater{};                          // kZlibLevel
  ZopfliOptions zopfli{};                       // kZopfliLevel
  z_stream inflater{};
  unsigned char check[kExtractBufferSize];
  bool deflaterReady = false;
  bool ready = false;
  explicit Streams(int compressionLevel) : level(compressionLevel) {
    if (level == kZlibLevel) {
      ready = deflaterReady = deflateInit(&deflater, Z_DEFAULT_COMPRESSION) == Z_OK;
    } else if (level == kZopfliLevel) {
      ZopfliInitOptions(&zopfli);
      ready = true;
    } else {
      ready = (compressor = libdeflate_alloc_compressor(level)) != nullptr;
    }
    ready = inflateInit(&inflater) == Z_OK && ready;
  }
  ~Streams() {
    libdeflate_free_compressor(compressor);
    if (deflaterReady) deflateEnd(&deflater);
    inflateEnd(&inflater);
  }
  Streams(const Streams&) = delete;
  Streams& operator=(const Streams&) = delete;
};

// Compresses the slot's piece with zopfli's defaults (15 iterations, block
// splitting), which suit pieces of this size.
Problem Zopfli(Slot* slot, Streams* streams) {
  unsigned char* out = nullptr;
  std::size_t size = 0;
  ZopfliCompress(&streams->zopfli, ZOPFLI_FORMAT_ZLIB, slot->piece.data(), slot->pieceSize, &out,
                 &size);
  bool fits = out != nullptr && size <= slot->chunk.size();
  if (fits) std::memcpy(slot->chunk.data(), out, size);
  std::free(out);
  if (!fits) return {"zopfli made no chunk within the bound of the chunk buffer"};
  slot->chunkSize = size;
  // As for libdeflate below: zopfli writes 0x78 0xDA.
  if (slot->chunk[0] == 0x78) slot->chunk[1] = 0x9C;
  return {};
}

// Compresses the slot's piece into its chunk with the worker's compressor.
Problem Deflate(Slot* slot, Streams* streams) {
  if (streams->level == kZopfliLevel) return Zopfli(slot, streams);
  if (streams->level != kZlibLevel) {
    slot->chunkSize =
        libdeflate_zlib_compress(streams->compressor, slot->piece.data(), slot->pieceSize,
                                 slot->chunk.data(), slot->chunk.size());
    if (slot->chunkSize == 0) return {"libdeflate found no room for the chunk"};
    // libdeflate notes its level in the header's FLEVEL bits (0x78 0xDA from
    // level 8 on). Those bits only inform; every chunk of the payload starts
    // 0x78 0x9C, which is as valid a header: 0x789C is a multiple of 31.
    if (slot->chunk[0] == 0x78) slot->chunk[1] = 0x9C;
    return {};
  }
  z_stream& d = streams->deflater;
  deflateReset(&d);
  d.next_in = slot->piece.data();
  d.avail_in = static_cast<uInt>(slot->pieceSize);
  d.next_out = slot->chunk.data();
  d.avail_out = static_cast<uInt>(slot->chunk.size());
  int rc = deflate(&d, Z_FINISH);
  if (rc != Z_STREAM_END) return {"deflate failed with code", rc, true};
  slot->chunkSize = d.total_out;
  return {};
}

// Compresses the slot's piece into its chunk and checks the stream.
Problem CompressPiece(Slot* slot, Streams* streams) {
  if (!streams->ready) return {"the compressor could not be initialised"};
  Problem problem = Deflate(slot, streams);
  if (problem.text != nullptr) return problem;
  if (slot->chunkSize < 2 || slot->chunk[0] != 0x78 || slot->chunk[1] != 0x9C) {
    return {"the zlib stream does not start with 0x78 0x9C"};
  }

  // The check is what extraction does: zlib, one buffer of kExtractBufferSize.
  z_stream& i = streams->inflater;
  inflateReset(&i);
  i.next_in = slot->chunk.data();
  i.avail_in = static_cast<uInt>(slot->chunkSize);
  i.next_out = streams->check;
  i.avail_out = static_cast<uInt>(sizeof streams->check);
  int rc = inflate(&i, Z_FINISH);
  if (rc != Z_STREAM_END || i.avail_in != 0) {
    return {"the zlib stream does not decompress, code", rc, true};
  }
  if (i.total_out != slot->pieceSize ||
      std::memcmp(streams->check, slot->piece.data(), slot->pieceSize) != 0) {
    return {"the zlib stream does not decompress to the piece"};
  }
  return {};
}

// A worker takes pieces in order and marks each slot done; it never throws.
void Work(Queue* queue, int level) {
  Streams streams(level);
  std::unique_lock<std::mutex> lock(queue->mutex);
  for (;;) {
    queue->piecesReady.wait(lock,
                            [queue] { return queue->stop || queue->taken < queue->published; });
    if (queue->stop) return;
    Slot& slot = queue->slots[queue->taken++ % queue->slots.size()];
    lock.unlock();
    // A repeated piece has no chunk of its own to make.
    slot.problem = slot.repeats >= 0 ? Problem{} : CompressPiece(&slot, &streams);
    lock.lock();
    slot.done = true;
    queue->chunkDone.notify_one();
  }
}

// The compression threads; stopped and joined however the pipeline ends.
class WorkerPool {
 public:
  explicit WorkerPool(Queue* queue) : queue_(queue) {}
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool() {
    {
      std::lock_guard<std::mutex> lock(queue_->mutex);
      queue_->stop = true;
    }
    queue_->piecesReady.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  bool Start(unsigned jobs, int level, std::string* error) {
    threads_.reserve(jobs);
    for (unsigned t = 0; t < jobs; ++t) {
      try {
        threads_.emplace_back(Work, queue_, level);
      } catch (const std::system_error& e) {
        *error = "cannot start compression thread " + std::to_string(t + 1) + " of " +
                 std::to_string(jobs) + ": " + e.what();
        return false;
      }
    }
    return true;
  }

 private:
  Queue* queue_;
  std::vector<std::thread> threads_;
};

struct Descriptor {
  int fd = -1;
  ~Descriptor() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

// Reads up to kPieceSize bytes; fewer only at the end of the file.
bool ReadPiece(int fd, unsigned char* buffer, std::size_t* got) {
  *got = 0;
  while (*got < kPieceSize) {
    ssize_t n = read(fd, buffer + *got, kPieceSize - *got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    *got += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Describe(const Problem& problem) {
  std::string text = problem.text;
  if (problem.withCode) text += " " + std::to_string(problem.code);
  return text;
}

// What the reading thread needs to compare a piece with an earlier one whose
// chunk is already in the blob.
struct Comparer {
  Bytes chunk;
  Bytes piece;
  z_stream inflater{};
  bool ready = false;
  Comparer() : chunk(kExtractBufferSize + 64), piece(kExtractBufferSize) {
    ready = inflateInit(&inflater) == Z_OK;
  }
  ~Comparer() {
    if (ready) inflateEnd(&inflater);
  }
  Comparer(const Comparer&) = delete;
  Comparer& operator=(const Comparer&) = delete;
};

// Whether slot's piece holds the bytes of the earlier piece of entry: that
// piece itself while it is still in the ring (not yet written, so its slot
// has not been reused), else what its chunk, read back from the blob,
// decompresses to. Returns false only when the blob cannot be read.
bool SameAsEarlier(const Queue& queue, const RepeatEntry& earlier, const Slot& slot,
                   const BlobAccess& blob, Comparer* comparer, bool* same, std::string* error) {
  *same = false;
  if (!earlier.written) {
    const Slot& first = queue.slots[earlier.piece % queue.slots.size()];
    *same = std::memcmp(first.piece.data(), slot.piece.data(), slot.pieceSize) == 0;
    return true;
  }
  const ChunkRef& chunk = earlier.chunk;
  if (!comparer->ready || chunk.length > comparer->chunk.size()) return true;
  if (!blob.read(chunk.offset, comparer->chunk.data(), chunk.length, error)) return false;
  z_stream& i = comparer->inflater;
  inflateReset(&i);
  i.next_in = comparer->chunk.data();
  i.avail_in = static_cast<uInt>(chunk.length);
  i.next_out = comparer->piece.data();
  i.avail_out = static_cast<uInt>(comparer->piece.size());
  *same = inflate(&i, Z_FINISH) == Z_STREAM_END && i.total_out == slot.pieceSize &&
          std::memcmp(comparer->piece.data(), slot.piece.data(), slot.pieceSize) == 0;
  return true;
}

}  // namespace

bool PackInputs(const std::vector<Input>& inputs, unsigned jobs, int level, const BlobAccess& blob,
                std::vector<FileLayout>* layout, PackStats* stats, std::string* error) {
  jobs = std::max(jobs, 1u);
  Queue queue;
  queue.slots.resize(jobs * kPiecesPerJob);
  for (Slot& slot : queue.slots) {
    slot.piece.resize(kPieceSize);
    slot.chunk.resize(std::max<std::size_t>(compressBound(kPieceSize),
                                            libdeflate_zlib_compress_bound(nullptr, kPieceSize)));
  }
  layout->clear();
  for (const Input& input : inputs) layout->push_back({input.name, 0, {}, kContentHashStart});
  *stats = PackStats{};
  RepeatTable repeats;
  InitRepeatTable(&repeats);
  Comparer comparer;

  WorkerPool pool(&queue);
  if (!pool.Start(jobs, level, error)) return false;

  const std::uint64_t window = queue.slots.size();
  std::size_t file = 0;  // the input being read
  Descriptor in;         // open while that input is read
  bool readAll = inputs.empty();
  std::uint64_t total = 0;    // input bytes read
  std::uint64_t written = 0;  // pieces handed on
  std::uint64_t offset = 0;   // bytes written to the blob
  for (;;) {
    // Read the next piece while the ring has room for it.
    bool didRead = false;
    if (!readAll && queue.published < written + window) {
      didRead = true;
      const Input& input = inputs[file];
      if (in.fd < 0 && (in.fd = OpenInput(input, error)) < 0) return false;
      Slot& slot = queue.slots[queue.published % window];
      std::size_t got = 0;
      if (!ReadPiece(in.fd, slot.piece.data(), &got)) {
        *error = "input " + Quote(input.arg) + ": cannot read " + Quote(input.path) + ": " +
                 std::strerror(errno);
        return false;
      }
      total += got;
      if (total > kMaxPayloadBytes) {
        *error = "input " + Quote(input.arg) + ": " + Quote(input.path) +
                 " grew while it was read; a payload may hold at most " +
                 std::to_string(kMaxPayloadBytes) + " bytes (1 GiB) in total";
        return false;
      }
      if (got > 0) {
        (*layout)[file].size += got;
        (*layout)[file].hash =
            FoldPieceHash((*layout)[file].hash, HashPiece(slot.piece.data(), got));
        slot.pieceSize = got;
        slot.file = file;
        slot.done = false;
        std::uint64_t hash = PieceHash(slot.piece.data(), got);
        slot.repeats = FindRepeat(repeats, hash, got);
        bool same = false;
        if (slot.repeats >= 0 && !SameAsEarlier(queue, repeats.entries[slot.repeats], slot, blob,
                                                &comparer, &same, error)) {
          return false;
        }
        if (!same) slot.repeats = -1;
        slot.entry = same ? -1 : AddRepeat(&repeats, hash, got, queue.published);
        {
          std::lock_guard<std::mutex> lock(queue.mutex);
          ++queue.published;
        }
        queue.piecesReady.notify_one();
      }
      // A short piece is the file's last: every other piece is whole.
      if (got < kPieceSize) {
        in.Close();
        readAll = ++file == inputs.size();
      }
    }

    // Hand on the next chunk in order; wait for it only when nothing could
    // be read.
    Slot* next = nullptr;
    {
      std::unique_lock<std::mutex> lock(queue.mutex);
      if (written < queue.published) {
        Slot& slot = queue.slots[written % window];
        if (!slot.done && !didRead) queue.chunkDone.wait(lock, [&slot] { return slot.done; });
        if (slot.done) next = &slot;
      } else if (readAll) {
        break;
      }
    }
    if (next == nullptr) continue;
    FileLayout& owner = (*layout)[next->file];
    if (next->problem.text != nullptr) {
      *error = "file " + Quote(owner.name) + ", chunk " + std::to_string(owner.chunks.size()) +
               ": " + Describe(next->problem);
      return false;
    }
    ++stats->pieces;
    ++written;
    if (next->repeats >= 0) {
      // The earlier piece came first in table order, so its chunk is written.
      const ChunkRef& chunk = repeats.entries[next->repeats].chunk;
      owner.chunks.push_back(chunk);
      ++stats->sharedPieces;
      stats->sharedInputBytes += next->pieceSize;
      stats->sharedChunkBytes += chunk.length;
      continue;
    }
    if (!blob.write(next->chunk.data(), next->chunkSize, error)) return false;
    std::uint32_t adler = static_cast<std::uint32_t>(
        adler32(adler32(0, Z_NULL, 0), next->chunk.data(), static_cast<uInt>(next->chunkSize)));
    owner.chunks.push_back({offset, next->chunkSize, adler});
    if (next->entry >= 0) {
      repeats.entries[next->entry].chunk = owner.chunks.back();
      repeats.entries[next->entry].written = true;
    }
    offset += next->chunkSize;
  }
  return true;
}

}  // namespace mkpayload
