#include "tools/updpack/pe_resources.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string_view>

#include "platform/mapped_file.h"
#include "platform/module.h"
#include "tools/updpack/native_files.h"
#include "tools/updpack/package_files.h"

namespace updpack {
namespace {

constexpr std::uint16_t OptionalMagicPe32Plus = 0x20B;
constexpr std::size_t CoffHeaderSize = 20;
constexpr std::size_t SectionHeaderSize = 40;
constexpr std::size_t DataDirectoryOffset = 112;  // in the PE32+ optional header
constexpr std::uint32_t ResourceDirectory = 2;
constexpr std::uint32_t CertificateDirectory = 4;
constexpr std::uint32_t SubdirectoryFlag = 0x80000000;
constexpr std::uint32_t NameFlag = 0x80000000;
// Type, name and language are the only levels the loader knows; a deeper
// tree is damaged (or a loop).
constexpr int MaxTreeDepth = 3;
// Entries may share subdirectories and data, so a small damaged tree can
// stand for a huge one; real trees stay far below these.
constexpr std::size_t MaxTreeNodes = 65536;
constexpr std::uint64_t MaxDataPerImageByte = 4;
constexpr std::uint32_t SectionInitializedData = 0x00000040;
constexpr std::uint32_t SectionRead = 0x40000000;
constexpr std::uint32_t MaxFileAlignment = 0x10000;

std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{Get16(b, at)} | (std::uint32_t{Get16(b, at + 2)} << 16);
}
void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}
bool Fits(std::span<const std::uint8_t> b, std::uint64_t at, std::uint64_t length) {
    return at <= b.size() && length <= b.size() - at;
}

struct Section {
    std::size_t headerOffset;
    std::uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
};

// Where the headers that stamping touches sit, read once and checked.
struct PeLayout {
    std::size_t coffOffset = 0;
    std::size_t optionalOffset = 0;
    std::uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
    std::uint32_t directoryCount = 0;
    std::size_t sectionTableOffset = 0;
    std::vector<Section> sections;

    std::size_t DirectoryEntry(std::uint32_t index) const {
        return optionalOffset + DataDirectoryOffset + 8 * index;
    }
    std::size_t ChecksumOffset() const { return optionalOffset + 64; }

    // The file offset of `length` bytes at `rva`, when one section's raw
    // data holds them all. A section without raw data holds nothing, and
    // its raw pointer, never checked, may point anywhere.
    std::optional<std::size_t> FileOffset(std::uint32_t rva, std::uint32_t length) const {
        for (const Section& s : sections) {
            if (s.rawSize != 0 && rva >= s.virtualAddress && rva - s.virtualAddress <= s.rawSize &&
                length <= s.rawSize - (rva - s.virtualAddress))
                return std::size_t{s.rawPointer} + (rva - s.virtualAddress);
        }
        return std::nullopt;
    }
};

