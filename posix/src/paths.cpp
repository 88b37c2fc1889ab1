// Windows paths over the POSIX file system: the drive mapping, the directory
// calls of the runtime library and the file-lookup functions of kernel32.
#include <direct.h>
#include <dirent.h>
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

// Windows drops what a name may not end in: a single dot that ends a
// component inside the path ("a.\b" is "a\b", "a..\b" is "a.\b"), and every
// trailing dot and blank of the last component unless a separator follows
// it ("C:\dir. " is "C:\dir", "C:\dir \" keeps its blank). "." and ".."
// are left for the caller to resolve.
std::string TrimmedWindowsComponent(std::string part, bool last) {
  if (part == "." || part == "..") return part;
  if (!last) {
    if (!part.empty() && part.back() == '.') part.pop_back();
    return part;
  }
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
  return part;
}

// Appends the components of `path` to `parts`, dropping "." and empty ones
// and resolving ".." against what is there, never climbing above the start.
// A Windows name's components are trimmed as Windows trims them first.
void AppendComponents(const char* path, bool windowsName, std::vector<std::string>* parts,
                      bool* trailingSeparator) {
  std::string part;
  *trailingSeparator = false;
  for (const char* p = path;; ++p) {
    if (*p == '\0' || IsSeparator(*p)) {
      bool last = *p == '\0';
      bool dropped = false;
      if (windowsName) {
        std::string trimmed = TrimmedWindowsComponent(part, last);
        // A last component of dots and blanks only is no name at all:
        // "C:\a\..." is "C:\a\".
        dropped = last && !part.empty() && trimmed.empty();
        part = trimmed;
      }
      if (part == "..") {
        if (!parts->empty()) parts->pop_back();
      } else if (!part.empty() && part != ".") {
        parts->push_back(part);
      }
      part.clear();
      if (last) {
        if (dropped) *trailingSeparator = true;
        break;
      }
      *trailingSeparator = p[1] == '\0';
    } else {
      part += *p;
    }
  }
}

