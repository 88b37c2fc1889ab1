// The product stand-in on the host: reports that it started and where. When
// TIDEWELL_PRODUCT_LOG names a file, the line is appended to it; otherwise it
// goes to standard output.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main() {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
  const char* logPath = getenv("TIDEWELL_PRODUCT_LOG");
  FILE* out = (logPath != nullptr && logPath[0] != '\0') ? fopen(logPath, "a") : stdout;
  if (out == nullptr) return 1;
  fprintf(out, "Tidewell started in %s\n", cwd);
  if (out != stdout) fclose(out);
  return 0;
}
