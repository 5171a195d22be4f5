// The parsers of UPDATE.INI's [UPDATE] lines, which come from the package:
// any text, held as the updater holds a line (cut to its buffer and
// terminated), under every install mode and one that no digit names. The
// same text also goes through the conversion of the [SETUP] UpdateMessage,
// into a message buffer and into one a few bytes long.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "updater/run_update.h"
#include "updater/state.h"
#include "updater/update_message.h"

namespace {

// A field must end within its buffer.
bool Terminated(const updater::NameText& text) {
    return std::memchr(text.data(), '\0', text.size()) != nullptr;
}

// The converted message ends within `out` and is never longer than the text.
void CheckMessage(const char* message, std::span<char> out) {
    updater::ConvertUpdateMessage(message, out);
    const char* end = static_cast<const char*>(std::memchr(out.data(), '\0', out.size()));
    if (end == nullptr || static_cast<std::size_t>(end - out.data()) > std::strlen(message)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const std::uint32_t mode = bytes[0] % 11;
    updater::MessageText line{};
    std::memcpy(line.data(), bytes + 1, std::min(size - 1, line.size() - 1));

    updater::UpdateItem update;
    if (updater::ParseUpdateLine(line.data(), mode, &update)) {
        if (!Terminated(update.name)) __builtin_trap();
        const std::size_t length = std::strlen(update.name.data());
        // The file-name part starts inside the name, or right at its end.
        if (update.fileNameOffset < 0 || static_cast<std::size_t>(update.fileNameOffset) > length)
            __builtin_trap();
        if (update.action < updater::ActionPlain || update.action > updater::ActionOverwrite)
            __builtin_trap();
    }
    updater::CopyItem copy;
    if (updater::ParseCopyLine(line.data(), mode, &copy)) {
        // A disc is a digit's value, or the mark of a refused line.
        if (!Terminated(copy.path) || (copy.disc < 0 && copy.disc != updater::RefusedDisc) || copy.disc > 9)
            __builtin_trap();
    }
    updater::MessageText message{};
    CheckMessage(line.data(), message);
    std::array<char, 4> shortMessage{};
    CheckMessage(line.data(), shortMessage);
    return 0;
}
