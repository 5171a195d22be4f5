// cp932 character rules and conversions, as the Japanese Windows the updater
// is made for applies them.
#include "platform/text.h"

#include <iconv.h>

#include "platform/host/machine.h"

namespace platform {
namespace {

// One whole conversion with iconv; false on any byte the target can't hold
// or an incomplete sequence at the end.
bool Convert(const char* to, const char* from, std::string_view input, std::string* output) {
    const iconv_t converter = ::iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result(input.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* out = result.data();
    std::size_t outLeft = result.size();
    const bool ok = ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
                    inLeft == 0;
    ::iconv_close(converter);
    if (!ok) return false;
    result.resize(result.size() - outLeft);
    *output = std::move(result);
    return true;
}

// The capital of a double-byte letter, as the system's case-blind
// comparison and NTFS's file names fold it: full-width Latin, Greek,
// Cyrillic and the Roman numerals, which cp932 holds twice more (NEC's and
// IBM's extensions), each copy the same character. Any other character is
// its own.
unsigned CapitalOf(unsigned char lead, unsigned char trail) {
    struct Smalls {
        unsigned first, last, capital;
    };
    static constexpr Smalls Ranges[] = {
        {0x8281, 0x829A, 0x8260},  // ａ to ｚ
        {0x83BF, 0x83D6, 0x839F},  // α to ω
        {0x8470, 0x847E, 0x8440},  // а to н; 0x847F is no character
        {0x8480, 0x8491, 0x844F},  // о to я
        {0xEEEF, 0xEEF8, 0x8754},  // ⅰ to ⅹ
        {0xFA40, 0xFA49, 0x8754},  // ⅰ to ⅹ again
        {0xFA4A, 0xFA53, 0x8754},  // Ⅰ to Ⅹ again
    };
    const unsigned code = lead << 8 | trail;
    for (const Smalls& range : Ranges)
        if (code >= range.first && code <= range.last) return range.capital + (code - range.first);
    return code;
}

// The character at `at`, as its capital, moving `at` past it. A lead byte
// cut off by the terminator is a character of its own.
unsigned TakeFolded(const char*& at) {
    const char* next = NextChar(at);
    const unsigned c = next - at == 2
                           ? CapitalOf(static_cast<unsigned char>(at[0]), static_cast<unsigned char>(at[1]))
                           : static_cast<unsigned char>(host::UpperAscii(at[0]));
    at = next;
    return c;
}

}  // namespace

bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

const char* NextChar(const char* text) {
    if (*text == '\0') return text;
    if (IsLeadByte(static_cast<unsigned char>(*text)) && text[1] != '\0') return text + 2;
    return text + 1;
}

bool EqualNoCase(const char* a, const char* b) {
    while (*a != '\0' && *b != '\0') {
        if (TakeFolded(a) != TakeFolded(b)) return false;
    }
    return *a == *b;
}

bool Cp932FromUtf8(std::string_view utf8, std::string* cp932) {
    return Convert("CP932", "UTF-8", utf8, cp932);
}

bool Utf8FromCp932(std::string_view cp932, std::string* utf8) {
    return Convert("UTF-8", "CP932", cp932, utf8);
}

namespace host {

std::string FoldedName(const char* name) {
    std::string folded;
    while (*name != '\0') {
        const unsigned c = TakeFolded(name);
        if (c > 0xFF) folded += static_cast<char>(c >> 8);
        folded += static_cast<char>(c & 0xFF);
    }
    return folded;
}

}  // namespace host
}  // namespace platform
