// The running module, its resources, and process-wide set-up.
#pragma once

#include <cstdint>
#include <span>

#include "platform/types.h"

namespace platform {

// The resource that carries the package image (resources/files.rc.in
// declares it; updpack stamp writes it into a prebuilt updater).
inline constexpr const char* PackageResourceType = "UPDATE";
inline constexpr std::uint16_t PackageResourceId = 102;

// The bytes of the module's resource of type "UPDATE", id 102: the package
// image. Empty when the resource is missing, empty or can't be loaded. The
// bytes belong to the module and live until the process ends.
std::span<const std::uint8_t> FindPackageResource(Module module);

// Initialises COM for the calling thread (the shell copy needs it).
void InitializeComForThread();

}  // namespace platform