std::optional<PeLayout> ParseLayout(std::span<const std::uint8_t> b, std::string* error) {
    auto refuse = [&](const char* why) {
        *error = why;
        return std::optional<PeLayout>{};
    };
    if (!Fits(b, 0, 64) || b[0] != 'M' || b[1] != 'Z') return refuse("not a PE image (no MZ header)");
    PeLayout pe;
    const std::uint32_t peOffset = Get32(b, 60);
    if (!Fits(b, peOffset, 4 + CoffHeaderSize) || std::memcmp(&b[peOffset], "PE\0\0", 4) != 0)
        return refuse("not a PE image (no PE signature)");
    pe.coffOffset = peOffset + 4;
    const std::uint16_t sectionCount = Get16(b, pe.coffOffset + 2);
    const std::uint16_t optionalSize = Get16(b, pe.coffOffset + 16);
    pe.optionalOffset = pe.coffOffset + CoffHeaderSize;
    if (optionalSize < DataDirectoryOffset || !Fits(b, pe.optionalOffset, optionalSize))
        return refuse("damaged PE image (optional header cut short)");
    if (Get16(b, pe.optionalOffset) != OptionalMagicPe32Plus)
        return refuse("not a 64-bit (PE32+) image");
    pe.sectionAlignment = Get32(b, pe.optionalOffset + 32);
    pe.fileAlignment = Get32(b, pe.optionalOffset + 36);
    pe.sizeOfHeaders = Get32(b, pe.optionalOffset + 60);
    pe.directoryCount = std::min<std::uint32_t>(Get32(b, pe.optionalOffset + 108),
                                                (optionalSize - DataDirectoryOffset) / 8);
    if (pe.directoryCount <= CertificateDirectory)
        return refuse("damaged PE image (too few data directories)");
    // As the loader demands: powers of two, file alignment at most 64 KiB
    // and no larger than the section alignment. A wild alignment would
    // otherwise pad the stamped image out to gigabytes.
    if (!std::has_single_bit(pe.fileAlignment) || pe.fileAlignment > MaxFileAlignment ||
        !std::has_single_bit(pe.sectionAlignment) || pe.sectionAlignment < pe.fileAlignment)
        return refuse("damaged PE image (bad alignment)");
    pe.sectionTableOffset = pe.optionalOffset + optionalSize;
    if (sectionCount == 0) return refuse("damaged PE image (no sections)");
    if (!Fits(b, pe.sectionTableOffset, std::uint64_t{sectionCount} * SectionHeaderSize))
        return refuse("damaged PE image (section table cut short)");
    // The headers the loader maps must be in the file and hold the table.
    if (pe.sizeOfHeaders > b.size() ||
        pe.sizeOfHeaders < pe.sectionTableOffset + sectionCount * SectionHeaderSize)
        return refuse("damaged PE image (bad size of headers)");
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = pe.sectionTableOffset + i * SectionHeaderSize;
        Section s{at, Get32(b, at + 8), Get32(b, at + 12), Get32(b, at + 16), Get32(b, at + 20)};
        if (s.rawSize != 0 && !Fits(b, s.rawPointer, s.rawSize))
            return refuse("damaged PE image (section data beyond the end of the file)");
        // Stamping rewrites the headers in place.
        if (s.rawSize != 0 && s.rawPointer < pe.sizeOfHeaders)
            return refuse("damaged PE image (section data over the headers)");
        pe.sections.push_back(s);
    }
    return pe;
}

// The resource tree, held as values so that it can be edited and laid out
// anew; leaves keep their bytes exactly.
struct ResourceName {
    bool isId = true;
    std::uint16_t id = 0;
    std::u16string text;

    bool operator==(const ResourceName&) const = default;
};
// Named entries come first, by code unit; then ids in ascending order: the
// order the loader's binary search expects.
bool NameBefore(const ResourceName& a, const ResourceName& b) {
    if (a.isId != b.isId) return !a.isId;
    return a.isId ? a.id < b.id : a.text < b.text;
}

struct ResourceLeaf {
    // A view of the image the tree was read from, or of the package being
    // stamped in; both outlive the tree. A package runs to hundreds of MB.
    std::span<const std::uint8_t> data;
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
};

struct ResourceTable;
struct ResourceNode {
    ResourceName name;
    std::unique_ptr<ResourceTable> table;  // a subdirectory, or else...
    ResourceLeaf leaf;                     // ...a data entry
};
struct ResourceTable {
    std::uint32_t characteristics = 0, timeStamp = 0;
    std::uint16_t majorVersion = 0, minorVersion = 0;
    std::vector<ResourceNode> nodes;
};

class TreeReader {
public:
    TreeReader(std::span<const std::uint8_t> image, const PeLayout& pe, std::span<const std::uint8_t> area)
        : image_(image), pe_(pe), area_(area) {}

