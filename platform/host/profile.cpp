// The private-profile read, done the way the Windows function does it for
// everything our INI files use: the file is read anew at every call, the
// first matching [section] and the first matching key win, names match
// case-blind (as platform::EqualNoCase folds them: double-byte characters
// whole), and a value loses its surrounding blanks and one pair of matching
// quotes.
#include "platform/profile.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "platform/host/machine.h"
#include "platform/text.h"

namespace platform {
namespace {

// Blanks, and the DOS end-of-file mark that old editors leave behind.
bool IsProfileSpace(char ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r') || ch == '\x1a';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsProfileSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsProfileSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view name, const char* wanted) {
    return EqualNoCase(std::string(name).c_str(), wanted);
}

std::optional<std::string> ReadIniFile(const char* path) {
    const auto hostPath = host::ResolvePath(path);
    if (!hostPath || host::IsNoPlainFile(*hostPath)) return std::nullopt;
    std::ifstream file(*hostPath, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Where the character after the one at `at` of `text` starts: a
// double-byte character is two bytes, unless `text` ends after its first.
std::size_t NextCharAt(std::string_view text, std::size_t at) {
    return at + (IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1);
}

// Where the last "]" of `line` is (npos for none). The second byte of a
// double-byte character is no bracket.
std::size_t LastCloseBracket(std::string_view line) {
    std::size_t found = std::string_view::npos;
    for (std::size_t at = 0; at < line.size(); at = NextCharAt(line, at)) {
        if (line[at] == ']') found = at;
    }
    return found;
}

// The value of `key` in the first section named `section`, trimmed;
// nullopt when there is none.
std::optional<std::string_view> FindValue(std::string_view text, const char* section,
                                          const char* key) {
    bool inSection = false;
    while (!text.empty()) {
        // CR LF, LF and a lone CR all end a line.
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = LastCloseBracket(line);
            if (close != std::string_view::npos) {
                // Only the first section of a name counts: a later one of
                // the same name is never searched.
                if (inSection) return std::nullopt;
                inSection = SameName(Trim(line.substr(1, close - 1)), section);
                continue;
            }
        }
        if (!inSection) continue;
        // A line without "=" is a key with no value, as the system reads it:
        // it hides a later line of the same key.
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            if (SameName(line, key)) return std::string_view{};
            continue;
        }
        if (SameName(Trim(line.substr(0, equals)), key)) return Trim(line.substr(equals + 1));
    }
    return std::nullopt;
}

// How many bytes of `value` fit in `room` without splitting a double-byte
// character.
std::size_t WholeCharacters(std::string_view value, std::size_t room) {
    std::size_t end = 0;
    while (end < value.size() && NextCharAt(value, end) <= room) end = NextCharAt(value, end);
    return end;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() > 1 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::uint32_t ReadProfileString(const char* section, const char* key, std::span<char> buffer,
                                const char* path) {
    if (buffer.empty()) return 0;
    buffer[0] = '\0';
    if (section == nullptr || key == nullptr || path == nullptr) return 0;
    const auto text = ReadIniFile(path);
    if (!text) return 0;
    const auto found = FindValue(*text, section, key);
    if (!found) return 0;
    // The value is handed on as a C string: a stray zero byte ends it, and
    // only what is left before it can be in quotes.
    std::string_view value = Unquote(found->substr(0, found->find('\0')));
    const std::size_t room = buffer.size() - 1;
    if (value.size() <= room) {
        value.copy(buffer.data(), value.size());
        buffer[value.size()] = '\0';
        return static_cast<std::uint32_t>(value.size());
    }
    // Cut short, only whole characters are copied (a double-byte character
    // that would be split is left out) and the count is still the room.
    const std::size_t length = WholeCharacters(value, room);
    value.copy(buffer.data(), length);
    buffer[length] = '\0';
    buffer[room] = '\0';
    return static_cast<std::uint32_t>(room);
}

}  // namespace platform
