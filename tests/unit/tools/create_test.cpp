// updpack create as the publisher runs it: the file it writes is the
// writer's image, and a failure leaves neither output nor temporary file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "package/writer.h"
#include "platform/console.h"
#include "support/host_fixture.h"
#include "tools/captured_command.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// 2021-03-04 05:06:07.6543210 UTC: the tool keeps time stamps to the tick,
// as far as the file system does (the test's does).
constexpr std::uint64_t Stamp = 132592863676543210;

Bytes Content(std::size_t size, std::uint32_t seed, bool noisy) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1664525 + 1013904223;
        bytes[i] = noisy ? static_cast<std::uint8_t>(seed >> 24)
                         : static_cast<std::uint8_t>('a' + (i / 5 + seed % 3) % 26);
    }
    return bytes;
}

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class CreateCommandTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        fs::create_directories(root() / "in");
        fs::create_directories(root() / "out");
    }
    fs::path In(const std::string& name) const { return root() / "in" / name; }
    std::string Out(const std::string& name) const { return (root() / "out" / name).string(); }

    // The file in the input folder, and the entry it should become.
    package::WriterEntry AddFile(const std::string& name, Bytes content) {
        std::ofstream(In(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
        EXPECT_TRUE(platform::SetNativeLastWriteTime(In(name), Stamp));
        return {name, std::move(content), Stamp};
    }

    int Create(std::vector<std::string> args) { return RunCaptured(CreateCommand, args, &out_, &err_); }

    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(root() / "out")) names.insert(item.path().filename().string());
        return names;
    }

    std::string out_, err_;
};

TEST_F(CreateCommandTest, WritesTheWritersImage) {
    std::vector<package::WriterEntry> entries;
    std::vector<std::string> args{Out("game.fa2"), "-1", "-C", (root() / "in").string(),
                                  "--scramble=SECRET.DAT"};
    const auto add = [&](const std::string& name, Bytes content) {
        entries.push_back(AddFile(name, std::move(content)));
        args.push_back(name);
    };
    add("EMPTY.TXT", {});
    add("SECRET.DAT", Content(70000, 1, false));
    add("NOISE.BIN", Content(50000, 2, true));
    for (std::size_t i = 0; i < package::EntriesInFlight() + 2; ++i)
        add("BIG" + std::to_string(i) + ".ARC", Content(300000 + i, unsigned(i), i % 2 == 1));
    entries[1].scramble = true;

    ASSERT_EQ(Create(args), 0) << err_;
    const Bytes image = package::WritePackage(entries, {true, 1});
    EXPECT_TRUE(Read(Out("game.fa2")) == image);
    EXPECT_NE(out_.find(std::to_string(entries.size()) + " entries, " +
                        std::to_string(image.size()) + " bytes"),
              std::string::npos)
        << out_;
    EXPECT_EQ(Listing(), (std::set<std::string>{"game.fa2"}));
}

// A file named like an option is packed, and extracted, after "--".
TEST_F(CreateCommandTest, DashDashEndsTheOptions) {
    const package::WriterEntry entry = AddFile("-1", Content(1000, 1, false));
    ASSERT_EQ(Create({Out("game.fa2"), "-C", (root() / "in").string(), "--", "-1"}), 0) << err_;
    EXPECT_TRUE(Read(Out("game.fa2")) == package::WritePackage(std::vector<package::WriterEntry>{entry}, package::WriterOptions{}));
    ASSERT_EQ(RunCaptured(ExtractCommand, std::vector<std::string>{Out("game.fa2"), "--", "-1"}, &out_, &err_), 0)
        << err_;
    EXPECT_EQ(out_, std::string(entry.content.begin(), entry.content.end()));
}

