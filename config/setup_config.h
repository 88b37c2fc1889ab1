// The build-time configuration record that names the product.
//
// Every product-specific word and switch comes from SetupConfig; no other
// part of the program holds the product's name. mainExeName is the very text
// of the first payload file's name (kMainExeName), so the file written first,
// the file the Program Manager items point to and the file started at the end
// are one file.
#ifndef TIDEWELL_CONFIG_SETUP_CONFIG_H
#define TIDEWELL_CONFIG_SETUP_CONFIG_H

// Longest name (with terminator) that a configured text may have; the buffers
// that hold installed paths and commands are sized from it.
const int kConfigNameSize = 256;

struct SetupConfigRecord {
  const char* groupName;
  const char* appName;
  const char* profileName;
  int offerStartup;
  const char* startupPrompt;
  const char* mainExeName;
};

extern const SetupConfigRecord SetupConfig;

// The main executable's bare file name; defined once, by the build.
extern const char kMainExeName[];

#endif  // TIDEWELL_CONFIG_SETUP_CONFIG_H
