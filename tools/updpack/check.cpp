#include "tools/updpack/check.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>

#include "config/ini.h"
#include "config/list.h"
#include "package/files.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/updpack/arguments.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/native_files.h"
#include "tools/updpack/package_files.h"
#include "updater/run_update.h"
#include "updater/state.h"

namespace updpack {
namespace {

using updater::state;

// The drive letter the host build maps SETUP.INI's folder to.
constexpr char SetupDrive = 'V';

// What the updater keeps of a value: its buffer less the terminator.
constexpr std::size_t NameLimit = updater::NameText{}.size() - 1;
// Big enough to see how far a value runs past what the updater keeps.
constexpr std::size_t ProbeSize = 8192;
// Numbered keys beyond the updater's last are still looked for, to warn.
constexpr int ProbedKeys = 100;
// An install mode no filter matches, the plan of "any other mode". A copy
// line's one-byte prefix names its code minus 48, at most 207, and ':'
// would name 10.
constexpr std::uint32_t OtherMode = 1000;
constexpr int ModeCount = 10;

// Names as the updater compares them: without regard to case, full-width,
// Greek and Cyrillic letters included.
bool SameName(const std::string& a, const std::string& b) {
    return platform::EqualNoCase(a.c_str(), b.c_str());
}

// A copy line's path that ends in a separator (not a double-byte
// character's second byte): the shell takes it for the folder's content.
bool NamesFolderContent(const std::string& path) {
    const std::vector<std::string> names = PathNames(path);
    return names.size() > 1 && names.back().empty();
}

// A decimal number as the updater's conversion reads it entirely: blanks,
// one optional sign, digits, blanks.
bool IsWholeNumber(const std::string& text) {
    std::size_t at = text.find_first_not_of(" \t");
    if (at != std::string::npos && (text[at] == '+' || text[at] == '-')) ++at;
    if (at >= text.size()) return false;  // nothing, or a sign alone
    const std::size_t digits = text.find_first_not_of("0123456789", at);
    if (digits == at) return false;
    return digits == std::string::npos || text.find_first_not_of(" \t", digits) == std::string::npos;
}

// The encoding a text file other than cp932 shows itself to be in, as
// editors save Japanese text by default these days; empty when nothing
// says so. A file counts as UTF-8 when all of it decodes as UTF-8 and it
// holds a character of three bytes, as every Japanese one is. cp932 text
// beyond ASCII seldom decodes throughout (most of its lead bytes,
// 0x81-0x9F, can't start a UTF-8 character), and a pair of half-width
// kana, which can pass for a character of two bytes, doesn't count.
std::string ForeignEncoding(std::string_view text) {
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(text[at]); };
    if (text.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF)))
        return "UTF-16";
    bool wide = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::uint8_t lead = byte(at);
        const std::size_t length = lead < 0x80                  ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || text.size() - at < length) return {};
        for (std::size_t k = 1; k < length; ++k)
            if ((byte(at + k) & 0xC0) != 0x80) return {};
        wide = wide || length > 2;
        at += length;
    }
    return wide ? "UTF-8" : "";
}

// The [section] names of an INI file's lines, in order, as the reader
// takes them: a line ends at a CR or an LF (a zero byte ends none, but a
// name, as it is compared, ends there), blanks (and the DOS end-of-file
// mark) around a name don't count, and the second byte of a double-byte
// character is no bracket.
std::vector<std::string> SectionNames(std::string_view text) {
    constexpr std::string_view lineEnds = "\r\n";
    constexpr std::string_view blanks = " \t\v\f\x1a";
    std::vector<std::string> names;
    while (!text.empty()) {
        std::string_view line = text.substr(0, text.find_first_of(lineEnds));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(blanks)));
        if (line.empty() || line.front() != '[') continue;
        std::size_t close = std::string_view::npos;
        for (std::size_t at = 1; at < line.size(); at += platform::IsLeadByte(static_cast<unsigned char>(line[at])) ? 2 : 1)
            if (line[at] == ']') close = at;
        if (close == std::string_view::npos) continue;
        std::string_view name = line.substr(1, close - 1);
        name.remove_prefix(std::min(name.size(), name.find_first_not_of(blanks)));
        name.remove_suffix(name.size() - (name.find_last_not_of(blanks) + 1));
        names.emplace_back(name.substr(0, name.find('\0')));
    }
    return names;
}

