// Reader for the subset of the resource-script language that the setup
// program's dialogs use, and the writer of the C++ dialog template table.
//
// The input is the script after the C preprocessor, so every id is a number.
// Accepted statements:
//   LANGUAGE <number>, <number>
//   <id> DIALOG <x>, <y>, <cx>, <cy>
//   STYLE <number> | CAPTION "<text>" | FONT <size>, "<name>"   (after DIALOG)
//   BEGIN
//     CONTROL "<text>", <id>, "<class>", <style>, <x>, <y>, <cx>, <cy>
//   END
// A number is decimal or hexadecimal (0x...), optionally negative and
// optionally in parentheses. Anything else is refused.
#ifndef TIDEWELL_POSIX_TOOLS_RC_PARSER_H
#define TIDEWELL_POSIX_TOOLS_RC_PARSER_H

#include <cstdint>
#include <string>
#include <vector>

struct RcControl {
  std::string text;
  int id = 0;
  std::string className;
  uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct RcDialog {
  int id = 0;
  uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  int fontSize = 0;
  std::string fontName;
  std::vector<RcControl> controls;
};

// Parses a preprocessed script. On failure returns false and sets `error` to
// "line <n>: <what is wrong>".
bool ParseRcScript(const std::string& text, std::vector<RcDialog>* dialogs, std::string* error);

// The C++ source of the table that the stand-in's dialog functions read
// (see posix/src/dialog_templates.h).
std::string EmitDialogTable(const std::vector<RcDialog>& dialogs, const std::string& sourceName);

#endif  // TIDEWELL_POSIX_TOOLS_RC_PARSER_H