// The components of a POSIX path, or of a Windows name with `windowsName`.
std::vector<std::string> Components(const char* path, bool* trailingSeparator,
                                    bool windowsName = false) {
  std::vector<std::string> parts;
  AppendComponents(path, windowsName, &parts, trailingSeparator);
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

// An open search: its entries, and the next one FindNextFileA gives.
struct Find {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

std::set<Find*>& OpenFinds() {
  static std::set<Find*> finds;
  return finds;
}

// Fills one search entry for the POSIX path under the name `name`; false,
// with the error set, when nothing is there.
bool FillFindData(const std::string& path, const std::string& name, WIN32_FIND_DATAA* data) {
  DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  struct stat info;
  uint64_t size = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
                      ? static_cast<uint64_t>(info.st_size)
                      : 0;
  memset(data, 0, sizeof *data);
  data->dwFileAttributes = attributes;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  CopyCut(name, data->cFileName, sizeof data->cFileName);
  return true;
}

// Keeps a search with at least one entry open and gives its first entry.
HANDLE KeepFind(const Find& find, WIN32_FIND_DATAA* data) {
  Find* kept = new Find(find);
  *data = kept->entries[kept->next++];
  OpenFinds().insert(kept);
  return kept;
}

// Lists the directory at the POSIX path.
HANDLE OpenListing(const std::string& directory, WIN32_FIND_DATAA* data) {
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) {
    SetError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  Find find;
  while (struct dirent* entry = readdir(listing)) {
    WIN32_FIND_DATAA found;
    if (FillFindData(directory + "/" + entry->d_name, entry->d_name, &found)) {
      find.entries.push_back(found);
    }
  }
  closedir(listing);
  if (find.entries.empty()) {
    SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return KeepFind(find, data);
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

namespace {

// A place in Windows terms: a drive and the components below its folder.
struct Place {
  char drive = '\0';
  std::vector<std::string> parts;
};

// How the current directory was last entered through _chdir: the drive of
// the name given and the POSIX directory that it led to.
char gEnteredDrive = '\0';
std::string gEnteredDirectory;

std::string PosixCurrentDirectory() {
  char cwd[4096];
  return getcwd(cwd, sizeof cwd) != nullptr ? cwd : "";
}

// The components of the absolute POSIX path `path` below `root`; false when
// `root` does not hold it.
bool Below(const std::string& root, const std::string& path, std::vector<std::string>* rest) {
  bool trailing = false;
  std::vector<std::string> rootParts = Components(root.c_str(), &trailing);
  std::vector<std::string> parts = Components(path.c_str(), &trailing);
  if (rootParts.size() > parts.size() ||
      !std::equal(rootParts.begin(), rootParts.end(), parts.begin())) {
    return false;
  }
  rest->assign(parts.begin() + static_cast<long>(rootParts.size()), parts.end());
  return true;
}

// Whether a drive's folder is the whole file system, as Z: is by default.
bool HoldsEverything(char drive) {
  std::string root;
  return DriveRoot(drive, &root) && root == "/";
}

// The drive whose folder holds the absolute POSIX path most closely.
bool PlaceOf(const std::string& posixPath, Place* place) {
  if (posixPath.empty() || posixPath[0] != '/') return false;
  bool found = false;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string root;
    std::vector<std::string> rest;
    if (!DriveRoot(letter, &root) || root[0] != '/' || !Below(root, posixPath, &rest)) continue;
    if (!found || rest.size() < place->parts.size()) {
      place->drive = letter;
      place->parts = rest;
      found = true;
    }
  }
  return found;
}

// The current directory in Windows terms: by the drive it was entered
// through while it is still current, else by the drive that holds it most
// closely. `entered` tells which.
bool CurrentPlace(Place* place, bool* entered) {
  std::string cwd = PosixCurrentDirectory();
  std::string root;
  *entered = gEnteredDrive != '\0' && !cwd.empty() && cwd == gEnteredDirectory &&
             DriveRoot(gEnteredDrive, &root) && Below(root, cwd, &place->parts);
  if (*entered) {
    place->drive = gEnteredDrive;
    return true;
  }
  return PlaceOf(cwd, place);
}

// The current drive, on which a rooted name without a drive such as "\x"
// lies. The host has no current drive of its own, so it is the drive of
// the current directory, with one exception: a drive that maps the whole
// file system (Z: by default) counts only when the current directory was
// entered through it, so that a user who types "\" never reaches the
// host's real "/". Failing both, it is C:. `onIt` tells whether the current
// directory lies on the drive returned; if so, `cwdParts` receives its
// components below the drive's folder.
char CurrentDrive(std::vector<std::string>* cwdParts, bool* onIt) {
  Place place;
  bool entered = false;
  *onIt = CurrentPlace(&place, &entered) && (entered || !HoldsEverything(place.drive));
  if (!*onIt) return 'C';
  *cwdParts = place.parts;
  return place.drive;
}

bool IsNetworkName(const char* path) {
  return IsSeparator(path[0]) && IsSeparator(path[1]);
}

// The place that a name with a drive ("X:\a", "X:a") or a rooted name
// without one ("\a") stands for, as Windows resolves it: a drive-relative
// name continues the current directory when it names the current drive, and
// starts at the drive's root otherwise (the host keeps no current directory
// per drive).
bool PlaceOfName(const char* path, Place* place, bool* trailingSeparator) {
  std::vector<std::string> cwdParts;
  bool onIt = false;
  char current = CurrentDrive(&cwdParts, &onIt);
  const char* rest = path;
  place->parts.clear();
  if (HasDrive(path)) {
    place->drive = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    rest = path + 2;
    if (!IsSeparator(path[2]) && onIt && place->drive == current) place->parts = cwdParts;
  } else {
    place->drive = current;
  }
  std::string root;
  if (!DriveRoot(place->drive, &root)) return false;
  AppendComponents(rest, true, &place->parts, trailingSeparator);
  return true;
}

}  // namespace

bool MapPath(const char* windowsPath, std::string* posixPath) {
  if (windowsPath == nullptr || IsNetworkName(windowsPath)) return false;  // no network here
  if (!HasDrive(windowsPath) && !IsSeparator(windowsPath[0])) {
    // Relative to the current directory, which POSIX keeps for us, so "."
    // and ".." are left to it; the components are trimmed as Windows does.
    std::string out, part;
    for (const char* p = windowsPath;; ++p) {
      if (*p == '\0' || IsSeparator(*p)) {
        out += TrimmedWindowsComponent(part, *p == '\0');
        if (*p == '\0') break;
        out += '/';
        part.clear();
      } else {
        part += *p;
      }
    }
    *posixPath = out;
    return true;
  }
  Place place;
  bool trailing = false;
  std::string root;
  if (!PlaceOfName(windowsPath, &place, &trailing) || !DriveRoot(place.drive, &root)) return false;
  std::string out = root;
  for (const std::string& part : place.parts) {
    if (out.back() != '/') out += '/';
    out += part;
  }
  if (trailing && !place.parts.empty()) out += '/';
  ResolveThroughHeldDirectory(&out);
  *posixPath = out;
  return true;
}

bool UnmapPath(const std::string& posixPath, std::string* windowsPath) {
  Place place;
  if (!PlaceOf(posixPath, &place)) return false;
  *windowsPath = std::string(1, place.drive) + ":\\" + Join(place.parts, '\\');
  return true;
}

bool FullWindowsPath(const char* name, std::string* full) {
  if (name == nullptr || name[0] == '\0') return false;
  bool trailing = false;
  if (IsNetworkName(name)) {
    std::vector<std::string> parts = Components(name, &trailing, true);
    *full = "\\\\" + Join(parts, '\\');
  } else {
    Place place;
    if (HasDrive(name) || IsSeparator(name[0])) {
      if (!PlaceOfName(name, &place, &trailing)) return false;
    } else {
      bool entered = false;
      if (!CurrentPlace(&place, &entered)) return false;
      AppendComponents(name, true, &place.parts, &trailing);
    }
    *full = std::string(1, place.drive) + ":\\" + Join(place.parts, '\\');
    if (place.parts.empty()) trailing = false;
  }
  if (trailing) *full += '\\';
  return true;
}

char DriveOfName(const char* windowsPath) {
  if (HasDrive(windowsPath)) {
    return static_cast<char>(toupper(static_cast<unsigned char>(windowsPath[0])));
  }
  std::vector<std::string> cwdParts;
  bool onIt = false;
  return CurrentDrive(&cwdParts, &onIt);
}

void RecordEnteredDirectory(char drive) {
  gEnteredDrive = drive;
  gEnteredDirectory = PosixCurrentDirectory();
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

DWORD AttributesOf(const std::string& posixPath) {
  struct stat info;
  if (lstat(posixPath.c_str(), &info) != 0) {
    SetError(ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!S_ISLNK(info.st_mode)) {
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  }
  // A symbolic link is a reparse point, of a directory when it leads to one.
  bool directory = stat(posixPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  return FILE_ATTRIBUTE_REPARSE_POINT | (directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

bool MapPathForCall(const char* windowsPath, std::string* posixPath) {
  if (windowsPath == nullptr || windowsPath[0] == '\0') {
    SetError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (HasForbiddenCharacter(windowsPath)) {
    SetError(ERROR_INVALID_NAME);
    return false;
  }
  if (IsNetworkName(windowsPath)) {
    SetError(ERROR_BAD_NETPATH);
    return false;
  }
  if (!MapPath(windowsPath, posixPath) || posixPath->empty()) {
    SetError(ERROR_PATH_NOT_FOUND);  // an unmapped drive, as for a drive that is not there
    return false;
  }
  return true;
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
  if (standin::HasForbiddenCharacter(path) || !MapPath(path, &mapped)) return -1;
  char drive = standin::DriveOfName(path);
  if (chdir(mapped.c_str()) != 0) return -1;
  standin::RecordEnteredDirectory(drive);
  return 0;
}

int _mkdir(const char* path) {
  standin::DiskCall();
  std::string mapped;
  return !standin::HasForbiddenCharacter(path) && MapPath(path, &mapped) &&
                 mkdir(mapped.c_str(), 0777) == 0
             ? 0
             : -1;
}

BOOL DeleteFileA(LPCSTR name) {
  standin::DiskCall();
  std::string mapped;
  if (!standin::MapPathForCall(name, &mapped)) return FALSE;
  if (standin::IsHeldOpenElsewhere(mapped)) {
    standin::SetError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  standin::DiskRelease(mapped);
  if (unlink(mapped.c_str()) != 0) {
    standin::SetError(standin::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

HANDLE FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA data) {
  if (name == nullptr || data == nullptr || name[0] == '\0') {
    standin::SetError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  size_t length = strlen(name);
  // "<directory>\*" lists the directory, "." and ".." included as Windows
  // lists them; no other pattern is supported.
  if (length >= 2 && name[length - 1] == '*' && standin::IsSeparator(name[length - 2])) {
    std::string directory(name, length - 1);
    std::string mapped;
    if (strpbrk(directory.c_str(), "*?") != nullptr) {
      standin::SetError(ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
    if (!standin::MapPathForCall(directory.c_str(), &mapped)) return INVALID_HANDLE_VALUE;
    return standin::OpenListing(mapped, data);
  }
  std::string mapped;
  // As on Windows, a name that ends in a separator asks for the entries of a
  // directory by an empty pattern and finds nothing, even for a drive root.
  if (strpbrk(name, "*?") != nullptr || standin::IsSeparator(name[length - 1])) {
    standin::SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!standin::MapPathForCall(name, &mapped)) return INVALID_HANDLE_VALUE;
  // The entry's name is the last component of the name asked for; a drive
  // root has none of its own, so the mapped directory's name stands in.
  bool trailing = false;
  const char* afterDrive =
      isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' ? name + 2 : name;
  std::vector<std::string> parts = standin::Components(afterDrive, &trailing, true);
  std::string last = parts.empty() ? mapped.substr(mapped.find_last_of('/') + 1) : parts.back();
  standin::Find find;
  if (mapped.empty() || !standin::FillFindData(mapped, last, &find.entries.emplace_back())) {
    return INVALID_HANDLE_VALUE;
  }
  return standin::KeepFind(find, data);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  auto& finds = standin::OpenFinds();
  auto it = finds.find(static_cast<standin::Find*>(find));
  if (it == finds.end() || data == nullptr) {
    standin::SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  standin::Find* state = *it;
  if (state->next >= state->entries.size()) {
    standin::SetError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = state->entries[state->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  auto& finds = standin::OpenFinds();
  auto it = finds.find(static_cast<standin::Find*>(find));
  if (it == finds.end()) return FALSE;
  delete *it;
  finds.erase(it);
  return TRUE;
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  std::string full;
  if (!standin::FullWindowsPath(name, &full)) return 0;
  if (buffer == nullptr || full.size() + 1 > size) return static_cast<DWORD>(full.size() + 1);
  standin::CopyCut(full, buffer, size);
  if (filePart != nullptr) {
    size_t cut = full.find_last_of('\\');
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