// True when a name of `path` ends in a dot or a blank, which Windows drops.
bool HasNameWindowsTrims(const std::string& path) {
    const std::vector<std::string> names = PathNames(path);
    return std::any_of(names.begin(), names.end(), [](const std::string& name) {
        return name != "." && name != ".." && !name.empty() && (name.back() == '.' || name.back() == ' ');
    });
}

struct UpdateLine {
    std::string key;
    std::string text;  // as the updater keeps it
};

class FolderChecker {
public:
    FolderChecker(const std::string& folder, const std::string* setupIni) {
        // Findings are cp932 text, as UPDATE.INI is; the folder's name comes
        // as the arguments do.
        folderName_ = platform::Cp932FromArgument(folder, &folderName_) ? folderName_ : folder;
        nativeFolder_ = folder;
        folder_ = MountFolder(UpdateFolderDrive, folder);
        if (setupIni) {
            setupName_ = platform::Cp932FromArgument(*setupIni, &setupName_) ? setupName_ : *setupIni;
            const std::filesystem::path path(*setupIni);
            // Its name goes through the seam in cp932, as the update's own
            // names do.
            std::string name = platform::NarrowPath(path.filename());
            (void)platform::Cp932FromArgument(name, &name);
            setupIni_ = MountFolder(SetupDrive, path.has_parent_path() ? path.parent_path() : ".") + "\\" + name;
        }
    }

    FolderCheck Run(std::optional<std::uint32_t> mode) {
        const std::string ini = Join("UPDATE.INI");
        if (!IsFile(ini)) {
            std::error_code ignored;
            const auto found = std::filesystem::status(nativeFolder_, ignored);
            Error(folderName_ + (!std::filesystem::exists(found)      ? ": no such folder"
                                 : !std::filesystem::is_directory(found) ? " is no folder"
                                                                         : " has no readable UPDATE.INI"));
            return std::move(result_);
        }
        if (!setupIni_.empty() && !IsFile(setupIni_)) {
            Error("the SETUP.INI given (--setup " + setupName_ + ") is not a readable file");
            return std::move(result_);
        }
        updater::CopyText(state.updateIniPath, ini.c_str());
        updater::CopyText(state.setupIniPath, setupIni_.c_str());
        // A tool must not stop at the readers' missing-key boxes.
        state.quietMissingKeys = 1;
        AddEntry("UPDATE.INI", "UPDATE.INI");
        CheckIniText(ini);
        CheckSetup();
        CheckMisplacedKeys();
        CheckUpdateLines();
        CheckCopyLines();
        PlanModes(mode);
        return std::move(result_);
    }

private:
    void Warn(std::string text) { result_.findings.push_back({Finding::Level::Warning, std::move(text)}); }
    void Error(std::string text) { result_.findings.push_back({Finding::Level::Error, std::move(text)}); }
    void Plan(std::string text) { result_.plan.push_back(std::move(text)); }

    std::string Join(const std::string& name) const { return folder_ + "\\" + name; }

    // A file the readers can open. Opening refuses a folder, a pipe or a
    // device, which the readers would take for an empty file, and a file
    // locked by another program or not permitted; the findings call all of
    // these not readable.
    static bool IsFile(const std::string& path) { return platform::OpenForRead(path.c_str()) != nullptr; }

    // The whole file, read through the seam as the readers read it; empty
    // when it can't be.
    static std::string ReadText(const std::string& path) {
        std::uint32_t length = 0;
        const platform::HeapBlock block = package::ReadWholeFile(path.c_str(), &length);
        return block ? std::string(reinterpret_cast<const char*>(block.data()), length) : std::string();
    }

