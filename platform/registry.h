// The registry, read only, under the current user's hive.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace platform {

struct RegistryKeyObject;
struct RegistryKeyCloser {
    void operator()(RegistryKeyObject* key) const;
};
using RegistryKey = std::unique_ptr<RegistryKeyObject, RegistryKeyCloser>;

// Opens HKEY_CURRENT_USER\`subKey` for reading; null when it can't.
RegistryKey OpenUserKey(const char* subKey);

// Reads the value `name` into `buffer`, whatever its type. False when the
// value is missing or larger than the buffer. `size` receives the bytes read.
bool ReadKeyValue(RegistryKeyObject* key, const char* name, std::span<std::uint8_t> buffer,
                  std::uint32_t* size);

}  // namespace platform
