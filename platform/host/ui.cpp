// Message boxes answered from a script, and the modal dialog run by a
// scripted user. Both show up as windows of the dialog class while they
// are up, as on Windows, so a search by title finds them.
#include "platform/ui.h"

#include <utility>

#include "platform/host/machine.h"

namespace platform {
namespace {

using host::TheMachine;

struct TemplateControl {
    int id;
    const char* text;
};

// The controls of the two templates the updater carries.
constexpr TemplateControl BaseControls[] = {{1, "次へ"}, {2, "中止"}, {4, "戻る"}, {1001, "Info"}};
constexpr TemplateControl AgreementControls[] = {{1000, ""}, {1002, "同意する"}, {1003, "同意しない"}};
constexpr int TemplateWithoutAgreement = 100;
constexpr int TemplateWithAgreement = 101;
constexpr const char* TemplateCaption = "UPDATE";

ControlState* FindControl(Window dialog, int id) {
    if (dialog == nullptr) return nullptr;
    const auto control = dialog->controls.find(id);
    return control == dialog->controls.end() ? nullptr : &control->second;
}

// A null text reads as empty, as the API calls take it.
std::string TextOf(const char* text) { return text == nullptr ? std::string() : std::string(text); }

bool Send(Window dialog, DialogEvent event, std::uintptr_t wParam) {
    if (dialog == nullptr || dialog->procedure == nullptr || !dialog->open) return false;
    return dialog->procedure(dialog, event, wParam, 0);
}

}  // namespace

// The simulated machine takes no input ahead of what it shows, and no
// program waits on it; the calls are only counted.
void DropTypedAhead() { ++TheMachine().typedAheadDrops; }
void StayResponsive() { ++TheMachine().timesServed; }

BoxAnswer ShowBox(Window owner, const char* text, const char* caption, BoxKind kind) {
    host::Machine& machine = TheMachine();
    machine.boxes.push_back({TextOf(text), TextOf(caption), kind, owner});
    host::ScriptedAnswer scripted{BoxAnswer::Ok, {}};
    if (!machine.answers.empty()) {
        scripted = std::move(machine.answers.front());
        machine.answers.erase(machine.answers.begin());
    }
    const Window box = host::NewWindow(host::DialogClass, TextOf(caption));
    if (scripted.during) scripted.during();
    box->open = false;
    return scripted.answer;
}

std::intptr_t RunModalDialog(Module, int templateId, DialogProcedure procedure) {
    if (procedure == nullptr ||
        (templateId != TemplateWithoutAgreement && templateId != TemplateWithAgreement)) {
        return -1;
    }
    const Window dialog = host::NewWindow(host::DialogClass, TemplateCaption);
    dialog->templateId = templateId;
    dialog->procedure = procedure;
    for (const TemplateControl& control : BaseControls) dialog->controls[control.id].text = control.text;
    if (templateId == TemplateWithAgreement) {
        for (const TemplateControl& control : AgreementControls) {
            dialog->controls[control.id].text = control.text;
        }
    }
    TheMachine().lastDialog = dialog;

    // The script belongs to this dialog; a nested dialog would get none.
    auto steps = std::exchange(TheMachine().dialogScript, {});
    try {
        procedure(dialog, DialogEvent::Init, 0, 0);
        for (auto step = steps.begin(); !dialog->result && step != steps.end(); ++step) (*step)(dialog);
    } catch (...) {
        // As on Windows, the exception ends the dialog on its way out.
        dialog->open = false;
        dialog->result = -1;
        throw;
    }
    dialog->open = false;
    if (!dialog->result) dialog->result = HostScriptExhausted;
    return *dialog->result;
}

void EndModalDialog(Window dialog, std::intptr_t result) {
    // The dialog closes once the current message is handled: the run loop
    // looks at the result between messages.
    if (dialog != nullptr && dialog->procedure != nullptr) dialog->result = result;
}

void SetWindowTitle(Window window, const char* text) {
    if (window != nullptr) window->title = TextOf(text);
}

void SetItemText(Window dialog, int id, const char* text) {
    if (ControlState* control = FindControl(dialog, id)) control->text = TextOf(text);
}

void EnableItem(Window dialog, int id, bool enabled) {
    if (ControlState* control = FindControl(dialog, id)) control->enabled = enabled;
}

bool IsItemEnabled(Window dialog, int id) {
    const ControlState* control = FindControl(dialog, id);
    return control != nullptr && control->enabled;
}

void ShowItem(Window dialog, int id, bool shown) {
    if (ControlState* control = FindControl(dialog, id)) control->visible = shown;
}

void FocusItem(Window dialog, int id) {
    if (FindControl(dialog, id) != nullptr) dialog->focusedId = id;
}

void CheckRadio(Window dialog, int first, int last, int checked) {
    for (int id = first; id <= last; ++id) {
        if (ControlState* control = FindControl(dialog, id)) control->checked = id == checked;
    }
}

void ShowWaitCursor() { TheMachine().cursor = CursorShape::Wait; }
void ShowArrowCursor() { TheMachine().cursor = CursorShape::Arrow; }

void HostScriptAnswer(BoxAnswer answer, std::function<void()> during) {
    TheMachine().answers.push_back({answer, std::move(during)});
}

const std::vector<RecordedBox>& HostRecordedBoxes() { return TheMachine().boxes; }

void HostScriptDialog(std::vector<std::function<void(Window)>> steps) {
    TheMachine().dialogScript = std::move(steps);
}

bool HostClick(Window dialog, int id) {
    const ControlState* control = FindControl(dialog, id);
    if (control == nullptr || !control->enabled || !control->visible || !dialog->open) return false;
    Send(dialog, DialogEvent::Command, static_cast<std::uintptr_t>(id));
    return true;
}

bool HostSendSetCursor(Window dialog) { return Send(dialog, DialogEvent::SetCursor, 0); }

void HostSendCommand(Window dialog, int id, int code) {
    const auto wParam = static_cast<std::uintptr_t>((static_cast<std::uint32_t>(code) & 0xFFFF) << 16 |
                                                    (static_cast<std::uint32_t>(id) & 0xFFFF));
    Send(dialog, DialogEvent::Command, wParam);
}

std::optional<ControlState> HostControl(Window dialog, int id) {
    const ControlState* control = FindControl(dialog, id);
    if (control == nullptr) return std::nullopt;
    ControlState state = *control;
    state.focused = dialog->focusedId == id;
    return state;
}

std::string HostWindowTitle(Window window) { return window == nullptr ? "" : window->title; }

int HostDialogTemplate(Window dialog) { return dialog == nullptr ? 0 : dialog->templateId; }

std::optional<std::intptr_t> HostDialogResult(Window dialog) {
    return dialog == nullptr ? std::nullopt : dialog->result;
}

CursorShape HostCursor() { return TheMachine().cursor; }

int HostTimesServed() { return TheMachine().timesServed; }

int HostTypedAheadDrops() { return TheMachine().typedAheadDrops; }

Window HostLastDialog() { return TheMachine().lastDialog; }

}  // namespace platform
