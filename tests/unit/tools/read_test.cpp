// extract-all and verify as the publisher runs them: every entry on its own
// core, each failure reported alone, nothing half-written left behind.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/writer.h"
#include "platform/console.h"
#include "support/host_fixture.h"
#include "tools/captured_command.h"
#include "tools/test_files.h"
#include "tools/test_images.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/native_files.h"
#include "tools/updpack/pe_resources.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;
using test_images::Bytes;

// 2021-03-04 05:06:07.6543210 UTC: the tool keeps time stamps to the tick,
// as far as the file system does (the test's does).
constexpr std::uint64_t Stamp = 132592863676543210;

package::WriterEntry Entry(std::string name, Bytes content, bool scramble = false) {
    package::WriterEntry entry;
    entry.name = std::move(name);
    entry.content = std::move(content);
    entry.lastWriteTime = Stamp;
    entry.scramble = scramble;
    return entry;
}

// Text that compresses, long enough to come in several pieces.
Bytes Text(std::size_t size, int seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>('a' + (i / 7 + seed) % 26);
    return bytes;
}

// Bytes that do not compress, so they are stored plain.
Bytes Noise(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (std::uint8_t& byte : bytes) {
        seed = seed * 1664525 + 1013904223;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

class ReadCommands : public HostTest {
protected:
    std::string Path(const char* name) const { return (root() / name).string(); }

    // Writes the package with a plain directory, so that tests can damage
    // its records; `grow` makes those entries claim more content than their
    // stored data restores to.
    void WritePackage(const std::vector<package::WriterEntry>& entries,
                      std::set<std::size_t> grow = {}) {
        package::WriterOptions options;
        options.compressDirectory = false;
        options.level = 1;
        Bytes image = package::WritePackage(entries, options);
        std::uint32_t directory;
        std::memcpy(&directory, image.data() + 8, 4);
        for (std::size_t i : grow) {
            const std::size_t at =
                directory + i * package::EntrySize + offsetof(package::PackageEntry, size);
            std::uint32_t size;
            std::memcpy(&size, image.data() + at, 4);
            size += 1000;
            std::memcpy(image.data() + at, &size, 4);
        }
        std::string error;
        ASSERT_TRUE(WriteTestFile(Path("game.fa2"), image, &error)) << error;
    }

    int Run(int (*command)(CommandArguments), std::vector<std::string> args) {
        return RunCaptured(command, args, &out_, &err_);
    }
    int ExtractAll(const char* package = "game.fa2") {
        return Run(ExtractAllCommand, {Path(package), "-C", Path("out")});
    }

    std::string out_, err_;
};

TEST_F(ReadCommands, ExtractAllWritesEveryEntryWithItsTime) {
    std::vector<package::WriterEntry> entries{
        Entry("BIG.ARC", Text(3 * 1024 * 1024 + 5, 1)),
        Entry("SECRET.DAT", Text(2 * 1024 * 1024 + 3, 2), true),
        Entry("NOISE.BIN", Noise(1024 * 1024 + 7, 3), true),
        Entry("EMPTY.TXT", {}),
        Entry("セーブ.DAT", Text(100, 4)),
    };
    for (int i = 0; i < 30; ++i)
        entries.push_back(Entry("F" + std::to_string(i) + ".TXT", Text(1000 + 97 * i, i)));
    WritePackage(entries);

    ASSERT_EQ(ExtractAll(), 0) << err_;
    EXPECT_EQ(err_, "");
    std::set<std::string> expected;
    for (const auto& entry : entries) {
        const fs::path file = root() / "out" / PathFromEntryName(entry.name);
        expected.insert(file.filename().string());
        EXPECT_EQ(Read(file), entry.content) << entry.name;
        EXPECT_EQ(platform::NativeLastWriteTime(file), Stamp) << entry.name;
    }
    EXPECT_EQ(Listing(root() / "out"), expected);  // no temporary files
}

// Windows reads 0 as "leave the time alone" and takes nothing with the high
// bit set: such files keep the time they were written at, on every system.
TEST_F(ReadCommands, ExtractAllLeavesTimesNoFileCanHaveAsWritten) {
    package::WriterEntry zero = Entry("ZERO.TXT", Text(10, 1));
    zero.lastWriteTime = 0;
    package::WriterEntry high = Entry("HIGH.TXT", Text(10, 2));
    high.lastWriteTime = std::uint64_t{1} << 63;
    WritePackage({zero, high});
    ASSERT_EQ(ExtractAll(), 0) << err_;
    for (const char* name : {"ZERO.TXT", "HIGH.TXT"}) {
        const auto time = platform::NativeLastWriteTime(root() / "out" / name);
        ASSERT_TRUE(time) << name;
        EXPECT_GT(*time, Stamp) << name;
        EXPECT_NE(err_.find(std::string("entry ") + name + ": its time stamp ("), std::string::npos) << err_;
    }
}

TEST_F(ReadCommands, ExtractAllFailsEachBadEntryAloneAndLeavesNoPartOfIt) {
    WritePackage({Entry("GOOD1.TXT", Text(5000, 1)),
                  Entry("DAMAGED.ARC", Text(3 * 1024 * 1024, 2)),  // fails after pieces
                  Entry("../escape.txt", Text(10, 3)),
                  Entry("..", Text(10, 4)),
                  Entry("sub/../../up.txt", Text(10, 7)),
                  Entry("/abs.txt", Text(10, 8)),
                  Entry("\xFF" "A.TXT", Text(10, 9)),
                  Entry("con.txt", Text(10, 10)),
                  Entry("a:b", Text(10, 11)),
                  Entry("DAMAGED.TXT", Text(2000, 5), true),
                  Entry("GOOD2.TXT", Text(6000, 6))},
                 {1, 9});

    EXPECT_EQ(ExtractAll(), 1);
    EXPECT_EQ(Listing(root() / "out"), (std::set<std::string>{"GOOD1.TXT", "GOOD2.TXT"}));
    EXPECT_FALSE(fs::exists(root() / "escape.txt"));
    EXPECT_FALSE(fs::exists(root() / "up.txt"));
    // One whole line per failure, in whatever order the workers met them.
    std::multiset<std::string> lines;
    for (std::size_t start = 0, end; (end = err_.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.insert(err_.substr(start, end - start));
    const std::string damaged = ": its stored data is damaged (it does not restore to its size)";
    EXPECT_EQ(lines, (std::multiset<std::string>{
                         "updpack extract-all: entry DAMAGED.ARC" + damaged,
                         "updpack extract-all: entry DAMAGED.TXT" + damaged,
                         "updpack extract-all: entry ../escape.txt: not a name a file inside the folder can have",
                         "updpack extract-all: entry ..: not a name a file inside the folder can have",
                         "updpack extract-all: entry sub/../../up.txt: not a name a file inside the folder can have",
                         "updpack extract-all: entry /abs.txt: not a name a file inside the folder can have",
                         "updpack extract-all: entry (not cp932) \\xFFA.TXT: not a name a file inside the folder can have",
                         "updpack extract-all: entry con.txt: not a name a file inside the folder can have",
                         "updpack extract-all: entry a:b: not a name a file inside the folder can have"}))
        << err_;
    EXPECT_EQ(err_.back(), '\n');
}

TEST_F(ReadCommands, AnEntryThatKeepsAFolderInItsNameGoesIntoThatFolder) {
    // UPDATE.INI may name a file in a folder with either separator; the
    // backslash is the updater's own, and no separator on POSIX. A name
    // whose second byte is 0x5C (表) is no folder.
    const Bytes slashed = Text(100, 1), backslashed = Text(100, 2), kanji = Text(100, 3);
    WritePackage({Entry("DOCS/AGREE.TXT", slashed), Entry("MANUAL\\JA\\READ.TXT", backslashed),
                  Entry("\x95\x5C.TXT", kanji)});
    ASSERT_EQ(ExtractAll(), 0) << err_;
    EXPECT_EQ(Read(root() / "out" / "DOCS" / "AGREE.TXT"), slashed);
    EXPECT_EQ(Read(root() / "out" / "MANUAL" / "JA" / "READ.TXT"), backslashed);
    EXPECT_EQ(Read(root() / "out" / fs::path(u8"表.TXT")), kanji);
    // extract takes NAME whole (a slash standing for the backslash) before
    // it takes its file name.
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), "docs/agree.txt"}), 0) << err_;
    EXPECT_EQ(out_, std::string(slashed.begin(), slashed.end()));
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), "manual/ja/read.txt"}), 0) << err_;
    EXPECT_EQ(out_, std::string(backslashed.begin(), backslashed.end()));
    // A backslash stands for a slash too, as the updater's separator may
    // be either.
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), "docs\\agree.txt"}), 0) << err_;
    EXPECT_EQ(out_, std::string(slashed.begin(), slashed.end()));
    // A line's folder, with the updater's separator, falls back to the
    // entry of its file name.
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), "new\\folder\\\xE8\xA1\xA8.txt"}), 0) << err_;
    EXPECT_EQ(out_, std::string(kanji.begin(), kanji.end()));
    // 表 ends in 0x5C in cp932, and is no separator; arguments are UTF-8.
    const std::u8string kanjiName = u8"表.txt";
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), std::string(kanjiName.begin(), kanjiName.end())}), 0) << err_;
    EXPECT_EQ(out_, std::string(kanji.begin(), kanji.end()));
}

