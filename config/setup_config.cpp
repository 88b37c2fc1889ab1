// This build's configuration record. Two names come from the build: the main
// executable's (SETUP_MAIN_EXE_NAME), which also names the product's output
// file and the first payload file, and the application's (SETUP_APP_NAME),
// which is also the ProductName in the programs' version resources.
#include "config/setup_config.h"

#ifndef SETUP_MAIN_EXE_NAME
#error "The build defines SETUP_MAIN_EXE_NAME, the main executable's file name."
#endif
#ifndef SETUP_APP_NAME
#error "The build defines SETUP_APP_NAME, the application's name."
#endif

extern const char kMainExeName[] = SETUP_MAIN_EXE_NAME;

namespace {
const char kGroupName[] = "Tidewell";
const char kAppName[] = SETUP_APP_NAME;
const char kProfileName[] = "tidewell.ini";
const char kStartupPrompt[] =
    "Tidewell has been installed on your computer. Since Tidewell is only useful if it is "
    "running at all times, you will almost certainly want to install it in your startup group. "
    "Should Tidewell be installed in the startup group?";

// The buffers that hold installed paths, commands and messages are sized for
// names of at most kConfigNameSize characters with the terminator.
static_assert(sizeof(SETUP_MAIN_EXE_NAME) <= kConfigNameSize, "main executable name too long");
static_assert(sizeof(kGroupName) <= kConfigNameSize, "group name too long");
static_assert(sizeof(kAppName) <= kConfigNameSize, "application name too long");
static_assert(sizeof(kProfileName) <= kConfigNameSize, "profile name too long");
static_assert(sizeof(kAppName) > 1, "the application name is the window-title prefix");
}  // namespace

extern const SetupConfigRecord SetupConfig = {
    kGroupName,      // groupName
    kAppName,        // appName
    kProfileName,    // profileName
    1,               // offerStartup
    kStartupPrompt,  // startupPrompt
    kMainExeName,    // mainExeName
};
