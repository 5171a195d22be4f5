// The readers through which every INI key of the run is read, the
// "INSTCMMN" error box, and the number conversions of INI values.
#pragma once

#include <cstdint>
#include <span>

namespace config {

// A modal box with `text`, the caption "INSTCMMN", the error icon and OK,
// owned by the wizard while it exists.
void ShowSetupError(const char* text);

// `key` of [SETUP] of SETUP.INI (the UpdateState's setupIniPath). The buffer
// is zeroed first. 1 when a nonempty value was read; else 0, after the
// missing-key box unless quietMissingKeys is set.
int ReadSetupValue(const char* key, std::span<char> buffer);

// `key` of `section` of the extracted UPDATE.INI (updateIniPath); as above.
int ReadUpdateValue(const char* section, const char* key, std::span<char> buffer);

// `key` of [SETUP] of SETUP.INI as a signed 32-bit number (only the first
// 19 bytes count). 1 when present; else 0 and `value` is left alone.
int ReadSetupInt(const char* key, std::int32_t* value);

// Decimal text to a signed 32-bit number: leading white space, one optional
// sign, digits up to the first other byte; no digits give 0; saturates at
// the ends of the range.
std::int32_t ParseSaturatingInt32(const char* text);

// Decimal text to an unsigned 64-bit number, the same syntax; a minus sign
// negates modulo 2^64; wraps modulo 2^64 past the range.
std::uint64_t ParseUnsigned64(const char* text);

}  // namespace config
