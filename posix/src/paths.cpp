// Windows paths over the POSIX file system: the drive mapping, the directory
// calls of the runtime library and the file-lookup functions of kernel32.
#include <direct.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <set>

#include "internal.h"

namespace standin {
namespace {

bool HasDrive(const char* path) {
  return isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

}  // namespace

// The directory that drive `letter` maps to, or false when it is unmapped.
// C: is the home directory and Z: the whole file system (as under Wine)
// unless SETUP_DRIVE_C or SETUP_DRIVE_Z say otherwise.
bool DriveRoot(char letter, std::string* root) {
  char upper = static_cast<char>(toupper(static_cast<unsigned char>(letter)));
  char name[] = "SETUP_DRIVE_X";
  name[sizeof name - 2] = upper;
  const char* value = getenv(name);
  if (value != nullptr && value[0] != '\0') {
    *root = value;
  } else if (upper == 'C') {
    *root = HomeDirectory();
  } else if (upper == 'Z') {
    *root = "/";
  } else {
    return false;
  }
  if (root->empty()) return false;
  while (root->size() > 1 && root->back() == '/') root->pop_back();
  return true;
}

namespace {

// Splits the path into its components, dropping "." and empty ones and
// resolving ".." without ever climbing above the start.
std::vector<std::string> Components(const char* path, bool* trailingSeparator) {
  std::vector<std::string> parts;
  std::string part;
  *trailingSeparator = false;
  for (const char* p = path;; ++p) {
    if (*p == '\0' || IsSeparator(*p)) {
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
      if (*p == '\0') break;
      *trailingSeparator = p[1] == '\0';
    } else {
      part += *p;
    }
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, char separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

std::set<WIN32_FIND_DATAA*>& OpenFinds() {
  static std::set<WIN32_FIND_DATAA*> finds;
  return finds;
}

}  // namespace

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool HasForbiddenCharacter(const char* windowsPath) {
  return windowsPath != nullptr && strpbrk(windowsPath, "*?\"<>|") != nullptr;
}

std::string HomeDirectory() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  struct passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string ConfigHome() {
  const char* value = getenv("XDG_CONFIG_HOME");
  if (value != nullptr && value[0] == '/') return value;
  return HomeDirectory() + "/.config";
}

std::string DataHome() {
  const char* value = getenv("XDG_DATA_HOME");
  if (value != nullptr && value[0] == '/') return value;
  return HomeDirectory() + "/.local/share";
}

bool MapPath(const char* windowsPath, std::string* posixPath) {
  if (windowsPath == nullptr) return false;
  if (!HasDrive(windowsPath)) {
    std::string out = windowsPath;
    for (char& c : out) {
      if (c == '\\') c = '/';
    }
    *posixPath = out;
    return true;
  }
  std::string root;
  if (!DriveRoot(windowsPath[0], &root)) return false;
  // "C:foo" has no current directory per drive here; it means "C:\foo".
  bool trailing = false;
  std::vector<std::string> parts = Components(windowsPath + 2, &trailing);
  std::string out = root;
  for (const std::string& part : parts) {
    if (out.back() != '/') out += '/';
    out += part;
  }
  if (trailing && !parts.empty()) out += '/';
  *posixPath = out;
  return true;
}

bool UnmapPath(const std::string& posixPath, std::string* windowsPath) {
  if (posixPath.empty() || posixPath[0] != '/') return false;
  bool trailing = false;
  std::vector<std::string> parts = Components(posixPath.c_str(), &trailing);
  // The drive whose folder holds the path most closely wins.
  size_t best = 0;
  char bestLetter = '\0';
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string root;
    if (!DriveRoot(letter, &root) || root[0] != '/') continue;
    std::vector<std::string> rootParts = Components(root.c_str(), &trailing);
    if (rootParts.size() > parts.size() || (bestLetter != '\0' && rootParts.size() <= best)) {
      continue;
    }
    if (std::equal(rootParts.begin(), rootParts.end(), parts.begin())) {
      best = rootParts.size();
      bestLetter = letter;
    }
  }
  if (bestLetter == '\0') return false;
  std::vector<std::string> rest(parts.begin() + static_cast<long>(best), parts.end());
  *windowsPath = std::string(1, bestLetter) + ":\\" + Join(rest, '\\');
  return true;
}

bool MakeDirectories(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      partial = path.substr(0, i);
      if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  // The temporary file sits next to the target so that rename() replaces it
  // in one step; a leading dot keeps it out of directory listings.
  size_t slash = path.rfind('/');
  size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  std::string pattern = path.substr(0, baseStart) + "." + path.substr(baseStart) + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  struct stat old;
  mode_t mode = 0644;
  if (stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;
  bool ok = fchmod(fd, mode) == 0;
  size_t done = 0;
  while (ok && done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.data(), path.c_str()) == 0;
  if (!ok) unlink(temp.data());
  return ok;
}

}  // namespace standin

using standin::MapPath;

bool StandinMapPath(const char* windowsPath, char* posixPath, size_t size) {
  std::string mapped;
  if (!MapPath(windowsPath, &mapped) || posixPath == nullptr || mapped.size() >= size) return false;
  standin::CopyCut(mapped, posixPath, size);
  return true;
}

bool StandinUnmapPath(const char* posixPath, char* windowsPath, size_t size) {
  std::string unmapped;
  if (posixPath == nullptr || !standin::UnmapPath(posixPath, &unmapped) || windowsPath == nullptr ||
      unmapped.size() >= size) {
    return false;
  }
  standin::CopyCut(unmapped, windowsPath, size);
  return true;
}

int _chdir(const char* path) {
  std::string mapped;
  return !standin::HasForbiddenCharacter(path) && MapPath(path, &mapped) &&
                 chdir(mapped.c_str()) == 0
             ? 0
             : -1;
}

int _mkdir(const char* path) {
  std::string mapped;
  return !standin::HasForbiddenCharacter(path) && MapPath(path, &mapped) &&
                 mkdir(mapped.c_str(), 0777) == 0
             ? 0
             : -1;
}

BOOL DeleteFileA(LPCSTR name) {
  std::string mapped;
  return MapPath(name, &mapped) && unlink(mapped.c_str()) == 0 ? TRUE : FALSE;
}

HANDLE FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA data) {
  std::string mapped;
  if (name == nullptr || data == nullptr || strpbrk(name, "*?") != nullptr ||
      !MapPath(name, &mapped)) {
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (mapped.empty() || stat(mapped.c_str(), &info) != 0) return INVALID_HANDLE_VALUE;
  memset(data, 0, sizeof *data);
  data->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  // The entry's name is the last component of the name asked for; a drive
  // root has none of its own, so the mapped directory's name stands in.
  bool trailing = false;
  const char* afterDrive =
      isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' ? name + 2 : name;
  std::vector<std::string> parts = standin::Components(afterDrive, &trailing);
  std::string last = parts.empty() ? mapped.substr(mapped.find_last_of('/') + 1) : parts.back();
  standin::CopyCut(last, data->cFileName, sizeof data->cFileName);
  WIN32_FIND_DATAA* find = new WIN32_FIND_DATAA(*data);
  standin::OpenFinds().insert(find);
  return find;
}

BOOL FindClose(HANDLE find) {
  auto& finds = standin::OpenFinds();
  auto it = finds.find(static_cast<WIN32_FIND_DATAA*>(find));
  if (it == finds.end()) return FALSE;
  delete *it;
  finds.erase(it);
  return TRUE;
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  if (name == nullptr || name[0] == '\0') return 0;
  std::string full;
  bool trailing = false;
  if (standin::HasDrive(name)) {
    std::string root;
    if (!standin::DriveRoot(name[0], &root)) return 0;
    std::vector<std::string> parts = standin::Components(name + 2, &trailing);
    full = std::string(name, 2) + "\\" + standin::Join(parts, '\\');
    if (trailing && !parts.empty()) full += '\\';
  } else {
    std::string path = name;
    if (!standin::IsSeparator(path[0])) {
      char cwd[4096];
      if (getcwd(cwd, sizeof cwd) == nullptr) return 0;
      path = std::string(cwd) + "/" + path;
    }
    std::vector<std::string> parts = standin::Components(path.c_str(), &trailing);
    full = "/" + standin::Join(parts, '/');
    if (trailing && !parts.empty()) full += '/';
  }
  if (buffer == nullptr || full.size() + 1 > size) return static_cast<DWORD>(full.size() + 1);
  standin::CopyCut(full, buffer, size);
  if (filePart != nullptr) {
    size_t cut = full.find_last_of("\\/");
    if (cut + 1 < full.size()) *filePart = buffer + cut + 1;
  }
  return static_cast<DWORD>(full.size());
}

UINT GetDriveTypeA(LPCSTR rootPath) {
  std::string root;
  if (rootPath == nullptr || !standin::HasDrive(rootPath) ||
      !(rootPath[2] == '\0' || (standin::IsSeparator(rootPath[2]) && rootPath[3] == '\0')) ||
      !standin::DriveRoot(rootPath[0], &root)) {
    return DRIVE_NO_ROOT_DIR;
  }
  struct stat info;
  return stat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}
