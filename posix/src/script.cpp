// The reset that puts the stand-in into scripted mode for a test.
#include "internal.h"

void StandinReset() {
  standin::SetScripted(true);
  standin::ClearAnswers();
  standin::ClearEvents();
  standin::ResetDialogs();
  standin::ResetWindows();
  standin::ResetDde();
  standin::ResetProgramManager();
  standin::ResetFileHandles();
  standin::ResetProcesses();
  standin::ResetFiles();
  StandinSetDiskFree(-1);
}