    // What the readers can't tell: the file's encoding, and a section
    // written twice, whose later keys they never reach.
    void CheckIniText(const std::string& ini) {
        const std::string text = ReadText(ini);
        const std::string encoding = ForeignEncoding(text);
        // Windows reads a UTF-16 profile with its byte order mark; this
        // tool's reader doesn't.
        if (encoding == "UTF-16")
            Warn("UPDATE.INI is UTF-16 text, which check reads as Shift-JIS, so what it finds below may not "
                 "hold (save it as Shift-JIS, the updater's own encoding)");
        else if (!encoding.empty())
            Warn("UPDATE.INI is " + encoding + " text; the updater reads it as cp932 (Shift-JIS), so names and "
                 "texts that are not ASCII come out garbled (save it as Shift-JIS)");
        const std::vector<std::string> sections = SectionNames(text);
        // Windows reads the mark as part of the first line.
        constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
        if (std::string_view(text).starts_with(Utf8Mark)) {
            const std::vector<std::string> unmarked = SectionNames(std::string_view(text).substr(Utf8Mark.size()));
            if (unmarked.size() > sections.size())
                Warn("UPDATE.INI begins with a UTF-8 byte order mark, which Windows reads as part of the first "
                     "line: the updater never finds its section [" + unmarked.front() + "] (save the file as "
                     "Shift-JIS, without the mark)");
        }
        for (std::size_t i = 0; i < sections.size(); ++i) {
            const auto earlier = [&](const std::string& name) { return SameName(name, sections[i]); };
            if (std::any_of(sections.begin(), sections.begin() + static_cast<std::ptrdiff_t>(i), earlier))
                Warn("UPDATE.INI has [" + sections[i] + "] a second time: the updater reads only the first, so " +
                     "the keys of the later one are never read");
        }
    }

    // The value as the updater reads it, with a warning when it runs past
    // what the updater keeps.
    std::optional<std::string> Read(const char* section, const std::string& key, std::size_t limit) {
        std::array<char, ProbeSize> buffer{};
        if (!config::ReadUpdateValue(section, key.c_str(), buffer)) return std::nullopt;
        std::string value(buffer.data());
        if (value.size() > limit) {
            // A value that fills the probe may run on past it (one byte short
            // of full when a double-byte character would have been split).
            const std::string length = std::to_string(value.size()) + (value.size() >= ProbeSize - 2 ? " or more" : "");
            // Read again as the updater reads it: a double-byte character
            // that the limit would split is left out whole.
            std::string kept(limit + 1, '\0');
            (void)config::ReadUpdateValue(section, key.c_str(), kept);
            value = kept.c_str();
            Warn("[" + std::string(section) + "] " + key + " is " + length +
                 " bytes long; the updater keeps only the first " + std::to_string(value.size()));
        }
        return value;
    }

    // An entry the package must hold: a file of that name in the folder.
    void AddEntry(const std::string& name, const std::string& user) {
        if (name.empty() || !IsFile(Join(name))) {
            Error(user + ": the entry '" + name + "' is not a readable file in the update folder");
            return;
        }
        const auto same = [&](const std::string& e) { return SameName(e, name); };
        if (std::none_of(result_.entries.begin(), result_.entries.end(), same)) result_.entries.push_back(name);
    }