// An old package stays as it was when its replacement can't be made.
TEST_F(CreateCommandTest, AFailureLeavesNothingBehind) {
    AddFile("A.TXT", Content(100000, 1, false));
    AddFile("B.TXT", Content(100000, 2, false));
    const std::string folder = (root() / "in").string();
    const std::string old("FA2\0old", 7);  // an earlier package, as far as create can tell
    std::ofstream(Out("old.fa2")) << old;

    EXPECT_EQ(Create({Out("missing/game.fa2"), "-C", folder, "A.TXT"}), 1);
    EXPECT_NE(err_.find("cannot write " + Out("missing/game.fa2") + ": No such file or directory"),
              std::string::npos)
        << err_;

    fs::create_directories(Out("folder.fa2") + "/inside");
    EXPECT_EQ(Create({Out("folder.fa2"), "-C", folder, "A.TXT"}), 1);
    EXPECT_NE(err_.find("folder.fa2: not a file"), std::string::npos) << err_;

    EXPECT_EQ(Create({Out("old.fa2"), "-C", folder, "A.TXT", "NOPE.TXT"}), 1);
    EXPECT_NE(err_.find("no such file"), std::string::npos) << err_;
    // As when "create old.fa2 *" is run again in the folder of its files.
    EXPECT_EQ(Create({Out("old.fa2"), "-C", Out(""), "old.fa2"}), 1);
    EXPECT_NE(err_.find("old.fa2: is the output package itself"), std::string::npos) << err_;

    // A kernel attribute file lists as 4096 bytes but reads as a few, so it
    // fails only once its entry is started, after others are written.
    const fs::path attribute = "/sys/devices/system/cpu/online";
    if (fs::exists(attribute)) {
        fs::create_symlink(attribute, In("ONLINE.TXT"));
        EXPECT_EQ(Create({Out("old.fa2"), "-C", folder, "A.TXT", "B.TXT", "ONLINE.TXT"}), 1);
        EXPECT_NE(err_.find("cannot read"), std::string::npos) << err_;
    }
    EXPECT_EQ(Read(Out("old.fa2")), Bytes(old.begin(), old.end()));
    EXPECT_EQ(Listing(), (std::set<std::string>{"old.fa2", "folder.fa2"}));
}

// A disk that fills up (here a file size limit) is named as the reason,
// and the unfinished package goes.
TEST_F(CreateCommandTest, AWriteTheSystemRefusesSaysWhy) {
    AddFile("A.BIN", Content(200000, 1, true));
    EXPECT_EXIT(
        {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 100000;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
            std::exit(CreateCommand(std::vector<std::string>{Out("game.fa2"), "-C", In("").string(), "A.BIN"}));
        },
        testing::ExitedWithCode(1), "cannot write .*game.fa2: File too large");
    EXPECT_TRUE(Listing().empty());
}

