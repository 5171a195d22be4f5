// A test's input files, written as they are (the tool's own writers are
// what the tests check).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

namespace updpack {

inline bool WriteTestFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                          std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) *error = "cannot write " + path.string();
    return static_cast<bool>(out);
}

}  // namespace updpack
