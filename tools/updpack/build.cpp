#include "tools/updpack/build.h"

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "package/writer.h"
#include "platform/files.h"
#include "tools/updpack/arguments.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/native_files.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/stamp.h"

namespace updpack {
namespace {

// Read through the seam, like the check that found the names, so both
// see the same files.
bool ReadEntry(const std::string& folder, const std::string& name, package::WriterEntry* entry,
               std::string* error) {
    // Straight into the entry: a file of 100 MB is held once, not twice.
    const platform::FileHandle file = platform::OpenForRead((folder + "\\" + name).c_str());
    const std::uint32_t size = file ? platform::FileSize32(file.get()) : platform::InvalidFileSize;
    std::uint32_t moved = 0;
    bool read = size != platform::InvalidFileSize;
    if (read) {
        entry->content.resize(size);
        read = platform::ReadOnce(file.get(), entry->content, &moved) && moved == size &&
               platform::GetLastWriteTime(file.get(), &entry->lastWriteTime);
    }
    if (!read) {
        *error = "cannot read " + PrintableEntryName(name);
        return false;
    }
    entry->name = name;
    return true;
}

// What the files hold in all, for the room the image may need; a file
// that can't be read counts nothing here and fails when it is packed.
std::uint64_t ContentBytes(const std::string& folder, const std::vector<std::string>& names) {
    std::uint64_t total = 0;
    for (const std::string& name : names) {
        const platform::FileHandle file = platform::OpenForRead((folder + "\\" + name).c_str());
        const std::uint32_t size = file ? platform::FileSize32(file.get()) : platform::InvalidFileSize;
        if (size != platform::InvalidFileSize) total += size;
    }
    return total;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> PackFolder(const std::string& folder, const FolderCheck& check,
                                                    std::string* error) {
    const std::string mounted = MountFolder(UpdateFolderDrive, folder);
    // Each file is read when a worker starts on it, so memory holds the
    // image and the few entries in flight, not the whole folder. The seam
    // is entered by one worker at a time.
    std::mutex reading;
    PackingProgress progress(check.entries.size());
    const package::EntryLoader load = [&](std::size_t index, package::WriterEntry* entry,
                                          std::string* why) {
        const std::lock_guard lock(reading);
        progress.Reading(check.entries[index]);
        return ReadEntry(mounted, check.entries[index], entry, why);
    };
    std::vector<std::uint8_t> image;
    image.reserve(package::LargestImageSize(check.entries.size(),
                                            ContentBytes(mounted, check.entries)));
    if (!package::StreamPackage(check.entries.size(), load, package::MemorySink(image),
                                package::WriterOptions{}, error)) {
        return std::nullopt;
    }
    return image;
}

int BuildCommand(std::span<const std::string> args, const std::filesystem::path& toolPath) {
    const auto parsed = ParseCommandArguments("build", args, {"-o", "--stub"}, 1);
    if (!parsed) return 2;
    const std::string* output = parsed->Option("-o");
    if (!output) return UsageError("build", "the output (-o) is missing");
    std::string error;
    const std::string& folder = parsed->positional[0];
    const std::filesystem::path stub = parsed->Option("--stub") ? std::filesystem::path(*parsed->Option("--stub"))
                                                                : toolPath.parent_path() / "updater.exe";

    // Whatever would fail at the player stops the build; warnings are told.
    const FolderCheck check = CheckUpdateFolder(folder, nullptr, std::nullopt);
    PrintFindings(check, stderr);
    if (ExitStatus(check) == 2) {
        std::fprintf(stderr, "updpack build: %s not built (run updpack check %s for the plan)\n", output->c_str(),
                     folder.c_str());
        return 1;
    }
    if (!CheckStub(stub, &error)) {
        std::fprintf(stderr, "updpack build: %s%s\n", error.c_str(),
                     parsed->Option("--stub") ? "" : " (the updater to stamp; --stub names another)");
        return 1;
    }
    // Stamped over, the stub would be gone for every later build.
    if (std::error_code notTheStub; std::filesystem::equivalent(*output, stub, notTheStub)) {
        std::fprintf(stderr, "updpack build: %s: is the stub stamped; not replaced\n", output->c_str());
        return 1;
    }
    if (!MayWriteUpdater(*output, &error)) {
        std::fprintf(stderr, "updpack build: %s\n", error.c_str());
        return 1;
    }
    const auto package = PackFolder(folder, check, &error);
    if (!package || !StampFile(stub, *package, *output, &error)) {
        std::fprintf(stderr, "updpack build: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %s, %zu bytes of package\n", output->c_str(),
                Counted(check.entries.size(), "entry", "entries").c_str(), package->size());
    return 0;
}

}  // namespace updpack
