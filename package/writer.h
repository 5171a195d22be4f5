// The package writer (publisher side): header, 16-byte-aligned data area,
// directory of 280-byte records at the end, plain or compressed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

struct WriterEntry {
    std::string name;                   // cp932, at most 259 bytes
    std::vector<std::uint8_t> content;
    std::uint64_t lastWriteTime = 0;    // FILETIME
    bool compress = true;               // compressed when that saves space
    bool scramble = false;
};

struct WriterOptions {
    bool compressDirectory = true;
    int level = 9;
};

// The whole package image. Names that don't fit 259 bytes are refused by
// the caller (ValidEntryName).
std::vector<std::uint8_t> WritePackage(std::span<const WriterEntry> entries,
                                       const WriterOptions& options);

bool ValidEntryName(const std::string& name);

}  // namespace package
