// What the package commands share: entry names as the publisher types and
// sees them, time stamps, and a package loaded with its directory checked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/format.h"
#include "platform/mapped_file.h"

namespace updpack {

// The cp932 entry name for a path as the command line gives it (UTF-8 on
// Linux, the ANSI code page on Windows), taken whole; nullopt when cp932
// can't hold it.
std::optional<std::string> EntryNameFromPath(const std::filesystem::path& path);
// The names of a relative Windows path (cp932), split at backslashes and
// slashes; an empty one where a separator comes first, last or twice.
std::vector<std::string> PathNames(const std::string& path);
// Why Windows has no file or folder at the relative path `path` (a control
// character, one of < > : " | ? *, a device name); empty when nothing keeps
// it from being made.
std::string WhyWindowsRefuses(const std::string& path);

// The entry name as a path (for writing) and as printable text. Control
// characters print as escapes (\x1B), in a native path too.
std::filesystem::path PathFromEntryName(const std::string& name);
std::string PrintableEntryName(const std::string& name);
// The longest start of cp932 `text` that ends at a character's end and has
// no more than `bytes` bytes: a cut that splits no double-byte character.
std::string Cp932Prefix(const std::string& text, std::size_t bytes);
std::string PrintablePath(const std::filesystem::path& path);
// PrintableEntryName padded with blanks to `columns` terminal columns (a
// double-byte character takes two), for a table.
std::string PaddedEntryName(const std::string& name, std::size_t columns);

// "1 entry", "3 entries": a count with its noun.
std::string Counted(std::size_t count, const char* one, const char* many);

// FILETIME ticks as UTC ISO-8601 text, to the second.
std::string IsoTimeFromFileTime(std::uint64_t fileTime);

// A package file mapped into memory with its directory loaded: the file
// itself, or the package resource of a stamped updater; nullopt after a
// message that says what is wrong. `image` lies in `mapping`, or in `copy`
// when the caller asked for one (Windows does not let a mapped file be
// replaced); moving keeps it valid.
struct LoadedPackage {
    platform::MappedFile mapping;
    std::vector<std::uint8_t> copy;
    std::span<const std::uint8_t> image;
    package::PackageDirectory directory;
};
// The updater accepts any header, but a file without "FA2" in front is far
// more likely not a package at all; stamp and verify refuse it. False with
// `error` set.
bool HasPackageMagic(std::span<const std::uint8_t> package, std::string* error);

enum class PackageAccess { Mapped, Copied };
// "packing 3/570: NAME" on standard error as each file of a package is
// read, when standard error is a terminal; the line is cleared when the
// progress goes. The workers that read the files may call it at once.
class PackingProgress {
public:
    explicit PackingProgress(std::size_t files);
    ~PackingProgress();
    PackingProgress(const PackingProgress&) = delete;
    PackingProgress& operator=(const PackingProgress&) = delete;

    // `name` is an entry name (cp932).
    void Reading(const std::string& name);

private:
    const bool shown_;
    const std::size_t files_;
    std::size_t started_ = 0;
    std::mutex printing_;
};

std::optional<LoadedPackage> LoadPackageForCommand(const std::string& command, const std::string& path,
                                                   PackageAccess access = PackageAccess::Mapped);

}  // namespace updpack
