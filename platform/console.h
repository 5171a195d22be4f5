// What the publisher's command-line tool needs of the system beyond the
// updater's own seam: its native folders seen through the seam, the time
// stamps of native files, and whether it talks to a terminal.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Makes the native folder `absoluteFolder` (absolute and normalised: the
// profile reader would take a relative path as one in the Windows folder)
// readable through the seam and returns the path the seam knows it by, to
// which a name is joined with a backslash. The Windows build uses the path
// itself (no trailing separator, but for a drive's root: "D:\"); the host
// build maps the folder to the drive letter `drive`, the only kind of path
// it knows, and returns "D:".
std::string MountNativeFolder(char drive, const std::filesystem::path& absoluteFolder);

// A native path as narrow text, in the encoding the tool's arguments come
// in, its console shows and the seam's file calls take: the path's own
// bytes on the host; the ANSI code page on Windows, where the standard
// library's string() gives UTF-8 instead. A character the code page lacks
// becomes '?', which names no file.
std::string NarrowPath(const std::filesystem::path& path);

// The last-write time of the native file or folder at `path`, as the
// packages keep it (100 ns ticks since 1601), to the full precision the
// file system holds; nullopt when it can't be read. The standard library's
// clock can't be used for this: on Windows it keeps whole seconds only.
std::optional<FileTime> NativeLastWriteTime(const std::filesystem::path& path);
// Sets it; false when it can't be set, or is a time no file can have (see
// IsSettableFileTime).
bool SetNativeLastWriteTime(const std::filesystem::path& path, FileTime time);

// The running executable's own path, however it was started (argv[0] holds
// only the name when it was found through PATH); empty when the system
// won't say.
std::filesystem::path RunningExecutablePath();

// Whether standard error is a terminal (progress is shown only there).
bool ErrorStreamIsTerminal();

// Makes the standard library read and write the tool's narrow strings (its
// arguments, and the paths made of them) in the code page the system gives
// them in. On Windows that is the ANSI code page, which the C runtime does
// not use until told: a name in Japanese would otherwise reach the file
// system garbled. POSIX names are bytes, so the host has nothing to do.
// Called once, first thing in main. False when the C runtime can't take the
// ANSI code page (a system set to UTF-8 for every program, which the old
// runtime does not support): names that are not ASCII may then be garbled.
bool UseSystemCodePageForNarrowText();

// cp932 as the tool prints it: UTF-8 on POSIX, the ANSI code page on
// Windows (as the rest of its output), where a character the code page
// lacks prints as '?'. False on bytes that are no cp932.
bool PrintableFromCp932(std::string_view cp932, std::string* printable);
// The character after the one at `text` in cp932 text, whatever the
// system's code page (entry names are cp932 on every system); `text` itself
// at its end.
const char* NextCp932Char(const char* text);
// A name as the tool's arguments give it (that same encoding) in cp932;
// false on a character cp932 lacks.
bool Cp932FromArgument(std::string_view argument, std::string* cp932);

// Puts standard output into binary mode, so entry content written there
// arrives byte for byte (Windows would otherwise turn LF into CR LF).
void UseBinaryStandardOutput();

}  // namespace platform