    void CheckSetup() {
        for (const updater::SetupKey& key : updater::RequiredSetupKeys)
            if (!Read(updater::SetupSection, key.name, key.field.size() - 1))
                Error(std::string("[SETUP] ") + key.name + " is missing: the updater stops at start-up");
        for (const updater::SetupKey& key : updater::OptionalSetupKeys) {
            const auto value = Read(updater::SetupSection, key.name, key.field.size() - 1);
            // The save-data folder's name is checked below.
            if (std::string_view(key.name) == "DataFolder") dataFolder_ = value.value_or("");
        }
        if (const std::string refused = WhyWindowsRefuses(dataFolder_); !refused.empty())
            Error("[SETUP] DataFolder: Windows allows no folder '" + dataFolder_ + "' (" + refused +
                  "): the updater fails to write below it");
        for (const char* key : {updater::AgreementTextKey, updater::IntroTextKey}) {
            const auto name = Read(updater::SetupSection, key, NameLimit);
            if (!name) continue;
            const std::string user = std::string("[SETUP] ") + key;
            AddEntry(*name, user);
            const std::string text = ReadText(Join(*name));
            if (const std::string encoding = ForeignEncoding(text); !encoding.empty())
                Warn(user + ": '" + *name + "' is " + encoding +
                     " text; the wizard shows it as cp932 (Shift-JIS), so it comes out garbled");
            // The introduction goes through the info text's buffer; the
            // agreement has a box of its own.
            constexpr std::size_t InfoLimit = updater::MessageText{}.size() - 1;
            if (const std::size_t length = std::strlen(text.c_str());
                std::string_view(key) == updater::IntroTextKey && length > InfoLimit)
                Warn(user + ": '" + *name + "' is " + std::to_string(length) +
                     " bytes long; the introduction page shows only the first " + std::to_string(InfoLimit));
        }
    }

    // A key written in the other section is never read there.
    void CheckMisplacedKeys() {
        std::vector<std::string> updateKeys{updater::RequiredDiskSpaceKey, updater::OverwriteOnlyKey};
        for (const updater::ItemListKeys* list : {&updater::UpdateFileKeys, &updater::CopyFileKeys})
            for (int k = 0; k < updater::MaxListKeys; ++k) updateKeys.emplace_back(updater::ListKey(*list, k).data());
        std::vector<std::string> setupKeys{updater::AgreementTextKey, updater::IntroTextKey};
        for (const std::span<const updater::SetupKey> table : {updater::RequiredSetupKeys, updater::OptionalSetupKeys})
            for (const updater::SetupKey& key : table) setupKeys.emplace_back(key.name);
        const auto warnOfKeys = [&](const char* section, const std::vector<std::string>& keys, const char* home) {
            for (const std::string& key : keys) {
                std::array<char, 2> probe{};
                if (config::ReadUpdateValue(section, key.c_str(), probe))
                    Warn(std::string("[") + section + "] " + key + " is never read there: the updater reads it " +
                         "from [" + home + "]");
            }
        };
        warnOfKeys(updater::SetupSection, updateKeys, updater::UpdateSection);
        warnOfKeys(updater::UpdateSection, setupKeys, updater::SetupSection);
    }

    std::optional<std::string> ReadNumber(const char* key) {
        auto value = Read(updater::UpdateSection, key, NameLimit);
        if (value && !IsWholeNumber(*value))
            Warn(std::string("[UPDATE] ") + key + " '" + *value + "' is not a number; the updater reads it as " +
                 std::to_string(config::ParseSaturatingInt32(value->c_str())));
        return value;
    }

    // Keys from 00 until the first missing one; later ones are never read.
    std::vector<UpdateLine> ReadList(const updater::ItemListKeys& keys) {
        const auto numbered = [&](int k) { return std::string(updater::ListKey(keys, k).data()); };
        std::vector<UpdateLine> lines;
        int gap = -1;
        for (int k = 0; k < ProbedKeys; ++k) {
            const std::string key = numbered(k);
            const bool read = gap < 0 && k < updater::MaxListKeys;
            std::array<char, 2> probe{};
            if (!read) {
                if (!config::ReadUpdateValue(updater::UpdateSection, key.c_str(), probe)) continue;
                if (gap >= 0)
                    Warn("[UPDATE] " + key + " is never read: the list ends at the missing " + numbered(gap));
                else
                    Warn("[UPDATE] " + key + " is never read: the updater reads " + numbered(0) + " to " +
                         numbered(updater::MaxListKeys - 1));
                continue;
            }
            auto value = Read(updater::UpdateSection, key, keys.lineCapacity - 1);
            if (!value) {
                gap = k;
                continue;
            }
            lines.push_back({key, *value});
        }
        return lines;
    }

