// The host setup binary's entry point: prepares the stand-in from the
// environment and runs the program's WinMain.
#include <standin.h>

#include "internal.h"

#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (getenv("SETUP_NO_PROGMAN") == nullptr) StandinRegisterProgramManager();
  // What the stand-in's CreateProcessA or WinExec handed over: the process
  // that started this one and the processes of inherited handles.
  standin::AdoptStartInfo();
  // The command line without the program's name, as WinMain receives it.
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  std::vector<char> commandLine(joined.begin(), joined.end());
  commandLine.push_back('\0');
  // Nothing dereferences the instance handle; it only has to be non-null.
  static char instanceTag;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(&instanceTag);
  return WinMain(instance, nullptr, commandLine.data(), SW_SHOW);
}
