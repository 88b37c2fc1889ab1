// Payload tables built in memory for tests, and the two-file table that the
// program under test sees as kPayloadTable.
#ifndef TIDEWELL_TESTS_TEST_PAYLOAD_H
#define TIDEWELL_TESTS_TEST_PAYLOAD_H

#include <string>
#include <vector>

#include "payload/payload.h"

struct TestFile {
  std::string name;
  std::string contents;
};

// Owns the chunks and records of a table made from whole files, cut into
// kPayloadPieceSize pieces and compressed one zlib stream per piece.
struct TestPayload {
  std::vector<std::string> names;
  std::vector<std::vector<unsigned char>> streams;
  std::vector<std::vector<PayloadChunk>> chunks;
  std::vector<PayloadFile> files;
  unsigned int checksum = 0;  // the table's own, recorded by Build
  Payload table{};
  void Build(const std::vector<TestFile>& files);
};

// Deterministic bytes of mixed compressibility.
std::string MakeContents(size_t size, unsigned seed);

// kPayloadTable of the test programs: two files, "tw32.exe" (kMainExeName)
// and "uninst.exe", whose contents a test sets with SetInstalledPayload.
void SetInstalledPayload(const std::string& mainExe, const std::string& uninstaller);
// Flips a byte inside the compressed data of a chunk of kPayloadTable.
void CorruptInstalledChunk(int file, int chunk);
// Flips a bit of the last letter of a file's name in kPayloadTable.
void CorruptInstalledName(int file);

// While set, the program's extraction buffer (kExtractBufferSize bytes)
// cannot be allocated. Other allocations are untouched.
extern bool failExtractBufferAllocation;

// While it lives, a write that would make a file larger than `bytes` fails,
// as on a full disk.
struct FileSizeLimit {
  explicit FileSizeLimit(unsigned long bytes);
  ~FileSizeLimit();
  unsigned long previous;
};

// The contents of a file, or "<missing>".
std::string ReadFile(const std::string& path);

#endif  // TIDEWELL_TESTS_TEST_PAYLOAD_H
