// Reading and rewriting the resource section of a PE32+ image, so that a
// package can be stamped into a prebuilt updater.exe on any OS, without the
// Windows resource API.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace updpack {

// What stamping did. The tool tells the publisher of a dropped signature;
// a package the stub carried is replaced as documented, and where the
// resources went shows in the file's layout alone.
struct StampReport {
    bool replacedExisting = false;   // an UPDATE/102 was there before
    bool movedSection = false;       // the resources went to a new last section
    bool droppedSignature = false;   // the certificate table was removed
};

// A stamped image in three parts: the package, which runs to hundreds of
// MB, stays where the caller holds it (which must outlive the image) and
// is written out from there.
struct StampedImage {
    std::vector<std::uint8_t> head;          // every byte before the package
    std::span<const std::uint8_t> package;
    std::vector<std::uint8_t> tail;          // every byte after it
};

// `exe` with `package` as its resource UPDATE/102, every other resource
// kept byte for byte, and headers, section table, checksum and certificate
// table consistent. nullopt with `error` set when `exe` is not a PE32+
// image or its layout can't take the new section.
std::optional<StampedImage> StampPackage(std::span<const std::uint8_t> exe,
                                         std::span<const std::uint8_t> package,
                                         StampReport* report, std::string* error);

// Writes `image` to `path` (a native path) and reads the file back before
// it replaces `path`: no exe is left there that does not read back with its
// package in it. False with `error` set otherwise.
bool WriteStampedImage(const std::string& path, const StampedImage& image, std::string* error);

// The bytes of the resource UPDATE/102 of `exe` (the first language), as
// a view of `exe`. nullopt with `error` set when `exe` is not a PE32+ image
// or has no such resource.
std::optional<std::span<const std::uint8_t>> FindPackageInImage(std::span<const std::uint8_t> exe,
                                                                std::string* error);

// One resource of an image, for listing and comparing: each level's name
// is an id, or a string when `...Name` is not empty.
struct ResourceRecord {
    std::u16string typeName;
    std::uint16_t typeId = 0;
    std::u16string name;
    std::uint16_t id = 0;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    std::vector<std::uint8_t> data;

    bool operator==(const ResourceRecord&) const = default;
};

// Every resource of `exe` in directory order; nullopt with `error` set when
// `exe` is not a PE32+ image or its resource tree is damaged.
std::optional<std::vector<ResourceRecord>> ListResources(std::span<const std::uint8_t> exe,
                                                         std::string* error);

// The PE checksum of `image`, the four bytes at `checksumOffset` counted
// as zero.
std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image, std::size_t checksumOffset);

}  // namespace updpack
