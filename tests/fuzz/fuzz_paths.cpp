// libFuzzer target for the data directory's path operations. Checks, for any
// text of at most 1023 characters:
//   - NormalizeSeparators never lengthens the text, leaves no run of two
//     separators except the two that open a network path, turns every
//     separator into a backslash, keeps every other character in order, and
//     is idempotent;
//   - StripTrailingChar removes exactly one trailing character or nothing.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "datadir/datadir.h"

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

void Check(bool condition) {
  if (!condition) abort();
}

std::string NonSeparators(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (!IsSeparator(c)) out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char path[kDataDirSize];
  size_t length = 0;
  for (size_t i = 0; i < size && length + 1 < sizeof path; ++i) {
    if (data[i] != 0) path[length++] = static_cast<char>(data[i]);
  }
  path[length] = '\0';
  const std::string before(path);

  NormalizeSeparators(path);
  const std::string after(path);
  Check(after.size() <= before.size());
  Check(NonSeparators(after) == NonSeparators(before));
  for (size_t i = 0; i < after.size(); ++i) {
    Check(after[i] != '/');
    if (i > 1 && after[i] == '\\') Check(after[i - 1] != '\\');
  }
  bool network = before.size() >= 2 && IsSeparator(before[0]) && IsSeparator(before[1]);
  Check(network == (after.compare(0, 2, "\\\\") == 0));

  NormalizeSeparators(path);
  Check(after == path);

  char last = after.empty() ? 'x' : after.back();
  StripTrailingChar(path, last);
  Check(strlen(path) == (after.empty() ? 0 : after.size() - 1));
  return 0;
}
