// The module's package resource, and COM for the user-interface thread.
#include "platform/module.h"

#include "platform/win32/handles.h"

// After windows.h, which it builds on.
#include <objbase.h>

namespace platform {

std::span<const std::uint8_t> FindPackageResource(Module module) {
    const HMODULE instance = win32::ToHmodule(module);
    const HRSRC resource =
        ::FindResourceA(instance, MAKEINTRESOURCEA(PackageResourceId), PackageResourceType);
    if (resource == nullptr) return {};
    const DWORD size = ::SizeofResource(instance, resource);
    const HGLOBAL loaded = size == 0 ? nullptr : ::LoadResource(instance, resource);
    const void* bytes = loaded == nullptr ? nullptr : ::LockResource(loaded);
    if (bytes == nullptr) return {};
    return {static_cast<const std::uint8_t*>(bytes), size};
}

void InitializeComForThread() {
    // The result does not matter: the shell copy works either way, and the
    // process ends without releasing COM.
    (void)::CoInitialize(nullptr);
}

}  // namespace platform
