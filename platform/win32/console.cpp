#include "platform/console.h"

#include <clocale>
#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <io.h>

#include "platform/files.h"
#include "platform/win32/code_pages.h"
#include "platform/win32/handles.h"

namespace platform {

std::string MountNativeFolder(char, const std::filesystem::path& absoluteFolder) {
    // Trimmed before the conversion: in cp932 the second byte of a
    // character can be a backslash.
    std::wstring path = absoluteFolder.native();
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return NarrowPath(path);
}

std::string NarrowPath(const std::filesystem::path& path) {
    // By number, as below. A name that can't be converted at all (half a
    // surrogate pair, where the code page is UTF-8) must still name no file.
    std::string narrow;
    return win32::FromWide(::GetACP(), path.native(), &narrow, win32::Missing::ShownAsDefault) ? narrow : "?";
}

namespace {

// A handle that reaches the file's times alone, and opens a folder too.
win32::OwnedHandle OpenForTimes(const std::filesystem::path& path, DWORD access) {
    return win32::OwnedHandle{::CreateFileW(path.c_str(), access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr)};
}

}  // namespace

std::optional<FileTime> NativeLastWriteTime(const std::filesystem::path& path) {
    const win32::OwnedHandle file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
    FILETIME lastWrite{};
    if (!file.valid() || !::GetFileTime(file.handle, nullptr, nullptr, &lastWrite))
        return std::nullopt;
    return win32::FromFiletime(lastWrite);
}

bool SetNativeLastWriteTime(const std::filesystem::path& path, FileTime time) {
    if (!IsSettableFileTime(time)) return false;
    const win32::OwnedHandle file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    const FILETIME lastWrite = win32::ToFiletime(time);
    return file.valid() && ::SetFileTime(file.handle, nullptr, nullptr, &lastWrite);
}

std::filesystem::path RunningExecutablePath() {
    // The length is known only once the buffer was large enough.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// A console, not any character device: the C runtime's _isatty is true for
// NUL too, where progress would go for nothing.
bool ErrorStreamIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool PrintableFromCp932(std::string_view cp932, std::string* printable) {
    std::wstring wide;
    // By number: where the ANSI code page is UTF-8 it takes UTF-8's flags.
    return win32::ToWide(win32::ShiftJis, cp932, &wide) &&
           win32::FromWide(::GetACP(), wide, printable, win32::Missing::ShownAsDefault);
}

const char* NextCp932Char(const char* text) { return ::CharNextExA(win32::ShiftJis, text, 0); }

bool Cp932FromArgument(std::string_view argument, std::string* cp932) {
    return win32::Convert(CP_ACP, win32::ShiftJis, argument, cp932);
}

// std::filesystem::path converts narrow text through the C runtime's
// character type locale, which starts as "C".
bool UseSystemCodePageForNarrowText() { return std::setlocale(LC_CTYPE, ".ACP") != nullptr; }

void UseBinaryStandardOutput() { ::_setmode(::_fileno(stdout), _O_BINARY); }

}  // namespace platform