// Where extract's output goes: "-" is standard output, a link has its file
// written, and neither the package nor a link to nothing is replaced.
TEST_F(ReadCommands, ExtractWritesThroughLinksAndNeverOverThePackage) {
    const Bytes a = Text(100, 1);
    WritePackage({Entry("A.TXT", a)});
    const Bytes package = Read(Path("game.fa2"));
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", "-"}), 0) << err_;
    EXPECT_EQ(out_, std::string(a.begin(), a.end()));
    EXPECT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", ""}), 2);
    EXPECT_NE(err_.find("option -o given empty"), std::string::npos) << err_;
    EXPECT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", Path("x"), "-o", Path("y")}), 2);
    EXPECT_NE(err_.find("option -o given twice"), std::string::npos) << err_;

    EXPECT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", Path("game.fa2")}), 1);
    EXPECT_NE(err_.find("is the package read; not replaced"), std::string::npos) << err_;
    fs::create_symlink(Path("game.fa2"), Path("link.fa2"));
    EXPECT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", Path("link.fa2")}), 1);
    EXPECT_EQ(Read(Path("game.fa2")), package);

    fs::create_directories(Path("real"));
    fs::create_symlink(Path("real/a.txt"), Path("a-link.txt"));
    EXPECT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", Path("a-link.txt")}), 1);
    EXPECT_NE(err_.find("a-link.txt: a link to no file; not replaced"), std::string::npos) << err_;
    std::ofstream(Path("real/a.txt")) << "old";
    ASSERT_EQ(Run(ExtractCommand, {Path("game.fa2"), "A.TXT", "-o", Path("a-link.txt")}), 0) << err_;
    EXPECT_TRUE(fs::is_symlink(Path("a-link.txt")));
    EXPECT_EQ(Read(Path("real/a.txt")), a);
}

