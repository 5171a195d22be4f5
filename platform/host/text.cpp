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
        if (IsLeadByte(static_cast<unsigned char>(*a))) {
            // A double-byte character matches only itself.
            if (a[0] != b[0] || a[1] != b[1]) return false;
            if (a[1] == '\0') return true;
            a += 2;
            b += 2;
            continue;
        }
        if (host::UpperAscii(*a) != host::UpperAscii(*b)) return false;
        ++a;
        ++b;
    }
    return *a == *b;
}

bool Cp932FromUtf8(std::string_view utf8, std::string* cp932) {
    return Convert("CP932", "UTF-8", utf8, cp932);
}

bool Utf8FromCp932(std::string_view cp932, std::string* utf8) {
    return Convert("UTF-8", "CP932", cp932, utf8);
}

}  // namespace platform
