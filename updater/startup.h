// Start-up: from the exe's own package to the wizard, with the pre-flight
// checks, and the clean-up at every end.
#pragma once

#include "platform/types.h"

namespace updater {

// The program: returns the process exit code (1 after a completed update).
int WinMain(platform::Module instance);

// Frees the directory and removes the extracted UPDATE.INI and its folder.
void ReleasePackage();

}  // namespace updater
