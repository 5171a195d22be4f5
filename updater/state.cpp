#include "updater/state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/ui.h"

namespace updater {

UpdateState state;

namespace {

constexpr SetupKey requiredSetupKeys[] = {{"CompanyName", state.CompanyName},
                                          {"GameTitle", state.GameTitle},
                                          {"GameClass", state.GameClass},
                                          {"GameDir", state.GameDir}};
constexpr SetupKey optionalSetupKeys[] = {{"GameTitleA", state.GameTitleA},
                                          {"UpdaterVersion", state.UpdaterVersion},
                                          {"UpdaterTitle", state.UpdaterTitle},
                                          {"DataFolder", state.DataFolder},
                                          {"UpdateMessage", state.UpdateMessage}};

}  // namespace

constexpr std::span<const SetupKey> RequiredSetupKeys = requiredSetupKeys;
constexpr std::span<const SetupKey> OptionalSetupKeys = optionalSetupKeys;

namespace {

MessageText FormatText(const char* format, va_list arguments) {
    MessageText text{};
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return text;
}

// The caption boxes carry until start-up builds the real one. Set at run
// time: a record that starts all zero costs the executable no image of it.
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

void ShowFormattedUpdateError(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const MessageText text = FormatText(format, arguments);
    va_end(arguments);
    ShowUpdateError(text.data());
}

void SetInfoText(platform::Window dialog, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const MessageText text = FormatText(format, arguments);
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
