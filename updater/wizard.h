// The wizard: the updater's one window, a modal dialog of two templates.
#pragma once

#include <cstdint>

#include "platform/ui.h"

namespace updater {

bool WizardProc(platform::Window dialog, platform::DialogEvent event, std::uintptr_t wParam,
                std::intptr_t lParam);
void ShowIntroPage(platform::Window dialog);
void ShowConfirmPage(platform::Window dialog);

}  // namespace updater
