// The host's Program Manager: a DDE server for PROGMAN that turns the group
// and item commands into freedesktop desktop entries. Items of the "Startup"
// group become autostart entries; items of other groups become menu entries
// named "<group>-<item>.desktop". Each entry records its group under
// kGroupKey, so that a group can be deleted with all of its items.
#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <fstream>

#include "internal.h"

namespace standin {
namespace {

const char kGroupKey[] = "X-Progman-Group";

std::string& CurrentGroup() {
  static std::string group;
  return group;
}

// Splits "Name(arg,arg,...)" into the name and its arguments. A quoted
// argument may hold commas; its quotes are removed.
bool ParseCommand(const std::string& command, std::string* name, std::vector<std::string>* args) {
  size_t open = command.find('(');
  if (open == std::string::npos || open == 0 || command.back() != ')') return false;
  *name = command.substr(0, open);
  std::string arg;
  bool quoted = false;
  for (size_t i = open + 1; i + 1 < command.size(); ++i) {
    char c = command[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      args->push_back(arg);
      arg.clear();
    } else if ((c == '(' || c == ')') && !quoted) {
      return false;
    } else {
      arg += c;
    }
  }
  if (quoted) return false;
  args->push_back(arg);
  return true;
}

std::string SanitizedName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  }
  return out;
}

bool IsStartup(const std::string& group) {
  return EqualNoCase(group, "Startup");
}

std::string EntryDirectory(const std::string& group) {
  return IsStartup(group) ? ConfigHome() + "/autostart" : DataHome() + "/applications";
}

std::string EntryPath(const std::string& group, const std::string& item) {
  std::string file = IsStartup(group) ? SanitizedName(item) : SanitizedName(group + "-" + item);
  return EntryDirectory(group) + "/" + file + ".desktop";
}

// Escapes a value of type string or localestring of a desktop entry.
std::string EscapeValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One argument of an Exec key: quoted when it holds a reserved character,
// with '"', '`', '$' and '\' escaped inside the quotes, and '%' doubled so
// that it is not a field code. The value escaping comes on top of that.
std::string ExecArgument(const std::string& arg) {
  const char* reserved = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = arg.empty() || arg.find_first_of(reserved) != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : arg) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  if (quote) out += '"';
  return EscapeValue(out);
}

// Desktop entries need absolute paths; a path without a drive is taken
// relative to the current directory, as the program meant it.
bool MapAbsolute(const std::string& windowsPath, std::string* path) {
  if (!MapPath(windowsPath.c_str(), path)) return false;
  if (!path->empty() && (*path)[0] == '/') return true;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return false;
  *path = std::string(cwd) + "/" + *path;
  return true;
}

bool AddItem(const std::vector<std::string>& args) {
  if (CurrentGroup().empty() || args.empty() || args.size() > 10 || args[0].empty()) return false;
  std::string target;
  if (!MapAbsolute(args[0], &target)) return false;
  std::string item = args.size() > 1 ? args[1] : "";
  if (item.empty()) {
    // Without a name the item is named after its file, as Program Manager does.
    size_t slash = args[0].find_last_of("\\/:");
    item = args[0].substr(slash == std::string::npos ? 0 : slash + 1);
    item = item.substr(0, item.rfind('.'));
    if (item.empty()) return false;
  }
  std::string directory;
  if (args.size() > 6 && !args[6].empty() && !MapAbsolute(args[6], &directory)) return false;
  MakeRunnable(target);
  std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  entry += "Name=" + EscapeValue(item) + "\n";
  entry += "Exec=" + ExecArgument(target) + "\n";
  if (!directory.empty()) entry += "Path=" + EscapeValue(directory) + "\n";
  entry += "Terminal=false\nCategories=Utility;\n";
  entry += std::string(kGroupKey) + "=" + EscapeValue(CurrentGroup()) + "\n";
  return MakeDirectories(EntryDirectory(CurrentGroup())) &&
         WriteFileAtomically(EntryPath(CurrentGroup(), item), entry);
}

// The group an entry file records, or "" when it records none.
std::string RecordedGroup(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  const std::string key = std::string(kGroupKey) + "=";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
  }
  return "";
}

// Removes every entry that records the group; false when the group has none.
bool DeleteGroup(const std::string& group) {
  std::string directory = EntryDirectory(group);
  DIR* entries = opendir(directory.c_str());
  if (entries == nullptr) return false;
  bool any = false;
  for (struct dirent* e = readdir(entries); e != nullptr; e = readdir(entries)) {
    std::string name = e->d_name;
    if (name.size() < 8 || name.compare(name.size() - 8, 8, ".desktop") != 0) continue;
    std::string path = directory + "/" + name;
    if (EqualNoCase(RecordedGroup(path), EscapeValue(group)) && unlink(path.c_str()) == 0) {
      any = true;
    }
  }
  closedir(entries);
  if (EqualNoCase(CurrentGroup(), group)) CurrentGroup().clear();
  return any;
}

bool RunOne(const std::string& command) {
  std::string name;
  std::vector<std::string> args;
  if (!ParseCommand(command, &name, &args)) return false;
  name = ToLower(name);
  if (name == "creategroup") {
    if (args.size() > 2 || args[0].empty()) return false;
    CurrentGroup() = args[0];
    return true;
  }
  if (name == "showgroup") {
    if (args.size() != 2 || args[0].empty() || args[1].empty() ||
        args[1].find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    CurrentGroup() = args[0];
    return true;
  }
  if (name == "deletegroup") {
    if (args.size() != 1 || args[0].empty()) return false;
    return DeleteGroup(args[0]);
  }
  if (name == "replaceitem" || name == "deleteitem") {
    if (CurrentGroup().empty() || args.size() != 1 || args[0].empty()) return false;
    // ReplaceItem makes room for an item that may not exist yet; DeleteItem
    // is refused for an item that is not there.
    bool removed = unlink(EntryPath(CurrentGroup(), args[0]).c_str()) == 0;
    return name == "replaceitem" || removed;
  }
  if (name == "additem") return AddItem(args);
  return false;
}

}  // namespace

void ResetProgramManager() {
  CurrentGroup().clear();
}

}  // namespace standin

using namespace standin;

bool StandinProgramManagerExecute(const char* command) {
  // One text may hold several bracketed commands; all of them must succeed.
  std::string text = Text(command);
  size_t pos = 0;
  bool any = false;
  while (pos < text.size()) {
    if (text[pos] != '[') return false;
    size_t close = pos + 1;
    for (bool quoted = false; close < text.size() && (quoted || text[close] != ']'); ++close) {
      if (text[close] == '"') quoted = !quoted;
    }
    if (close == text.size()) return false;
    if (!RunOne(text.substr(pos + 1, close - pos - 1))) return false;
    any = true;
    pos = close + 1;
  }
  return any;
}

void StandinRegisterProgramManager() {
  StandinRegisterDdeServer("PROGMAN", "PROGMAN", [](const unsigned char* data, DWORD length) {
    const char* bytes = reinterpret_cast<const char*>(data);
    std::string text(bytes, length);
    return StandinProgramManagerExecute(text.substr(0, text.find('\0')).c_str());
  });
}
