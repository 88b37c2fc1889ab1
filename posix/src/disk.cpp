// The disk as a power cut and a full volume leave it, and the calls that
// make data durable. Both modes are off unless a test or the environment
// turns them on; the other file calls tell this file what they are about
// to do, in one line each.
//
// A power cut (SETUP_POWER_CUT_AT=n, SETUP_POWER_CUT_SEED=s): the n-th
// call that changes the disk (counted from 1: a creation, a write, a
// truncation, a flush, a rename, a deletion) does not happen. Instead every
// write since its file's last FlushFileBuffers is, for each 512-byte sector
// and as the seed decides, kept, put back as it was, or zeroed (an
// extension that never reached the disk reads back as zeros), and the
// process ends as kill -9 would. Creations, renames, deletions and lengths
// are kept, as NTFS keeps its metadata in order.
//
// A drive budget (SETUP_DISK_FREE=bytes, or StandinSetDiskFree): the files
// under drive C: may grow by that many bytes from the first call on, all
// together, as on a full volume; a write or an extension past it fails with
// ERROR_DISK_FULL and changes nothing, and GetDiskFreeSpaceExA reports what
// is left. Deleting a file's last name gives its bytes back.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>

#include "internal.h"

namespace standin {
namespace {

const off_t kSector = 512;

// A file written since its last flush: a descriptor of its own, which
// outlives the program's handle and any rename, and its sectors as they
// were before the first write since then.
struct Unflushed {
  int fd;
  std::map<off_t, std::array<char, kSector>> before;
};

struct Disk {
  bool read = false;
  long cutAt = 0;
  unsigned long seed = 0;
  long calls = 0;
  std::map<std::pair<dev_t, ino_t>, Unflushed> unflushed;
  bool budgeted = false;
  long long used = 0;
  long long limit = 0;
  long long most = 0;
};

Disk& State() {
  static Disk disk;
  if (!disk.read) {
    disk.read = true;
    const char* at = getenv("SETUP_POWER_CUT_AT");
    const char* seed = getenv("SETUP_POWER_CUT_SEED");
    disk.cutAt = at != nullptr ? atol(at) : 0;
    disk.seed = seed != nullptr ? strtoul(seed, nullptr, 10) : 0;
    const char* free = getenv("SETUP_DISK_FREE");
    if (free != nullptr && free[0] != '\0') StandinSetDiskFree(atoll(free));
  }
  return disk;
}

long long usedByWalk;
int AddSize(const char*, const struct stat* info, int type, struct FTW*) {
  if (type == FTW_F && S_ISREG(info->st_mode)) usedByWalk += info->st_size;
  return 0;
}

// One of keep (0), put back (1) and zero (2), from the seed, the call and
// the sector: a small mixing function, the same on every machine.
int Choose(unsigned long seed, long call, off_t sector, ino_t inode) {
  unsigned long long x = seed * 0x9E3779B97F4A7C15ull ^ static_cast<unsigned long long>(call) ^
                         static_cast<unsigned long long>(sector) << 20 ^
                         static_cast<unsigned long long>(inode) << 40;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  return static_cast<int>(x % 3);
}

void CutPower(Disk& disk) {
  static const std::array<char, kSector> zeros{};
  for (auto& [id, file] : disk.unflushed) {
    struct stat info;
    if (fstat(file.fd, &info) != 0) continue;
    for (const auto& [sector, bytes] : file.before) {
      if (sector >= info.st_size) continue;
      size_t size = static_cast<size_t>(std::min<off_t>(kSector, info.st_size - sector));
      switch (disk.seed == 0 ? 0 : Choose(disk.seed, disk.calls, sector, id.second)) {
        case 1:
          if (pwrite(file.fd, bytes.data(), size, sector) < 0) continue;
          break;
        case 2:
          if (pwrite(file.fd, zeros.data(), size, sector) < 0) continue;
          break;
      }
    }
  }
  raise(SIGKILL);
}

}  // namespace

void DiskCall() {
  Disk& disk = State();
  if (disk.cutAt > 0 && ++disk.calls == disk.cutAt) CutPower(disk);
}

bool DiskWrite(int fd, size_t size) {
  Disk& disk = State();
  struct stat info;
  off_t offset = lseek(fd, 0, SEEK_CUR);
  if ((disk.cutAt <= 0 && !disk.budgeted) || size == 0 || offset < 0 || fstat(fd, &info) != 0) {
    return true;
  }
  off_t end = offset + static_cast<off_t>(size);
  if (disk.budgeted && end > info.st_size && !DiskResize(info.st_size, end)) return false;
  if (disk.cutAt <= 0) return true;
  Unflushed& file = disk.unflushed[{info.st_dev, info.st_ino}];
  if (file.before.empty()) file.fd = dup(fd);
  for (off_t sector = offset / kSector * kSector; sector < end; sector += kSector) {
    if (file.before.count(sector) != 0) continue;
    std::array<char, kSector> bytes{};
    if (pread(fd, bytes.data(), kSector, sector) < 0) bytes.fill(0);
    file.before[sector] = bytes;
  }
  return true;
}

bool DiskResize(off_t from, off_t to) {
  Disk& disk = State();
  if (!disk.budgeted) return true;
  if (disk.used + (to - from) > disk.limit) {
    SetError(ERROR_DISK_FULL);
    return false;
  }
  disk.used += to - from;
  disk.most = std::max(disk.most, disk.used);
  return true;
}

void DiskRelease(const std::string& posixPath) {
  struct stat info;
  if (State().budgeted && lstat(posixPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_nlink == 1) {
    DiskResize(info.st_size, 0);
  }
}

}  // namespace standin

using namespace standin;

BOOL FlushFileBuffers(HANDLE file) {
  DiskCall();
  LogEvent("FlushFileBuffers");
  int fd = DescriptorOfFile(file);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || fsync(fd) != 0) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto& unflushed = State().unflushed;
  auto it = unflushed.find({info.st_dev, info.st_ino});
  if (it != unflushed.end()) {
    close(it->second.fd);
    unflushed.erase(it);
  }
  return TRUE;
}

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER available, PULARGE_INTEGER total,
                         PULARGE_INTEGER free) {
  std::string mapped;
  struct statvfs volume;
  if (!MapPathForCall(directory, &mapped) || statvfs(mapped.c_str(), &volume) != 0) {
    SetError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const Disk& disk = State();
  unsigned long long left =
      disk.budgeted ? static_cast<unsigned long long>(std::max(0LL, disk.limit - disk.used))
                    : static_cast<unsigned long long>(volume.f_bavail) * volume.f_frsize;
  if (available != nullptr) available->QuadPart = left;
  if (free != nullptr) free->QuadPart = left;
  if (total != nullptr) {
    total->QuadPart = static_cast<unsigned long long>(volume.f_blocks) * volume.f_frsize;
  }
  return TRUE;
}

void StandinSetDiskFree(long long bytes) {
  Disk& disk = State();
  disk.budgeted = bytes >= 0;
  std::string root;
  usedByWalk = 0;
  if (disk.budgeted && DriveRoot('C', &root)) nftw(root.c_str(), AddSize, 16, FTW_PHYS);
  disk.used = disk.most = usedByWalk;
  disk.limit = usedByWalk + bytes;
}

void StandinDiskUse(long long* now, long long* most) {
  *now = State().used;
  *most = State().most;
}
