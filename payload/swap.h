// The steps around writing the staged files: the staging folder made ready
// before, the swap into place after, and the aside copies let go of at the
// end. All of them work on the current directory, the data directory.
#ifndef TIDEWELL_PAYLOAD_SWAP_H
#define TIDEWELL_PAYLOAD_SWAP_H

#include "payload/payload.h"

// Room for a payload file's staged or aside path relative to the current
// directory: the folder, a name of at most 255 characters and a suffix.
const int kStagedPathSize = 256 + kStagingExtraLength;

// Makes the staging folder and its subfolders ready: what a killed run left
// is put back (an installed file it had renamed aside and not yet replaced)
// or removed, and the folders are made. 1, or 0 when there is no folder of
// the setup's own to write into (a file or a link has its name, or it
// cannot be made).
int PrepareStagingFolder(const Payload* payload);
// Moves every staged file into place: an installed file of its name is
// renamed aside first, then the staged one takes its name. The number of
// files renamed aside, or -1 after a step failed, with every step already
// done undone in reverse, so the previous files are back by their names.
int SwapInStagedFiles(const Payload* payload);
// After a swap that renamed `asides` files aside: deletes the aside copies,
// or marks for deletion at the next restart one that a running program
// still holds; then the folders go.
void DiscardAsideCopies(const Payload* payload, int asides);

#endif  // TIDEWELL_PAYLOAD_SWAP_H
