// mkpayload: packs product files into the payload blob and its table.
//
// Functions report failure by returning false and filling *error with a
// message that names the offending input or output; they never print.
// main.cpp turns these into diagnostics and the exit status.
#ifndef TIDEWELL_TOOLS_MKPAYLOAD_H
#define TIDEWELL_TOOLS_MKPAYLOAD_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace mkpayload {

// Must match kPayloadPieceSize and kExtractBufferSize of payload/payload.h.
constexpr std::size_t kPieceSize = 30000;
constexpr std::size_t kExtractBufferSize = 32000;

// Must match kStagingFolderNames of payload/staging.cpp: the folders in the
// data directory that the setup keeps its journal in, which no payload file
// may be.
constexpr const char* kStagingFolderNames[] = {"~setup.tmp", "~setup1.tmp", "~setup2.tmp",
                                               "~setup3.tmp"};

// The most input bytes one payload may hold, all files together. The blob is
// at most a few hundredths of a percent larger than its input, and a 32-bit
// setup program must still find room for it in its 2 GiB address space.
constexpr std::uint64_t kMaxPayloadBytes = std::uint64_t{1} << 30;

// How the pieces are compressed: libdeflate at a level from 1 to 12, zlib at
// its default level (kZlibLevel), or zopfli (kZopfliLevel). Level 12 makes
// the smallest chunks of libdeflate, 2.8 % smaller than zlib's on the
// benchmark's set; zopfli's are 0.4 % smaller still, at 50 times the CPU time,
// for release builds. tests/bench/run.sh prints every level's figures.
// Whichever it is, each chunk is one zlib stream that starts 0x78 0x9C and
// that zlib decompresses.
constexpr int kZlibLevel = 0;
constexpr int kZopfliLevel = -1;
constexpr int kDefaultLevel = 12;
constexpr int kMaxLevel = 12;

// Pieces each compression thread may have in flight (read, being compressed
// or waiting to be written); the pipeline holds jobs times this many pieces.
constexpr std::size_t kPiecesPerJob = 4;

// One command-line input: the name it is installed under and where to read it.
struct Input {
  std::string arg;  // the argument as given, for messages
  std::string name;
  std::string path;
};

// "NAME=PATH" splits at the first '=' when the text before it holds no '/';
// anything else is a PATH, named after its last path component, so that a
// path through a folder such as "r=1" stays whole.
Input ParseInput(const std::string& arg);

// Returns why name cannot be installed as a bare file name on Windows, or ""
// when it can.
std::string NameProblem(const std::string& name);

// Checks the whole input list without touching the files: at least one
// input, every name valid, no two names equal without regard to case, the
// first named exactly mainExe, and one named "uninst.exe".
bool CheckInputs(const std::vector<Input>& inputs, const std::string& mainExe, std::string* error);

// Checks the input files without opening them: each exists and is a regular
// file (a device, FIFO, socket or directory could block or never end), and
// together they hold at most kMaxPayloadBytes.
bool CheckInputFiles(const std::vector<Input>& inputs, std::string* error);

// Opens an input for reading. The open does not wait for a FIFO's writer or
// a device, and what was opened is checked again to be a regular file, in
// case the path changed since CheckInputFiles. Returns the descriptor, or -1.
int OpenInput(const Input& input, std::string* error);

struct ChunkRef {
  std::uint64_t offset;  // into the blob
  std::size_t length;    // compressed bytes
  std::uint32_t adler;   // zlib's Adler-32 of the compressed bytes
};

struct FileLayout {
  std::string name;
  std::uint64_t size;  // uncompressed bytes
  std::vector<ChunkRef> chunks;
  std::uint32_t hash;  // the content hash of payload/content_hash.h
};

// Where the chunks go. write appends one chunk to the blob; read gives back
// size bytes at offset of what was written before. Both return false and
// fill *error when they fail.
struct BlobAccess {
  std::function<bool(const unsigned char* data, std::size_t size, std::string* error)> write;
  std::function<bool(std::uint64_t offset, unsigned char* data, std::size_t size,
                     std::string* error)>
      read;
};

// How many pieces PackInputs read, and how many of them repeat an earlier
// piece byte for byte and refer to its chunk instead of a chunk of their own.
struct PackStats {
  std::uint64_t pieces = 0;
  std::uint64_t sharedPieces = 0;
  std::uint64_t sharedInputBytes = 0;  // the repeated pieces' own bytes
  std::uint64_t sharedChunkBytes = 0;  // compressed bytes they did not add to the blob
};

// Reads every input piece by piece and compresses each piece as its own zlib
// stream at the given level on jobs threads, except a piece whose bytes equal
// an earlier piece's: that one refers to the earlier chunk. Checks that each
// stream decompresses to its piece within kExtractBufferSize, and writes the
// chunks to the blob in table order as soon as they are ready. At most
// jobs * kPiecesPerJob pieces are held at a time and the repeats are found in
// a table of fixed size, so memory does not depend on the inputs. The chunks
// do not depend on jobs. On success *layout tells where each file's chunks
// lie in the blob.
bool PackInputs(const std::vector<Input>& inputs, unsigned jobs, int level, const BlobAccess& blob,
                std::vector<FileLayout>* layout, PackStats* stats, std::string* error);