// A crafted name must not steer the publisher's terminal.
TEST_F(ReadCommands, ControlCharactersInNamesPrintAsEscapes) {
    WritePackage({Entry("A\x1B[2JB\nC.TXT", Text(10, 1)), Entry("..\x07", Text(10, 2))});
    ASSERT_EQ(Run(ListCommand, {Path("game.fa2")}), 0) << err_;
    EXPECT_NE(out_.find("A\\x1B[2JB\\x0AC.TXT"), std::string::npos) << out_;
    EXPECT_NE(out_.find("..\\x07"), std::string::npos) << out_;
    EXPECT_EQ(out_.find_first_of("\x1B\x07"), std::string::npos) << out_;
}

// The columns after a Japanese name line up with the others: its UTF-8
// form has more bytes than the terminal shows columns.
TEST_F(ReadCommands, ListLinesUpJapaneseNames) {
    WritePackage({Entry("A.TXT", Text(10, 1)), Entry("\x83\x41\x83\x43.TXT", Text(10, 2)),  // アイ.TXT
                  Entry("B\x1B.TXT", Text(10, 3))});
    ASSERT_EQ(Run(ListCommand, {Path("game.fa2")}), 0) << err_;
    const std::string katakana = PrintableEntryName("\x83\x41\x83\x43.TXT");
    EXPECT_NE(out_.find("\nA.TXT" + std::string(27, ' ') + "         10"), std::string::npos) << out_;
    EXPECT_NE(out_.find("\n" + katakana + std::string(24, ' ') + "         10"), std::string::npos) << out_;
    EXPECT_NE(out_.find("\nB\\x1B.TXT" + std::string(23, ' ') + "         10"), std::string::npos) << out_;
}

