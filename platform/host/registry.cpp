// The current user's registry hive as the machine's table; key and value
// names case-blind, as on Windows.
#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/host/machine.h"

namespace platform {

struct RegistryKeyObject {
    std::string subKey;  // folded
};

void RegistryKeyCloser::operator()(RegistryKeyObject* key) const { delete key; }

RegistryKey OpenUserKey(const char* subKey) {
    if (subKey == nullptr) return nullptr;
    std::string key = host::FoldedName(subKey);
    if (host::TheMachine().registry.count(key) == 0) return nullptr;
    return RegistryKey(new RegistryKeyObject{std::move(key)});
}

bool ReadKeyValue(RegistryKeyObject* key, const char* name, std::span<std::uint8_t> buffer,
                  std::uint32_t* size) {
    if (key == nullptr) return false;
    const auto& values = host::TheMachine().registry[key->subKey];
    const auto value = values.find(host::FoldedName(name == nullptr ? "" : name));
    if (value == values.end() || value->second.size() > buffer.size()) return false;
    std::copy(value->second.begin(), value->second.end(), buffer.begin());
    if (size != nullptr) *size = static_cast<std::uint32_t>(value->second.size());
    return true;
}

void HostDeclareRegistryKey(const std::string& subKey) {
    host::TheMachine().registry[host::FoldedName(subKey.c_str())];
}

void HostSetRegistryValue(const std::string& subKey, const std::string& name,
                          std::vector<std::uint8_t> data) {
    host::TheMachine().registry[host::FoldedName(subKey.c_str())][host::FoldedName(name.c_str())] = std::move(data);
}

void HostSetRegistryString(const std::string& subKey, const std::string& name,
                           const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    HostSetRegistryValue(subKey, name, std::move(data));
}

void HostSetRegistryDword(const std::string& subKey, const std::string& name,
                          std::uint32_t value) {
    std::vector<std::uint8_t> data(sizeof value);
    std::memcpy(data.data(), &value, sizeof value);
    HostSetRegistryValue(subKey, name, std::move(data));
}

}  // namespace platform
