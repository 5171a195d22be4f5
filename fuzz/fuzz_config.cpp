// Random INI text through the private-profile read, random list text
// through the tokenizer, and random SETUP.INI files through the whole
// setup reader. The first byte picks which.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/list.h"
#include "config/setup_ini.h"
#include "platform/host/control.h"
#include "platform/profile.h"
#include "updater/state.h"

namespace {

constexpr const char* SetupPath = "C:\\GAME\\SETUP.INI";

// A valid description behind the random text: the first key of a name
// wins, so the fuzzer's keys replace these and every step gets reached.
constexpr std::string_view ValidSetup =
    "CompanyName=c\nGameTitle=t\nGameDir=d\nGameExe=g.exe\nUninstExe=u.exe\n"
    "SetupBmp=a.bmp,b.bmp\nInstallSelects=4\n"
    "InstallTitle0=t0\nInstallFiles0=1:a,b\nInstallTitle1=t1\nInstallFiles1=a\n"
    "InstallTitle2=t2\nInstallFiles2=2:a\nInstallTitle3=t3\nInstallFiles3=a\n"
    "Shortcuts=2\nShortcut0=a,b,,d\nShortcut1=a,b\nExecApp=a,b\n"
    "InstallAfterAdd=1\nInstallAddFiles=3:x,y\nInstallAddSize=12\n";

const std::string& Root() {
    static const std::string root = [] {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("fuzz-config-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        return folder.string();
    }();
    return root;
}

// Splits off the text up to the first line feed.
std::string TakeLine(std::string_view& data) {
    const std::size_t end = std::min(data.find('\n'), data.size());
    std::string line(data.substr(0, end));
    data.remove_prefix(std::min(end + 1, data.size()));
    return line;
}

void FuzzProfile(std::string_view data) {
    if (data.empty()) return;
    const std::size_t size = static_cast<unsigned char>(data[0]);
    data.remove_prefix(1);
    const std::string section = TakeLine(data);
    const std::string key = TakeLine(data);
    platform::HostWriteFile(SetupPath, std::string(data));
    // The buffer is exactly `size` bytes on the heap, so ASan sees any
    // write past it.
    std::vector<char> buffer(size);
    const std::uint32_t count =
        platform::ReadProfileString(section.c_str(), key.c_str(), buffer, SetupPath);
    if (size == 0) {
        if (count != 0) __builtin_trap();
        return;
    }
    if (count >= size || buffer[count] != '\0') __builtin_trap();
}

void FuzzList(std::string_view data) {
    const std::size_t size = data.empty() ? 0 : static_cast<unsigned char>(data[0]) % 8;
    const std::string list(data.substr(std::min<std::size_t>(1, data.size())));
    std::vector<char> item(size);
    const char* cursor = list.c_str();
    const char* const end = cursor + list.size();
    while (config::NextListItem(item, cursor) != 0) {
        if (cursor > end) __builtin_trap();
    }
    if (cursor > end) __builtin_trap();
}

void FuzzSetupIni(std::string_view data) {
    platform::HostWriteFile(SetupPath, "[SETUP]\n" + std::string(data) + "\n" +
                                           std::string(ValidSetup));
    updater::ResetUpdateState();
    config::ResetSetupInfo();
    updater::CopyText(updater::state.setupIniPath, SetupPath);
    config::LoadSetupInfo();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static int runs = 0;
    // The host records every box: a fresh machine now and then keeps that
    // record small.
    if (runs++ % 256 == 0) platform::HostReset(Root());
    if (size == 0) return 0;
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    switch (bytes[0] % 3) {
        case 0: FuzzProfile(data); break;
        case 1: FuzzList(data); break;
        default: FuzzSetupIni(data); break;
    }
    return 0;
}