    void CheckUpdateLines() {
        const auto space = ReadNumber(updater::RequiredDiskSpaceKey);
        const std::uint32_t bytes = space ? static_cast<std::uint32_t>(config::ParseSaturatingInt32(space->c_str())) : 0;
        // The updater's number stays within a signed 32-bit one; a count up
        // to 4 GiB is written as that count less 4294967296, which the plan
        // shows as it.
        if (space && IsWholeNumber(*space)) {
            errno = 0;
            const long long written = std::strtoll(space->c_str(), nullptr, 10);
            const bool outOfRange = errno == ERANGE;
            if (outOfRange || written > INT32_MAX || written < INT32_MIN) {
                const std::string hint = !outOfRange && written > INT32_MAX && written <= UINT32_MAX
                                             ? " (for " + std::to_string(written) + " write " +
                                                   std::to_string(written - (1LL << 32)) + ")"
                                             : "";
                Warn("[UPDATE] RequiredDiskSpace " + *space + " is out of the updater's range " +
                     "-2147483648 to 2147483647; it asks for " + std::to_string(bytes) + " bytes" + hint);
            }
        }
        Plan(bytes ? "RequiredDiskSpace: " + std::to_string(bytes) + " bytes free on the install folder's drive"
                   : "RequiredDiskSpace: no check");
        const auto overwrite = ReadNumber(updater::OverwriteOnlyKey);
        overwriteOnly_ = overwrite && config::ParseSaturatingInt32(overwrite->c_str()) != 0;
        if (overwriteOnly_) Plan("OverwriteOnly: every line only replaces a file that exists");

        updateLines_ = ReadList(updater::UpdateFileKeys);
        for (const UpdateLine& line : updateLines_) CheckUpdateLine(line);
        // Two lines that share an entry name get the same content.
        for (std::size_t a = 0; a < parsed_.size(); ++a)
            for (std::size_t b = a + 1; b < parsed_.size(); ++b)
                if (SameName(parsed_[a].entry, parsed_[b].entry) && !SameName(parsed_[a].name, parsed_[b].name))
                    Warn("[UPDATE] " + parsed_[a].key + " and " + parsed_[b].key + " both extract the entry '" +
                         parsed_[a].entry + "' (to " + parsed_[a].name + " and " + parsed_[b].name +
                         "): both get the same content");
    }

    void CheckUpdateLine(const UpdateLine& line) {
        // The fields as the updater splits them, each probed for its length.
        std::array<std::string, 3> fields;
        const char* cursor = line.text.c_str();
        for (std::string& field : fields) {
            std::array<char, ProbeSize> item{};
            if (!config::NextListItem(item, cursor)) break;
            field = item.data();
            if (field.size() > NameLimit)
                Warn("[UPDATE] " + line.key + ": the field '" + Cp932Prefix(field, 40) + "...' is " +
                     std::to_string(field.size()) + " bytes long; the updater keeps only the first " +
                     std::to_string(NameLimit));
        }
        // Any mode parses the fields the same way; only applying differs.
        updater::UpdateItem item;
        std::uint32_t mode = OtherMode;
        if (fields[0].size() == 1 && config::IsDigit(fields[0][0])) mode = fields[0][0] - '0';
        updater::ParseUpdateLine(line.text.c_str(), mode, &item);
        const std::string name(item.name.data());
        const std::string entry = name.substr(std::min<std::size_t>(item.fileNameOffset, name.size()));
        const std::size_t actionField = mode == OtherMode ? 0 : 1;
        if (item.action == updater::ActionPlain && !fields[actionField + 1].empty())
            Warn("[UPDATE] " + line.key + ": '" + fields[actionField] + "' is not an action (d, u, o), so the line " +
                 "writes '" + fields[actionField] + "' and '" + fields[actionField + 1] + "' is ignored");
        CheckTargetName(line.key, item, name, entry);
        if (overwriteOnly_ && item.action == updater::ActionData)
            Warn("[UPDATE] " + line.key + ": a d line under OverwriteOnly never writes its entry: an existing " +
                 "file stays as it is, and a missing one is not supplied");
        AddEntry(entry, "[UPDATE] " + line.key);
        parsed_.push_back({line.key, name, entry});
    }