// What the updater would read otherwise is refused before anything is written.
TEST_F(CreateCommandTest, RefusesNamesAndOptionsThatWouldGoWrong) {
    AddFile("A.TXT", Content(100, 1, false));
    const std::string folder = (root() / "in").string();
    // The yen sign has a cp932 form only as the backslash, a separator to
    // the updater; e with an accent none at all.
    for (const char* name : {"a\xC2\xA5" "b.txt", "caf\xC3\xA9.txt"}) {
        AddFile(name, Content(100, 2, false));
        EXPECT_EQ(Create({Out("game.fa2"), "-C", folder, "A.TXT", name}), 1) << name;
        EXPECT_NE(err_.find("cannot be written in cp932"), std::string::npos) << err_;
    }
    AddFile("a\\b.txt", Content(100, 2, false));
    EXPECT_EQ(Create({Out("game.fa2"), "-C", folder, "A.TXT", "a\\b.txt"}), 1);
    EXPECT_NE(err_.find("a\\b.txt: the file name holds a backslash"), std::string::npos) << err_;
    EXPECT_EQ(Create({Out("game.fa2"), "-C", folder, "--scramble=a.txt", "A.TXT"}), 2);
    EXPECT_NE(err_.find("--scramble=a.txt names no file being packed (give it as the file is given: --scramble=A.TXT)"),
              std::string::npos)
        << err_;
    EXPECT_EQ(Create({Out("game.fa2"), "-C", folder, "--scramble=B.TXT", "A.TXT"}), 2);
    EXPECT_EQ(err_.find("give it as"), std::string::npos) << err_;
    // Only --scramble=FILE may come more than once.
    const std::string out = Out("game.fa2");
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {out, "-C", folder, "-1", "-9", "A.TXT"},
             {out, "-C", folder, "-C", folder, "A.TXT"},
             {out, "-C", folder, "--scramble", "--scramble", "A.TXT"},
             {out, "-C", folder, "--plain-directory", "A.TXT", "--plain-directory"}}) {
        EXPECT_EQ(Create(arguments), 2) << arguments[3];
        EXPECT_NE(err_.find("given twice"), std::string::npos) << err_;
    }
    EXPECT_EQ(Create({out, "-C", "", "A.TXT"}), 2);
    EXPECT_NE(err_.find("option -C given empty"), std::string::npos) << err_;
    // A name Windows can't give a file: the updater could never write it.
    // The refusal shows a control character, never sends it.
    for (const auto& [name, shown] : std::vector<std::pair<std::string, std::string>>{
             {"new\nline.txt", "new\\x0Aline.txt"}, {"what?.txt", "what?.txt"}, {"CON.txt", "CON.txt"}}) {
        AddFile(name, Content(100, 2, false));
        EXPECT_EQ(Create({Out("game.fa2"), "-C", folder, "A.TXT", name}), 1) << name;
        EXPECT_NE(err_.find(shown + ": Windows allows no such file name"), std::string::npos) << err_;
    }
    // An output given empty leaves the first file a file to pack.
    const package::WriterEntry b = AddFile("B.TXT", Content(100, 3, false));
    EXPECT_EQ(Create({"", In("B.TXT").string(), In("A.TXT").string()}), 2);
    EXPECT_NE(err_.find("the output package is missing"), std::string::npos) << err_;
    EXPECT_EQ(Read(In("B.TXT")), b.content);
    EXPECT_TRUE(Listing().empty());
}

// A forgotten output name makes the first file the output: it is not
// replaced unless it is an earlier package (or empty).
TEST_F(CreateCommandTest, ReplacesOnlyAnEarlierPackage) {
    const package::WriterEntry a = AddFile("A.TXT", Content(100, 1, false));
    AddFile("B.TXT", Content(100, 2, false));
    const std::string folder = (root() / "in").string();
    EXPECT_EQ(Create({In("A.TXT").string(), In("B.TXT").string()}), 1);
    EXPECT_NE(err_.find("A.TXT: already exists and is not an update package; not replaced"), std::string::npos)
        << err_;
    EXPECT_EQ(Read(In("A.TXT")), a.content);
    EXPECT_EQ(Create({"-", "-C", folder, "B.TXT"}), 1);
    EXPECT_NE(err_.find("- names standard output"), std::string::npos) << err_;
    // Nor is a pipe waited on, as reading it to see what it is would.
    ASSERT_EQ(::mkfifo(Out("pipe.fa2").c_str(), 0600), 0);
    EXPECT_EQ(Create({Out("pipe.fa2"), "-C", folder, "B.TXT"}), 1);
    EXPECT_NE(err_.find("pipe.fa2: not a file"), std::string::npos) << err_;
    std::ofstream(Out("empty.fa2"));
    fs::permissions(Out("empty.fa2"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(Create({Out("game.fa2"), "-C", folder, "B.TXT"}), 0) << err_;
        EXPECT_EQ(Create({Out("empty.fa2"), "-C", folder, "B.TXT"}), 0) << err_;
    }
    // A replaced output keeps the permissions it had.
    EXPECT_EQ(fs::status(Out("empty.fa2")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
}  // namespace updpack
