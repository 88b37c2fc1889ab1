// Whether the setup's files can be installed under a data directory: every
// payload file's full path must stay within what the platform's file
// functions take whole, or a link, a deletion or the uninstaller's own
// lookup would work on a cut name.
#include <string.h>

#include "datadir/datadir.h"
#include "payload/payload.h"
#include "payload/staging.h"

int InstalledPathsFit(const char* directory) {
  size_t length = strlen(directory);
  // The staging folder's paths: its journal, and the copies of installed
  // files moved aside, whose names do not depend on the files'.
  if (length + kStagingExtraLength + 1 > static_cast<size_t>(kInstalledPathLimit)) return 0;
  for (int i = 0; i < kPayloadTable.fileCount; ++i) {
    // The directory, one separator, the name and the terminator: the setup
    // joins the two with a separator even after a root's own.
    if (length + 1 + strlen(kPayloadTable.files[i].name) + 1 >
        static_cast<size_t>(kInstalledPathLimit)) {
      return 0;
    }
  }
  return 1;
}
