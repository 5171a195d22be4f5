#include "tools/updpack/stamp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/writer.h"
#include "support/host_fixture.h"
#include "tools/test_files.h"
#include "tools/test_images.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/native_files.h"

namespace updpack {
namespace {

using namespace test_images;

class StampTest : public HostTest {
protected:
    std::string Path(const char* name) const { return (root() / name).string(); }
    void Write(const char* name, const Bytes& bytes) {
        std::string error;
        ASSERT_TRUE(WriteTestFile(Path(name), bytes, &error)) << error;
    }
    int Stamp(const char* stub, const char* package, const char* output) {
        const std::vector<std::string> args{Path(stub), Path(package), "-o", Path(output)};
        return StampCommand(args);
    }
    Bytes PackageIn(const char* exe) const { return PackageInExe(Path(exe)); }
};

Bytes SmallPackage() {
    package::WriterEntry entry;
    entry.name = "UPDATE.INI";
    entry.content = {'[', 'S', ']'};
    return package::WritePackage(std::span(&entry, 1), package::WriterOptions{});
}

TEST_F(StampTest, StampsAPackageFileOrThePackageOfAnotherExe) {
    Write("updater.exe", Image({{".text", Filled(100, 1)}, {".rsrc", {}}}, {{u"", 24, 1, 0x411, Filled(50, 2)}}));
    Write("demo.fa2", SmallPackage());
    testing::internal::CaptureStderr();
    ASSERT_EQ(Stamp("updater.exe", "demo.fa2", "UPDATE.EXE"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(PackageIn("UPDATE.EXE"), SmallPackage());

    ASSERT_EQ(Stamp("updater.exe", "UPDATE.EXE", "AGAIN.EXE"), 0);
    EXPECT_EQ(PackageIn("AGAIN.EXE"), SmallPackage());

    // A new stub for an existing updater: the output is the package's file.
    Write("new.exe", Image({{".text", Filled(300, 3)}, {".rsrc", {}}}, {}));
    ASSERT_EQ(Stamp("new.exe", "AGAIN.EXE", "AGAIN.EXE"), 0);
    EXPECT_EQ(PackageIn("AGAIN.EXE"), SmallPackage());
}

TEST_F(StampTest, WarnsOfAPackageAnUpdaterCantStartFrom) {
    Write("updater.exe", Image({{".text", Filled(100, 1)}, {".rsrc", {}}}, {}));
    package::WriterEntry entry;
    entry.name = "README.TXT";
    entry.content = {'r'};
    Write("readme.fa2", package::WritePackage(std::span(&entry, 1), package::WriterOptions{}));
    testing::internal::CaptureStderr();
    ASSERT_EQ(Stamp("updater.exe", "readme.fa2", "UPDATE.EXE"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("updpack stamp: " + Path("readme.fa2") +
                                                          ": warning: no entry UPDATE.INI"),
              std::string::npos);
}

TEST_F(StampTest, WritesNothingForABadStubOrPackage) {
    const Bytes stub = Image({{".text", Filled(100, 1)}, {".rsrc", {}}}, {});
    Write("updater.exe", stub);
    Write("notes.txt", Bytes{'h', 'i'});
    Write("demo.fa2", SmallPackage());
    Bytes damaged = SmallPackage();
    damaged.resize(damaged.size() - 5);
    Write("damaged.fa2", damaged);
    // The directory reads, but the one entry's stream does not restore.
    package::WriterEntry entry;
    entry.name = "UPDATE.INI";
    entry.content.assign(1000, 'a');
    damaged = package::WritePackage(std::span(&entry, 1), package::WriterOptions{});
    const std::uint32_t stored = package::LoadPackageDirectory(damaged).entries()[0].storedSize;
    std::fill_n(damaged.begin() + 16, stored, 0xFF);
    Write("bad-entry.fa2", damaged);
    std::filesystem::create_directory(Path("folder.exe"));
    ASSERT_EQ(::mkfifo(Path("pipe.exe").c_str(), 0600), 0);
    const struct {
        const char* stub;
        const char* package;
    } cases[] = {
        {"notes.txt", "demo.fa2"},       // not a PE image
        {"updater.exe", "notes.txt"},    // not a package
        {"updater.exe", "damaged.fa2"},  // directory cut short
        {"updater.exe", "bad-entry.fa2"},

        {"updater.exe", "missing.fa2"},
        {"updater.exe", "updater.exe"},  // an exe without a package
        {"folder.exe", "demo.fa2"},      // no end to read to
        {"pipe.exe", "demo.fa2"},        // no writer to wait for
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Stamp(c.stub, c.package, "UPDATE.EXE"), 1) << c.stub << " " << c.package;
        EXPECT_FALSE(std::filesystem::exists(Path("UPDATE.EXE"))) << c.stub << " " << c.package;
    }
    EXPECT_EQ(StampCommand(std::vector<std::string>{Path("updater.exe"), Path("demo.fa2")}), 2);  // usage: no -o
    EXPECT_EQ(StampCommand(std::vector<std::string>{Path("updater.exe"), Path("demo.fa2"), "-o", ""}), 2);
    // "-" is standard output to extract; an exe can't be written there.
    EXPECT_EQ(StampCommand(std::vector<std::string>{Path("updater.exe"), Path("demo.fa2"), "-o", "-"}), 1);
}

}  // namespace
}  // namespace updpack
