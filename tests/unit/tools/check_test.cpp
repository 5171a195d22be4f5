#include "tools/updpack/check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>

#include "platform/text.h"
#include "support/host_fixture.h"
#include "tools/updpack/commands.h"
#include "updater/state.h"

namespace updpack {
namespace {

const std::string SetupSection =
    "[SETUP]\nCompanyName=Maker\nGameTitle=Game\nGameClass=GameWindow\nGameDir=game\n";

class CheckTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        folder_ = (root() / "update").string();
        std::filesystem::create_directories(folder_);
    }

    // A file named by the cp932 `name` in UTF-8, as Linux keeps names.
    void Write(const std::string& name, const std::string& content) {
        std::string utf8;
        ASSERT_TRUE(platform::Utf8FromCp932(name, &utf8));
        std::ofstream(std::filesystem::path(folder_) / std::u8string(utf8.begin(), utf8.end()), std::ios::binary)
            << content;
    }

    // A folder whose UPDATE.INI is `ini`, holding `files` beside it.
    FolderCheck Check(const std::string& ini, std::initializer_list<const char*> files = {"plugin.dll"},
                      const std::string* setupIni = nullptr, std::optional<std::uint32_t> mode = std::nullopt) {
        Write("UPDATE.INI", ini);
        for (const char* file : files) Write(file, "content");
        return CheckUpdateFolder(folder_, setupIni, mode);
    }

    std::string folder_;
};

