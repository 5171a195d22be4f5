// updpack list, extract, extract-all, verify: reading a package.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "package/entry.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/updpack/arguments.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/native_files.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;

// One line on standard error, written in one piece: workers report side
// by side, and their lines must not mix.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    static std::mutex lock;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    std::vsnprintf(line.data(), line.size() + 1, format, again);
    va_end(again);
    const std::lock_guard<std::mutex> hold(lock);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

const char* DescribeRestoreFailure(package::RestoreFailure failure) {
    return failure == package::RestoreFailure::NoMemory
               ? "not enough memory to restore it"
               : "its stored data is damaged (it does not restore to its size)";
}

// Streams the entry's content, a piece at a time, to `write` (which returns
// false to stop), in memory that does not grow with the entry; false after
// a message when the entry does not restore.
template <typename Write>
bool StreamEntry(const char* command, std::span<const std::uint8_t> image,
                 const package::PackageEntry& entry, std::uint32_t offset, Write write) {
    package::EntryReader reader;
    package::RestoreFailure failure = reader.Open(image, entry, offset);
    for (std::span<const std::uint8_t> piece;
         failure == package::RestoreFailure::None && !(piece = reader.Next(&failure)).empty() &&
         write(piece);) {
    }
    if (failure != package::RestoreFailure::None) {
        Say("updpack %s: entry %s: %s\n", command, PrintableEntryName(entry.name).c_str(),
            DescribeRestoreFailure(failure));
        return false;
    }
    return true;
}

bool CopyEntry(const char* command, std::span<const std::uint8_t> image,
               const package::PackageEntry& entry, std::uint32_t offset, std::ostream& out) {
    return StreamEntry(command, image, entry, offset, [&](std::span<const std::uint8_t> piece) {
        return static_cast<bool>(out.write(reinterpret_cast<const char*>(piece.data()),
                                           static_cast<std::streamsize>(piece.size())));
    });
}

// Writes the entry to `path` through a temporary file beside it, so a
// failure leaves no half-written file, and gives it the entry's time stamp.
bool WriteEntryFile(const char* command, std::span<const std::uint8_t> image,
                    const fs::path& path, const package::PackageEntry& entry,
                    std::uint32_t offset) {
    std::string error;
    const bool written = ReplaceNativeFile(
        path,
        [&](std::ostream& out, std::string*) {
            return CopyEntry(command, image, entry, offset, out);
        },
        &error);
    if (!written) {
        // An entry that does not restore has been reported by CopyEntry.
        if (!error.empty()) Say("updpack %s: %s\n", command, error.c_str());
        return false;
    }
    // As a copy would: a file system that can't keep the time stamp keeps
    // the file. A stamp no file can have is told, as the file's time then
    // says nothing of the entry's.
    const platform::FileTime time = package::LastWriteTime(entry);
    if (!platform::IsSettableFileTime(time))
        Say("updpack %s: entry %s: its time stamp (%s) is none a file can have; the file keeps the time it was "
            "written\n",
            command, PrintableEntryName(entry.name).c_str(), IsoTimeFromFileTime(time).c_str());
    platform::SetNativeLastWriteTime(path, time);
    return true;
}

// The entries as work for several cores.
struct EntryWork {
    std::vector<std::uint32_t> offsets;  // of each entry's stored data
    std::vector<std::size_t> order;      // every entry, largest first
};

EntryWork PlanEntryWork(std::span<const package::PackageEntry> entries) {
    EntryWork work;
    work.offsets.reserve(entries.size());
    work.order.reserve(entries.size());
    std::uint32_t offset = package::HeaderSize;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        work.offsets.push_back(offset);
        offset += package::PaddedSize(entries[i].storedSize);
        work.order.push_back(i);
    }
    // The largest first, so that a big entry started last does not keep one
    // core busy while the others have finished.
    std::stable_sort(work.order.begin(), work.order.end(),
                     [&](std::size_t a, std::size_t b) { return entries[a].size > entries[b].size; });
    return work;
}

// What extract-all makes of an entry, given the ones before it.
enum class EntryOutcome {
    Written,
    // An earlier entry has its name to the updater's case-blind lookup
    // (platform::EqualNoCase): the updater never finds this one, as it takes
    // the first of equal names.
    Hidden,
    // An earlier entry's name differs only in a slash where this one has a
    // backslash: a different entry to the updater, but the same file here.
    SameFileAsEarlier,
};

// No byte of a double-byte character is a slash, so slashes are replaced
// byte by byte. Names are compared only with those of their length, as
// folding a letter never changes its byte count.
std::vector<EntryOutcome> PlanEntryOutcomes(std::span<const package::PackageEntry> entries) {
    struct Earlier {
        const char* name;
        std::string file;  // the name with slashes as backslashes
    };
    std::vector<EntryOutcome> outcomes(entries.size(), EntryOutcome::Written);
    std::unordered_map<std::size_t, std::vector<Earlier>> earlierByLength;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const char* name = entries[i].name;
        std::string file = name;
        std::replace(file.begin(), file.end(), '/', '\\');
        std::vector<Earlier>& sameLength = earlierByLength[file.size()];
        const auto matches = [&](auto equal) { return std::any_of(sameLength.begin(), sameLength.end(), equal); };
        if (matches([&](const Earlier& e) { return platform::EqualNoCase(e.name, name); })) {
            outcomes[i] = EntryOutcome::Hidden;
            continue;
        }
        if (matches([&](const Earlier& e) { return platform::EqualNoCase(e.file.c_str(), file.c_str()); }))
            outcomes[i] = EntryOutcome::SameFileAsEarlier;
        sameLength.push_back({name, std::move(file)});
    }
    return outcomes;
}

