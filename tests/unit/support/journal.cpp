#include "tests/unit/support/journal.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

unsigned Check(unsigned sum, const void* data, size_t size) {
  return static_cast<unsigned>(adler32(sum, static_cast<const Bytef*>(data), size));
}

}  // namespace

TestJournal::TestJournal(const std::string& where) : folder(where) {
  std::filesystem::create_directories(folder);
  struct stat info;
  stat(folder.c_str(), &info);
  memcpy(header.magic, kJournalMagic, sizeof header.magic);
  header.version = kJournalVersion;
  header.run[0] = 0x1234;
  header.run[1] = 0x5678;
  // The stand-in numbers volumes and files by device and inode.
  header.volume = static_cast<unsigned>(info.st_dev);
  header.check = Check(1, &header, sizeof header - sizeof header.check);
  bytes.assign(reinterpret_cast<const char*>(&header), sizeof header);
}

TestJournal& TestJournal::Add(char tag, const std::string& name, const std::string& path,
                              unsigned value, const std::string& data) {
  struct stat info = {};
  if (!path.empty()) lstat(path.c_str(), &info);
  JournalRecord record = {
      static_cast<unsigned>(tag),
      static_cast<unsigned>(name.size()),
      {static_cast<unsigned>(info.st_ino),
       static_cast<unsigned>(static_cast<unsigned long long>(info.st_ino) >> 32)},
      value,
      static_cast<unsigned>(data.size())};
  unsigned sum = Check(Check(Check(Check(1, header.run, sizeof header.run), &record, sizeof record),
                             name.data(), name.size()),
                       data.data(), data.size());
  bytes.append(reinterpret_cast<const char*>(&record), sizeof record);
  bytes += name + data;
  bytes.append(reinterpret_cast<const char*>(&sum), sizeof sum);
  return *this;
}

void TestJournal::Save() const {
  std::ofstream(folder + "/journal", std::ios::binary) << bytes;
}