    bool Read(std::uint32_t offset, int depth, ResourceTable* table) {
        if (depth >= MaxTreeDepth || !Fits(area_, offset, 16)) return false;
        table->characteristics = Get32(area_, offset);
        table->timeStamp = Get32(area_, offset + 4);
        table->majorVersion = Get16(area_, offset + 8);
        table->minorVersion = Get16(area_, offset + 10);
        const std::uint32_t count = std::uint32_t{Get16(area_, offset + 12)} + Get16(area_, offset + 14);
        if (!Fits(area_, offset + 16, std::uint64_t{count} * 8)) return false;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = offset + 16 + 8 * i;
            if (++nodes_ > MaxTreeNodes) return false;
            ResourceNode node;
            if (!ReadName(Get32(area_, at), &node.name)) return false;
            const std::uint32_t target = Get32(area_, at + 4);
            if (target & SubdirectoryFlag) {
                node.table = std::make_unique<ResourceTable>();
                if (!Read(target & ~SubdirectoryFlag, depth + 1, node.table.get())) return false;
            } else if (!ReadLeaf(target, &node.leaf)) {
                return false;
            }
            table->nodes.push_back(std::move(node));
        }
        return true;
    }

private:
    bool ReadName(std::uint32_t field, ResourceName* name) {
        if (!(field & NameFlag)) {
            name->id = static_cast<std::uint16_t>(field);
            return true;
        }
        const std::uint32_t at = field & ~NameFlag;
        if (!Fits(area_, at, 2)) return false;
        const std::uint16_t length = Get16(area_, at);
        if (!Fits(area_, at + 2, std::uint64_t{length} * 2)) return false;
        name->isId = false;
        for (std::uint16_t i = 0; i < length; ++i) name->text.push_back(static_cast<char16_t>(Get16(area_, at + 2 + 2 * i)));
        return true;
    }
    bool ReadLeaf(std::uint32_t offset, ResourceLeaf* leaf) {
        if (!Fits(area_, offset, 16)) return false;
        const std::uint32_t rva = Get32(area_, offset), size = Get32(area_, offset + 4);
        leaf->codePage = Get32(area_, offset + 8);
        leaf->reserved = Get32(area_, offset + 12);
        const auto at = pe_.FileOffset(rva, size);
        dataBytes_ += size;
        if (!at || dataBytes_ > MaxDataPerImageByte * image_.size()) return false;
        leaf->data = image_.subspan(static_cast<std::size_t>(*at), size);
        return true;
    }

    std::span<const std::uint8_t> image_;
    const PeLayout& pe_;
    std::span<const std::uint8_t> area_;  // the raw data from the directory's start on
    std::size_t nodes_ = 0;
    std::uint64_t dataBytes_ = 0;
};

// The section that holds the resource directory, and the tree read from it.
// No resource directory gives an empty tree and no section.
struct Resources {
    ResourceTable root;
    std::optional<std::size_t> section;  // index into PeLayout::sections
};

std::optional<Resources> ReadResources(std::span<const std::uint8_t> b, const PeLayout& pe,
                                       std::string* error) {
    Resources resources;
    const std::uint32_t rva = Get32(b, pe.DirectoryEntry(ResourceDirectory));
    if (rva == 0 && Get32(b, pe.DirectoryEntry(ResourceDirectory) + 4) == 0) return resources;
    for (std::size_t i = 0; i < pe.sections.size(); ++i) {
        const Section& s = pe.sections[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) resources.section = i;
    }
    if (!resources.section) {
        *error = "damaged PE image (resource directory outside every section)";
        return std::nullopt;
    }
    const Section& s = pe.sections[*resources.section];
    const std::size_t start = s.rawPointer + (rva - s.virtualAddress);
    // Offsets in the tree count from the directory's start.
    TreeReader reader(b, pe, b.subspan(start, s.rawPointer + s.rawSize - start));
    if (!reader.Read(0, 0, &resources.root)) {
        *error = "damaged PE image (resource tree unreadable)";
        return std::nullopt;
    }
    return resources;
}

// The package resource's type name is ASCII: each byte is its code unit.
ResourceName PackageTypeName() {
    const std::string_view type = platform::PackageResourceType;
    return {false, 0, std::u16string(type.begin(), type.end())};
}
ResourceName PackageIdName() { return {true, platform::PackageResourceId, {}}; }

ResourceNode* FindNode(ResourceTable& table, const ResourceName& name) {
    for (ResourceNode& node : table.nodes)
        if (node.name == name && node.table) return &node;
    return nullptr;
}

