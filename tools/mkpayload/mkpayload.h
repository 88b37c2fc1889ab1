// mkpayload: packs product files into the payload blob and its table.
//
// Functions report failure by returning false (or a non-empty reason) and
// filling *error with a message that names the offending input; they never
// print. main.cpp turns these into diagnostics and the exit status.
#ifndef TIDEWELL_TOOLS_MKPAYLOAD_H
#define TIDEWELL_TOOLS_MKPAYLOAD_H

#include <cstddef>
#include <string>
#include <vector>

namespace mkpayload {

// Must match kPayloadPieceSize and kExtractBufferSize of payload/payload.h.
constexpr std::size_t kPieceSize = 30000;
constexpr std::size_t kExtractBufferSize = 32000;

using Bytes = std::vector<unsigned char>;

// One command-line input: the name it is installed under and where to read it.
struct Input {
  std::string arg;  // the argument as given, for messages
  std::string name;
  std::string path;
};

// "NAME=PATH" splits at the first '='; a plain PATH is named after its last
// path component.
Input ParseInput(const std::string& arg);

// Returns why name cannot be created as a bare file name on Windows, or ""
// when it can.
std::string NameProblem(const std::string& name);

// Checks the whole input list: at least one input, every name valid, no two
// names equal without regard to case, the first named exactly mainExe, and
// one named "uninst.exe".
bool CheckInputs(const std::vector<Input>& inputs, const std::string& mainExe, std::string* error);

struct SourceFile {
  std::string name;
  Bytes data;
};

// Reads a regular file whole; directories and unreadable paths fail.
bool ReadInput(const Input& input, SourceFile* file, std::string* error);

// The compressed chunks of every file: chunks[f][c] is chunk c of file f.
using FileChunks = std::vector<std::vector<Bytes>>;

// Compresses every piece of every file as its own zlib stream on a pool of
// jobs threads, then checks that each stream decompresses to its piece. The
// result does not depend on jobs.
bool CompressAll(const std::vector<SourceFile>& files, unsigned jobs, FileChunks* chunks,
                 std::string* error);

struct ChunkRef {
  std::size_t offset;  // into the blob
  std::size_t length;  // compressed bytes
};

struct FileLayout {
  std::string name;
  std::size_t size;  // uncompressed bytes, for the generated header comment
  std::vector<ChunkRef> chunks;
};

// Concatenates all chunks in table order into *blob and returns where each
// one landed.
std::vector<FileLayout> BuildLayout(const std::vector<SourceFile>& files, const FileChunks& chunks,
                                    Bytes* blob);

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

// The C++ source that defines kPayloadTable over kPayloadBlob. File 0 takes
// its name from kMainExeName.
std::string TableSource(const std::vector<FileLayout>& layout);

// Writes each content to a temporary name next to its path, then renames all
// into place. On failure it removes what it wrote and returns false.
struct OutputFile {
  std::string path;
  Bytes content;
};
bool WriteOutputs(const std::vector<OutputFile>& outputs, std::string* error);

}  // namespace mkpayload

#endif  // TIDEWELL_TOOLS_MKPAYLOAD_H
