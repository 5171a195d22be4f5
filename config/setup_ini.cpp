#include "config/setup_ini.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "config/ini.h"
#include "config/list.h"
#include "updater/state.h"

namespace config {

SetupInfo setupInfo;

void ResetSetupInfo() {
    setupInfo = SetupInfo{};
}

namespace {

using updater::state;

// A numbered key's name: "InstallFiles2", "Shortcut7".
struct KeyName {
    std::array<char, 64> text{};
    KeyName(const char* stem, int number) {
        std::snprintf(text.data(), text.size(), "%s%d", stem, number);
    }
    const char* c_str() const { return text.data(); }
};

int Fail(const char* message) {
    ShowSetupError(message);
    return 0;
}

int FailList(const char* key) {
    updater::MessageText message{};
    std::snprintf(message.data(), message.size(), "SETUP.INI : %s エラー", key);
    return Fail(message.data());
}

void SetDefault(std::span<char> field, const char* text) {
    if (field[0] == '\0') updater::CopyText(field, text);
}

// Splits `list` into `entries`, as many items as fit; the entries after the
// last item are empty, so the list ends there. With `discs` given, each
// item's disc number goes beside it. Returns the number of items.
std::size_t TakeItems(const char* list, std::span<SetupText> entries,
                      std::span<std::int32_t> discs = {}) {
    std::ranges::fill(entries, SetupText{});
    std::ranges::fill(discs, 0);
    std::size_t count = 0;
    while (count < entries.size() && NextListItem(entries[count], list) != 0) {
        if (!discs.empty()) discs[count] = state.itemDisc;
        ++count;
    }
    return count;
}

// A file list into a selection slot: its disc numbers count from 0 for
// every list. 0 when the list has no first item.
int TakeFileList(const char* list, InstallSelection& slot) {
    state.itemDisc = 0;
    const std::size_t count = TakeItems(list, slot.InstallFiles, slot.fileDiscs);
    slot.hasDiscFiles = std::any_of(slot.fileDiscs.begin(), slot.fileDiscs.begin() + count,
                                    [](std::int32_t disc) { return disc != 0; })
                            ? 1
                            : 0;
    return count == 0 ? 0 : 1;
}

std::uint64_t ReadSize(const char* key) {
    updater::NumberText text{};
    return ReadSetupValue(key, text) != 0 ? ParseUnsigned64(text.data()) : 0;
}

// The shortcut's fields: the first two are required; a gap of commas
// before the third or fourth leaves that field empty.
int TakeShortcut(const char* key, const char* list, std::array<SetupText, 4>& fields) {
    fields = {};
    for (std::size_t field = 0; field < fields.size(); ++field) {
        if (NextListItem(fields[field], list) != 0) continue;
        if (field < 2) return FailList(key);
        if (IsSeparator(*list) && *list != ',') break;  // the line has ended
        while (*list != '\0' && (IsSeparator(*list) || IsBlank(*list))) ++list;
    }
    return 1;
}

int ReadRequiredKeys(updater::MessageText& list) {
    SetupInfo& info = setupInfo;
    if (!ReadSetupValue("CompanyName", state.CompanyName) ||
        !ReadSetupValue("GameTitle", state.GameTitle) || !ReadSetupValue("GameDir", state.GameDir) ||
        !ReadSetupValue("GameExe", info.GameExe) || !ReadSetupValue("UninstExe", info.UninstExe)) {
        return 0;
    }

    if (!ReadSetupValue("SetupBmp", list)) return 0;
    if (TakeItems(list.data(), info.SetupBmp) == 0) return Fail("SETUP.INI : SetupBmps エラー");

    if (!ReadSetupInt("InstallSelects", &info.InstallSelects)) return 0;
    if (info.InstallSelects > static_cast<int>(info.selections.size()))
        return Fail("SETUP.INI : InstallSelect オーバー");
    for (int slot = 0; slot < info.InstallSelects; ++slot) {
        InstallSelection& selection = info.selections[slot];
        const KeyName filesKey("InstallFiles", slot);
        if (!ReadSetupValue(KeyName("InstallTitle", slot).c_str(), selection.InstallTitle) ||
            !ReadSetupValue(filesKey.c_str(), list)) {
            return 0;
        }
        if (!TakeFileList(list.data(), selection)) return FailList(filesKey.c_str());
    }

    if (!ReadSetupInt("Shortcuts", &info.Shortcuts)) return 0;
    if (info.Shortcuts > static_cast<int>(info.Shortcut.size())) return Fail("SETUP.INI : Shortcuts オーバー");
    // Shortcuts and ExecApp are read into 260 bytes, as single values are,
    // though the buffer would hold a whole list.
    for (int entry = 0; entry < info.Shortcuts; ++entry) {
        const KeyName key("Shortcut", entry);
        if (!ReadSetupValue(key.c_str(), std::span(list).first(sizeof(SetupText)))) return 0;
        if (!TakeShortcut(key.c_str(), list.data(), info.Shortcut[entry])) return 0;
    }
    return 1;
}

int ReadOptionalKeys(updater::MessageText& list) {
    SetupInfo& info = setupInfo;
    state.quietMissingKeys = 1;

    if (!ReadSetupValue("GameClass", state.GameClass)) {
        updater::CopyText(state.GameClass, state.GameTitle.data());
    }
    info.DefaultSelect = 0;
    ReadSetupInt("DefaultSelect", &info.DefaultSelect);
    for (int slot = 0; slot < info.InstallSelects; ++slot) {
        info.selections[slot].InstallSize = ReadSize(KeyName("InstallSize", slot).c_str());
    }
    for (int disc = 0; disc < static_cast<int>(info.DiskCheckFile.size()); ++disc) {
        ReadSetupValue(KeyName("DiskCheckFile", disc).c_str(), info.DiskCheckFile[disc]);
    }

    if (ReadSetupValue("ExecApp", std::span(list).first(sizeof(SetupText)))) {
        if (TakeItems(list.data(), info.ExecApp) < info.ExecApp.size()) return FailList("ExecApp");
    } else {
        info.ExecApp[0][0] = '\0';
    }

    ReadSetupValue("SelectSetupMessage", info.SelectSetupMessage);
    SetDefault(info.SelectSetupMessage, "インストール方法を選択して下さい");
    ReadSetupValue("SaveDataFolderNameInInstall", info.SaveDataFolderNameInInstall);
    SetDefault(info.SaveDataFolderNameInInstall, "savedata");
    ReadSetupValue("SaveDataFolderName", info.SaveDataFolderName);
    SetDefault(info.SaveDataFolderName, state.GameDir.data());
    ReadSetupValue("StrKeyInstPath", info.StrKeyInstPath);
    SetDefault(info.StrKeyInstPath, "InstPath");
    ReadSetupValue("ShortcutFolder", info.ShortcutFolder);

    info.InstallAfterAdd = 0;
    std::int32_t afterAdd = 0;
    if (ReadSetupInt("InstallAfterAdd", &afterAdd) && afterAdd != 0) info.InstallAfterAdd = 1;
    if (info.InstallAfterAdd == 1) {
        InstallSelection& addOn = info.selections[AddOnSlot];
        // The add-on list is the one optional key that is required once
        // the add-on is announced.
        state.quietMissingKeys = 0;
        if (!ReadSetupValue("InstallAddFiles", list)) return 0;
        if (!TakeFileList(list.data(), addOn)) return FailList("InstallAddFiles");
        state.quietMissingKeys = 1;
        addOn.InstallSize = ReadSize("InstallAddSize");
    }

    ReadSetupValue("UninstTitle", info.UninstTitle);
    SetDefault(info.UninstTitle, state.GameTitle.data());
    info.InstPathMode = 0;
    ReadSetupInt("InstPathMode", &info.InstPathMode);
    return 1;
}

}  // namespace

int LoadSetupInfo() {
    // Whole lists are read into this one buffer, one key at a time.
    updater::MessageText list{};
    return ReadRequiredKeys(list) && ReadOptionalKeys(list) ? 1 : 0;
}

}  // namespace config
