// The run's shared state: one program-wide record, and the updater's own
// error box and info text.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "package/format.h"
#include "platform/types.h"

namespace updater {

// Fixed text buffers; values longer than their buffer are cut to size - 1.
using NameText = std::array<char, 260>;      // names, paths, list items
using MessageText = std::array<char, 1024>;  // messages, captions, whole lists
using NumberText = std::array<char, 20>;

struct UpdateState {
    // Package and files.
    std::span<const std::uint8_t> packageImage;  // in the executable's resources, used in place
    package::PackageDirectory directory;
    std::span<const package::PackageEntry> entries;
    NameText updateIniPath{};
    NameText setupIniPath{};
    // The folder unique to this run that holds the extracted UPDATE.INI
    // (removed with it), so two runs never share the file.
    NameText runFolder{};

    // [SETUP] of UPDATE.INI; once SETUP.INI is read, its values replace
    // the first four, so that the installed game's own ones are used.
    NameText CompanyName{};
    NameText GameTitle{};
    NameText GameClass{};
    NameText GameDir{};
    NameText GameTitleA{};
    NameText UpdaterVersion{};
    NameText UpdaterTitle{};
    NameText DataFolder{};
    MessageText UpdateMessage{};

    // Copies of the agreement and introduction entries, each followed by two
    // zero bytes; null when the key is missing. They live until the process
    // ends.
    const char* agreementText = nullptr;
    const char* introText = nullptr;

    // The installed game, from the registry.
    NameText installPath{};
    NameText dataPath{};
    std::uint32_t installMode = 0;

    // The wizard.
    MessageText caption{};  // "UPDATE" until start-up builds the real one
    platform::Window wizardWindow = nullptr;
    int page = 0;
    int busy = 0;

    // Reading control.
    int quietMissingKeys = 0;
    int itemDisc = 0;
};

// The one record of the process.
extern UpdateState state;

inline constexpr const char* SetupSection = "SETUP";
// The [SETUP] keys that name the agreement's and the introduction's entries.
inline constexpr const char* AgreementTextKey = "AgreementText";
inline constexpr const char* IntroTextKey = "AgreementTitle";

// A key of UPDATE.INI's [SETUP] section that start-up reads, and the field
// of `state` that takes it (its size less one is what is kept).
struct SetupKey {
    const char* name;
    std::span<char> field;
};
// Start-up stops at the first of these that is missing.
extern const std::span<const SetupKey> RequiredSetupKeys;
// These may be missing; the field then stays empty.
extern const std::span<const SetupKey> OptionalSetupKeys;

// Back to the state at process start (caption "UPDATE"); for tests.
void ResetUpdateState();

// The updater's error box: `text`, the caption, the error icon, OK; owned by
// the wizard while it exists.
void ShowUpdateError(const char* text);
// The same with `format` filled in (printf rules, 1024 bytes, cut to 1023).
void ShowFormattedUpdateError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What the error box says when a file can't be written, when memory runs
// out, and when the package or an entry in it is damaged.
inline constexpr const char* WriteFailureText = "ファイルの書き込みに失敗しました";
inline constexpr const char* NoMemoryText = "Can't Allocate Memory !!";
inline constexpr const char* DamagedPackageText = "RESOURCE READ ERROR";

// Formats (printf rules, 1024 bytes, cut to 1023) and sets the text of the
// wizard's info static, control 1001.
void SetInfoText(platform::Window dialog, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Control ids of both dialog templates.
inline constexpr int IdNext = 1;
inline constexpr int IdCancel = 2;
inline constexpr int IdBack = 4;
inline constexpr int IdAgreement = 1000;
inline constexpr int IdInfo = 1001;
inline constexpr int IdAgree = 1002;
inline constexpr int IdDisagree = 1003;
inline constexpr int TemplateWithoutAgreement = 100;
inline constexpr int TemplateWithAgreement = 101;

// Copies `text` into `buffer`, cut to its size - 1 and terminated.
void CopyText(std::span<char> buffer, const char* text);

}  // namespace updater
