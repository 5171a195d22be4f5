// Package images for tests: sound ones from the writer, and raw ones laid
// out byte by byte, so that every bound of the loader can be broken.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/compress.h"
#include "package/format.h"
#include "updater/state.h"

namespace package_test {

struct RawEntry {
    std::string name;
    std::vector<std::uint8_t> stored;
    std::uint32_t size = 0;
    std::uint8_t flags = 0;
    std::uint8_t scrambled = 0;
    std::uint64_t lastWriteTime = 0;
};

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// A plain entry whose content is `text`.
inline RawEntry PlainEntry(const std::string& name, const std::string& text) {
    return {name, Bytes(text), static_cast<std::uint32_t>(text.size())};
}

inline package::PackageEntry Record(const RawEntry& raw) {
    package::PackageEntry record{};
    std::memcpy(record.name, raw.name.data(), std::min(raw.name.size(), package::NameSize));
    record.flags = raw.flags;
    record.scrambled = raw.scrambled;
    record.lastWriteTimeLow = static_cast<std::uint32_t>(raw.lastWriteTime);
    record.lastWriteTimeHigh = static_cast<std::uint32_t>(raw.lastWriteTime >> 32);
    record.size = raw.size;
    record.storedSize = static_cast<std::uint32_t>(raw.stored.size());
    return record;
}

// Header, data area padded to 16, then the records: compressed when bit 0
// of `headerFlags` says so.
inline std::vector<std::uint8_t> RawImage(const std::vector<RawEntry>& entries,
                                          std::uint32_t headerFlags = 0,
                                          std::uint32_t magic = package::PackageMagic) {
    std::vector<std::uint8_t> image(package::HeaderSize);
    std::vector<std::uint8_t> records;
    for (const RawEntry& entry : entries) {
        image.insert(image.end(), entry.stored.begin(), entry.stored.end());
        image.resize(package::HeaderSize + (image.size() - package::HeaderSize + 15) / 16 * 16);
        const package::PackageEntry record = Record(entry);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
        records.insert(records.end(), bytes, bytes + sizeof record);
    }
    const package::PackageHeader header{magic, headerFlags,
                                        static_cast<std::uint32_t>(image.size()),
                                        static_cast<std::uint32_t>(entries.size())};
    std::memcpy(image.data(), &header, sizeof header);
    if (headerFlags & package::DirectoryCompressed) records = package::CompressBlock(records);
    image.insert(image.end(), records.begin(), records.end());
    return image;
}

// Makes `image` the program's package, as start-up does. The image must
// outlive the state's use of it.
inline bool InstallPackage(const std::vector<std::uint8_t>& image) {
    updater::state.packageImage = image;
    updater::state.directory = package::LoadPackageDirectory(image);
    updater::state.entries = updater::state.directory.entries();
    return static_cast<bool>(updater::state.directory.block);
}

}  // namespace package_test
