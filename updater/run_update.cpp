#include "updater/run_update.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "config/ini.h"
#include "config/list.h"
#include "config/setup_ini.h"
#include "package/entry.h"
#include "package/files.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/volumes.h"

namespace updater {
namespace {

// Paths built from a base folder and one or two names; the system's own
// limit is far below, so a path that doesn't fit is simply a failed write.
using PathText = MessageText;

// The applying lines of one numbered list of [UPDATE], in key order.
template <typename Item>
struct ItemList {
    std::array<Item, MaxListKeys> items{};
    int count = 0;
};
using UpdateList = ItemList<UpdateItem>;
using CopyList = ItemList<CopyItem>;

// A number of [UPDATE]; missing or empty reads as 0.
std::int32_t ReadUpdateNumber(const char* key) {
    NameText text{};
    if (!config::ReadUpdateValue(UpdateSection, key, text)) return 0;
    return config::ParseSaturatingInt32(text.data());
}

void EndWithFailure(platform::Window dialog) { platform::EndModalDialog(dialog, -1); }

// Says that `path` could not be copied and ends the dialog; false.
bool FailCopy(platform::Window dialog, const char* path) {
    ShowFormattedUpdateError("SETUP.INI : \"%s\" のコピーに失敗しました", path);
    EndWithFailure(dialog);
    return false;
}

// True when the update may go on; otherwise the dialog shows the shortfall
// and waits for Back or Cancel.
bool CheckDiskSpace(platform::Window dialog) {
    const auto required = static_cast<std::uint32_t>(ReadUpdateNumber(RequiredDiskSpaceKey));
    if (required == 0) return true;
    // Free space that can't be had gives no shortfall: the user is not held
    // back for want of a figure.
    const package::SpaceShortfall shortfall =
        package::FreeSpaceShortfall(state.installPath.data(), required);
    if (shortfall.bytes == 0) return true;
    SetInfoText(dialog, "ディスク容量が足りません。\r%s ドライブに %" PRIu64 " バイトの空き容量が必要です",
                shortfall.drive.data(), shortfall.bytes);
    platform::EnableItem(dialog, IdBack, true);
    platform::EnableItem(dialog, IdNext, false);
    platform::EnableItem(dialog, IdCancel, true);
    // Next had the focus; a disabled button would keep it from the keyboard.
    platform::FocusItem(dialog, IdBack);
    return false;
}

// Reads the list's lines up to the first missing key (keys after a gap are
// never read); lines the parser's mode filter excludes are skipped.
template <typename Item>
ItemList<Item> ReadItemList(const ItemListKeys& keys, bool (*parse)(const char*, std::uint32_t, Item*)) {
    static_assert(UpdateFileKeys.lineCapacity <= sizeof(MessageText) &&
                  CopyFileKeys.lineCapacity <= sizeof(MessageText));
    ItemList<Item> list;
    for (int k = 0; k < MaxListKeys; ++k) {
        const NameText key = ListKey(keys, k);
        MessageText line{};
        if (!config::ReadUpdateValue(UpdateSection, key.data(), std::span(line).first(keys.lineCapacity))) break;
        if (parse(line.data(), state.installMode, &list.items[list.count])) ++list.count;
    }
    return list;
}

// False when the item failed and the dialog has been ended.
bool ApplyUpdateItem(platform::Window dialog, const UpdateItem& item, bool overwriteOnly) {
    // An empty base folder (the registry named no save-data folder, or none
    // that is a full path) would make the target relative, and the item
    // would land in whatever folder the updater was started from; it fails
    // as a write would, unless the overwrite rule skips it.
    const char* base = item.action == ActionData ? state.dataPath.data() : state.installPath.data();
    PathText target{};
    CopyText(target, base);
    bool joined = base[0] != '\0' && package::AppendPath(target, state.DataFolder.data());
    if (joined) (void)platform::MakeFolder(target.data());  // a later write reports the failure
    joined = joined && package::AppendPath(target, item.name.data());

    // A target that can't be named (no save-data folder, or too long a
    // path) is no existing file either, so the overwrite rule skips it.
    const bool targetExists = joined && platform::IsExistingFile(platform::GetAttributes(target.data()));
    if ((overwriteOnly || item.action == ActionOverwrite) && !targetExists) return true;
    if (targetExists && item.action == ActionData) {
        // A save file the player already has is kept: it is only written back
        // (safely replaced), which renews its time stamp. One that can't be
        // read (too large, no memory) is kept as it is, never replaced.
        std::uint32_t length = 0;
        if (const platform::HeapBlock content = package::ReadWholeFile(target.data(), &length))
            (void)package::WriteWholeFile(target.data(), {content.data(), length}, nullptr);
        return true;
    }
    if (joined && package::ExtractEntry(item.name.data() + item.fileNameOffset, target.data(),
                                        item.action == ActionUpdate ? 1 : 0)) {
        return true;
    }
    ShowUpdateError(WriteFailureText);
    EndWithFailure(dialog);
    return false;
}

// Finds the CD-ROM drive that holds disc `disc`, asking for it while the
// user answers OK. False when the user gave up.
bool FindDisc(platform::Window dialog, std::int32_t disc, std::array<char, 3>& drive) {
    const char* checkFile = config::setupInfo.DiskCheckFile[static_cast<std::size_t>(disc)].data();
    for (;;) {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const std::array<char, 3> candidate{letter, ':', '\0'};
            if (!platform::IsCdromDrive(candidate.data())) continue;
            PathText check{};
            CopyText(check, candidate.data());
            if (package::AppendPath(check, checkFile) &&
                platform::GetAttributes(check.data()) != platform::InvalidAttributes) {
                drive = candidate;
                return true;
            }
        }
        MessageText prompt{};
        std::snprintf(prompt.data(), prompt.size(), "ＣＤ－ＲＯＭドライブに「%s」ディスク %i を入れて下さい",
                      state.GameTitle.data(), static_cast<int>(disc));
        if (platform::ShowBox(dialog, prompt.data(), state.caption.data(), platform::BoxKind::OkCancel) !=
            platform::BoxAnswer::Ok) {
            return false;
        }
    }
}

// False when the copy failed or was given up and the dialog has been ended.
bool ApplyCopyItem(platform::Window dialog, const CopyItem& item, std::array<char, 3>& drive) {
    if (item.disc == RefusedDisc) return FailCopy(dialog, item.path.data());
    if (item.disc != 0 && !FindDisc(dialog, item.disc, drive)) {
        EndWithFailure(dialog);
        return false;
    }
    PathText source{};
    PathText destination{};
    CopyText(source, drive.data());
    CopyText(destination, state.installPath.data());
    // No disc found yet for an item without a number of its own: there is
    // nothing to copy from.
    bool ready = drive[0] != '\0' && package::AppendPath(source, item.path.data());
    std::uint16_t flags = platform::CopyNoConfirmation | platform::CopyNoConfirmMakeFolder;
    if (ready && platform::IsExistingFile(platform::GetAttributes(source.data()))) {
        ready = package::AppendPath(destination, item.path.data());
    } else {
        // A folder (or a missing source) is copied into the install folder;
        // the buffer is zeroed, so the path is already a one-string list.
        flags |= platform::CopyNoErrorUi;
    }
    if (!ready) return FailCopy(dialog, item.path.data());

    SetInfoText(dialog, "%s をコピーしています", item.path.data());
    bool aborted = false;
    const int result = platform::ShellCopy(dialog, source.data(), destination.data(), flags, &aborted);
    if (aborted) {
        EndWithFailure(dialog);
        return false;
    }
    if (result != 0) return FailCopy(dialog, item.path.data());
    // Files from a disc are read-only; the copy must not stay so.
    (void)platform::SetAttributes(destination.data(), platform::AttributeNormal);
    return true;
}

}  // namespace

