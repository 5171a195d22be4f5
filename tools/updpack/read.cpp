// updpack list, extract, extract-all, verify: reading a package.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "package/entry.h"
#include "platform/console.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/pe_resources.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;

int UsageError(const char* command, const std::string& what) {
    std::fprintf(stderr, "updpack %s: %s (see updpack %s --help)\n", command, what.c_str(),
                 command);
    return 2;
}

// Positional arguments and "-x VALUE" options; nullopt after a usage message.
struct ReadArguments {
    std::vector<std::string> positional;
    std::string option;  // the value of the one option the command takes
};
std::optional<ReadArguments> ParseRead(const char* command, std::span<const std::string> args,
                                       std::size_t positionalCount, const char* optionName) {
    ReadArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (optionName && args[i] == optionName) {
            if (++i == args.size())
                return UsageError(command, std::string(optionName) + " needs a value"),
                       std::nullopt;
            parsed.option = args[i];
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return UsageError(command, "unknown option " + args[i]), std::nullopt;
        } else {
            parsed.positional.push_back(args[i]);
        }
    }
    if (parsed.positional.size() != positionalCount)
        return UsageError(command, "expected " + std::to_string(positionalCount) +
                                       " argument(s), got " +
                                       std::to_string(parsed.positional.size())),
               std::nullopt;
    return parsed;
}

// Every entry with the offset of its stored data, in directory order.
template <typename Visit>
void ForEachEntry(const LoadedPackage& loaded, Visit visit) {
    std::uint32_t offset = package::HeaderSize;
    for (const package::PackageEntry& entry : loaded.directory.entries()) {
        visit(entry, offset);
        offset += package::PaddedSize(entry.storedSize);
    }
}

const char* DescribeRestoreFailure(package::RestoreFailure failure) {
    return failure == package::RestoreFailure::NoMemory
               ? "not enough memory to restore it"
               : "its stored data is damaged (it does not restore to its size)";
}

// The entry's content; empty after a message.
package::EntryContent Restore(const char* command, const LoadedPackage& loaded,
                              const package::PackageEntry& entry, std::uint32_t offset) {
    package::RestoreFailure failure;
    package::EntryContent content = package::RestoreEntry(loaded.image, entry, offset, &failure);
    if (!content)
        std::fprintf(stderr, "updpack %s: entry %s: %s\n", command,
                     PrintableEntryName(entry.name).c_str(), DescribeRestoreFailure(failure));
    return content;
}

// Streams the entry's content to `out`, in memory that does not grow with
// the entry; false after a message.
bool CopyEntry(const char* command, const LoadedPackage& loaded,
               const package::PackageEntry& entry, std::uint32_t offset, std::ostream& out) {
    package::EntryReader reader;
    package::RestoreFailure failure = reader.Open(loaded.image, entry, offset);
    for (std::span<const std::uint8_t> piece;
         failure == package::RestoreFailure::None && out &&
         !(piece = reader.Next(&failure)).empty();)
        out.write(reinterpret_cast<const char*>(piece.data()),
                  static_cast<std::streamsize>(piece.size()));
    if (failure != package::RestoreFailure::None) {
        std::fprintf(stderr, "updpack %s: entry %s: %s\n", command,
                     PrintableEntryName(entry.name).c_str(), DescribeRestoreFailure(failure));
        return false;
    }
    return true;
}

// Writes the entry to `path` through a temporary file beside it, so a
// failure leaves no half-written file, and gives it the entry's time stamp.
bool WriteEntryFile(const char* command, const LoadedPackage& loaded, const fs::path& path,
                    const package::PackageEntry& entry, std::uint32_t offset) {
    fs::path temporary = path;
    temporary += ".updpack-tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    const bool copied = out && CopyEntry(command, loaded, entry, offset, out);
    out.close();
    std::error_code error;
    if (copied && out) fs::rename(temporary, path, error);
    if (!copied || !out || error) {
        if (copied) std::fprintf(stderr, "updpack %s: can't write %s\n", command, path.string().c_str());
        fs::remove(temporary, error);
        return false;
    }
    fs::last_write_time(path, FileClockFromFileTime(package::LastWriteTime(entry)), error);
    return true;
}

}  // namespace

