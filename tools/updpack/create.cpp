// updpack create: a package from the publisher's files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>

#include "package/compress.h"
#include "package/writer.h"
#include "platform/console.h"
#include "platform/text.h"
#include "tools/updpack/arguments.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/native_files.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;

struct CreateOptions {
    std::optional<std::string> output;  // the first argument that is no option
    fs::path folder;
    std::vector<std::string> files;
    package::WriterOptions writer;
    bool scramble = false;
    std::vector<std::string> scrambleOnly;  // --scramble=FILE
};

int Fail(const std::string& what) {
    std::fprintf(stderr, "updpack create: %s\n", what.c_str());
    return 1;
}

bool IsLevelOption(const std::string& arg) {
    return arg.size() == 2 && arg[0] == '-' && arg[1] >= '0' + package::FastestLevel &&
           arg[1] <= '0' + package::BestLevel;
}

// nullopt after a usage message.
std::optional<CreateOptions> ParseCreate(std::span<const std::string> args) {
    CreateOptions options;
    // Each option but --scramble=FILE counts once: a second is more likely a
    // slip (two levels, two folders) than a change of mind.
    std::set<std::string> given;
    const auto twice = [&](const std::string& option) {
        if (given.insert(option).second) return false;
        UsageError("create", "option " + option + " given twice");
        return true;
    };
    // The output first, then the files.
    const auto positional = [&](const std::string& arg) {
        if (!options.output) options.output = arg;
        else options.files.push_back(arg);
    };
    bool optionsEnded = false;  // by "--": a file name may then start with '-'
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded) {
            positional(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-C") {
            if (++i == args.size()) return UsageError("create", "-C needs a folder"), std::nullopt;
            if (args[i].empty()) return UsageError("create", "option -C given empty"), std::nullopt;
            if (twice(arg)) return std::nullopt;
            options.folder = args[i];
        } else if (IsLevelOption(arg)) {
            if (twice("-1..-9")) return std::nullopt;
            options.writer.level = arg[1] - '0';
        } else if (arg == "--scramble") {
            if (twice(arg)) return std::nullopt;
            options.scramble = true;
        } else if (arg.starts_with("--scramble=")) {
            options.scrambleOnly.push_back(arg.substr(std::strlen("--scramble=")));
        } else if (arg == "--plain-directory") {
            if (twice(arg)) return std::nullopt;
            options.writer.compressDirectory = false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("create", "unknown option " + arg), std::nullopt;
        } else {
            positional(arg);
        }
    }
    // Given empty (a variable a script left unset), it is missing too.
    if (!options.output || options.output->empty())
        return UsageError("create", "the output package is missing"), std::nullopt;
    if (options.files.empty()) return UsageError("create", "no files to pack"), std::nullopt;
    // A mistyped name would ship its file unscrambled without a word. A
    // file of that name given another way is named, as the spelling to use.
    for (const std::string& name : options.scrambleOnly) {
        if (std::find(options.files.begin(), options.files.end(), name) != options.files.end()) continue;
        const auto entryName = [](const std::string& file) { return EntryNameFromPath(fs::path(file).filename()); };
        const auto wanted = entryName(name);
        const auto sameName = [&](const std::string& file) {
            const auto given = entryName(file);
            return wanted && given && platform::EqualNoCase(given->c_str(), wanted->c_str());
        };
        const auto file = std::find_if(options.files.begin(), options.files.end(), sameName);
        const std::string hint =
            file == options.files.end() ? "" : " (give it as the file is given: --scramble=" + *file + ")";
        return UsageError("create", "--scramble=" + name + " names no file being packed" + hint), std::nullopt;
    }
    return options;
}

// A file to pack, as listed before any is read: its entry, all but the
// content, and the size its content must have when it is read.
struct ListedFile {
    fs::path path;
    std::uint64_t size = 0;
    package::WriterEntry entry;
};

