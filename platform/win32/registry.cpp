// Reading the current user's registry hive.
#include "platform/registry.h"

#include "platform/win32/handles.h"

namespace platform {

// The open key; the struct only gives the HKEY a seam type.
struct RegistryKeyObject {
    HKEY key;
};

void RegistryKeyCloser::operator()(RegistryKeyObject* key) const {
    ::RegCloseKey(key->key);
    delete key;
}

RegistryKey OpenUserKey(const char* subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return RegistryKey(new RegistryKeyObject{key});
}

bool ReadKeyValue(RegistryKeyObject* key, const char* name, std::span<std::uint8_t> buffer,
                  std::uint32_t* size) {
    if (key == nullptr || buffer.size() > MAXDWORD) return false;
    DWORD length = static_cast<DWORD>(buffer.size());
    // ERROR_MORE_DATA (too large for the buffer) counts as missing too. An
    // empty buffer passes no data pointer, which only asks for the size, so
    // the size is compared as well.
    if (::RegQueryValueExA(key->key, name, nullptr, nullptr, buffer.data(), &length) != ERROR_SUCCESS ||
        length > buffer.size()) {
        return false;
    }
    if (size != nullptr) *size = length;
    return true;
}

}  // namespace platform
