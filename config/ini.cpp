#include "config/ini.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "config/list.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "updater/state.h"

namespace config {
namespace {

using updater::state;

bool IsWhiteSpace(char ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// The syntax both conversions share: white space, one optional sign, then
// the digits. Returns the position of the first digit.
const char* SkipToDigits(const char* text, bool* negative) {
    while (IsWhiteSpace(*text)) ++text;
    *negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    return text;
}

// Zeroes the buffer and reads; a missing or empty key is reported with
// `missingText` unless missing keys are quiet.
int ReadValue(const char* section, const char* key, std::span<char> buffer, const char* path,
              const char* missingText) {
    std::memset(buffer.data(), 0, buffer.size());
    if (platform::ReadProfileString(section, key, buffer, path) != 0) return 1;
    if (state.quietMissingKeys == 0) ShowSetupError(missingText);
    return 0;
}

}  // namespace

void ShowSetupError(const char* text) {
    platform::ShowBox(state.wizardWindow, text, "INSTCMMN", platform::BoxKind::ErrorOk);
}

int ReadSetupValue(const char* key, std::span<char> buffer) {
    updater::MessageText message{};
    std::snprintf(message.data(), message.size(), "SETUP.INI : %s キーが存在しません", key);
    return ReadValue("SETUP", key, buffer, state.setupIniPath.data(), message.data());
}

int ReadUpdateValue(const char* section, const char* key, std::span<char> buffer) {
    updater::MessageText message{};
    std::snprintf(message.data(), message.size(), "%s : %s キーが存在しません", section, key);
    return ReadValue(section, key, buffer, state.updateIniPath.data(), message.data());
}

int ReadSetupInt(const char* key, std::int32_t* value) {
    updater::NumberText text{};
    if (ReadSetupValue(key, text) == 0) return 0;
    *value = ParseSaturatingInt32(text.data());
    return 1;
}

std::int32_t ParseSaturatingInt32(const char* text) {
    bool negative = false;
    const char* digit = SkipToDigits(text, &negative);
    // Magnitudes are kept one past the range's largest so that the sign
    // decides the saturation; more digits can't change the result.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; IsDigit(*digit); ++digit) {
        magnitude = std::min(magnitude * 10 + (*digit - '0'), limit);
    }
    if (negative) return static_cast<std::int32_t>(-magnitude);
    return static_cast<std::int32_t>(std::min(magnitude, limit - 1));
}

std::uint64_t ParseUnsigned64(const char* text) {
    bool negative = false;
    const char* digit = SkipToDigits(text, &negative);
    std::uint64_t number = 0;  // unsigned: wraps modulo 2^64 by definition
    for (; IsDigit(*digit); ++digit) number = number * 10 + static_cast<unsigned>(*digit - '0');
    return negative ? 0 - number : number;
}

}  // namespace config
