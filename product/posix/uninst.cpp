// The uninstaller stand-in on the host: says what it is and exits.
#include <stdio.h>

int main() {
  puts("Tidewell would now be removed from this computer.");
  return 0;
}