    // A target Windows can't have: an o line just never finds it, any other
    // line stops the update with a write failure.
    void CheckTargetName(const std::string& key, const updater::UpdateItem& item, const std::string& name,
                         const std::string& entry) {
        const std::string refused = WhyWindowsRefuses(name);
        if (item.action == updater::ActionOverwrite && (entry.empty() || !refused.empty())) {
            Warn("[UPDATE] " + key + ": the target '" + name + "' of an o line cannot exist, so it is never written");
        } else if (!refused.empty()) {
            Error("[UPDATE] " + key + ": Windows allows no file '" + name + "' (" + refused +
                  "): the updater stops there with a write failure");
        } else if (HasNameWindowsTrims(name)) {
            Warn("[UPDATE] " + key + ": Windows drops the dots and blanks that end a name in '" + name +
                 "', so the file is written under the shorter name");
        }
    }

    void CheckCopyLines() {
        copyLines_ = ReadList(updater::CopyFileKeys);
        bool discBefore = false;
        for (const UpdateLine& line : copyLines_) {
            updater::CopyItem item;
            // Mode digits don't change how the rest is read.
            const bool hasMode = line.text.size() > 1 && line.text[1] == ',';
            if (hasMode && !config::IsDigit(line.text[0])) {
                Warn("[UPDATE] " + line.key + ": the install mode prefix is not a digit: no install mode applies it");
                continue;
            }
            const std::uint32_t mode = hasMode ? static_cast<std::uint32_t>(line.text[0] - '0') : OtherMode;
            updater::ParseCopyLine(line.text.c_str(), mode, &item);
            if (item.disc == updater::RefusedDisc) {
                Error("[UPDATE] " + line.key + ": the disc prefix is not a digit (a drive letter?): the updater "
                      "refuses the line as a failed copy");
                continue;
            }
            if (const std::string path(item.path.data()); NamesFolderContent(path))
                Warn("[UPDATE] " + line.key + ": '" + path + "' ends in a separator: the shell then copies the "
                     "folder's content into the install folder itself, not the folder (leave the separator out)");
            if (item.disc == 0 && !discBefore)
                Warn("[UPDATE] " + line.key + " has no disc number and follows no line with one: no disc to copy from");
            discBefore = discBefore || item.disc != 0;
            if (item.disc == 0 || setupIni_.empty()) continue;
            std::array<char, 2> probe{};
            const std::string key = "DiskCheckFile" + std::to_string(item.disc);
            if (!config::ReadSetupValue(key.c_str(), probe))
                Warn("[UPDATE] " + line.key + " needs disc " + std::to_string(item.disc) + ", but SETUP.INI has no " +
                     key + ": any CD-ROM drive with a disc in it is taken");
        }
    }

    // The modes worth a plan of their own: those a filter names; the rest
    // all behave as one.
    void PlanModes(std::optional<std::uint32_t> only) {
        if (only) {
            PlanMode(*only, "install mode " + std::to_string(*only), true);
            return;
        }
        std::set<std::uint32_t> named;
        for (std::uint32_t m = 0; m < ModeCount; ++m)
            if (Applying(m) != Applying(OtherMode)) named.insert(m);
        if (named.empty()) {
            PlanMode(OtherMode, "every install mode", true);
            return;
        }
        for (std::uint32_t m : named) PlanMode(m, "install mode " + std::to_string(m), true);
        PlanMode(OtherMode, "any other install mode", false);
    }

    std::pair<std::vector<std::string>, std::vector<std::string>> Applying(std::uint32_t mode) const {
        std::pair<std::vector<std::string>, std::vector<std::string>> keys;
        for (const UpdateLine& line : updateLines_) {
            updater::UpdateItem item;
            if (updater::ParseUpdateLine(line.text.c_str(), mode, &item)) keys.first.push_back(line.key);
        }
        for (const UpdateLine& line : copyLines_) {
            updater::CopyItem item;
            if (updater::ParseCopyLine(line.text.c_str(), mode, &item)) keys.second.push_back(line.key);
        }
        return keys;
    }

