// The dialog templates that rc2cpp generates from the program's resource
// script. CreateDialogParamA and DialogBoxParamA build their windows from it.
#ifndef TIDEWELL_POSIX_SRC_DIALOG_TEMPLATES_H
#define TIDEWELL_POSIX_SRC_DIALOG_TEMPLATES_H

#include <stdint.h>

namespace standin {

struct DialogControlTemplate {
  const char* text;
  int id;
  const char* className;
  uint32_t style;
  int x, y, cx, cy;
};

struct DialogTemplate {
  int id;
  uint32_t style;
  int x, y, cx, cy;
  const char* caption;
  int fontSize;
  const char* fontName;
  const DialogControlTemplate* controls;
  int controlCount;
};

// Every dialog of the script; the table ends with an entry whose id is 0.
extern const DialogTemplate kDialogTemplates[];

}  // namespace standin

#endif  // TIDEWELL_POSIX_SRC_DIALOG_TEMPLATES_H