// The first leaf's language, so the package sits beside the program's other
// resources; 0 (neutral) in an image without any.
std::uint16_t FirstLanguage(const ResourceTable& table) {
    for (const ResourceNode& node : table.nodes) {
        if (!node.table) return node.name.isId ? node.name.id : 0;
        if (const std::uint16_t language = FirstLanguage(*node.table)) return language;
    }
    return 0;
}

ResourceNode& InsertSorted(ResourceTable& table, ResourceNode node) {
    auto at = std::find_if(table.nodes.begin(), table.nodes.end(),
                           [&](const ResourceNode& n) { return NameBefore(node.name, n.name); });
    return *table.nodes.insert(at, std::move(node));
}

// Puts `package` under UPDATE/102, keeping that resource's language when
// it exists. True when one was replaced.
bool SetPackageLeaf(ResourceTable& root, std::span<const std::uint8_t> package) {
    const std::uint16_t defaultLanguage = FirstLanguage(root);
    ResourceNode* type = FindNode(root, PackageTypeName());
    if (!type) type = &InsertSorted(root, {PackageTypeName(), std::make_unique<ResourceTable>(), {}});
    ResourceNode* id = FindNode(*type->table, PackageIdName());
    const bool replaced = id != nullptr;
    if (!id) id = &InsertSorted(*type->table, {PackageIdName(), std::make_unique<ResourceTable>(), {}});
    ResourceName language{true, defaultLanguage, {}};
    std::uint32_t codePage = 0;
    for (const ResourceNode& node : id->table->nodes)
        if (!node.table) {
            language = node.name;
            codePage = node.leaf.codePage;
            break;
        }
    // One package per exe: other languages of UPDATE/102 would hide it or
    // be hidden by it depending on the player's locale.
    id->table->nodes.clear();
    ResourceNode leaf{language, nullptr, {}};
    leaf.leaf.data = package;
    leaf.leaf.codePage = codePage;
    id->table->nodes.push_back(std::move(leaf));
    return replaced;
}

const ResourceLeaf* FindPackageLeaf(ResourceTable& root) {
    ResourceNode* type = FindNode(root, PackageTypeName());
    ResourceNode* id = type ? FindNode(*type->table, PackageIdName()) : nullptr;
    if (!id) return nullptr;
    for (const ResourceNode& node : id->table->nodes)
        if (!node.table) return &node.leaf;
    return nullptr;
}

// Lays the tree out as the linker does: every directory table (breadth
// first), then the name strings, then the data entries, then the data, each
// 8-byte aligned; but the package's data comes last of all, so that the
// section can be written up to it and the package be written out from where
// it lies. Data entries hold RVAs, so the section's address is needed. Laid
// out first, the section's size is known before anything is written.
class TreeWriter {
public:
    // The section's size; the tree must hold the package.
    std::size_t Layout(ResourceTable& root) {
        // Each table is sorted before its children are queued, so the queue
        // order is the order in which the entries below point to them.
        tables_ = {&root};
        for (std::size_t i = 0; i < tables_.size(); ++i) {
            auto& nodes = tables_[i]->nodes;
            std::stable_sort(nodes.begin(), nodes.end(),
                             [](const ResourceNode& a, const ResourceNode& b) { return NameBefore(a.name, b.name); });
            for (ResourceNode& node : nodes)
                if (node.table) tables_.push_back(node.table.get());
        }
        std::size_t size = 0;
        for (ResourceTable* t : tables_) {
            tableOffset_.push_back(size);
            size += 16 + 8 * t->nodes.size();
        }
        std::vector<const ResourceNode*> named, leaves;
        for (ResourceTable* t : tables_)
            for (const ResourceNode& node : t->nodes) {
                if (!node.name.isId) named.push_back(&node);
                if (!node.table) leaves.push_back(&node);
            }
        for (const ResourceNode* node : named) {
            stringOffset_.push_back(size);
            size += 2 + 2 * node->name.text.size();
        }
        size = AlignUp(size, 8);
        leafStart_ = size;
        size += 16 * leaves.size();
        package_ = FindPackageLeaf(root);
        for (const ResourceNode* node : leaves) {
            size = AlignUp(size, 8);
            dataOffset_.push_back(size);
            if (&node->leaf != package_) size += node->leaf.data.size();
        }
        packageOffset_ = AlignUp(size, 8);
        for (std::size_t i = 0; i < leaves.size(); ++i)
            if (&leaves[i]->leaf == package_) dataOffset_[i] = packageOffset_;
        return packageOffset_ + package_->data.size();
    }

