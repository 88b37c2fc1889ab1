// The host build's answer: the terminal stand-in draws no controls, so there
// is nothing to register.
#include "ui/common_controls.h"

int PrepareCommonControls() {
  return 0;
}
