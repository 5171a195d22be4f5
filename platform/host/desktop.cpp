// Other programs' top-level windows, as tests open and close them.
#include "platform/desktop.h"

#include "platform/host/machine.h"
#include "platform/text.h"

namespace platform {

Window FindTopWindow(const char* className, const char* title) {
    // Later windows stand above earlier ones, so the search runs from the top.
    const auto& windows = host::TheMachine().windows;
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        const WindowObject& candidate = **window;
        if (!candidate.open) continue;
        // Windows compares class names and titles case-blind, by character:
        // a class named in Japanese is one of the game's own.
        if (className != nullptr && !EqualNoCase(candidate.className.c_str(), className)) continue;
        if (title != nullptr && !EqualNoCase(candidate.title.c_str(), title)) continue;
        return window->get();
    }
    return nullptr;
}

Window FindDialogWindow(const char* title) { return FindTopWindow(host::DialogClass, title); }

void ShowAndRaise(Window window) {
    if (window != nullptr) window->raised = true;
}

Window HostOpenWindow(const std::string& className, const std::string& title) {
    return host::NewWindow(className, title);
}

void HostCloseWindow(Window window) {
    if (window != nullptr) window->open = false;
}

bool HostWindowRaised(Window window) { return window != nullptr && window->raised; }

}  // namespace platform