// Whether an entry name, as a path, stays inside the folder it is written
// into: a name with a folder part (a text UPDATE.INI names in a sub-folder)
// does; one that climbs out, or names a root or a drive, does not.
bool StaysInside(const fs::path& name) {
    if (name.empty() || name.has_root_path()) return false;
    return std::none_of(name.begin(), name.end(),
                        [](const fs::path& part) { return part.empty() || part == "." || part == ".."; });
}

// Enough workers for every core, but no more than this many, so memory
// stays bounded on large machines (each holds an entry reader's buffers).
constexpr unsigned MaxWorkers = 8;

// Calls `visit(index, offset)` once for every entry, on all cores; false
// counts a failure. Returns the number of failures.
template <typename Visit>
int VisitEntriesInParallel(const LoadedPackage& loaded, const char* command, Visit visit) {
    const auto entries = loaded.directory.entries();
    const EntryWork work = PlanEntryWork(entries);
    std::atomic<std::size_t> taken{0};
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (std::size_t turn; (turn = taken++) < work.order.size();) {
            const std::size_t i = work.order[turn];
            bool done = false;
            try {
                done = visit(i, work.offsets[i]);
            } catch (const std::exception& error) {
                Say("updpack %s: entry %s: %s\n", command,
                    PrintableEntryName(entries[i].name).c_str(), error.what());
            }
            if (!done) ++failures;
        }
    };
    const std::size_t workers = std::max<std::size_t>(
        1, std::min<std::size_t>({std::thread::hardware_concurrency(), MaxWorkers, work.order.size()}));
    std::vector<std::thread> threads;
    try {
        for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(worker);
    } catch (const std::system_error&) {
        // Fewer threads than cores is slower, not wrong.
    }
    worker();
    for (std::thread& thread : threads) thread.join();
    return failures;
}

}  // namespace

int ListCommand(std::span<const std::string> args) {
    const auto parsed = ParseCommandArguments("list", args, {}, 1);
    if (!parsed) return 2;
    const auto loaded = LoadPackageForCommand("list", parsed->positional[0]);
    if (!loaded) return 1;
    std::printf("%-32s %10s %10s %-10s %-9s %s\n", "name", "size", "stored", "compressed",
                "scrambled", "time (UTC)");
    for (const package::PackageEntry& entry : loaded->directory.entries()) {
        std::printf("%s %10u %10u %-10s %-9s %s\n", PaddedEntryName(entry.name, 32).c_str(),
                    entry.size, entry.storedSize, package::IsCompressed(entry) ? "yes" : "no",
                    package::IsScrambled(entry) ? "yes" : "no",
                    IsoTimeFromFileTime(package::LastWriteTime(entry)).c_str());
    }
    return 0;
}

int ExtractCommand(std::span<const std::string> args) {
    const auto parsed = ParseCommandArguments("extract", args, {"-o"}, 2);
    if (!parsed) return 2;
    const auto loaded = LoadPackageForCommand("extract", parsed->positional[0]);
    if (!loaded) return 1;
    // NAME whole (an entry may keep a folder in its name, with either
    // separator: NAME's are tried as written, then all as one, then the
    // other), else by its file name, after the last separator of either
    // kind, as UPDATE.INI's lines name a file on every system.
    const package::PackageEntry* entry = nullptr;
    std::uint32_t offset = 0;
    if (const auto name = EntryNameFromPath(fs::path(parsed->positional[1]))) {
        const std::vector<std::string> names = PathNames(*name);
        const auto joined = [&](char separator) {
            std::string text = names.front();
            for (std::size_t i = 1; i < names.size(); ++i) text += separator + names[i];
            return text;
        };
        for (const std::string& spelled : {*name, joined('\\'), joined('/'), names.back()}) {
            entry = package::FindEntry(loaded->directory.entries(), spelled.c_str(), &offset);
            if (entry) break;
        }
    }
    if (!entry) {
        std::fprintf(stderr, "updpack extract: %s: no entry named %s\n",
                     parsed->positional[0].c_str(), parsed->positional[1].c_str());
        return 1;
    }
    // "-" is standard output, as no -o is.
    const std::string* output = parsed->Option("-o");
    if (output && *output != "-") {
        if (std::error_code notThePackage; fs::equivalent(*output, parsed->positional[0], notThePackage)) {
            std::fprintf(stderr, "updpack extract: %s: is the package read; not replaced\n", output->c_str());
            return 1;
        }
        return WriteEntryFile("extract", loaded->image, fs::path(*output), *entry, offset) ? 0 : 1;
    }
    platform::UseBinaryStandardOutput();
    // A failed write to standard output is told once the command is done.
    return CopyEntry("extract", loaded->image, *entry, offset, std::cout) ? 0 : 1;
}

