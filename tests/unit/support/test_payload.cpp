#include "tests/unit/support/test_payload.h"

#include <signal.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/setup_config.h"
#include "payload/content_hash.h"

void TestPayload::Build(const std::vector<TestFile>& input) {
  names.clear();
  streams.clear();
  chunks.assign(input.size(), {});
  files.clear();
  for (const TestFile& file : input) names.push_back(file.name);
  // Compress everything first: the chunk records point into `streams`.
  std::vector<std::vector<size_t>> streamIndex(input.size());
  for (size_t f = 0; f < input.size(); ++f) {
    const std::string& data = input[f].contents;
    for (size_t at = 0; at < data.size(); at += kPayloadPieceSize) {
      size_t piece = std::min<size_t>(kPayloadPieceSize, data.size() - at);
      uLongf length = compressBound(piece);
      std::vector<unsigned char> stream(length);
      compress2(stream.data(), &length, reinterpret_cast<const Bytef*>(data.data() + at), piece,
                Z_DEFAULT_COMPRESSION);
      stream.resize(length);
      streamIndex[f].push_back(streams.size());
      streams.push_back(std::move(stream));
    }
  }
  for (size_t f = 0; f < input.size(); ++f) {
    for (size_t s : streamIndex[f]) {
      chunks[f].push_back({streams[s].data(), static_cast<unsigned int>(streams[s].size())});
    }
    const std::string& data = input[f].contents;
    unsigned int hash = kContentHashStart;
    for (size_t at = 0; at < data.size(); at += kPayloadPieceSize) {
      hash = FoldPieceHash(hash, HashPiece(reinterpret_cast<const unsigned char*>(data.data()) + at,
                                           std::min<size_t>(kPayloadPieceSize, data.size() - at)));
    }
    files.push_back({names[f].c_str(), static_cast<int>(chunks[f].size()),
                     chunks[f].empty() ? nullptr : chunks[f].data(),
                     static_cast<unsigned int>(data.size()), hash});
  }
  table.fileCount = static_cast<int>(files.size());
  table.files = files.empty() ? nullptr : files.data();
  checksum = PayloadChecksum(&table);
  table.checksum = &checksum;
}

std::string MakeContents(size_t size, unsigned seed) {
  std::string out(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    // Runs of text with some noise compress like a program's image.
    out[i] = (i / 64) % 3 == 0 ? static_cast<char>(state >> 24) : "Tidewell setup "[i % 15];
  }
  return out;
}

namespace {
TestPayload installed;
// Named from the start: the data directory stage checks the names' lengths.
PayloadFile installedFiles[2] = {{kMainExeName, 0, nullptr, 0, 0},
                                 {"uninst.exe", 0, nullptr, 0, 0}};
unsigned int installedChecksum;
}  // namespace

extern const Payload kPayloadTable = {2, installedFiles, &installedChecksum};

void SetInstalledPayload(const std::string& mainExe, const std::string& uninstaller) {
  installed.Build({{kMainExeName, mainExe}, {"uninst.exe", uninstaller}});
  installedFiles[0] = installed.files[0];
  installedFiles[0].name = kMainExeName;
  installedFiles[1] = installed.files[1];
  installedChecksum = PayloadChecksum(&kPayloadTable);
}

void CorruptInstalledName(int file) {
  static std::string damaged;
  damaged = installedFiles[file].name;
  damaged.back() ^= 1;
  installedFiles[file].name = damaged.c_str();
}

void CorruptInstalledChunk(int file, int chunk) {
  const PayloadChunk& target = installed.chunks[file][chunk];
  // The data is owned by `installed`; flip a byte of the deflate body.
  unsigned char* bytes = const_cast<unsigned char*>(target.data);
  bytes[target.compressedLength / 2] ^= 0x5A;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
  // A write past the limit then fails with EFBIG instead of ending the process.
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  previous = limit.rlim_cur;
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previous;
  setrlimit(RLIMIT_FSIZE, &limit);
}
