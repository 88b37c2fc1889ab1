// Input parsing and the rules for payload file names.
#include "mkpayload.h"

#include <set>

namespace mkpayload {
namespace {

// Windows compares file names without regard to case.
std::string Folded(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The digit of a COM or LPT device name: an ASCII digit, or superscript one,
// two or three, which Windows also accepts, spelt in Latin-1 or in UTF-8.
bool IsDeviceDigit(const std::string& text) {
  static const std::set<std::string> kDigits = {
      "0", "1", "2",    "3",    "4",    "5",        "6",        "7",
      "8", "9", "\xb9", "\xb2", "\xb3", "\xc2\xb9", "\xc2\xb2", "\xc2\xb3"};
  return kDigits.count(text) != 0;
}

// Device names that Windows opens instead of a file, whatever extension follows.
bool IsReservedDevice(const std::string& name) {
  std::string base = Folded(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const std::set<std::string> kFixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (kFixed.count(base) != 0) return true;
  return base.size() >= 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         IsDeviceDigit(base.substr(3));
}

}  // namespace

Input ParseInput(const std::string& arg) {
  Input input;
  input.arg = arg;
  std::size_t eq = arg.find('=');
  // A '/' before the '=' makes it part of a folder's name in a path.
  if (eq != std::string::npos && arg.find('/') > eq) {
    input.name = arg.substr(0, eq);
    input.path = arg.substr(eq + 1);
  } else {
    input.path = arg;
    std::size_t slash = arg.find_last_of('/');
    input.name = slash == std::string::npos ? arg : arg.substr(slash + 1);
  }
  return input;
}

std::string NameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > 255) return "the name is longer than 255 bytes";
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c == ':') {
      return std::string("the name contains '") + static_cast<char>(c) +
             "', so it is not a bare file name";
    }
    if (c < 0x20 || c == 0x7f) return "the name contains a control character";
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
      return std::string("the name contains '") + static_cast<char>(c) +
             "', which Windows does not allow in file names";
    }
  }
  if (name.find("..") != std::string::npos) return "the name contains \"..\"";
  if (name == ".") return "the name is \".\"";
  if (name.back() == '.' || name.back() == ' ') {
    return "the name ends in a dot or a space, which Windows drops";
  }
  // Before the byte check, so that "COM\xb9" is reported as the device it names.
  if (IsReservedDevice(name)) return "the name is a reserved device name on Windows";
  // The setup keeps its journal in a folder of these names beside the
  // installed files.
  for (const char* staging : kStagingFolderNames) {
    if (Folded(name) == Folded(staging)) {
      return std::string("the name is that of a folder the setup keeps its journal in, \"") +
             staging + "\"";
    }
  }
  for (unsigned char c : name) {
    if (c >= 0x80) {
      // Windows would read such a byte in the installing user's code page:
      // two Latin-1 names could become one file, a UTF-8 name a mangled one.
      return "the name contains a byte outside printable ASCII (" + Quote(std::string(1, c)) + ")";
    }
  }
  return "";
}

bool CheckInputs(const std::vector<Input>& inputs, const std::string& mainExe, std::string* error) {
  if (inputs.empty()) {
    *error = "no input files";
    return false;
  }
  std::set<std::string> seen;
  bool haveUninstaller = false;
  for (const Input& input : inputs) {
    std::string problem = NameProblem(input.name);
    if (!problem.empty()) {
      *error = "input " + Quote(input.arg) + ": name " + Quote(input.name) + ": " + problem;
      return false;
    }
    if (!seen.insert(Folded(input.name)).second) {
      *error = "input " + Quote(input.arg) + ": name " + Quote(input.name) +
               " duplicates an earlier name (names are compared without regard to case)";
      return false;
    }
    if (input.name == "uninst.exe") haveUninstaller = true;
  }
  if (inputs[0].name != mainExe) {
    *error = "input " + Quote(inputs[0].arg) + ": the first file is named " +
             Quote(inputs[0].name) + " but must be the main executable " + Quote(mainExe);
    return false;
  }
  if (!haveUninstaller) {
    *error = "no input is named \"uninst.exe\"; the uninstaller must be part of the payload";
    return false;
  }
  return true;
}

}  // namespace mkpayload
