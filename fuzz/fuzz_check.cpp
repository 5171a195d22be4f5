// updpack check over any UPDATE.INI: a publisher's file may hold anything
// (another encoding, binary junk, lines past every buffer, sections twice),
// and check scans it itself as well as through the updater's readers. The
// folder holds a file of every name a line asks for, so the checks behind
// the entry lookup run too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/host/control.h"
#include "tools/updpack/check.h"
#include "updater/state.h"

namespace {

const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        const auto path = std::filesystem::temp_directory_path() / ("fuzz-check-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "update");
        for (const char* name : {"a", "b.txt", "AGREE.TXT"}) std::ofstream(path / "update" / name) << "text";
        return path;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static int runs = 0;
    // The host records every box: a fresh machine now and then keeps that
    // record small.
    if (runs++ % 256 == 0) platform::HostReset(Folder().string());
    std::ofstream(Folder() / "update" / "UPDATE.INI", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    updater::ResetUpdateState();
    const updpack::FolderCheck check = updpack::CheckUpdateFolder((Folder() / "update").string(), nullptr, std::nullopt);
    // Every plan line and finding is whole text.
    for (const std::string& line : check.plan)
        if (line.find('\0') != std::string::npos) __builtin_trap();
    for (const updpack::Finding& finding : check.findings)
        if (finding.text.find('\0') != std::string::npos) __builtin_trap();
    return 0;
}
