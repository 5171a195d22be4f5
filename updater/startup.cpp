#include "updater/startup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "config/ini.h"
#include "config/setup_ini.h"
#include "package/entry.h"
#include "package/files.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/ui.h"
#include "updater/state.h"
#include "updater/update_message.h"
#include "updater/wizard.h"

namespace updater {
namespace {

// The agreement and introduction copies: they live as long as the process.
platform::HeapBlock agreementBlock;
platform::HeapBlock introBlock;

std::span<std::uint8_t> BytesOf(std::span<char> text) {
    return {reinterpret_cast<std::uint8_t*>(text.data()), text.size()};
}

void ShowNotInstalled() { ShowFormattedUpdateError("「%s」がインストールされていません", state.GameTitle.data()); }

bool LoadPackage(platform::Module module) {
    const std::span<const std::uint8_t> image = platform::FindPackageResource(module);
    if (image.empty()) return false;
    state.packageImage = image;
    state.directory = package::LoadPackageDirectory(image);
    if (!state.directory.block) {
        ShowUpdateError(DamagedPackageText);
        return false;
    }
    state.entries = state.directory.entries();
    return true;
}

// A folder of the temporary folder that no other run uses: a second updater
// started meanwhile must not rewrite or delete this run's UPDATE.INI.
bool MakeRunFolder() {
    const std::string temp = platform::TempFolder();
    if (temp.empty()) return false;
    // Any start will do, the folder's creation decides; the time only makes
    // a first clash unlikely.
    auto number = static_cast<std::uint32_t>(std::time(nullptr));
    constexpr int Attempts = 100;
    for (int attempt = 0; attempt < Attempts; ++attempt, ++number) {
        std::array<char, 16> name{};
        std::snprintf(name.data(), name.size(), "UPD%08X", static_cast<unsigned>(number));
        NameText folder{};
        CopyText(folder, temp.c_str());
        if (!package::AppendPath(folder, name.data())) return false;
        if (platform::MakeFolder(folder.data())) {
            state.runFolder = folder;
            return true;
        }
        // Taken by another run, or no folder can be made at all.
        if (platform::GetAttributes(folder.data()) == platform::InvalidAttributes) return false;
    }
    return false;
}

// Sets `updateIniPath` in the run's own folder; false when there is none.
bool PlaceUpdateIni() {
    if (!MakeRunFolder()) return false;
    NameText path = state.runFolder;
    if (!package::AppendPath(path, "UPDATE.INI")) return false;
    state.updateIniPath = path;
    return true;
}

bool ExtractUpdateIni() {
    // A temporary folder that is missing, read-only or too deep for the
    // file's path would otherwise end the run without a word.
    if (!PlaceUpdateIni()) {
        ShowUpdateError(WriteFailureText);
        return false;
    }
    return package::ExtractEntry("UPDATE.INI", state.updateIniPath.data(), 0) != 0;
}

bool ReadSetupKeys() {
    for (const SetupKey& key : RequiredSetupKeys) {
        if (!config::ReadUpdateValue(SetupSection, key.name, key.field)) return false;
    }
    state.quietMissingKeys = 1;
    for (const SetupKey& key : OptionalSetupKeys) (void)config::ReadUpdateValue(SetupSection, key.name, key.field);
    return true;
}

// The package entry named by `key`, copied into a block of its own followed
// by two zero bytes. True when that worked or the key is missing (then the
// text stays null; missing keys are quiet by now); false after a message.
bool LoadText(const char* key, platform::HeapBlock& block, const char*& text) {
    NameText entryName{};
    if (!config::ReadUpdateValue(SetupSection, key, entryName)) return true;
    std::uint32_t size = 0;
    const package::EntryContent content = package::LoadEntry(entryName.data(), &size);
    if (!content) {
        ShowFormattedUpdateError("'%s' not found at UPDATE.FA3", entryName.data());
        return false;
    }
    platform::HeapBlock copy = platform::AllocateBlock(std::size_t{size} + 2);
    if (!copy) {
        ShowUpdateError(NoMemoryText);
        return false;
    }
    if (size != 0) std::memcpy(copy.data(), content.data(), size);
    block = std::move(copy);
    text = reinterpret_cast<const char*>(block.data());
    return true;
}

// A text value fits only with its terminator; one that fills the buffer
// without it counts as too large.
bool ReadTextValue(platform::RegistryKeyObject* key, const char* name, std::span<char> buffer) {
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::uint32_t size = 0;
    if (!platform::ReadKeyValue(key, name, BytesOf(buffer), &size)) return false;
    if (size >= buffer.size() && buffer.back() != '\0') {
        buffer.back() = '\0';
        return false;
    }
    return true;
}

// A path from a drive's root ("C:\GAME") or a network share: anything else
// (empty, "GAME", "C:GAME") names no one folder. The file functions would
// take it from the folder the updater was started in, the profile reader
// from the Windows folder.
bool IsFullPath(const char* path) {
    const char letter = static_cast<char>(path[0] | 0x20);
    const bool fromDriveRoot = letter >= 'a' && letter <= 'z' && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool onShare = path[0] == '\\' && path[1] == '\\';
    return fromDriveRoot || onShare;
}

bool ReadInstallLocation() {
    MessageText subKey{};
    std::snprintf(subKey.data(), subKey.size(), "Software\\%s\\%s", state.CompanyName.data(),
                  state.GameDir.data());
    const platform::RegistryKey key = platform::OpenUserKey(subKey.data());
    if (!key) return false;
    if (!ReadTextValue(key.get(), "InstPath", state.installPath) || !IsFullPath(state.installPath.data()))
        return false;
    if (!ReadTextValue(key.get(), "DataPath", state.dataPath) || !IsFullPath(state.dataPath.data()))
        state.dataPath.fill('\0');
    std::array<std::uint8_t, sizeof(std::uint32_t)> mode{};
    std::uint32_t size = 0;
    if (!platform::ReadKeyValue(key.get(), "InstMode", mode, &size)) return false;
    std::memcpy(&state.installMode, mode.data(), mode.size());
    return true;
}

void ShowUpdateMessage() {
    if (state.UpdateMessage[0] == '\0') return;
    MessageText text{};
    ConvertUpdateMessage(state.UpdateMessage.data(), text);
    ShowUpdateError(text.data());
}

bool ReadInstalledSetup() {
    state.setupIniPath = state.installPath;
    if (!package::AppendPath(state.setupIniPath, "SETUP.INI") ||
        platform::GetAttributes(state.setupIniPath.data()) == platform::InvalidAttributes) {
        ShowUpdateError("インストール先に \"SETUP.INI\" ファイルが見つかりません");
        return false;
    }
    state.quietMissingKeys = 0;
    return config::LoadSetupInfo() != 0;
}

void BuildCaption() {
    if (state.UpdaterTitle[0] != '\0') {
        CopyText(state.caption, state.UpdaterTitle.data());
    } else {
        std::snprintf(state.caption.data(), state.caption.size(), "%s アップデータ %s",
                      state.GameTitle.data(), state.UpdaterVersion.data());
    }
}

// True when no other updater is open; else that one comes to the front.
bool IsOnlyUpdater() {
    const platform::Window other = platform::FindDialogWindow(state.caption.data());
    if (other == nullptr) return true;
    platform::ShowAndRaise(other);
    return false;
}

// True once no game window of `title` is open; false when the user chose
// not to close it (it then comes to the front).
bool WaitForGameToClose(const char* title) {
    while (platform::FindTopWindow(state.GameClass.data(), title) != nullptr) {
        MessageText question{};
        std::snprintf(question.data(), question.size(),
                      "「%s」が実行中です。アップデートを続行する場合はゲームを終了してから [OK] を、"
                      "アップデートを中止する場合は [キャンセル] を押して下さい",
                      title);
        if (platform::ShowBox(nullptr, question.data(), state.caption.data(),
                              platform::BoxKind::OkCancel) != platform::BoxAnswer::Ok) {
            // Looked up anew: the window seen before the question may be gone.
            if (const platform::Window game = platform::FindTopWindow(state.GameClass.data(), title)) {
                platform::ShowAndRaise(game);
            }
            return false;
        }
    }
    return true;
}

int RunStartUp(platform::Module module) {
    platform::InitializeComForThread();
    if (!LoadPackage(module) || !ExtractUpdateIni() || !ReadSetupKeys() ||
        !LoadText(AgreementTextKey, agreementBlock, state.agreementText) ||
        // The introduction page's text is named by AgreementTitle.
        !LoadText(IntroTextKey, introBlock, state.introText)) {
        return 0;
    }
    if (!ReadInstallLocation()) {
        ShowNotInstalled();
        return 0;
    }
    ShowUpdateMessage();
    if (!ReadInstalledSetup()) return 0;
    BuildCaption();
    if (!IsOnlyUpdater() || !WaitForGameToClose(state.GameTitle.data())) return 0;
    if (state.GameTitleA[0] != '\0' && !WaitForGameToClose(state.GameTitleA.data())) return 0;

    const int templateId = state.agreementText != nullptr ? TemplateWithAgreement : TemplateWithoutAgreement;
    std::intptr_t result = -1;
    try {
        result = platform::RunModalDialog(module, templateId, WizardProc);
    } catch (...) {
        // Out of memory inside the wizard: the dialog has ended, maybe after
        // some files were written. The player is told, as of any update cut
        // short, instead of seeing the window vanish.
    }
    state.wizardWindow = nullptr;
    if (result == 0) return 1;
    ShowUpdateError("アップデートが中断されました");
    return 0;
}

}  // namespace

int WinMain(platform::Module instance) {
    int exitCode = 0;
    try {
        exitCode = RunStartUp(instance);
    } catch (...) {
        // Only the standard library throws (out of memory); the run ends as
        // any other failed run does.
        exitCode = 0;
    }
    ReleasePackage();
    return exitCode;
}

void ReleasePackage() {
    state.directory = package::PackageDirectory{};
    state.entries = {};
    if (state.updateIniPath[0] != '\0') (void)platform::RemoveFile(state.updateIniPath.data());
    if (state.runFolder[0] != '\0') (void)platform::RemoveFolder(state.runFolder.data());
    state.updateIniPath.fill('\0');
    state.runFolder.fill('\0');
}

}  // namespace updater
