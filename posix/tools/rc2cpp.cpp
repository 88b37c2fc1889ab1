// rc2cpp: turns a preprocessed resource script into the C++ table of dialog
// templates that the POSIX stand-in compiles in.
//
//   rc2cpp <preprocessed .rc> <output .cpp>
//
// Exits with 1 and a message on standard error for input it does not accept.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "rc_parser.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: rc2cpp <preprocessed .rc> <output .cpp>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    fprintf(stderr, "rc2cpp: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<RcDialog> dialogs;
  std::string error;
  if (!ParseRcScript(text.str(), &dialogs, &error)) {
    fprintf(stderr, "rc2cpp: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::string source = EmitDialogTable(dialogs, argv[1]);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << source;
  out.close();
  if (!out) {
    fprintf(stderr, "rc2cpp: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
