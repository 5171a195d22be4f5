#include "updater/state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/ui.h"

namespace updater {

UpdateState state;

namespace {
// The caption boxes carry until start-up builds the real one.
constexpr const char* InitialCaption = "UPDATE";
struct InitialCaptionSetter {
    InitialCaptionSetter() { CopyText(state.caption, InitialCaption); }
} initialCaptionSetter;
}  // namespace

void ResetUpdateState() {
    state = UpdateState{};
    CopyText(state.caption, InitialCaption);
}

void ShowUpdateError(const char* text) {
    platform::ShowBox(state.wizardWindow, text, state.caption.data(), platform::BoxKind::ErrorOk);
}

void SetInfoText(platform::Window dialog, const char* format, ...) {
    MessageText text{};
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    platform::SetItemText(dialog, IdInfo, text.data());
}

void CopyText(std::span<char> buffer, const char* text) {
    if (buffer.empty()) return;
    std::size_t length = std::strlen(text);
    if (length > buffer.size() - 1) length = buffer.size() - 1;
    std::memcpy(buffer.data(), text, length);
    buffer[length] = '\0';
}

}  // namespace updater
