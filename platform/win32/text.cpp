// The ANSI code page's character rules, and conversions between code pages
// through UTF-16.
#include "platform/text.h"

#include <climits>

#include "platform/win32/code_pages.h"

namespace platform {
namespace win32 {

bool ToWide(UINT page, std::string_view text, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide->resize(static_cast<std::size_t>(length));
    return ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, wide->data(), length) ==
           length;
}

bool FromWide(UINT page, const std::wstring& wide, std::string* text, Missing missing) {
    text->clear();
    if (wide.empty()) return true;
    if (wide.size() > INT_MAX) return false;
    const int size = static_cast<int>(wide.size());
    // cp932 has no "invalid characters" flag: ask whether a default was used,
    // and turn off the best fit that would otherwise put a look-alike in its
    // place without a default (e for é, a backslash for the yen sign).
    // UTF-8 takes the flag instead and allows no default-char argument.
    BOOL usedDefault = FALSE;
    const DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* defaultUsed = page == CP_UTF8 || missing == Missing::ShownAsDefault ? nullptr : &usedDefault;
    const int length =
        ::WideCharToMultiByte(page, flags, wide.data(), size, nullptr, 0, nullptr, defaultUsed);
    if (length <= 0 || usedDefault) return false;
    text->resize(static_cast<std::size_t>(length));
    return ::WideCharToMultiByte(page, flags, wide.data(), size, text->data(), length, nullptr,
                                 defaultUsed) == length &&
           !usedDefault;
}

bool Convert(UINT from, UINT to, std::string_view input, std::string* output) {
    std::wstring wide;
    std::string result;
    if (!ToWide(from, input, &wide) || !FromWide(to, wide, &result)) return false;
    *output = std::move(result);
    return true;
}

}  // namespace win32

bool IsLeadByte(unsigned char byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

const char* NextChar(const char* text) { return ::CharNextA(text); }

bool EqualNoCase(const char* a, const char* b) { return ::lstrcmpiA(a, b) == 0; }

bool Cp932FromUtf8(std::string_view utf8, std::string* cp932) {
    return win32::Convert(CP_UTF8, win32::ShiftJis, utf8, cp932);
}

bool Utf8FromCp932(std::string_view cp932, std::string* utf8) {
    return win32::Convert(win32::ShiftJis, CP_UTF8, cp932, utf8);
}

}  // namespace platform