    // Appends the section laid out to `out`, up to the package's data.
    void WriteUpToPackage(std::uint32_t sectionRva, std::vector<std::uint8_t>& out) const {
        const std::size_t base = out.size();
        out.resize(base + packageOffset_, 0);
        const std::span<std::uint8_t> section = std::span(out).subspan(base);
        std::size_t nextString = 0, nextLeaf = 0, nextTable = 1;
        for (std::size_t t = 0; t < tables_.size(); ++t) {
            const ResourceTable& table = *tables_[t];
            const std::size_t at = tableOffset_[t];
            Put32(section, at, table.characteristics);
            Put32(section, at + 4, table.timeStamp);
            Put16(section, at + 8, table.majorVersion);
            Put16(section, at + 10, table.minorVersion);
            const auto namedCount = std::count_if(table.nodes.begin(), table.nodes.end(),
                                                  [](const ResourceNode& n) { return !n.name.isId; });
            Put16(section, at + 12, static_cast<std::uint32_t>(namedCount));
            Put16(section, at + 14, static_cast<std::uint32_t>(table.nodes.size() - namedCount));
            for (std::size_t i = 0; i < table.nodes.size(); ++i) {
                const ResourceNode& node = table.nodes[i];
                const std::size_t entry = at + 16 + 8 * i;
                if (node.name.isId) {
                    Put32(section, entry, node.name.id);
                } else {
                    const std::size_t s = stringOffset_[nextString++];
                    Put32(section, entry, static_cast<std::uint32_t>(s) | NameFlag);
                    Put16(section, s, static_cast<std::uint32_t>(node.name.text.size()));
                    for (std::size_t c = 0; c < node.name.text.size(); ++c) Put16(section, s + 2 + 2 * c, node.name.text[c]);
                }
                if (node.table) {
                    // Breadth-first order: child tables were queued in the
                    // same order as they are met here.
                    Put32(section, entry + 4, static_cast<std::uint32_t>(tableOffset_[nextTable++]) | SubdirectoryFlag);
                } else {
                    const std::size_t leafAt = leafStart_ + 16 * nextLeaf;
                    const std::size_t dataAt = dataOffset_[nextLeaf++];
                    Put32(section, entry + 4, static_cast<std::uint32_t>(leafAt));
                    Put32(section, leafAt, sectionRva + static_cast<std::uint32_t>(dataAt));
                    Put32(section, leafAt + 4, static_cast<std::uint32_t>(node.leaf.data.size()));
                    Put32(section, leafAt + 8, node.leaf.codePage);
                    Put32(section, leafAt + 12, node.leaf.reserved);
                    if (&node.leaf != package_)
                        std::copy(node.leaf.data.begin(), node.leaf.data.end(), section.begin() + dataAt);
                }
            }
        }
    }

private:
    std::vector<ResourceTable*> tables_;
    std::vector<std::size_t> tableOffset_, stringOffset_, dataOffset_;
    const ResourceLeaf* package_ = nullptr;
    std::size_t leafStart_ = 0, packageOffset_ = 0;
};

// The bytes after the last section's raw data: the COFF symbol table that
// MinGW leaves in unstripped images, other appended data, and the
// certificate table.
struct Tail {
    std::size_t start = 0;
    std::vector<std::uint8_t> bytes;  // without the certificate table
};

