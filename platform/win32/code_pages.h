// Conversions between code pages through UTF-16, for the backend's text
// functions and the command-line tool's.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/handles.h"

namespace platform::win32 {

constexpr UINT ShiftJis = 932;

// What becomes of a character the target code page lacks.
enum class Missing { Fails, ShownAsDefault };

// One conversion step through the system: from `page` into UTF-16, or from
// UTF-16 into `page`. Invalid input fails instead of becoming '?'.
bool ToWide(UINT page, std::string_view text, std::wstring* wide);
bool FromWide(UINT page, const std::wstring& wide, std::string* text, Missing missing = Missing::Fails);
// Both steps; `output` is left as it was on failure.
bool Convert(UINT from, UINT to, std::string_view input, std::string* output);

}  // namespace platform::win32