int ExtractAllCommand(std::span<const std::string> args) {
    const auto parsed = ParseCommandArguments("extract-all", args, {"-C"}, 1);
    if (!parsed) return 2;
    const std::string* folderName = parsed->Option("-C");
    if (!folderName) return UsageError("extract-all", "the folder (-C DIR) is missing");
    const auto loaded = LoadPackageForCommand("extract-all", parsed->positional[0]);
    if (!loaded) return 1;
    const fs::path folder(*folderName);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) {
        // A file where the folder should be is the usual cause, and is named.
        std::fprintf(stderr, "updpack extract-all: %s: cannot create the folder%s\n", folderName->c_str(),
                     fs::exists(folder, error) ? ": a file of that name is there" : "");
        return 1;
    }
    const auto entries = loaded->directory.entries();
    const std::vector<EntryOutcome> outcomes = PlanEntryOutcomes(entries);
    const int failures =
        VisitEntriesInParallel(*loaded, "extract-all", [&](std::size_t i, std::uint32_t offset) {
            const package::PackageEntry& entry = entries[i];
            switch (outcomes[i]) {
            case EntryOutcome::Written:
                break;
            case EntryOutcome::Hidden:
                Say("updpack extract-all: entry %s: skipped, an earlier entry has this name (the updater "
                    "uses that one)\n",
                    PrintableEntryName(entry.name).c_str());
                return true;
            case EntryOutcome::SameFileAsEarlier:
                Say("updpack extract-all: entry %s: not written, an earlier entry is written to the same file "
                    "(extract it alone with updpack extract -o)\n",
                    PrintableEntryName(entry.name).c_str());
                return false;
            }
            const fs::path name = PathFromEntryName(entry.name);
            // Nor one Windows gives no file (CON is the console there, and
            // a:b a stream of a), which no package of create's holds.
            if (!StaysInside(name) || !WhyWindowsRefuses(entry.name).empty()) {
                // An empty path is also what a name that is no cp932 gives;
                // the printed name says which ("(not cp932) ...").
                Say("updpack extract-all: entry %s: not a name a file inside the folder can have\n",
                    PrintableEntryName(entry.name).c_str());
                return false;
            }
            // A folder that can't be made fails the write, which says so.
            if (std::error_code ignored; name.has_parent_path())
                fs::create_directories(folder / name.parent_path(), ignored);
            return WriteEntryFile("extract-all", loaded->image, folder / name, entry, offset);
        });
    return failures ? 1 : 0;
}

// Sound entries an updater still can't use: told, as the package may be
// meant for something else.
void WarnOfUnusableEntries(const char* command, const std::string& path,
                           std::span<const package::PackageEntry> entries) {
    if (!package::FindEntry(entries, "UPDATE.INI", nullptr))
        std::fprintf(stderr, "updpack %s: %s: warning: no entry UPDATE.INI, which an updater reads first\n",
                     command, path.c_str());
    const std::vector<EntryOutcome> outcomes = PlanEntryOutcomes(entries);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (outcomes[i] == EntryOutcome::Hidden)
            std::fprintf(stderr,
                         "updpack %s: entry %s: warning: an earlier entry has this name; an updater "
                         "never uses this one\n",
                         command, PrintableEntryName(entries[i].name).c_str());
}

int CountDamagedEntries(const LoadedPackage& loaded, const char* command) {
    // Every entry is restored in full and the content let go piece by
    // piece: the damage a reader would meet shows, in bounded memory.
    const auto entries = loaded.directory.entries();
    return VisitEntriesInParallel(loaded, command, [&](std::size_t i, std::uint32_t offset) {
        return StreamEntry(command, loaded.image, entries[i], offset,
                           [](std::span<const std::uint8_t>) { return true; });
    });
}

int VerifyCommand(std::span<const std::string> args) {
    const auto parsed = ParseCommandArguments("verify", args, {}, 1);
    if (!parsed) return 2;
    const auto loaded = LoadPackageForCommand("verify", parsed->positional[0]);
    if (!loaded) return 1;
    // What stamp would refuse is no sound package either.
    if (std::string error; !HasPackageMagic(loaded->image, &error)) {
        std::fprintf(stderr, "updpack verify: %s: %s\n", parsed->positional[0].c_str(), error.c_str());
        return 1;
    }
    const int failures = CountDamagedEntries(*loaded, "verify");
    const std::size_t count = loaded->directory.entries().size();
    if (failures) {
        std::printf("%s: %d of %s damaged\n", parsed->positional[0].c_str(), failures,
                    Counted(count, "entry", "entries").c_str());
        return 1;
    }
    std::printf("%s: %s%s sound\n", parsed->positional[0].c_str(), count == 1 ? "" : "all ",
                Counted(count, "entry", "entries").c_str());
    WarnOfUnusableEntries("verify", parsed->positional[0], loaded->directory.entries());
    return 0;
}

}  // namespace updpack