NameText ListKey(const ItemListKeys& keys, int k) {
    NameText key{};
    std::snprintf(key.data(), key.size(), "%s%02i", keys.prefix, k);
    return key;
}

bool ParseUpdateLine(const char* line, std::uint32_t installMode, UpdateItem* item) {
    std::array<NameText, 3> fields{};
    const char* cursor = line;
    for (NameText& field : fields) {
        if (!config::NextListItem(field, cursor)) break;
    }

    const char* actionField = fields[0].data();
    const char* nameField = fields[1].data();
    if (std::strlen(fields[0].data()) == 1 && config::IsDigit(fields[0][0])) {
        if (installMode != static_cast<std::uint32_t>(fields[0][0] - '0')) return false;
        actionField = fields[1].data();
        nameField = fields[2].data();
    }

    struct Letter {
        const char* text;
        UpdateAction action;
    };
    constexpr Letter Letters[] = {{"d", ActionData}, {"u", ActionUpdate}, {"o", ActionOverwrite}};
    item->action = ActionPlain;
    const char* name = actionField;
    for (const Letter& letter : Letters) {
        if (platform::EqualNoCase(actionField, letter.text)) {
            item->action = letter.action;
            name = nameField;
            break;
        }
    }
    CopyText(item->name, name);
    // The entry is named by what follows the last backslash; a slash is
    // part of the entry's name.
    item->fileNameOffset = static_cast<std::int32_t>(package::FolderLength(item->name.data(), true));
    return true;
}

