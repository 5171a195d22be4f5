#include "tools/updpack/native_files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#include "platform/console.h"
#include "platform/mapped_file.h"
#include "tools/updpack/package_files.h"

namespace updpack {

std::string MountFolder(char drive, const std::filesystem::path& folder) {
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, failed);
    return platform::MountNativeFolder(drive, (failed ? folder : absolute).lexically_normal());
}

namespace {

// False, with `error` set, when `path` names a folder, a device or a pipe.
bool IsFileOrMissing(const std::filesystem::path& path, std::string* error) {
    std::error_code failed;
    const std::filesystem::file_status status = std::filesystem::status(path, failed);
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) return true;
    *error = PrintablePath(path) + ": not a file";
    return false;
}

// A tag for a temporary file's name: random for each run of the tool, so
// two runs writing the same output do not share a file, and counting within
// a run, so its threads do not either. One seed per run, as a random device
// costs a system call or two each time it is opened.
unsigned NextTemporaryTag() {
    static const unsigned seed = std::random_device{}();
    static std::atomic<unsigned> count{0};
    return seed + count.fetch_add(1, std::memory_order_relaxed);
}

// The file an output names. A symbolic link is written through, as a copy
// would, not replaced by a file of its own; a link to nothing is refused.
std::optional<std::filesystem::path> FollowLinks(const std::filesystem::path& output, std::string* error) {
    std::error_code failed;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(output, failed))) return output;
    std::filesystem::path target = std::filesystem::canonical(output, failed);
    if (failed) {
        *error = PrintablePath(output) + ": a link to no file; not replaced";
        return std::nullopt;
    }
    return target;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadNativeFile(const std::filesystem::path& path,
                                                        std::string* error) {
    // A folder opens as a file of no end, and a pipe waits for a writer.
    if (!IsFileOrMissing(path, error)) return std::nullopt;
    // Opened by its path object: on Windows that reaches the file system in
    // UTF-16, whatever the name's characters.
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code failed;
        *error = std::filesystem::exists(path, failed) || failed ? "cannot open " + PrintablePath(path)
                                                                 : PrintablePath(path) + ": no such file";
        return std::nullopt;
    }
    // One sized read: packages run to hundreds of MB, and reading them
    // through a stream iterator took seconds.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) {
        *error = "cannot read " + PrintablePath(path);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (in.gcount() != size) {
        *error = "cannot read " + PrintablePath(path);
        return std::nullopt;
    }
    return bytes;
}

std::string CannotWrite(const std::filesystem::path& path) {
    const int reason = errno;
    return "cannot write " + PrintablePath(path) + (reason != 0 ? std::string(": ") + std::strerror(reason) : "");
}

bool MayReplaceWith(const std::filesystem::path& path, const char* kind,
                    const EarlierOutputTest& isEarlierOutput, std::string* error) {
    // Where extract takes it for standard output, a package or an exe
    // can't go: it is written out of order.
    if (path == "-") {
        *error = std::string("- names standard output, which cannot take ") + kind + "; ./- names a file";
        return false;
    }
    if (!IsFileOrMissing(path, error)) return false;
    // Mapped, not read: a file that turns into a pipe meanwhile is refused,
    // not waited on.
    platform::MapFailure failure = platform::MapFailure::None;
    const platform::MappedFile existing = platform::MapFileForRead(path, &failure);
    switch (failure) {
    case platform::MapFailure::Missing:
    case platform::MapFailure::Empty:
        return true;
    case platform::MapFailure::None:
        if (isEarlierOutput(platform::MappedBytes(existing.get()))) return true;
        *error = PrintablePath(path) + ": already exists and is not " + kind + "; not replaced";
        return false;
    default:
        // A file this tool can't read may still be one a rename replaces.
        *error = PrintablePath(path) + ": already exists and cannot be read to see what it is; not replaced";
        return false;
    }
}

bool ReplaceNativeFile(const std::filesystem::path& output, const NativeFileFiller& fill,
                       std::string* error, const NativeFileCheck& check) {
    // Renamed over a folder, a device or a pipe, the file would take its
    // place, even /dev/null's.
    if (!IsFileOrMissing(output, error)) return false;
    const std::optional<std::filesystem::path> target = FollowLinks(output, error);
    if (!target) return false;
    const std::filesystem::path& path = *target;
    // Beside the target, under a name that keeps within the file system's
    // 255 characters however long the target's is.
    constexpr std::size_t KeptNameLength = 200;
    std::filesystem::path::string_type name = path.filename().native();
    name.resize(std::min(name.size(), KeptNameLength));
    std::filesystem::path temporary = path.parent_path() / name;
    char unique[16];
    std::snprintf(unique, sizeof unique, ".%08x", NextTemporaryTag());
    temporary += unique;
    temporary += ".updpack-tmp";
    // Removed as well should a mapped input fail to read while it is
    // written, or a signal stop the tool; declared first so that it stays
    // marked until it is gone.
    const platform::UnfinishedOutput unfinished(temporary);
    // Declared before the stream, so the file is closed before it goes,
    // on every way out but the rename (a throw included).
    struct Discard {
        const std::filesystem::path& path;
        bool keep = false;
        ~Discard() {
            if (keep) return;
            // Windows removes no read-only file, and the temporary file is
            // made so when it takes a read-only target's permissions.
            std::error_code ignored;
            std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
            std::filesystem::remove(path, ignored);
        }
    } discard{temporary};
    {
        errno = 0;  // what is left there when the writes fail is their reason
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out && !fill(out, error)) return false;
        out.close();
        if (!out) {
            *error = CannotWrite(path);
            return false;
        }
    }
    if (check && !check(temporary, error)) return false;
    // As a copy over it would, the output keeps the permissions of the file
    // it replaces (who else may read it, or run it).
    std::optional<std::filesystem::perms> kept;
    if (std::error_code none; std::filesystem::exists(path, none)) {
        kept = std::filesystem::status(path, none).permissions();
        if (none) kept.reset();
        else std::filesystem::permissions(temporary, *kept, none);
    }
    std::error_code failed;
    std::filesystem::rename(temporary, path, failed);
    if (failed && kept && (*kept & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        // POSIX asks only the folder whether a file may be renamed over
        // another, but Windows refuses to replace a read-only file: the mark
        // comes off for a second try, and goes back on should that fail too.
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::rename(temporary, path, failed);
        if (failed) std::filesystem::permissions(path, *kept, ignored);
    }
    if (failed) {
        *error = "cannot replace " + PrintablePath(path) + ": " + failed.message();
        return false;
    }
    discard.keep = true;
    return true;
}

}  // namespace updpack