Tail TakeTail(std::span<const std::uint8_t> b, const PeLayout& pe, StampReport* report) {
    Tail tail;
    tail.start = AlignUp(pe.sizeOfHeaders, pe.fileAlignment);
    for (const Section& s : pe.sections)
        if (s.rawSize) tail.start = std::max<std::size_t>(tail.start, std::size_t{s.rawPointer} + s.rawSize);
    tail.start = std::min(tail.start, b.size());
    std::size_t certStart = b.size(), certEnd = b.size();
    const std::uint32_t certOffset = Get32(b, pe.DirectoryEntry(CertificateDirectory));
    const std::uint32_t certSize = Get32(b, pe.DirectoryEntry(CertificateDirectory) + 4);
    if (certSize != 0) {
        report->droppedSignature = true;
        if (certOffset >= tail.start && Fits(b, certOffset, certSize)) {
            certStart = certOffset;
            certEnd = std::size_t{certOffset} + certSize;
        }
    }
    tail.bytes.assign(b.begin() + tail.start, b.begin() + certStart);
    tail.bytes.insert(tail.bytes.end(), b.begin() + certEnd, b.end());
    return tail;
}

// The PE checksum over an image given in pieces: its 16-bit little-endian
// words added with every carry folded back in, then its length.
class PeChecksum {
public:
    void Add(std::span<const std::uint8_t> bytes) {
        std::size_t at = 0;
        if (length_ % 2 != 0 && !bytes.empty()) sum_ += std::uint64_t{bytes[at++]} << 8;
        // Whole 32-bit words: as 2^16 leaves 1 after division by 0xFFFF, a
        // word adds what its two halves do once the carries are folded.
        for (; at + 4 <= bytes.size(); at += 4) {
            std::uint32_t word;
            std::memcpy(&word, bytes.data() + at, 4);
            sum_ += word;
        }
        for (; at < bytes.size(); ++at) sum_ += std::uint64_t{bytes[at]} << (8 * ((length_ + at) % 2));
        length_ += bytes.size();
    }
    void AddZeros(std::size_t count) { length_ += count; }
    std::uint32_t Value() const {
        std::uint64_t sum = sum_;
        while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
        return static_cast<std::uint32_t>(sum + length_);
    }

private:
    std::uint64_t sum_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image, std::size_t checksumOffset) {
    PeChecksum checksum;
    const std::size_t fieldStart = std::min(checksumOffset, image.size());
    const std::size_t fieldEnd = std::min(checksumOffset + 4, image.size());
    checksum.Add(image.first(fieldStart));
    checksum.AddZeros(fieldEnd - fieldStart);
    checksum.Add(image.subspan(fieldEnd));
    return checksum.Value();
}

namespace {

// Where a section's memory image ends, aligned.
std::uint64_t VirtualEnd(const Section& s, std::uint32_t sectionAlignment) {
    return AlignUp(std::uint64_t{s.virtualAddress} + std::max(s.virtualSize, s.rawSize), sectionAlignment);
}

}  // namespace