TEST_F(ReadCommands, ExtractAllWritesOnlyTheFirstOfEntriesWithOneName) {
    // The updater finds the first of equal names; the later ones are told
    // and left out, even the largest, which would be taken up first.
    // Full-width letters fold too: ａ (82 81) is Ａ (82 60) to the updater.
    WritePackage({Entry("same.txt", Text(30, 1)), Entry("SAME.TXT", Text(20, 2)),
                  Entry("OTHER.TXT", Text(10, 3)), Entry("Same.Txt", Text(300000, 4)),
                  Entry("\x82\x60.TXT", Text(10, 5)), Entry("\x82\x81.txt", Text(10, 6))});
    ASSERT_EQ(ExtractAll(), 0) << err_;
    EXPECT_EQ(Read(root() / "out" / "same.txt"), Text(30, 1));
    EXPECT_EQ(Read(root() / "out" / "OTHER.TXT"), Text(10, 3));
    EXPECT_EQ(Read(root() / "out" / PathFromEntryName("\x82\x60.TXT")), Text(10, 5));
    EXPECT_FALSE(std::filesystem::exists(root() / "out" / "SAME.TXT"));
    EXPECT_FALSE(std::filesystem::exists(root() / "out" / "Same.Txt"));
    EXPECT_FALSE(std::filesystem::exists(root() / "out" / PathFromEntryName("\x82\x81.txt")));
    EXPECT_NE(err_.find("entry Same.Txt: skipped, an earlier entry has this name"), std::string::npos) << err_;
    EXPECT_NE(err_.find("entry SAME.TXT: skipped"), std::string::npos) << err_;
    EXPECT_NE(err_.find("entry " + PrintableEntryName("\x82\x81.txt") + ": skipped"), std::string::npos) << err_;
}

TEST_F(ReadCommands, ExtractAllWritesNoFileForTwoEntries) {
    // Two entries to the updater, one file here: the later, larger one is
    // not written over the first, and the run says it fell short.
    WritePackage({Entry("docs\\A.TXT", Text(30, 1)), Entry("docs/A.TXT", Text(300000, 2))});
    EXPECT_EQ(ExtractAll(), 1);
    EXPECT_EQ(Read(root() / "out" / "docs" / "A.TXT"), Text(30, 1));
    EXPECT_NE(err_.find("entry docs/A.TXT: not written, an earlier entry is written to the same file"),
              std::string::npos)
        << err_;
}

