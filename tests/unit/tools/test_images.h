// Small PE32+ images laid out by hand, independently of the tool's own
// writer, for the stamping tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/updpack/native_files.h"
#include "tools/updpack/pe_resources.h"

namespace updpack::test_images {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t PeOffset = 0x40;
constexpr std::size_t Coff = PeOffset + 4;
constexpr std::size_t Optional = Coff + 20;
constexpr std::size_t SectionTable = Optional + 240;
constexpr std::uint32_t FileAlign = 0x200, SectionAlign = 0x1000;

inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
inline std::uint16_t Get16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline Bytes Filled(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

// One resource as the test lays it out: a type given by name or id, an id,
// a language.
struct TestResource {
    std::u16string typeName;
    std::uint16_t typeId;
    std::uint16_t id;
    std::uint16_t language;
    Bytes data;
};

// A resource section of one name and one language per type, laid out by
// hand (independently of the tool's writer): tables, strings, data entries,
// data. Types must be given in the loader's order.
inline Bytes ResourceSection(const std::vector<TestResource>& resources, std::uint32_t rva) {
    const std::size_t types = resources.size();
    Bytes s(16 + 8 * types + types * 2 * 24, 0);
    std::size_t named = 0;
    for (const auto& r : resources) named += !r.typeName.empty();
    Put16(s, 12, static_cast<std::uint32_t>(named));
    Put16(s, 14, static_cast<std::uint32_t>(types - named));
    std::vector<std::size_t> leafFields;
    for (std::size_t t = 0; t < types; ++t) {
        const auto& r = resources[t];
        const std::size_t nameTable = 16 + 8 * types + t * 48, langTable = nameTable + 24;
        if (r.typeName.empty()) {
            Put32(s, 16 + 8 * t, r.typeId);
        } else {
            const std::size_t str = s.size();
            s.resize(str + 2 + 2 * r.typeName.size());
            Put16(s, str, static_cast<std::uint32_t>(r.typeName.size()));
            for (std::size_t c = 0; c < r.typeName.size(); ++c) Put16(s, str + 2 + 2 * c, r.typeName[c]);
            Put32(s, 16 + 8 * t, 0x80000000u | static_cast<std::uint32_t>(str));
        }
        Put32(s, 16 + 8 * t + 4, 0x80000000u | static_cast<std::uint32_t>(nameTable));
        Put16(s, nameTable + 14, 1);
        Put32(s, nameTable + 16, r.id);
        Put32(s, nameTable + 20, 0x80000000u | static_cast<std::uint32_t>(langTable));
        Put16(s, langTable + 14, 1);
        Put32(s, langTable + 16, r.language);
        leafFields.push_back(langTable + 20);
    }
    s.resize((s.size() + 3) & ~std::size_t{3});
    for (std::size_t t = 0; t < types; ++t) {
        const std::size_t leaf = s.size();
        s.resize(leaf + 16);
        Put32(s, leafFields[t], static_cast<std::uint32_t>(leaf));
        const std::size_t data = (s.size() + 7) & ~std::size_t{7};
        s.resize(data);
        s.insert(s.end(), resources[t].data.begin(), resources[t].data.end());
        Put32(s, leaf, rva + static_cast<std::uint32_t>(data));
        Put32(s, leaf + 4, static_cast<std::uint32_t>(resources[t].data.size()));
        Put32(s, leaf + 8, 932);
    }
    return s;
}

struct TestSection {
    std::string name;
    Bytes data;
};

// A PE32+ image of the given sections in order; the one named ".rsrc" is
// filled with `resources` and named by data directory 2.
inline Bytes Image(std::vector<TestSection> sections, const std::vector<TestResource>& resources) {
    Bytes b(0x400, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 60, PeOffset);
    std::memcpy(&b[PeOffset], "PE\0\0", 4);
    Put16(b, Coff, 0x8664);
    Put16(b, Coff + 2, static_cast<std::uint32_t>(sections.size()));
    Put16(b, Coff + 16, 240);
    Put16(b, Optional, 0x20B);
    Put32(b, Optional + 32, SectionAlign);
    Put32(b, Optional + 36, FileAlign);
    Put32(b, Optional + 60, 0x400);
    Put32(b, Optional + 108, 16);
    std::uint32_t rva = SectionAlign;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].name == ".rsrc") {
            sections[i].data = ResourceSection(resources, rva);
            Put32(b, Optional + 112 + 16, rva);
            Put32(b, Optional + 112 + 20, static_cast<std::uint32_t>(sections[i].data.size()));
        }
        const Bytes& data = sections[i].data;
        const std::size_t header = SectionTable + 40 * i;
        std::memcpy(&b[header], sections[i].name.c_str(), sections[i].name.size());
        const std::uint32_t raw = static_cast<std::uint32_t>((data.size() + FileAlign - 1) & ~(FileAlign - 1));
        Put32(b, header + 8, static_cast<std::uint32_t>(data.size()));
        Put32(b, header + 12, rva);
        Put32(b, header + 16, raw);
        Put32(b, header + 20, static_cast<std::uint32_t>(b.size()));
        Put32(b, header + 36, 0x40000040);
        Put32(b, Optional + 8, Get32(b, Optional + 8) + raw);
        b.insert(b.end(), data.begin(), data.end());
        b.resize(b.size() + raw - data.size(), 0);
        rva += (static_cast<std::uint32_t>(data.size()) + SectionAlign - 1) & ~(SectionAlign - 1);
    }
    Put32(b, Optional + 56, rva);
    return b;
}

// A stamped image as the one file it is written as.
inline Bytes Joined(const StampedImage& image) {
    Bytes bytes = image.head;
    bytes.insert(bytes.end(), image.package.begin(), image.package.end());
    bytes.insert(bytes.end(), image.tail.begin(), image.tail.end());
    return bytes;
}

// The package resource of the executable at `path`, a native path; empty
// when the file can't be read or holds none.
inline Bytes PackageInExe(const std::string& path) {
    std::string error;
    const auto exe = ReadNativeFile(path, &error);
    const auto package = exe ? FindPackageInImage(*exe, &error) : std::nullopt;
    return package ? Bytes(package->begin(), package->end()) : Bytes{};
}

}  // namespace updpack::test_images
