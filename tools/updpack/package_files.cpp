#include "tools/updpack/package_files.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>

#include "platform/console.h"
#include "platform/text.h"
#include "tools/updpack/pe_resources.h"

namespace updpack {
namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, platform::FileTimeTicksPerSecond>>;
constexpr std::chrono::seconds FileTimeEpochOffset{platform::SecondsFrom1601To1970};

Ticks SinceUnix(std::uint64_t fileTime) {
    return Ticks(static_cast<std::int64_t>(std::min<std::uint64_t>(fileTime, INT64_MAX))) -
           FileTimeEpochOffset;
}

}  // namespace

std::optional<std::string> EntryNameFromPath(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    const std::string_view utf8(reinterpret_cast<const char*>(name.data()), name.size());
    // Only a name that converts back unchanged: the code page's tables put
    // look-alikes in place of some characters (the backslash for the yen
    // sign), which would name another file, or a folder.
    std::string cp932, back;
    if (!platform::Cp932FromUtf8(utf8, &cp932) || !platform::Utf8FromCp932(cp932, &back) || back != utf8)
        return std::nullopt;
    return cp932;
}

// The second byte of a double-byte character is no separator.
std::vector<std::string> PathNames(const std::string& path) {
    std::vector<std::string> names(1);
    for (const char* at = path.c_str(); *at != '\0';) {
        const char* next = platform::NextCp932Char(at);
        if (next - at == 1 && (*at == '\\' || *at == '/')) {
            names.emplace_back();
        } else {
            names.back().append(at, next);
        }
        at = next;
    }
    return names;
}

std::string WhyWindowsRefuses(const std::string& path) {
    static const std::set<std::string> devices = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const std::string& name : PathNames(path)) {
        for (const char* at = name.c_str(); *at != '\0'; at = platform::NextCp932Char(at)) {
            const auto byte = static_cast<unsigned char>(*at);
            if (platform::NextCp932Char(at) - at == 1 && (byte < 32 || std::string_view("<>:\"|?*").find(*at) != std::string_view::npos))
                return byte < 32 ? "a control character" : std::string("the character ") + *at;
        }
        // A device name stays one with an extension or blanks after it.
        std::string stem = name.substr(0, name.find('.'));
        stem.erase(stem.find_last_not_of(' ') + 1);
        std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
        if (devices.count(stem) != 0) return "the device name " + stem;
    }
    return {};
}

std::filesystem::path PathFromEntryName(const std::string& name) {
    // The updater's folder separator is the backslash, which is none on
    // POSIX: each name of the path is converted on its own. An empty name
    // (a separator first, last or doubled) gives an empty path, as a name
    // that can't be converted does.
    std::filesystem::path path;
    for (const std::string& part : PathNames(name)) {
        std::string utf8;
        if (part.empty() || !platform::Utf8FromCp932(part, &utf8)) return {};
        path /= std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    }
    return path;
}

namespace {

// Control characters are shown as escapes, never sent to the terminal: a
// crafted name could move its cursor or recolour it. No byte below 0x20
// is part of a longer character, in UTF-8 or in any ANSI code page. Text
// in no known encoding has its bytes past ASCII escaped too.
std::string Escaped(std::string_view text, bool asciiOnly = false) {
    std::string printable;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F && (byte < 0x80 || !asciiOnly)) {
            printable += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            printable += escape;
        }
    }
    return printable;
}

}  // namespace

std::string PrintableEntryName(const std::string& name) {
    std::string converted;
    if (platform::PrintableFromCp932(name, &converted)) return Escaped(converted);
    return "(not cp932) " + Escaped(name, true);
}

std::string Cp932Prefix(const std::string& text, std::size_t bytes) {
    const char* end = text.c_str();
    while (*end != '\0' && static_cast<std::size_t>(platform::NextCp932Char(end) - text.c_str()) <= bytes)
        end = platform::NextCp932Char(end);
    return std::string(text.c_str(), end);
}

std::string PrintablePath(const std::filesystem::path& path) { return Escaped(platform::NarrowPath(path)); }