std::optional<StampedImage> StampPackage(std::span<const std::uint8_t> exe,
                                         std::span<const std::uint8_t> package,
                                         StampReport* report, std::string* error) {
    *report = {};
    const auto pe = ParseLayout(exe, error);
    if (!pe) return std::nullopt;
    auto resources = ReadResources(exe, *pe, error);
    if (!resources) return std::nullopt;
    report->replacedExisting = SetPackageLeaf(resources->root, package);

    // The old section is reused only when it is the last one and holds
    // nothing but the resources; otherwise they go to a new last section and
    // the old one stays as dead space.
    const std::uint32_t dirRva = Get32(exe, pe->DirectoryEntry(ResourceDirectory));
    // Last both in the file and in memory: every other section ends before
    // it begins, so it can grow without running into one.
    const auto isLast = [&](std::size_t index) {
        const Section& candidate = pe->sections[index];
        for (std::size_t i = 0; i < pe->sections.size(); ++i) {
            const Section& s = pe->sections[i];
            if (i == index) continue;
            if (VirtualEnd(s, pe->sectionAlignment) > candidate.virtualAddress ||
                (s.rawSize != 0 && std::uint64_t{s.rawPointer} + s.rawSize > candidate.rawPointer))
                return false;
        }
        return true;
    };
    const bool inPlace = resources->section && *resources->section + 1 == pe->sections.size() &&
                         isLast(*resources->section) && pe->sections.back().virtualAddress == dirRva;
    report->movedSection = !inPlace;
    const std::size_t sectionCount = pe->sections.size() + (inPlace ? 0 : 1);
    const std::size_t headerEnd = pe->sectionTableOffset + sectionCount * SectionHeaderSize;
    if (!inPlace) {
        std::size_t firstRaw = pe->sizeOfHeaders;
        for (const Section& s : pe->sections)
            if (s.rawSize) firstRaw = std::min<std::size_t>(firstRaw, s.rawPointer);
        if (headerEnd > firstRaw) {
            *error = "no room in the PE headers for another section";
            return std::nullopt;
        }
    }

    const Tail tail = TakeTail(exe, *pe, report);
    std::size_t sectionHeader = 0, rawPointer = 0;
    std::uint64_t rva = 0;
    std::uint32_t oldRawSize = 0;
    if (inPlace) {
        const Section& s = pe->sections.back();
        sectionHeader = s.headerOffset;
        rawPointer = s.rawPointer;
        rva = s.virtualAddress;
        oldRawSize = s.rawSize;
    } else {
        sectionHeader = pe->sectionTableOffset + pe->sections.size() * SectionHeaderSize;
        rawPointer = AlignUp(tail.start, pe->fileAlignment);
        for (const Section& s : pe->sections) rva = std::max(rva, VirtualEnd(s, pe->sectionAlignment));
    }
    TreeWriter tree;
    const std::size_t sectionSize = tree.Layout(resources->root);
    const std::uint64_t rawSize = AlignUp(sectionSize, pe->fileAlignment);
    const std::uint64_t imageEnd = AlignUp(rva + sectionSize, pe->sectionAlignment);
    if (rawPointer + rawSize + tail.bytes.size() > 0xFFFFFFFF || imageEnd > 0xFFFFFFFF) {
        *error = "the stamped image would exceed 4 GB";
        return std::nullopt;
    }
    // The package's data ends the section: the head runs up to it, the tail
    // pads the section out and carries what followed the last one.
    StampedImage image;
    std::vector<std::uint8_t>& out = image.head;
    out.assign(exe.begin(), exe.begin() + std::min(rawPointer, tail.start));
    out.resize(rawPointer, 0);
    tree.WriteUpToPackage(static_cast<std::uint32_t>(rva), out);
    image.package = package;
    image.tail.assign(rawSize - sectionSize, 0);
    image.tail.insert(image.tail.end(), tail.bytes.begin(), tail.bytes.end());
    const std::size_t tailStart = rawPointer + rawSize;

    if (!inPlace) {
        // The old section stays as dead space; renamed, so that tools that
        // look resources up by section name find the new one.
        static constexpr char deadName[8] = ".unused";
        if (resources->section)
            std::copy(deadName, deadName + 8, out.begin() + pe->sections[*resources->section].headerOffset);
        static constexpr char name[8] = ".rsrc";
        std::fill(out.begin() + sectionHeader, out.begin() + sectionHeader + SectionHeaderSize, 0);
        std::copy(name, name + 8, out.begin() + sectionHeader);
        Put32(out, sectionHeader + 36, SectionInitializedData | SectionRead);
        Put16(out, pe->coffOffset + 2, static_cast<std::uint32_t>(sectionCount));
    }
    Put32(out, sectionHeader + 8, static_cast<std::uint32_t>(sectionSize));
    Put32(out, sectionHeader + 12, static_cast<std::uint32_t>(rva));
    Put32(out, sectionHeader + 16, static_cast<std::uint32_t>(rawSize));
    Put32(out, sectionHeader + 20, static_cast<std::uint32_t>(rawPointer));

    // The symbol table moves with the rest of the tail.
    const std::uint32_t symbols = Get32(exe, pe->coffOffset + 8);
    if (symbols >= tail.start && symbols < exe.size())
        Put32(out, pe->coffOffset + 8, static_cast<std::uint32_t>(symbols - tail.start + tailStart));

    const std::size_t opt = pe->optionalOffset;
    Put32(out, opt + 8, Get32(exe, opt + 8) + static_cast<std::uint32_t>(rawSize) - oldRawSize);
    Put32(out, opt + 56, static_cast<std::uint32_t>(imageEnd));
    Put32(out, pe->DirectoryEntry(ResourceDirectory), static_cast<std::uint32_t>(rva));
    Put32(out, pe->DirectoryEntry(ResourceDirectory) + 4, static_cast<std::uint32_t>(sectionSize));
    Put32(out, pe->DirectoryEntry(CertificateDirectory), 0);
    Put32(out, pe->DirectoryEntry(CertificateDirectory) + 4, 0);
    // Summed with the field as zero, which it is until the sum goes in.
    Put32(out, pe->ChecksumOffset(), 0);
    PeChecksum checksum;
    checksum.Add(image.head);
    checksum.Add(image.package);
    checksum.Add(image.tail);
    Put32(out, pe->ChecksumOffset(), checksum.Value());
    return image;
}

