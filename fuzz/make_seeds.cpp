// Writes valid inputs for the fuzz targets to start from: make_seeds DIR
// fills DIR/corpus_<target>/. From nothing, a fuzzer's short run in the
// test suite never gets past the first checks of a package or an exe; from
// these, it mutates real directories, compressed and scrambled entries,
// resource trees and streams.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/compress.h"
#include "package/writer.h"
#include "tools/test_images.h"
#include "tools/updpack/pe_resources.h"

namespace {

namespace fs = std::filesystem;
namespace test_images = updpack::test_images;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::size_t size) {
    static const std::string words = "[SETUP]\nGameTitle=t\nUpdateFile00=u,README.TXT\n";
    Bytes text(size);
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<std::uint8_t>(words[(i * 7 / 5) % words.size()]);
    return text;
}

bool Write(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes Package(bool compressDirectory) {
    std::vector<package::WriterEntry> entries(4);
    entries[0] = {"UPDATE.INI", Text(300), 0x01D7'0000'0000'0000, true, false};
    entries[1] = {"PATCH.BIN", test_images::Filled(200, 3), 0, false, false};
    entries[2] = {"SAVE.DAT", Text(150), 0, true, true};
    entries[3] = {"EMPTY.TXT", {}, 0, true, false};
    return package::WritePackage(entries, {compressDirectory, package::FastestLevel});
}

// Two bytes of output size, one of level, then the stream.
Bytes ExpandInput(const Bytes& content) {
    Bytes input{static_cast<std::uint8_t>(content.size()), static_cast<std::uint8_t>(content.size() >> 8), 0};
    const Bytes stream = package::CompressBlock(content, package::BestLevel);
    input.insert(input.end(), stream.begin(), stream.end());
    return input;
}

// `text` behind a first byte that tells the target what to do with it:
// for the config target the reader (0 the profile read: buffer size,
// section, key, then the file; 2 the whole SETUP.INI), for the update
// lines the install mode.
Bytes Prefixed(std::uint8_t first, const std::string& text) {
    Bytes input{first};
    input.insert(input.end(), text.begin(), text.end());
    return input;
}

Bytes Plain(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    using test_images::Image;
    const Bytes exe = Image({{".text", test_images::Filled(100, 1)}, {".rsrc", {}}},
                            {{u"", 3, 1, 0x411, test_images::Filled(40, 2)}});
    const Bytes plainExe = Image({{".text", test_images::Filled(100, 1)}}, {});
    updpack::StampReport report;
    std::string error;
    const Bytes package = Package(true);
    const auto stamped = updpack::StampPackage(exe, package, &report, &error);
    if (!stamped) {
        std::fprintf(stderr, "make_seeds: %s\n", error.c_str());
        return 1;
    }
    const bool written =
        Write(dir / "corpus_fuzz_package", "compressed-directory", package) &&
        Write(dir / "corpus_fuzz_package", "plain-directory", Package(false)) &&
        Write(dir / "corpus_fuzz_pe_resources", "resources", exe) &&
        Write(dir / "corpus_fuzz_pe_resources", "no-resources", plainExe) &&
        Write(dir / "corpus_fuzz_pe_resources", "stamped", test_images::Joined(*stamped)) &&
        Write(dir / "corpus_fuzz_expand", "text", ExpandInput(Text(2000))) &&
        Write(dir / "corpus_fuzz_expand", "binary", ExpandInput(test_images::Filled(3000, 9))) &&
        Write(dir / "corpus_fuzz_config", "profile",
              Prefixed(0, "\x40SETUP\nGameTitle\n[SETUP]\nGameTitle = \"t\"\n")) &&
        Write(dir / "corpus_fuzz_config", "setup-ini",
              Prefixed(2, "InstallSelects=2\nInstallFiles0=1:a,b\nShortcuts=1\n")) &&
        Write(dir / "corpus_fuzz_update_lines", "update", Prefixed(2, "2,u,system\\\x95\x5C.dll")) &&
        Write(dir / "corpus_fuzz_update_lines", "copy", Prefixed(0, "0,1:movie\\op.mpg")) &&
        Write(dir / "corpus_fuzz_update_lines", "message", Prefixed(0, "\x83\x5C\\n\x95\x5Cn\\")) &&
        Write(dir / "corpus_fuzz_check", "update-ini",
              Plain("[SETUP]\r\nCompanyName=c\r\nGameTitle=\x83\x51\r\nGameClass=w\r\nGameDir=d\r\n"
                   "AgreementText=AGREE.TXT\r\nRequiredDiskSpace=-1\r\n[UPDATE]\r\nUpdateFile00=2,u,sub\\a\r\n"
                   "UpdateFile01=d,b.txt\r\nCopyFile00=1:movie\r\n[update]\r\nUpdateFile02=a\r\n"));
    if (!written) {
        std::fprintf(stderr, "make_seeds: can't write into %s\n", dir.string().c_str());
        return 1;
    }
    return 0;
}