std::string PaddedEntryName(const std::string& name, std::size_t columns) {
    std::string converted;
    const std::string printable = PrintableEntryName(name);
    // A cp932 character takes as many columns as it has bytes, in the
    // printed form too, but for the four of each escape; other names print
    // as ASCII.
    std::size_t used = printable.size();
    if (platform::PrintableFromCp932(name, &converted)) {
        used = name.size();
        for (const char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) used += 3;
    }
    return printable + std::string(columns > used ? columns - used : 0, ' ');
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

PackingProgress::PackingProgress(std::size_t files)
    : shown_(platform::ErrorStreamIsTerminal()), files_(files) {}

PackingProgress::~PackingProgress() {
    if (shown_) std::fprintf(stderr, "\r%-72s\r", "");
}

void PackingProgress::Reading(const std::string& name) {
    if (!shown_) return;
    // In cp932 a character takes as many columns as it has bytes, so the
    // name is cut there, at a character's end, and padded over a longer
    // name before it.
    constexpr std::size_t Columns = 40;
    const std::string cut = Cp932Prefix(name, Columns);
    const std::string shown = PrintableEntryName(cut) + std::string(Columns - cut.size(), ' ');
    const std::lock_guard lock(printing_);
    std::fprintf(stderr, "\rpacking %zu/%zu: %s", ++started_, files_, shown.c_str());
}

std::string IsoTimeFromFileTime(std::uint64_t fileTime) {
    using namespace std::chrono;
    const sys_seconds time = floor<seconds>(
        sys_time<Ticks>(SinceUnix(fileTime)));
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

bool HasPackageMagic(std::span<const std::uint8_t> package, std::string* error) {
    std::uint32_t magic = 0;
    if (package.size() >= sizeof magic) std::memcpy(&magic, package.data(), sizeof magic);
    if (magic != package::PackageMagic) {
        *error = "not an update package (no FA2 header)";
        return false;
    }
    return true;
}

std::optional<LoadedPackage> LoadPackageForCommand(const std::string& command, const std::string& path,
                                                   PackageAccess access) {
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "updpack %s: %s\n", command.c_str(), what.c_str());
        return std::nullopt;
    };
    LoadedPackage loaded;
    platform::MapFailure mapFailure = platform::MapFailure::None;
    loaded.mapping = platform::MapFileForRead(path, &mapFailure);
    switch (mapFailure) {
    case platform::MapFailure::None: break;
    case platform::MapFailure::Missing: return fail(path + ": no such file");
    case platform::MapFailure::CantOpen: return fail("cannot open " + path);
    case platform::MapFailure::NotAFile: return fail(path + ": not a file");
    case platform::MapFailure::Empty: return fail(path + ": the file is empty, not a package");
    case platform::MapFailure::CantMap: return fail("cannot map " + path + " into memory");
    }
    loaded.image = platform::MappedBytes(loaded.mapping.get());
    // A stamped updater carries the package as a resource, read where it
    // lies in the mapped executable.
    if (loaded.image.size() >= 2 && loaded.image[0] == 'M' && loaded.image[1] == 'Z') {
        std::string error;
        const auto package = FindPackageInImage(loaded.image, &error);
        if (!package) return fail(path + ": " + error);
        loaded.image = *package;
    }
    if (access == PackageAccess::Copied) {
        loaded.copy.assign(loaded.image.begin(), loaded.image.end());
        loaded.image = loaded.copy;
        loaded.mapping.reset();
    }
    package::LoadFailure failure = package::LoadFailure::None;
    loaded.directory = package::LoadPackageDirectory(loaded.image, &failure);
    if (!loaded.directory.block) {
        // Without the header's magic, the likelier story is a wrong file.
        std::string notAPackage;
        if (!HasPackageMagic(loaded.image, &notAPackage)) return fail(path + ": " + notAPackage);
        return fail(path + ": damaged package: " + package::DescribeLoadFailure(failure));
    }
    return loaded;
}

}  // namespace updpack
