// The private-profile functions over initialization files: "[Section]" lines
// and "key=value" entries, with section and key names compared without regard
// to case. A write changes only the lines it must and keeps every other byte.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "internal.h"

namespace standin {
namespace {

const char kBlanks[] = " \t";

std::string Trim(const std::string& text) {
  size_t start = text.find_first_not_of(kBlanks);
  if (start == std::string::npos) return "";
  size_t end = text.find_last_not_of(kBlanks);
  return text.substr(start, end - start + 1);
}

// A bare file name lives in the Windows directory; a name with a separator or
// a drive is a path of its own. A write makes a missing Windows directory.
bool ProfilePath(const char* fileName, bool forWriting, std::string* path) {
  const char* name = fileName != nullptr ? fileName : "win.ini";
  if (name[0] == '\0') return false;
  if (strpbrk(name, "\\/:") != nullptr) return MapPath(name, path);
  const char* windowsDir = getenv("SETUP_WINDOWS_DIR");
  std::string dir = windowsDir != nullptr && windowsDir[0] != '\0' ? windowsDir : ConfigHome();
  *path = dir + "/" + name;
  return !forWriting || MakeDirectories(dir);
}

// Follows symbolic links from `path` to the file they name, so that a write
// replaces that file and the links stay as they are. False for a loop.
bool FollowLinks(std::string* path) {
  const int kMaxLinks = 40;  // as the kernel allows when it resolves a name
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info;
    if (lstat(path->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::vector<char> target(static_cast<size_t>(PATH_MAX));
    ssize_t n = readlink(path->c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return false;
    std::string next(target.data(), static_cast<size_t>(n));
    if (next[0] != '/') {
      size_t slash = path->rfind('/');
      next = (slash == std::string::npos ? "" : path->substr(0, slash + 1)) + next;
    }
    *path = next;
  }
  return false;
}

// A value in one pair of double quotes stands for the text between them.
std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The file as lines, each with its own line ending (the last may have none).
// A missing file has no lines; a file that exists but cannot be read is an
// error, so that a write never replaces content it could not see.
bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    struct stat info;
    return stat(path.c_str(), &info) != 0 && errno == ENOENT;
  }
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines->push_back(text.substr(start, end - start));
    start = end;
  }
  return !in.bad();
}

// The line without its "\n" or "\r\n".
std::string Body(const std::string& line) {
  size_t n = line.size();
  if (n > 0 && line[n - 1] == '\n') --n;
  if (n > 0 && line[n - 1] == '\r') --n;
  return line.substr(0, n);
}

bool SectionName(const std::string& line, std::string* name) {
  std::string body = Trim(Body(line));
  size_t close = body.find(']');
  if (body.empty() || body[0] != '[' || close == std::string::npos) return false;
  *name = Trim(body.substr(1, close - 1));
  return true;
}

// An entry line: the key before the first '=', which is at `equals`.
bool EntryKey(const std::string& line, std::string* key, size_t* equals) {
  std::string body = Body(line);
  std::string trimmed = Trim(body);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#' || trimmed[0] == '[') return false;
  *equals = body.find('=');
  if (*equals == std::string::npos) return false;
  *key = Trim(body.substr(0, *equals));
  return !key->empty();
}

// The lines of one section: [header, end) where `end` is the next header or
// the end of the file. False when the section is absent.
bool FindSection(const std::vector<std::string>& lines, const std::string& section, size_t* header,
                 size_t* end) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!SectionName(lines[i], &name) || !EqualNoCase(name, section)) continue;
    *header = i;
    *end = i + 1;
    while (*end < lines.size() && !SectionName(lines[*end], &name)) ++*end;
    return true;
  }
  return false;
}

bool FindEntry(const std::vector<std::string>& lines, size_t from, size_t to,
               const std::string& key, size_t* index, size_t* equals) {
  std::string name;
  for (size_t i = from; i < to; ++i) {
    if (EntryKey(lines[i], &name, equals) && EqualNoCase(name, key)) {
      *index = i;
      return true;
    }
  }
  return false;
}

std::string Newline(const std::vector<std::string>& lines) {
  return !lines.empty() && Body(lines[0]).size() + 2 == lines[0].size() ? "\r\n" : "\n";
}

}  // namespace
}  // namespace standin

using namespace standin;

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR value,
                               DWORD size, LPCSTR fileName) {
  if (value == nullptr || size == 0) return 0;
  // The default may be the destination buffer itself, so it is copied first.
  std::string result = Trim(Text(defaultValue));
  std::string path;
  if (section != nullptr && key != nullptr && ProfilePath(fileName, false, &path)) {
    std::vector<std::string> lines;
    ReadLines(path, &lines);
    size_t header = 0, end = 0, index = 0, equals = 0;
    if (FindSection(lines, section, &header, &end) &&
        FindEntry(lines, header + 1, end, key, &index, &equals)) {
      result = Unquoted(Trim(Body(lines[index]).substr(equals + 1)));
    }
  }
  return static_cast<DWORD>(CopyCut(result, value, size));
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  LogEvent("WritePrivateProfileStringA|" + Text(section) + "|" + Text(key) + "|" + Text(value) +
           "|" + Text(fileName));
  std::string path;
  std::vector<std::string> lines;
  if (section == nullptr || !ProfilePath(fileName, true, &path) || !FollowLinks(&path) ||
      !ReadLines(path, &lines)) {
    return FALSE;
  }
  const std::string newline = Newline(lines);
  size_t header = 0, end = 0, index = 0, equals = 0;
  bool haveSection = FindSection(lines, section, &header, &end);
  if (key == nullptr) {
    // A null key removes the whole section.
    if (!haveSection) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(header), lines.begin() + static_cast<long>(end));
  } else if (haveSection && FindEntry(lines, header + 1, end, key, &index, &equals)) {
    const std::string& line = lines[index];
    std::string ending = line.substr(Body(line).size());
    if (value == nullptr) {
      lines.erase(lines.begin() + static_cast<long>(index));
    } else {
      lines[index] = line.substr(0, equals + 1) + value + ending;
    }
  } else if (value != nullptr) {
    if (!lines.empty() && lines.back().back() != '\n') lines.back() += newline;
    std::string entry = std::string(key) + "=" + value + newline;
    if (haveSection) {
      // After the section's last entry, so blank lines before the next
      // section stay where they are.
      size_t at = end;
      while (at > header + 1 && Trim(Body(lines[at - 1])).empty()) --at;
      lines.insert(lines.begin() + static_cast<long>(at), entry);
    } else {
      lines.push_back("[" + std::string(section) + "]" + newline);
      lines.push_back(entry);
    }
  } else {
    return TRUE;  // deleting an entry that is not there
  }
  std::string content;
  for (const std::string& line : lines) content += line;
  return WriteFileAtomically(path, content) ? TRUE : FALSE;
}
