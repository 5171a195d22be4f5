#include "platform/profile.h"

#include <windows.h>

namespace platform {

std::uint32_t ReadProfileString(const char* section, const char* key, std::span<char> buffer,
                                const char* path) {
    return GetPrivateProfileStringA(section, key, "", buffer.data(),
                                    static_cast<DWORD>(buffer.size()), path);
}

}  // namespace platform