bool WriteStampedImage(const std::string& path, const StampedImage& image, std::string* error) {
    const auto write = [&](std::ostream& out, std::string*) {
        for (const std::span<const std::uint8_t> part : {std::span<const std::uint8_t>(image.head), image.package,
                                                         std::span<const std::uint8_t>(image.tail)})
            out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
        return true;
    };
    // Whatever the stub's layout, no exe is left behind that does not read
    // back with the package in it.
    const auto readBack = [&](const std::filesystem::path& written, std::string* why) {
        platform::MapFailure failure = platform::MapFailure::None;
        const platform::MappedFile mapping = platform::MapFileForRead(written, &failure);
        if (!mapping) {
            *why = "cannot read back " + PrintablePath(written);
            return false;
        }
        std::string unreadable;
        const auto stamped = FindPackageInImage(platform::MappedBytes(mapping.get()), &unreadable);
        if (!stamped || !std::ranges::equal(*stamped, image.package)) {
            *why = "the stamped image does not read back (" +
                   (stamped ? std::string("the package differs") : unreadable) + ")";
            return false;
        }
        return true;
    };
    return ReplaceNativeFile(path, write, error, readBack);
}

std::optional<std::span<const std::uint8_t>> FindPackageInImage(std::span<const std::uint8_t> exe,
                                                                std::string* error) {
    const auto pe = ParseLayout(exe, error);
    if (!pe) return std::nullopt;
    auto resources = ReadResources(exe, *pe, error);
    if (!resources) return std::nullopt;
    const ResourceLeaf* leaf = FindPackageLeaf(resources->root);
    if (!leaf) {
        *error = "the executable has no UPDATE/102 resource";
        return std::nullopt;
    }
    return leaf->data;
}

namespace {

void CollectRecords(const ResourceTable& table, int depth, ResourceRecord record,
                    std::vector<ResourceRecord>* records) {
    for (const ResourceNode& node : table.nodes) {
        ResourceRecord here = record;
        const std::u16string text = node.name.isId ? std::u16string{} : node.name.text;
        if (depth == 0) {
            here.typeName = text;
            here.typeId = node.name.id;
        } else if (depth == 1) {
            here.name = text;
            here.id = node.name.id;
        } else {
            here.language = node.name.id;
        }
        if (node.table) {
            CollectRecords(*node.table, depth + 1, here, records);
        } else {
            here.codePage = node.leaf.codePage;
            here.data.assign(node.leaf.data.begin(), node.leaf.data.end());
            records->push_back(std::move(here));
        }
    }
}

}  // namespace

std::optional<std::vector<ResourceRecord>> ListResources(std::span<const std::uint8_t> exe,
                                                         std::string* error) {
    const auto pe = ParseLayout(exe, error);
    if (!pe) return std::nullopt;
    const auto resources = ReadResources(exe, *pe, error);
    if (!resources) return std::nullopt;
    std::vector<ResourceRecord> records;
    CollectRecords(resources->root, 0, {}, &records);
    return records;
}

}  // namespace updpack
