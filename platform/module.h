// The running module, its resources, and process-wide set-up.
#pragma once

#include <cstdint>
#include <span>

#include "platform/types.h"

namespace platform {

// The bytes of the module's resource of type "UPDATE", id 102: the package
// image. Empty when the resource is missing, empty or can't be loaded. The
// bytes belong to the module and live until the process ends.
std::span<const std::uint8_t> FindPackageResource(Module module);

// Initialises COM for the calling thread (the shell copy needs it).
void InitializeComForThread();

}  // namespace platform
