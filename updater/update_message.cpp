#include "updater/update_message.h"

#include "platform/text.h"

namespace updater {

void ConvertUpdateMessage(const char* message, std::span<char> out) {
    if (out.empty()) return;
    std::size_t written = 0;
    const std::size_t room = out.size() - 1;
    for (const char* at = message; *at != '\0' && written < room;) {
        const char* next = platform::NextChar(at);
        if (next == at + 1 && at[0] == '\\' && at[1] == 'n') {
            out[written++] = '\r';
            at += 2;
            continue;
        }
        // A character is copied whole or not at all.
        if (static_cast<std::size_t>(next - at) > room - written) break;
        while (at != next) out[written++] = *at++;
    }
    out[written] = '\0';
}

}  // namespace updater
