// The shell copy rules the host backend imitates, checked against the real
// SHFileOperationA through the Win32 backend. Prints one line per case and
// returns the number of cases that differ.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/console.h"
#include "platform/shell.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kFileFlags = platform::CopyNoConfirmation | platform::CopyNoConfirmMakeFolder;
constexpr std::uint16_t kFolderFlags = kFileFlags | platform::CopyNoErrorUi;

const fs::path kRoot = "C:\\shellcopy";

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A path as a one-string list: the text, in the ANSI code page, and a
// second zero.
std::string List(const fs::path& path) { return platform::NarrowPath(path) + '\0'; }

int Copy(const fs::path& from, const fs::path& to, std::uint16_t flags) {
    bool aborted = false;
    const std::string fromList = List(from);
    const std::string toList = List(to);
    return platform::ShellCopy(nullptr, fromList.c_str(), toList.c_str(), flags, &aborted);
}

int failures = 0;

void Expect(const char* name, bool holds, const std::string& detail) {
    std::printf("%s %s%s%s\n", holds ? "ok  " : "FAIL", name, holds ? "" : ": ", holds ? "" : detail.c_str());
    if (!holds) ++failures;
}

}  // namespace

int main() {
    fs::remove_all(kRoot);
    Write(kRoot / "src" / "a.txt", "alpha");
    Write(kRoot / "src" / "tree" / "b.txt", "beta");
    Write(kRoot / "src" / "tree" / "sub" / "c.txt", "gamma");

    int result = Copy(kRoot / "src" / "a.txt", kRoot / "out" / "new" / "named.txt", kFileFlags);
    Expect("a file copied to a missing path becomes a file of that name, folders made",
           result == 0 && Read(kRoot / "out" / "new" / "named.txt") == "alpha",
           "result " + std::to_string(result));

    Write(kRoot / "out" / "old.txt", "stale");
    result = Copy(kRoot / "src" / "a.txt", kRoot / "out" / "old.txt", kFileFlags);
    Expect("an existing file is replaced without asking",
           result == 0 && Read(kRoot / "out" / "old.txt") == "alpha", "result " + std::to_string(result));

    fs::create_directories(kRoot / "out" / "folder");
    result = Copy(kRoot / "src" / "a.txt", kRoot / "out" / "folder", kFileFlags);
    Expect("a file copied onto an existing folder lands inside it",
           result == 0 && Read(kRoot / "out" / "folder" / "a.txt") == "alpha",
           "result " + std::to_string(result));

    fs::create_directories(kRoot / "game");
    result = Copy(kRoot / "src" / "tree", kRoot / "game", kFolderFlags);
    Expect("a folder copied onto an existing folder is nested inside it",
           result == 0 && Read(kRoot / "game" / "tree" / "sub" / "c.txt") == "gamma" &&
               !fs::exists(kRoot / "game" / "b.txt"),
           "result " + std::to_string(result));

    // In cp932 the second byte of 表 is a backslash.
    Write(kRoot / "src" / u8"表" / "d.txt", "delta");
    result = Copy(kRoot / "src" / u8"表", kRoot / "game", kFolderFlags);
    Expect("a folder whose name holds a backslash byte is nested by its whole name",
           result == 0 && Read(kRoot / "game" / u8"表" / "d.txt") == "delta", "result " + std::to_string(result));

    fs::create_directories(kRoot / "content");
    result = Copy(kRoot / "src" / "tree" / "", kRoot / "content", kFolderFlags);
    Expect("a folder named with a separator after it gives its content alone",
           result == 0 && Read(kRoot / "content" / "sub" / "c.txt") == "gamma" &&
               !fs::exists(kRoot / "content" / "tree"),
           "result " + std::to_string(result));

    result = Copy(kRoot / "src" / "tree", kRoot / "fresh", kFolderFlags);
    Expect("a folder copied to a missing path becomes that folder",
           result == 0 && Read(kRoot / "fresh" / "b.txt") == "beta", "result " + std::to_string(result));

    result = Copy(kRoot / "src" / "nothing", kRoot / "game", kFolderFlags);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", unsigned(result));
    Expect("a missing source returns 0x402", result == 0x402, std::string("result ") + hex);

    fs::remove_all(kRoot);
    return failures;
}