// The distinct pieces seen so far, by a hash of their bytes and their size,
// to find pieces that repeat. A fixed table of kRepeatTableSize entries,
// allocated once; once kRepeatTableFill of them are taken, later pieces are
// still looked up but no longer added. A payload of 1 GiB in whole pieces
// has 35792, so in practice every distinct piece is kept.
constexpr std::size_t kRepeatTableSize = std::size_t{1} << 16;
constexpr std::size_t kRepeatTableFill = kRepeatTableSize / 4 * 3;

struct RepeatEntry {
  std::uint64_t hash = 0;
  std::uint64_t piece = 0;  // the piece's number in table order
  ChunkRef chunk{};         // where its chunk lies, once written
  std::uint32_t size = 0;   // 0 marks a free entry; no piece is empty
  bool written = false;
};

struct RepeatTable {
  std::vector<RepeatEntry> entries;
  std::size_t used = 0;
};

// The hash that RepeatTable keys pieces by.
std::uint64_t PieceHash(const unsigned char* data, std::size_t size);
void InitRepeatTable(RepeatTable* table);
// Index of the first entry with this hash and size, or -1.
long FindRepeat(const RepeatTable& table, std::uint64_t hash, std::size_t size);
// Adds a piece and returns its entry's index, or -1 when the table is full.
long AddRepeat(RepeatTable* table, std::uint64_t hash, std::size_t size, std::uint64_t piece);

// Escapes text for a C++ or assembler string literal (without the quotes):
// '"' and '\\' get a backslash, other printable ASCII except '?' stays, and
// every other byte becomes a three-digit octal escape.
std::string EscapeCString(const std::string& text);

// Puts text in double quotes for a diagnostic, with control and non-ASCII
// bytes as octal escapes so that the message stays one readable line.
std::string Quote(const std::string& text);

// The preprocessed assembler source that defines kPayloadBlob from the blob
// file at blobPath, which should be absolute.
std::string AsmSource(const std::string& blobPath);

// The checksum that the setup checks the table against: Adler-32 over
// fileCount, then per file its name and NUL, its chunk count, its size, its
// content hash, and per chunk its length and bytes, each count and length 4 bytes little-endian
// (see payload/payload.h). Made from each chunk's own Adler-32, so the chunk bytes are not read
// again.
std::uint32_t TableChecksum(const std::vector<FileLayout>& layout);

// The C++ source that defines kPayloadTable over kPayloadBlob, with its
// checksum. File 0 takes its name from kMainExeName.
std::string TableSource(const std::vector<FileLayout>& layout);

// The C++ source that defines kPayloadNames, the inputs' names in table
// order. Name 0 is kMainExeName, as in the table.
std::string NamesSource(const std::vector<Input>& inputs);

// The outputs as given on the command line: the option that names each one,
// and its path.
using OutputNames = std::vector<std::pair<std::string, std::string>>;

// Refuses outputs that are one file under two spellings ("od/o.bin" and
// "od/./o.bin", a path through a symbolic link, a hard link), outputs that
// are one of the inputs, and outputs that exist but are not regular files.
// Nothing is created or opened.
bool CheckOutputPaths(const OutputNames& outputs, const std::vector<Input>& inputs,
                      std::string* error);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of every
// OutputSet before they end the process.
void RemoveTemporariesOnSignal();

// Output files written under temporary names next to their final paths and
// renamed into place together by Commit. Whatever has not been committed when
// the set is destroyed is removed, so a failure at any point, an exception
// included, leaves no partial output behind; a rename that fails part way
// puts back the previous outputs already replaced.
class OutputSet {
 public:
  OutputSet() = default;
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;
  ~OutputSet();

  // Creates the temporary file for path under a name that nothing has yet
  // (a file or link under a name drawn is never written through; another
  // name is drawn) and locks it while this run lives. Temporary files of
  // path that no run holds locked are leftovers of runs that are gone and
  // are removed first. Returns its index, or -1.
  int Create(const std::string& path, std::string* error);
  bool Write(int index, const void* data, std::size_t size, std::string* error);
  // Reads back size bytes at offset of what was written to the file.
  bool Read(int index, std::uint64_t offset, void* data, std::size_t size, std::string* error);
  // Closes every temporary file and renames each onto its path: all of them,
  // or none, the previous outputs left as they were.
  bool Commit(std::string* error);

 private:
  struct Pending {
    std::string path;
    std::string temp;
    std::string previous;  // a second name of the output this run replaces
    int fd;
    int lock = -1;  // holds the temporary file's lock while it is renamed
  };
  bool KeepPrevious(std::string* error);
  bool RenameAll(std::string* error);
  std::vector<Pending> pending_;
};

}  // namespace mkpayload

#endif  // TIDEWELL_TOOLS_MKPAYLOAD_H
