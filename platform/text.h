// The ANSI code page's character rules (cp932 on the systems the updater is
// made for) and conversions for the command-line tool.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// True when `byte` starts a double-byte character.
bool IsLeadByte(unsigned char byte);

// The next character after `text` (one or two bytes); never past the
// terminator.
const char* NextChar(const char* text);

// Equality without regard to case, as the system's case-blind comparison
// sees it.
bool EqualNoCase(const char* a, const char* b);

// cp932 <-> UTF-8, the form in which the command-line tool names files
// (std::filesystem's u8string). The conversion fails (returns false) on
// bytes the other side can't hold.
bool Cp932FromUtf8(std::string_view utf8, std::string* cp932);
bool Utf8FromCp932(std::string_view cp932, std::string* utf8);

}  // namespace platform
