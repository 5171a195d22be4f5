#include "updater/wizard.h"

#include "updater/run_update.h"
#include "updater/state.h"

namespace updater {
namespace {

void ShowAgreementControls(platform::Window dialog, bool shown) {
    for (const int id : {IdAgreement, IdAgree, IdDisagree}) platform::ShowItem(dialog, id, shown);
}

// Next and Back. `busy` keeps a click that arrives while a step runs (from
// a message box's or the shell's own message loop) from starting another.
void RunStep(platform::Window dialog, int command) {
    if (state.busy != 0) return;
    state.busy = 1;
    SetInfoText(dialog, "%s", "");
    if (command == IdBack) state.page -= 2;
    switch (state.page) {
        case 0: ShowConfirmPage(dialog); break;
        case 1: RunUpdate(dialog); break;
        case 2: platform::EndModalDialog(dialog, 0); break;
        default: break;
    }
    ++state.page;
    state.busy = 0;
}

void HandleCommand(platform::Window dialog, int id) {
    // The close box and Escape come as Cancel, and keys may come as Next,
    // whether or not the button is enabled: Cancel after a completed update
    // would report it as aborted, Next could pass over an agreement not
    // accepted. They do only what the button would do.
    const bool isWizardButton = id == IdNext || id == IdBack || id == IdCancel;
    if (isWizardButton && !platform::IsItemEnabled(dialog, id)) return;
    switch (id) {
        case IdNext:
        case IdBack: RunStep(dialog, id); break;
        case IdCancel:
            if (state.busy == 0) platform::EndModalDialog(dialog, -1);
            break;
        case IdAgree:
            platform::EnableItem(dialog, IdNext, true);
            platform::CheckRadio(dialog, IdAgree, IdDisagree, IdAgree);
            break;
        case IdDisagree:
            platform::EnableItem(dialog, IdNext, false);
            platform::CheckRadio(dialog, IdAgree, IdDisagree, IdDisagree);
            break;
        default: break;
    }
}

}  // namespace

bool WizardProc(platform::Window dialog, platform::DialogEvent event, std::uintptr_t wParam,
                std::intptr_t) {
    switch (event) {
        case platform::DialogEvent::Init:
            ShowIntroPage(dialog);
            return false;
        case platform::DialogEvent::SetCursor:
            if (state.busy == 0) return false;
            platform::ShowWaitCursor();
            return true;
        case platform::DialogEvent::Command:
            // Only clicks: notification code 0 in the high word.
            if (((wParam >> 16) & 0xFFFF) == 0) HandleCommand(dialog, static_cast<int>(wParam & 0xFFFF));
            return false;
        case platform::DialogEvent::Other: return false;
    }
    return false;
}

void ShowIntroPage(platform::Window dialog) {
    state.wizardWindow = dialog;
    state.busy = 0;
    state.page = 0;
    platform::SetWindowTitle(dialog, state.caption.data());
    if (state.introText != nullptr) {
        SetInfoText(dialog, "%s", state.introText);
    } else {
        SetInfoText(dialog, "「%s」のアップデートを開始します", state.GameTitle.data());
    }
    platform::EnableItem(dialog, IdBack, false);
    platform::EnableItem(dialog, IdCancel, true);
    const bool withAgreement = state.agreementText != nullptr;
    platform::EnableItem(dialog, IdNext, !withAgreement);
    if (withAgreement) {
        platform::SetItemText(dialog, IdAgreement, state.agreementText);
        for (const int id : {IdAgreement, IdAgree, IdDisagree}) platform::EnableItem(dialog, id, true);
        platform::CheckRadio(dialog, IdAgree, IdDisagree, IdDisagree);
    }
    ShowAgreementControls(dialog, withAgreement);
}

void ShowConfirmPage(platform::Window dialog) {
    SetInfoText(dialog, "%s", "アップデートを実行します");
    platform::EnableItem(dialog, IdBack, false);
    platform::EnableItem(dialog, IdNext, true);
    platform::EnableItem(dialog, IdCancel, true);
    // Back, when it led here, is now disabled and must not keep the focus.
    platform::FocusItem(dialog, IdNext);
    ShowAgreementControls(dialog, false);
}

}  // namespace updater