// Every check that needs no content is made here, before anything is
// encoded; false after a message.
bool ListFile(const CreateOptions& options, const std::string& file,
              std::span<const ListedFile> earlier, ListedFile* listed) {
    const fs::path path = options.folder / fs::path(file);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        Fail(PrintablePath(path) + ": no such file (or not a regular file)");
        return false;
    }
    // "create game.fa2 *" run again would pack the old package into the new.
    if (fs::equivalent(path, *options.output, error)) {
        Fail(PrintablePath(path) + ": is the output package itself; not packed into it");
        return false;
    }
    // A Linux file name may hold one; the updater would look for the part
    // after it.
    if (path.filename().string().find('\\') != std::string::npos) {
        Fail(PrintablePath(path) + ": the file name holds a backslash, a folder separator to the updater");
        return false;
    }
    const auto name = EntryNameFromPath(path.filename());
    if (!name) {
        Fail(PrintablePath(path) + ": the file name cannot be written in cp932");
        return false;
    }
    if (!package::ValidEntryName(*name)) {
        Fail(PrintablePath(path) + ": the file name is longer than 259 bytes in cp932");
        return false;
    }
    // The updater writes an entry under its own name, which must be one
    // Windows can give a file.
    if (const std::string refused = WhyWindowsRefuses(*name); !refused.empty()) {
        Fail(PrintablePath(path) + ": Windows allows no such file name (" + refused + ")");
        return false;
    }
    for (const ListedFile& other : earlier) {
        // The updater finds only the first of two such names.
        if (platform::EqualNoCase(other.entry.name.c_str(), name->c_str())) {
            Fail(PrintablePath(path) + ": a second entry named " + PrintableEntryName(*name) +
                 (other.entry.name == *name ? "" : " (names are compared without regard to case)"));
            return false;
        }
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        Fail(PrintablePath(path) + ": cannot read its size");
        return false;
    }
    const auto time = platform::NativeLastWriteTime(path);
    if (!time) {
        Fail(PrintablePath(path) + ": cannot read its time stamp");
        return false;
    }
    if (size > UINT32_MAX) {
        Fail(PrintablePath(path) + ": larger than 4 GiB, which a package cannot hold");
        return false;
    }
    listed->path = path;
    listed->size = size;
    listed->entry.name = *name;
    listed->entry.lastWriteTime = *time;
    listed->entry.scramble = options.scramble || std::find(options.scrambleOnly.begin(),
                                                           options.scrambleOnly.end(),
                                                           file) != options.scrambleOnly.end();
    return true;
}

// The content is read only when a worker starts on the entry, so memory
// holds the few entries in flight, not the whole folder.
bool LoadListedFile(const ListedFile& file, package::WriterEntry* entry, std::string* error) {
    auto content = ReadNativeFile(file.path, error);
    if (!content) return false;
    if (content->size() != file.size) {
        *error = PrintablePath(file.path) + ": changed size while it was being packed";
        return false;
    }
    *entry = file.entry;
    entry->content = std::move(*content);
    return true;
}

// The package straight into the open output file, its header last.
bool StreamToFile(const std::string& output, std::span<const ListedFile> files,
                  const package::WriterOptions& options, std::ostream& out,
                  std::uint64_t* size, std::string* error) {
    const auto written = [&](std::string* why) {
        if (!out) *why = CannotWrite(output);
        return static_cast<bool>(out);
    };
    const package::PackageSink sink{
        [&](std::span<const std::uint8_t> bytes, std::string* why) {
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            return written(why);
        },
        [&](std::span<const std::uint8_t> header, std::string* why) {
            out.seekp(0);
            out.write(reinterpret_cast<const char*>(header.data()),
                      static_cast<std::streamsize>(header.size()));
            return written(why);
        }};
    PackingProgress progress(files.size());
    const auto streamed = package::StreamPackage(
        files.size(),
        [&](std::size_t index, package::WriterEntry* entry, std::string* why) {
            progress.Reading(files[index].entry.name);
            return LoadListedFile(files[index], entry, why);
        },
        sink, options, error);
    if (streamed) *size = *streamed;
    return streamed.has_value();
}

}  // namespace

int CreateCommand(std::span<const std::string> args) {
    const auto options = ParseCreate(args);
    if (!options) return 2;
    // The output first: a forgotten one makes the first file the output,
    // which is best told as that.
    std::string error;
    const auto isPackage = [](std::span<const std::uint8_t> content) {
        std::string notAPackage;
        return HasPackageMagic(content, &notAPackage);
    };
    if (!MayReplaceWith(*options->output, "an update package", isPackage, &error)) return Fail(error);
    std::vector<ListedFile> files;
    for (const std::string& file : options->files) {
        ListedFile listed;
        if (!ListFile(*options, file, files, &listed)) return 1;
        files.push_back(std::move(listed));
    }
    std::uint64_t size = 0;
    const bool created = ReplaceNativeFile(
        *options->output,
        [&](std::ostream& out, std::string* why) {
            return StreamToFile(*options->output, files, options->writer, out, &size, why);
        },
        &error);
    if (!created) return Fail(error);
    std::printf("%s: %s, %zu bytes\n", options->output->c_str(), Counted(files.size(), "entry", "entries").c_str(),
                static_cast<std::size_t>(size));
    return 0;
}

}  // namespace updpack