bool ParseCopyLine(const char* line, std::uint32_t installMode, CopyItem* item) {
    const char* rest = line;
    if (rest[0] != '\0' && rest[1] == ',') {
        const int mode = static_cast<unsigned char>(rest[0]) - '0';
        if (mode < 0 || static_cast<std::uint32_t>(mode) != installMode) return false;
        rest += 2;
    }
    item->disc = 0;
    if (rest[0] != '\0' && rest[1] == ':') {
        // Only a digit names a disc. Anything else (most likely a drive
        // letter the publisher wrote by mistake) refuses the line, which
        // keeps its prefix so that the failure names it as written.
        if (!config::IsDigit(rest[0])) {
            item->disc = RefusedDisc;
        } else {
            item->disc = rest[0] - '0';
            rest += 2;
        }
    }
    CopyText(item->path, rest);
    return true;
}

void RunUpdate(platform::Window dialog) {
    if (!CheckDiskSpace(dialog)) return;

    SetInfoText(dialog, "%s", "アップデートを実行しています");
    platform::EnableItem(dialog, IdBack, false);
    platform::EnableItem(dialog, IdNext, false);
    platform::EnableItem(dialog, IdCancel, false);
    platform::ShowWaitCursor();

    const bool overwriteOnly = ReadUpdateNumber(OverwriteOnlyKey) != 0;
    const UpdateList updates = ReadItemList(UpdateFileKeys, ParseUpdateLine);
    const CopyList copies = ReadItemList(CopyFileKeys, ParseCopyLine);
    if (updates.count == 0 && copies.count == 0) {
        ShowUpdateError("No 'UpdateFileXX' and 'CopyFileXX'");
        EndWithFailure(dialog);
        return;
    }

    for (int i = 0; i < updates.count; ++i) {
        if (!ApplyUpdateItem(dialog, updates.items[i], overwriteOnly)) return;
    }
    std::array<char, 3> drive{};  // the disc of the latest numbered copy item
    for (int i = 0; i < copies.count; ++i) {
        if (!ApplyCopyItem(dialog, copies.items[i], drive)) return;
    }

    // Keys pressed while the update ran would otherwise press 完了 at once.
    platform::DropTypedAhead();
    SetInfoText(dialog, "%s", "アップデートは完了しました");
    platform::SetItemText(dialog, IdNext, "完了");
    platform::EnableItem(dialog, IdNext, true);
    platform::FocusItem(dialog, IdNext);
    platform::ShowArrowCursor();
}

}  // namespace updater
