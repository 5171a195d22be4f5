#include "config/list.h"

#include <algorithm>

#include "updater/state.h"

namespace config {

bool IsBlank(unsigned char ch) {
    return ch == '\t' || ch == ' ';
}

bool IsSeparator(unsigned char ch) {
    return ch == '\0' || ch == '\n' || ch == '\r' || ch == ',';
}

bool IsDigit(unsigned char ch) {
    return ch >= '0' && ch <= '9';
}

int NextListItem(std::span<char> item, const char*& cursor) {
    const char* at = cursor;
    while (IsBlank(*at)) ++at;
    if (IsSeparator(*at)) {
        cursor = at;
        return 0;
    }
    // Any one byte before a colon is a disc prefix; the byte at `at` is no
    // terminator here, so the next one can be read.
    if (at[1] == ':') {
        updater::state.itemDisc = IsDigit(*at) ? *at - '0' : 0;
        at += 2;
    }
    const char* end = at;
    while (!IsSeparator(*end)) ++end;
    if (!item.empty()) {
        // Cut a long item, but move past all of it so the list stays in step.
        const std::size_t length = std::min<std::size_t>(end - at, item.size() - 1);
        std::copy_n(at, length, item.data());
        item[length] = '\0';
    }
    cursor = *end == '\0' ? end : end + 1;
    return 1;
}

}  // namespace config
