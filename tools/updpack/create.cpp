// updpack create: a package from the publisher's files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "package/compress.h"
#include "package/writer.h"
#include "platform/text.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/pe_resources.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;

struct CreateOptions {
    std::string output;
    fs::path folder;
    std::vector<std::string> files;
    package::WriterOptions writer;
    bool scramble = false;
    std::vector<std::string> scrambleOnly;  // --scramble=FILE
};

int UsageError(const std::string& what) {
    std::fprintf(stderr, "updpack create: %s (see updpack create --help)\n", what.c_str());
    return 2;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "updpack create: %s\n", what.c_str());
    return 1;
}

bool IsLevelOption(const std::string& arg) {
    return arg.size() == 2 && arg[0] == '-' && arg[1] >= '1' && arg[1] <= '9';
}

// nullopt after a usage message.
std::optional<CreateOptions> ParseCreate(std::span<const std::string> args) {
    CreateOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-C") {
            if (++i == args.size()) return UsageError("-C needs a folder"), std::nullopt;
            options.folder = args[i];
        } else if (IsLevelOption(arg)) {
            options.writer.level = arg[1] - '0';
        } else if (arg == "--scramble") {
            options.scramble = true;
        } else if (arg.starts_with("--scramble=")) {
            options.scrambleOnly.push_back(arg.substr(std::strlen("--scramble=")));
        } else if (arg == "--plain-directory") {
            options.writer.compressDirectory = false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg), std::nullopt;
        } else if (options.output.empty()) {
            options.output = arg;
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.output.empty()) return UsageError("the output package is missing"), std::nullopt;
    if (options.files.empty()) return UsageError("no files to pack"), std::nullopt;
    return options;
}

// The entry for one file; false after a message.
bool ReadEntry(const CreateOptions& options, const std::string& file,
               std::span<const package::WriterEntry> earlier, package::WriterEntry* entry) {
    const fs::path path = options.folder / fs::path(file);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        Fail(path.string() + ": no such file (or not a regular file)");
        return false;
    }
    const auto name = EntryNameFromPath(path);
    if (!name) {
        Fail(path.string() + ": the file name can't be written in cp932");
        return false;
    }
    if (!package::ValidEntryName(*name)) {
        Fail(path.string() + ": the file name is longer than 259 bytes in cp932");
        return false;
    }
    for (const package::WriterEntry& other : earlier) {
        // The updater finds only the first of two such names.
        if (platform::EqualNoCase(other.name.c_str(), name->c_str())) {
            Fail(path.string() + ": a second entry named " + PrintableEntryName(*name) +
                 " (names are compared without regard to case)");
            return false;
        }
    }
    std::string message;
    auto content = ReadNativeFile(path.string(), &message);
    const auto time = fs::last_write_time(path, error);
    if (!content || error) {
        Fail(content ? path.string() + ": can't read its time stamp" : message);
        return false;
    }
    if (content->size() > UINT32_MAX) {
        Fail(path.string() + ": larger than 4 GiB, which a package can't hold");
        return false;
    }
    entry->name = *name;
    entry->content = std::move(*content);
    entry->lastWriteTime = FileTimeFromFileClock(time);
    entry->scramble = options.scramble || std::find(options.scrambleOnly.begin(),
                                                    options.scrambleOnly.end(),
                                                    file) != options.scrambleOnly.end();
    return true;
}

}  // namespace

int CreateCommand(std::span<const std::string> args) {
    const auto options = ParseCreate(args);
    if (!options) return 2;
    std::vector<package::WriterEntry> entries;
    for (const std::string& file : options->files) {
        package::WriterEntry entry;
        if (!ReadEntry(*options, file, entries, &entry)) return 1;
        entries.push_back(std::move(entry));
    }
    const std::vector<std::uint8_t> image = package::WritePackage(entries, options->writer);
    std::string error;
    if (!WriteNativeFile(options->output, image, &error)) return Fail(error);
    std::printf("%s: %zu entries, %zu bytes\n", options->output.c_str(), entries.size(),
                image.size());
    return 0;
}

}  // namespace updpack
