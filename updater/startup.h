// Start-up: from the exe's own package to the wizard, with the pre-flight
// checks, and the clean-up at every end.
#pragma once

#include <span>

#include "platform/types.h"

namespace updater {

// A key of UPDATE.INI's [SETUP] section that start-up reads, and the field
// of `state` that takes it (its size less one is what is kept).
struct SetupKey {
    const char* name;
    std::span<char> field;
};
// Start-up stops at the first of these that is missing.
extern const std::span<const SetupKey> RequiredSetupKeys;
// These may be missing; the field then stays empty.
extern const std::span<const SetupKey> OptionalSetupKeys;

// The program: returns the process exit code (1 after a completed update).
int WinMain(platform::Module instance);

// Frees the directory and removes the extracted UPDATE.INI and its folder.
void ReleasePackage();

}  // namespace updater