    void PlanMode(std::uint32_t mode, const std::string& title, bool mustDoSomething) {
        Plan(title + ":");
        std::size_t count = 0;
        for (const UpdateLine& line : updateLines_) {
            updater::UpdateItem item;
            if (!updater::ParseUpdateLine(line.text.c_str(), mode, &item)) continue;
            ++count;
            static constexpr const char* actions[] = {"replace", "update (a newer file stays)",
                                                      "data (an existing file stays)", "overwrite (only an existing file)"};
            const std::string name(item.name.data());
            std::string target = item.action == updater::ActionData ? "<save-data folder>" : "<install folder>";
            if (!dataFolder_.empty()) target += "\\" + dataFolder_;
            Plan("  " + line.key + "  " + actions[std::clamp(item.action, 0, 3)] + ": " + target + "\\" + name +
                 " <- entry " + name.substr(std::min<std::size_t>(item.fileNameOffset, name.size())) +
                 (overwriteOnly_ && item.action != updater::ActionOverwrite ? " (only if it exists)" : ""));
        }
        for (const UpdateLine& line : copyLines_) {
            updater::CopyItem item;
            if (!updater::ParseCopyLine(line.text.c_str(), mode, &item)) continue;
            ++count;
            const std::string path(item.path.data());
            if (item.disc == updater::RefusedDisc) {
                Plan("  " + line.key + "  refused (fails the update): " + path);
                continue;
            }
            Plan("  " + line.key + "  copy from " + (item.disc ? "disc " + std::to_string(item.disc) : std::string("the last disc")) +
                 ": " + path + " -> <install folder>\\" + (NamesFolderContent(path) ? "" : path));
        }
        if (count != 0) return;
        const std::string text = "nothing to do in " + title + ": the updater stops with \"No 'UpdateFileXX' and 'CopyFileXX'\"";
        if (mustDoSomething) Error(text); else Warn(text);
    }

    struct ParsedLine {
        std::string key, name, entry;
    };

    std::string folderName_, folder_, setupName_, setupIni_, dataFolder_;
    std::filesystem::path nativeFolder_;
    bool overwriteOnly_ = false;
    std::vector<UpdateLine> updateLines_, copyLines_;
    std::vector<ParsedLine> parsed_;
    FolderCheck result_;
};

}  // namespace

FolderCheck CheckUpdateFolder(const std::string& folder, const std::string* setupIni,
                              std::optional<std::uint32_t> mode) {
    return FolderChecker(folder, setupIni).Run(mode);
}

void PrintFindings(const FolderCheck& check, std::FILE* out) {
    // Names in the texts are cp932, as UPDATE.INI holds them.
    for (const Finding& finding : check.findings)
        std::fprintf(out, "%s: %s\n", finding.level == Finding::Level::Error ? "error" : "warning",
                     PrintableEntryName(finding.text).c_str());
}

int ExitStatus(const FolderCheck& check) {
    int status = 0;
    for (const Finding& finding : check.findings)
        status = std::max(status, finding.level == Finding::Level::Error ? 2 : 1);
    return status;
}

int CheckCommand(std::span<const std::string> args) {
    const auto parsed = ParseCommandArguments("check", args, {"--setup", "--mode"}, 1);
    if (!parsed) return 2;
    std::optional<std::uint32_t> mode;
    if (const std::string* text = parsed->Option("--mode")) {
        if (text->size() != 1 || (*text)[0] < '0' || (*text)[0] > '9')
            return UsageError("check", "--mode takes a digit 0 to 9");
        mode = (*text)[0] - '0';
    }
    const FolderCheck check = CheckUpdateFolder(parsed->positional[0], parsed->Option("--setup"), mode);
    for (const std::string& line : check.plan) std::printf("%s\n", PrintableEntryName(line).c_str());
    PrintFindings(check, stdout);
    return ExitStatus(check);
}

}  // namespace updpack
