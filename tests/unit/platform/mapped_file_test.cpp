#include "platform/mapped_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "support/host_fixture.h"

namespace {

using namespace platform;

class MappedFileTest : public HostTest {
protected:
    std::string Write(const char* name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = (root() / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

TEST_F(MappedFileTest, ShowsTheWholeFileByteForByte) {
    // Not a multiple of the page size: the tail must be there, and no more.
    std::vector<std::uint8_t> bytes(3 * 4096 + 77);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 5);
    MapFailure failure = MapFailure::CantMap;
    const MappedFile file = MapFileForRead(Write("data.bin", bytes), &failure);
    ASSERT_TRUE(file);
    EXPECT_EQ(failure, MapFailure::None);
    const auto view = MappedBytes(file.get());
    EXPECT_EQ(std::vector<std::uint8_t>(view.begin(), view.end()), bytes);
}

// The output still marked unfinished goes with the process; one whose mark
// has gone, and one never marked, stay.
TEST_F(MappedFileTest, StopsWithAMessageWhenTheFileIsShortenedUnderTheView) {
    const std::string path = Write("data.bin", std::vector<std::uint8_t>(3 * 4096, 7));
    MapFailure failure = MapFailure::None;
    const MappedFile file = MapFileForRead(path, &failure);
    ASSERT_TRUE(file);
    const auto view = MappedBytes(file.get());
    EXPECT_EXIT(
        {
            UnfinishedOutput{Write("finished.bin", {1})};
            Write("unmarked.bin", {2});
            const UnfinishedOutput unfinished(Write("unfinished.bin", {3}));
            std::filesystem::resize_file(path, 10);
            volatile std::uint8_t last = view.back();
            (void)last;
        },
        testing::ExitedWithCode(1), "data.bin: the file could not be read while in use");
    EXPECT_TRUE(std::filesystem::exists(root() / "finished.bin"));
    EXPECT_TRUE(std::filesystem::exists(root() / "unmarked.bin"));
    EXPECT_FALSE(std::filesystem::exists(root() / "unfinished.bin"));
}

// Ctrl-C and its kin (a write past the file size limit among them) take
// the unfinished output with them, and still end the process as the
// signal does.
TEST_F(MappedFileTest, AStopSignalTakesTheUnfinishedOutputsWithIt) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        // A shell hands its background jobs SIGINT ignored, and an ignored
        // signal is left so; the test is about one that is not.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) ::signal(signal, SIG_DFL);
        EXPECT_EXIT(
            {
                // SIGXFSZ would leave a core file.
                const rlimit noCore{};
                ::setrlimit(RLIMIT_CORE, &noCore);
                Write("unmarked.bin", {2});
                const UnfinishedOutput unfinished(Write("unfinished.bin", {3}));
                ::raise(signal);
            },
            testing::KilledBySignal(signal), "");
        EXPECT_TRUE(std::filesystem::exists(root() / "unmarked.bin"));
        EXPECT_FALSE(std::filesystem::exists(root() / "unfinished.bin"));
    }
}

TEST_F(MappedFileTest, SaysWhyAFileCantBeMapped) {
    MapFailure failure = MapFailure::None;
    EXPECT_FALSE(MapFileForRead((root() / "missing.bin").string(), &failure));
    EXPECT_EQ(failure, MapFailure::Missing);
    EXPECT_FALSE(MapFileForRead((root() / "missing" / "file.bin").string(), &failure));
    EXPECT_EQ(failure, MapFailure::Missing);
    EXPECT_FALSE(MapFileForRead(Write("empty.bin", {}), &failure));
    EXPECT_EQ(failure, MapFailure::Empty);
    std::filesystem::create_directories(root() / "folder");
    EXPECT_FALSE(MapFileForRead((root() / "folder").string(), &failure));
    EXPECT_EQ(failure, MapFailure::NotAFile);
    // Refused at once, not after a writer has come.
    ASSERT_EQ(::mkfifo((root() / "pipe").c_str(), 0644), 0);
    EXPECT_FALSE(MapFileForRead((root() / "pipe").string(), &failure));
    EXPECT_EQ(failure, MapFailure::NotAFile);
    EXPECT_FALSE(MapFileForRead("", &failure));
    EXPECT_EQ(failure, MapFailure::Missing);
}

}  // namespace