TEST_F(ReadCommands, VerifyCountsDamagedEntries) {
    std::vector<package::WriterEntry> entries;
    for (int i = 0; i < 12; ++i)
        entries.push_back(Entry("F" + std::to_string(i) + ".TXT", Text(200000 * i + 1, i), i % 3 == 0));
    WritePackage(entries);
    EXPECT_EQ(Run(VerifyCommand, {Path("game.fa2")}), 0) << err_;
    EXPECT_EQ(out_, Path("game.fa2") + ": all 12 entries sound\n");

    WritePackage(entries, {3, 10});
    EXPECT_EQ(Run(VerifyCommand, {Path("game.fa2")}), 1);
    EXPECT_EQ(out_, Path("game.fa2") + ": 2 of 12 entries damaged\n");
    EXPECT_NE(err_.find("updpack verify: entry F3.TXT: its stored data is damaged"), std::string::npos);
    EXPECT_NE(err_.find("updpack verify: entry F10.TXT: its stored data is damaged"), std::string::npos);
}

// Sound, yet of no use to an updater in full: warned of, not failed.
TEST_F(ReadCommands, VerifyWarnsOfWhatAnUpdaterCantUse) {
    WritePackage({Entry("A.TXT", Text(10, 1)), Entry("a.txt", Text(10, 2))});
    EXPECT_EQ(Run(VerifyCommand, {Path("game.fa2")}), 0) << err_;
    EXPECT_NE(err_.find("warning: no entry UPDATE.INI"), std::string::npos) << err_;
    EXPECT_NE(err_.find("entry a.txt: warning: an earlier entry has this name"), std::string::npos) << err_;
    WritePackage({Entry("update.ini", Text(10, 1)), Entry("A.TXT", Text(10, 2))});
    EXPECT_EQ(Run(VerifyCommand, {Path("game.fa2")}), 0) << err_;
    EXPECT_EQ(err_, "");
}

TEST_F(ReadCommands, PackagesThatCantBeReadAreNamed) {
    EXPECT_EQ(ExtractAll("missing.fa2"), 1);
    EXPECT_EQ(err_, "updpack extract-all: " + Path("missing.fa2") + ": no such file\n");
    std::ofstream(Path("empty.fa2")).close();
    EXPECT_EQ(ExtractAll("empty.fa2"), 1);
    EXPECT_EQ(err_, "updpack extract-all: " + Path("empty.fa2") + ": the file is empty, not a package\n");
    fs::create_directories(root() / "folder.fa2");
    EXPECT_EQ(Run(ListCommand, {Path("folder.fa2")}), 1);
    EXPECT_EQ(err_, "updpack list: " + Path("folder.fa2") + ": not a file\n");
    EXPECT_FALSE(fs::exists(root() / "out"));

    WritePackage({Entry("A.TXT", Text(10, 1))});
    std::ofstream(Path("out")) << "a file";
    EXPECT_EQ(ExtractAll(), 1);
    EXPECT_EQ(err_, "updpack extract-all: " + Path("out") + ": cannot create the folder: a file of that name is there\n");
}

TEST_F(ReadCommands, ExtractsThePackageInsideAStampedUpdater) {
    const std::vector<package::WriterEntry> entries{Entry("A.TXT", Text(70000, 1)),
                                                    Entry("B.BIN", Noise(5000, 2))};
    WritePackage(entries);
    std::string error;
    const Bytes stub = test_images::Image(
        {{".text", test_images::Filled(100, 1)}, {".rsrc", {}}}, {});
    StampReport report;
    const auto package = ReadNativeFile(Path("game.fa2"), &error);
    ASSERT_TRUE(package) << error;
    const auto exe = StampPackage(stub, *package, &report, &error);
    ASSERT_TRUE(exe) << error;
    ASSERT_TRUE(WriteStampedImage(Path("UPDATE.EXE"), *exe, &error)) << error;

    ASSERT_EQ(ExtractAll("UPDATE.EXE"), 0) << err_;
    for (const auto& entry : entries) EXPECT_EQ(Read(root() / "out" / entry.name), entry.content);
    // An executable without a package says so.
    ASSERT_TRUE(WriteTestFile(Path("STUB.EXE"), stub, &error));
    EXPECT_EQ(Run(VerifyCommand, {Path("STUB.EXE")}), 1);
    EXPECT_EQ(err_.rfind("updpack verify: " + Path("STUB.EXE") + ": ", 0), 0u) << err_;
}

}  // namespace
}  // namespace updpack