int ListCommand(std::span<const std::string> args) {
    const auto parsed = ParseRead("list", args, 1, nullptr);
    if (!parsed) return 2;
    const auto loaded = LoadPackageForCommand("list", parsed->positional[0]);
    if (!loaded) return 1;
    std::printf("%-32s %10s %10s %-10s %-9s %s\n", "name", "size", "stored", "compressed",
                "scrambled", "time (UTC)");
    ForEachEntry(*loaded, [](const package::PackageEntry& entry, std::uint32_t) {
        std::printf("%-32s %10u %10u %-10s %-9s %s\n", PrintableEntryName(entry.name).c_str(),
                    entry.size, entry.storedSize, package::IsCompressed(entry) ? "yes" : "no",
                    package::IsScrambled(entry) ? "yes" : "no",
                    IsoTimeFromFileTime(package::LastWriteTime(entry)).c_str());
    });
    return 0;
}

int ExtractCommand(std::span<const std::string> args) {
    const auto parsed = ParseRead("extract", args, 2, "-o");
    if (!parsed) return 2;
    const auto loaded = LoadPackageForCommand("extract", parsed->positional[0]);
    if (!loaded) return 1;
    const auto name = EntryNameFromPath(fs::path(parsed->positional[1]));
    std::uint32_t offset = 0;
    const package::PackageEntry* entry =
        name ? package::FindEntry(loaded->directory.entries(), name->c_str(), &offset) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "updpack extract: %s: no entry named %s\n",
                     parsed->positional[0].c_str(), parsed->positional[1].c_str());
        return 1;
    }
    if (!parsed->option.empty())
        return WriteEntryFile("extract", *loaded, fs::path(parsed->option), *entry, offset) ? 0 : 1;
    platform::UseBinaryStandardOutput();
    if (!CopyEntry("extract", *loaded, *entry, offset, std::cout)) return 1;
    if (!std::cout.flush()) {
        std::fprintf(stderr, "updpack extract: can't write to standard output\n");
        return 1;
    }
    return 0;
}

int ExtractAllCommand(std::span<const std::string> args) {
    const auto parsed = ParseRead("extract-all", args, 1, "-C");
    if (!parsed) return 2;
    if (parsed->option.empty()) return UsageError("extract-all", "the folder (-C DIR) is missing");
    const auto loaded = LoadPackageForCommand("extract-all", parsed->positional[0]);
    if (!loaded) return 1;
    const fs::path folder(parsed->option);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) {
        std::fprintf(stderr, "updpack extract-all: %s: can't create the folder\n",
                     parsed->option.c_str());
        return 1;
    }
    int failures = 0;
    ForEachEntry(*loaded, [&](const package::PackageEntry& entry, std::uint32_t offset) {
        const fs::path name = PathFromEntryName(entry.name);
        // An entry name is a file name: one that would climb out of the
        // folder is refused.
        if (name.empty() || name != name.filename() || name == "." || name == "..") {
            std::fprintf(stderr, "updpack extract-all: entry %s: not a plain file name\n",
                         PrintableEntryName(entry.name).c_str());
            ++failures;
            return;
        }
        if (!WriteEntryFile("extract-all", *loaded, folder / name, entry, offset)) ++failures;
    });
    return failures ? 1 : 0;
}

int VerifyCommand(std::span<const std::string> args) {
    const auto parsed = ParseRead("verify", args, 1, nullptr);
    if (!parsed) return 2;
    const auto loaded = LoadPackageForCommand("verify", parsed->positional[0]);
    if (!loaded) return 1;
    int failures = 0;
    ForEachEntry(*loaded, [&](const package::PackageEntry& entry, std::uint32_t offset) {
        if (!Restore("verify", *loaded, entry, offset)) ++failures;
    });
    const std::size_t count = loaded->directory.entries().size();
    if (failures) {
        std::printf("%s: %d of %zu entries damaged\n", parsed->positional[0].c_str(), failures,
                    count);
        return 1;
    }
    std::printf("%s: all %zu entries sound\n", parsed->positional[0].c_str(), count);
    return 0;
}

}  // namespace updpack
