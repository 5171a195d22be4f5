// Private-profile (INI file) reading.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

// Reads `key` of `section` of the INI file at `path` into `buffer`,
// terminated, with the empty default. Returns the bytes copied (without the
// terminator); 0 for a missing file, section or key, or an empty value. A
// longer value is cut to buffer.size() - 1 bytes, less a double-byte
// character the cut would split, and the count is then buffer.size() - 1.
// Every call reads the file anew.
std::uint32_t ReadProfileString(const char* section, const char* key, std::span<char> buffer,
                                const char* path);

}  // namespace platform
