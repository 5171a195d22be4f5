// The module's package resource, as a test sets it; COM needs nothing here.
#include "platform/module.h"

#include "platform/host/machine.h"

namespace platform {

std::span<const std::uint8_t> FindPackageResource(Module) {
    return host::TheMachine().packageResource;
}

void InitializeComForThread() {}

void HostSetPackageResource(std::vector<std::uint8_t> image) {
    host::TheMachine().packageResource = std::move(image);
}

}  // namespace platform
