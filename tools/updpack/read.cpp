// updpack list, extract, extract-all, verify: reading a package.
#include <cstdio>
#include <filesystem>

#include "package/entry.h"
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

bool WriteEntryFile(const char* command, const fs::path& path,
                    const package::PackageEntry& entry, const package::EntryContent& content) {
    std::string error;
    if (!WriteNativeFile(path.string(), content.bytes, &error)) {
        std::fprintf(stderr, "updpack %s: %s\n", command, error.c_str());
        return false;
    }
    std::error_code ignored;
    fs::last_write_time(path, FileClockFromFileTime(package::LastWriteTime(entry)), ignored);
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
    const package::EntryContent content = Restore("extract", *loaded, *entry, offset);
    if (!content) return 1;
    if (!parsed->option.empty())
        return WriteEntryFile("extract", fs::path(parsed->option), *entry, content) ? 0 : 1;
    if (std::fwrite(content.data(), 1, content.bytes.size(), stdout) != content.bytes.size() ||
        std::fflush(stdout) != 0) {
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
        const package::EntryContent content = Restore("extract-all", *loaded, entry, offset);
        const fs::path name = PathFromEntryName(entry.name);
        // An entry name is a file name: one that would climb out of the
        // folder is refused.
        if (!content) {
            ++failures;
            return;
        }
        if (name.empty() || name != name.filename() || name == "." || name == "..") {
            std::fprintf(stderr, "updpack extract-all: entry %s: not a plain file name\n",
                         PrintableEntryName(entry.name).c_str());
            ++failures;
            return;
        }
        if (!WriteEntryFile("extract-all", folder / name, entry, content)) ++failures;
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