std::string Findings(const FolderCheck& check) {
    std::string all;
    for (const Finding& f : check.findings)
        all += (f.level == Finding::Level::Error ? "error: " : "warning: ") + f.text + "\n";
    return all;
}
bool Has(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(CheckTest, ACleanFolderGivesThePlanAndTheEntriesToPack) {
    const auto check = Check(SetupSection + "AgreementText=license.txt\nDataFolder=DATA\n"
                                     "[UPDATE]\nRequiredDiskSpace=-1\nUpdateFile00=u,system\\plugin.dll\n"
                                     "UpdateFile01=d,save\\config.ini\nCopyFile00=1:movie\\op.mpg\n",
                             {"plugin.dll", "license.txt", "config.ini"});
    EXPECT_EQ(ExitStatus(check), 0) << Findings(check);
    EXPECT_EQ(check.entries, (std::vector<std::string>{"UPDATE.INI", "license.txt", "plugin.dll", "config.ini"}));
    EXPECT_TRUE(Has(check.plan, "RequiredDiskSpace: 4294967295 bytes"));
    EXPECT_TRUE(Has(check.plan, "every install mode:"));
    EXPECT_TRUE(Has(check.plan, "UpdateFile00  update (a newer file stays): <install folder>\\DATA\\system\\plugin.dll <- entry plugin.dll"));
    EXPECT_TRUE(Has(check.plan, "UpdateFile01  data (an existing file stays): <save-data folder>\\DATA\\save\\config.ini <- entry config.ini"));
    EXPECT_TRUE(Has(check.plan, "CopyFile00  copy from disc 1: movie\\op.mpg -> <install folder>\\movie\\op.mpg"));
    // The readers' missing-key boxes never show in the tool.
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

TEST_F(CheckTest, PlansEachInstallModeAFilterNames) {
    const std::string ini = SetupSection + "[UPDATE]\nUpdateFile00=plugin.dll\nUpdateFile01=2,o,readme.txt\n";
    const auto check = Check(ini, {"plugin.dll", "readme.txt"});
    EXPECT_EQ(ExitStatus(check), 0) << Findings(check);
    EXPECT_TRUE(Has(check.plan, "install mode 2:"));
    EXPECT_TRUE(Has(check.plan, "any other install mode:"));
    const auto only = Check(ini, {"plugin.dll", "readme.txt"}, nullptr, 3);
    EXPECT_TRUE(Has(only.plan, "install mode 3:"));
    EXPECT_FALSE(Has(only.plan, "readme.txt"));
    // A prefix that is no digit names no mode of the plan, not even ':'.
    const auto colon = Check(SetupSection + "[UPDATE]\nUpdateFile00=plugin.dll\nCopyFile00=:,1:movie\n", {"plugin.dll"});
    EXPECT_TRUE(Has(colon.plan, "every install mode:"));
    EXPECT_FALSE(Has(colon.plan, "movie"));
}

TEST_F(CheckTest, CutsLongTextWhereTheUpdaterDoesNeverInsideACharacter) {
    const auto kana = [](int count) {
        std::string text;
        for (int k = 0; k < count; ++k) text += "ア";
        return text;
    };
    // An odd number of bytes before the double-byte characters puts byte
    // 40 of the field, and byte 259 of the value, inside one.
    const auto check = Check(SetupSection + "DataFolder=aa" + kana(150) + "\n[UPDATE]\nUpdateFile00=plugin.dll\n" +
                                 "UpdateFile01=a" + kana(150) + "\n",
                             {"plugin.dll"});
    EXPECT_NE(Findings(check).find("the field 'a" + kana(19) + "...' is 301 bytes long"), std::string::npos)
        << Findings(check);
    // The updater's reader leaves out the character that would be split.
    EXPECT_NE(Findings(check).find("[SETUP] DataFolder is 302 bytes long; the updater keeps only the first 258"),
              std::string::npos)
        << Findings(check);
    EXPECT_TRUE(Has(check.plan, "<install folder>\\aa" + kana(128) + "\\plugin.dll <- entry plugin.dll"));
}

struct FindingCase {
    const char* what;
    std::string ini;
    Finding::Level level;
    const char* text;
    int status;  // a mistake may bring a failure with it
};

TEST_F(CheckTest, ReportsEachMistake) {
    const std::string update = "[UPDATE]\nUpdateFile00=plugin.dll\n";
    const std::string longName(300, 'n');
    // The cut name leaves a wrong entry name too: "plug".
    const std::string longPath = std::string(255, 'n') + "\\plugin.dll";
    const FindingCase cases[] = {
        {"required key missing", "[SETUP]\nCompanyName=Maker\nGameTitle=Game\nGameDir=game\n" + update,
         Finding::Level::Error, "[SETUP] GameClass is missing", 2},
        {"entry not in the folder", SetupSection + "[UPDATE]\nUpdateFile00=u,system\\missing.dll\n",
         Finding::Level::Error, "the entry 'missing.dll' is not a readable file", 2},
        {"agreement missing", SetupSection + "AgreementText=license.txt\n" + update,
         Finding::Level::Error, "[SETUP] AgreementText: the entry 'license.txt'", 2},
        {"introduction missing", SetupSection + "AgreementTitle=intro.txt\n" + update,
         Finding::Level::Error, "[SETUP] AgreementTitle: the entry 'intro.txt'", 2},
        {"nothing to do", SetupSection + "[UPDATE]\nUpdateFile01=plugin.dll\n",
         Finding::Level::Error, "nothing to do in every install mode", 2},
        {"gap in the list", SetupSection + update + "UpdateFile01=plugin.dll\nUpdateFile03=plugin.dll\n",
         Finding::Level::Warning, "UpdateFile03 is never read: the list ends at the missing UpdateFile02", 1},
        {"beyond the last key", SetupSection + update + "CopyFile16=x\n" + [] {
             std::string lines;
             for (int k = 0; k < 16; ++k) lines += "CopyFile" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "=1:x\n";
             return lines;
         }(),
         Finding::Level::Warning, "CopyFile16 is never read: the updater reads CopyFile00 to CopyFile15", 1},
        {"field too long", SetupSection + "[UPDATE]\nUpdateFile00=u," + longPath + "\n",
         Finding::Level::Warning, "bytes long; the updater keeps only the first 259", 2},
        {"value too long", SetupSection + "DataFolder=" + longName + "\n" + update,
         Finding::Level::Warning, "[SETUP] DataFolder is 300 bytes long", 1},
        {"value longer than the tool reads", SetupSection + "GameTitleA=" + std::string(10000, 't') + "\n" + update,
         Finding::Level::Warning, "[SETUP] GameTitleA is 8191 or more bytes long", 1},
        {"double-byte value longer than the tool reads", SetupSection + "GameTitleA=" + [] {
             std::string title;
             for (int k = 0; k < 5000; ++k) title += "\x83\x41";
             return title;
         }() + "\n" + update,
         Finding::Level::Warning, "[SETUP] GameTitleA is 8190 or more bytes long", 1},
        {"one entry, two files", SetupSection + "[UPDATE]\nUpdateFile00=a\\plugin.dll\nUpdateFile01=b\\plugin.dll\n",
         Finding::Level::Warning, "UpdateFile00 and UpdateFile01 both extract the entry 'plugin.dll'", 1},
        {"an [UPDATE] key in [SETUP]", SetupSection + "RequiredDiskSpace=100\n" + update, Finding::Level::Warning,
         "[SETUP] RequiredDiskSpace is never read there: the updater reads it from [UPDATE]", 1},
        {"a [SETUP] key in [UPDATE]", SetupSection + update + "UpdaterVersion=1.01\n", Finding::Level::Warning,
         "[UPDATE] UpdaterVersion is never read there: the updater reads it from [SETUP]", 1},
        {"d line under OverwriteOnly", SetupSection + "[UPDATE]\nOverwriteOnly=1\nUpdateFile00=d,plugin.dll\n",
         Finding::Level::Warning, "UpdateFile00: a d line under OverwriteOnly never writes its entry", 1},
        {"OverwriteOnly not a number", SetupSection + update + "OverwriteOnly=yes\n",
         Finding::Level::Warning, "[UPDATE] OverwriteOnly 'yes' is not a number; the updater reads it as 0", 1},
        {"RequiredDiskSpace not a number", SetupSection + update + "RequiredDiskSpace=2GB\n",
         Finding::Level::Warning, "[UPDATE] RequiredDiskSpace '2GB' is not a number; the updater reads it as 2", 1},
        {"o target that cannot exist", SetupSection + update + "UpdateFile01=o,bad?name\\plugin.dll\n",
         Finding::Level::Warning, "of an o line cannot exist", 1},
        {"target with a character Windows refuses", SetupSection + update + "UpdateFile01=u,bad|name\\plugin.dll\n",
         Finding::Level::Error, "Windows allows no file 'bad|name\\plugin.dll' (the character |)", 2},
        {"target with a device name", SetupSection + update + "UpdateFile01=aux .dat\\plugin.dll\n",
         Finding::Level::Error, "(the device name AUX): the updater stops there", 2},
        {"folder Windows refuses", SetupSection + "DataFolder=save*\n" + update,
         Finding::Level::Error, "[SETUP] DataFolder: Windows allows no folder 'save*'", 2},
        {"name Windows trims", SetupSection + update + "UpdateFile01=sub.\\plugin.dll\n",
         Finding::Level::Warning, "Windows drops the dots and blanks that end a name in 'sub.\\plugin.dll'", 1},
        {"not an action", SetupSection + "[UPDATE]\nUpdateFile00=x,plugin.dll\n",
         Finding::Level::Warning, "'x' is not an action", 2},
        {"copy without a disc", SetupSection + update + "CopyFile00=movie\n",
         Finding::Level::Warning, "no disc to copy from", 1},
        {"disc prefix not a digit", SetupSection + update + "CopyFile00=1:x\nCopyFile01=x:movie\n",
         Finding::Level::Error, "CopyFile01: the disc prefix is not a digit", 2},
        {"mode prefix not a digit", SetupSection + update + "CopyFile00=x,1:movie\n",
         Finding::Level::Warning, "CopyFile00: the install mode prefix is not a digit", 1},
        {"a sign alone", SetupSection + update + "OverwriteOnly=-\n",
         Finding::Level::Warning, "[UPDATE] OverwriteOnly '-' is not a number", 1},
        {"more space than the updater reads", SetupSection + update + "RequiredDiskSpace=3000000000\n",
         Finding::Level::Warning, "it asks for 2147483647 bytes (for 3000000000 write -1294967296)", 1},
        {"less than the updater reads", SetupSection + update + "RequiredDiskSpace=-3000000000\n",
         Finding::Level::Warning, "range -2147483648 to 2147483647; it asks for 2147483648 bytes", 1},
        {"a section twice", SetupSection + update + "[Update]\nUpdateFile01=plugin.dll\n",
         Finding::Level::Warning, "UPDATE.INI has [Update] a second time: the updater reads only the first", 1},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF" + SetupSection + update, Finding::Level::Warning,
         "UPDATE.INI begins with a UTF-8 byte order mark, which Windows reads as part of the first line: the "
         "updater never finds its section [SETUP]", 2},
        {"UTF-16 text", "\xFF\xFE" + SetupSection + update, Finding::Level::Warning, "UPDATE.INI is UTF-16 text", 2},
    };
    for (const auto& c : cases) {
        updater::ResetUpdateState();
        const auto check = Check(c.ini);
        const bool found = std::any_of(check.findings.begin(), check.findings.end(), [&](const Finding& f) {
            return f.level == c.level && f.text.find(c.text) != std::string::npos;
        });
        EXPECT_TRUE(found) << c.what << ":\n" << Findings(check);
        EXPECT_EQ(ExitStatus(check), c.status) << c.what << ":\n" << Findings(check);
    }
}

// Japanese text saved as UTF-8 reads as garbage to the updater; saved as
// cp932 it is what the updater expects.
TEST_F(CheckTest, TextsInAnotherEncodingThanCp932AreNamed) {
    // Half-width ﾈｺ in cp932, which passes for one UTF-8 character of two
    // bytes; the rest of the file is ASCII.
    const std::string title = "GameTitleA=\xC8\xBA\n";
    auto check = Check(SetupSection + title + "AgreementText=license.txt\n[UPDATE]\nUpdateFile00=plugin.dll\n",
                       {"plugin.dll", "license.txt"});
    EXPECT_TRUE(check.findings.empty()) << Findings(check);
    Write("license.txt", "\xE5\x90\x8C\xE6\x84\x8F");  // 同意 in UTF-8
    check = Check(SetupSection + "UpdaterTitle=\xE6\x9B\xB4\xE6\x96\xB0\nAgreementText=license.txt\n"
                  "[UPDATE]\nUpdateFile00=plugin.dll\n", {"plugin.dll"});
    EXPECT_EQ(Findings(check),
              "warning: UPDATE.INI is UTF-8 text; the updater reads it as cp932 (Shift-JIS), so names and texts "
              "that are not ASCII come out garbled (save it as Shift-JIS)\n"
              "warning: [SETUP] AgreementText: 'license.txt' is UTF-8 text; the wizard shows it as cp932 "
              "(Shift-JIS), so it comes out garbled\n");
}

TEST_F(CheckTest, AnIntroductionLongerThanTheInfoTextCanShowIsNamed) {
    const std::string ini =
        SetupSection + "AgreementTitle=intro.txt\nAgreementText=license.txt\n[UPDATE]\nUpdateFile00=plugin.dll\n";
    Write("license.txt", std::string(2000, 'a'));  // the agreement's box has room
    Write("intro.txt", std::string(1023, 'i'));
    EXPECT_TRUE(Check(ini).findings.empty()) << Findings(Check(ini));
    Write("intro.txt", std::string(1024, 'i'));
    EXPECT_EQ(Findings(Check(ini)), "warning: [SETUP] AgreementTitle: 'intro.txt' is 1024 bytes long; the "
                                    "introduction page shows only the first 1023\n");
}

TEST_F(CheckTest, AZeroByteEndsNoLine) {
    // What follows the zero byte belongs to the Memo line: the reader sees
    // no second [UPDATE] there.
    const auto check = Check(SetupSection + "[UPDATE]\nUpdateFile00=plugin.dll\nMemo=a" + std::string(1, '\0') +
                             "[UPDATE]\n");
    EXPECT_TRUE(check.findings.empty()) << Findings(check);
    // In a section's name it ends the name, as the reader compares it.
    const auto cut = Check(SetupSection + "[UPDATE]\nUpdateFile00=plugin.dll\n[UPDATE" + std::string(1, '\0') + "2]\n");
    EXPECT_EQ(Findings(cut), "warning: UPDATE.INI has [UPDATE] a second time: the updater reads only the first, so the "
                             "keys of the later one are never read\n");
}

TEST_F(CheckTest, DoubleByteNamesAreEqualOnlyToThemselves) {
    // Katakana a and di (cp932 83 41, 83 61) differ only where an ASCII
    // fold would make them one name.
    const auto check = Check(SetupSection + "[UPDATE]\nUpdateFile00=a\\\x83\x41.dat\nUpdateFile01=b\\\x83\x61.dat\n",
                             {"\x83\x41.dat", "\x83\x61.dat"});
    EXPECT_EQ(ExitStatus(check), 0) << Findings(check);
    EXPECT_EQ(check.entries, (std::vector<std::string>{"UPDATE.INI", "\x83\x41.dat", "\x83\x61.dat"}));
}

TEST_F(CheckTest, ANameKeptInCp932BytesIsFoundToo) {
    // As an archive made on Windows unpacks it: ア.DAT in cp932, no UTF-8.
    std::ofstream(folder_ + "/\x83\x41.DAT", std::ios::binary) << "content";
    const auto check = Check(SetupSection + "[UPDATE]\nUpdateFile00=\x83\x41.dat\n", {});
    EXPECT_EQ(ExitStatus(check), 0) << Findings(check);
}

TEST_F(CheckTest, ASecondByteIsNoCharacterWindowsRefuses) {
    // Katakana po (cp932 83 7C) ends in the byte of '|'.
    const auto check = Check(SetupSection + "[UPDATE]\nUpdateFile00=o,\x83\x7C.dat\n", {"\x83\x7C.dat"});
    EXPECT_EQ(ExitStatus(check), 0) << Findings(check);
}

TEST_F(CheckTest, ACopyPathEndingInASeparatorIsTheFoldersContent) {
    const auto check = Check(SetupSection + "[UPDATE]\nCopyFile00=1:movie\\\nCopyFile01=1:表\n", {});
    EXPECT_TRUE(Has(check.plan, "CopyFile00  copy from disc 1: movie\\ -> <install folder>\\"));
    // The second byte of 表 is a backslash, but no separator.
    EXPECT_TRUE(Has(check.plan, "CopyFile01  copy from disc 1: 表 -> <install folder>\\表"));
    EXPECT_EQ(Findings(check), "warning: [UPDATE] CopyFile00: 'movie\\' ends in a separator: the shell then copies "
                               "the folder's content into the install folder itself, not the folder (leave the "
                               "separator out)\n");
}

TEST_F(CheckTest, AsksTheGivenSetupIniForTheDiscCheckFile) {
    const std::string ini = SetupSection + "[UPDATE]\nCopyFile00=1:movie\nCopyFile01=2:voice\n";
    // A copy named in Japanese, in UTF-8 as Linux keeps names.
    const std::filesystem::path setupPath = root() / u8"体験版SETUP.INI";
    std::ofstream(setupPath) << "[SETUP]\nDiskCheckFile1=disc1.id\n";
    const std::string setupIni = setupPath.string();
    const auto check = Check(ini, {}, &setupIni);
    ASSERT_EQ(check.findings.size(), 1u) << Findings(check);
    EXPECT_NE(check.findings[0].text.find("CopyFile01 needs disc 2, but SETUP.INI has no DiskCheckFile2"),
              std::string::npos);
    // Without a SETUP.INI there is nothing to compare with.
    EXPECT_EQ(ExitStatus(Check(ini, {})), 0);
    const std::string missing = (root() / "NONE.INI").string();
    EXPECT_EQ(ExitStatus(Check(ini, {}, &missing)), 2);
}

TEST_F(CheckTest, TheCommandRefusesAModeThatIsNotADigit) {
    Write("UPDATE.INI", SetupSection + "[UPDATE]\nUpdateFile00=plugin.dll\n");
    Write("plugin.dll", "content");
    EXPECT_EQ(CheckCommand(std::vector<std::string>{folder_, "--mode", "12"}), 2);
    EXPECT_EQ(CheckCommand(std::vector<std::string>{folder_, "--mode", "1"}), 0);
}

TEST_F(CheckTest, AFolderWithoutUpdateIniIsAnError) {
    // Named in the native encoding, and printed as it was given.
    const std::string named = (root() / "\xE6\x9B\xB4\xE6\x96\xB0").string();  // 更新 in UTF-8
    std::filesystem::create_directories(named);
    const auto check = CheckUpdateFolder(named, nullptr, std::nullopt);
    EXPECT_EQ(ExitStatus(check), 2);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    PrintFindings(check, out);
    std::rewind(out);
    std::string printed(256, '\0');
    printed.resize(std::fread(printed.data(), 1, printed.size(), out));
    std::fclose(out);
    EXPECT_EQ(printed, "error: " + named + " has no readable UPDATE.INI\n");
    // Not there, or a file: told so.
    EXPECT_EQ(Findings(CheckUpdateFolder(folder_ + "/gone", nullptr, std::nullopt)),
              "error: " + folder_ + "/gone: no such folder\n");
    Write("UPDATE.INI", "[SETUP]\n");
    EXPECT_EQ(Findings(CheckUpdateFolder(folder_ + "/UPDATE.INI", nullptr, std::nullopt)),
              "error: " + folder_ + "/UPDATE.INI is no folder\n");
}

// A folder or a pipe of the name is no file: the readers would take it for
// an empty one, and report every key of it missing.
TEST_F(CheckTest, AFolderOrPipeNamedAsAFileIsNoFile) {
    std::filesystem::create_directories(folder_ + "/UPDATE.INI");
    auto check = CheckUpdateFolder(folder_, nullptr, std::nullopt);
    EXPECT_EQ(Findings(check), "error: " + folder_ + " has no readable UPDATE.INI\n");
    std::filesystem::remove(folder_ + "/UPDATE.INI");
    ASSERT_EQ(::mkfifo((folder_ + "/UPDATE.INI").c_str(), 0644), 0);
    check = CheckUpdateFolder(folder_, nullptr, std::nullopt);
    EXPECT_EQ(Findings(check), "error: " + folder_ + " has no readable UPDATE.INI\n");
    std::filesystem::remove(folder_ + "/UPDATE.INI");

    const std::string setupFolder = (root() / "SETUP.INI").string();
    std::filesystem::create_directories(setupFolder);
    check = Check(SetupSection + "[UPDATE]\nCopyFile00=1:movie\n", {}, &setupFolder);
    EXPECT_EQ(Findings(check), "error: the SETUP.INI given (--setup " + setupFolder + ") is not a readable file\n");
    const std::string setupPipe = (root() / "PIPE.INI").string();
    ASSERT_EQ(::mkfifo(setupPipe.c_str(), 0644), 0);
    check = Check(SetupSection + "[UPDATE]\nCopyFile00=1:movie\n", {}, &setupPipe);
    EXPECT_EQ(Findings(check), "error: the SETUP.INI given (--setup " + setupPipe + ") is not a readable file\n");

    ASSERT_EQ(::mkfifo((folder_ + "/plugin.dll").c_str(), 0644), 0);
    check = Check(SetupSection + "[UPDATE]\nUpdateFile00=plugin.dll\n", {});
    EXPECT_TRUE(Has({Findings(check)}, "the entry 'plugin.dll' is not a readable file")) << Findings(check);
}

}  // namespace
}  // namespace updpack
