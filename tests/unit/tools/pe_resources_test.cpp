#include "tools/updpack/pe_resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/test_images.h"

namespace updpack {
namespace {

using namespace test_images;

const std::vector<TestResource> ProgramResources = {
    {u"", 5, 100, 0x411, Filled(301, 1)},   // dialog
    {u"", 14, 1, 0x411, Filled(20, 2)},     // icon group
    {u"", 24, 1, 0x411, Filled(377, 3)},    // manifest
};
std::vector<TestResource> WithPackage(Bytes package, std::uint16_t language) {
    std::vector<TestResource> all{{u"UPDATE", 0, 102, language, std::move(package)}};
    all.insert(all.end(), ProgramResources.begin(), ProgramResources.end());
    return all;
}

std::vector<ResourceRecord> Records(const Bytes& exe) {
    std::string error;
    auto records = ListResources(exe, &error);
    EXPECT_TRUE(records) << error;
    return records.value_or(std::vector<ResourceRecord>{});
}
std::vector<ResourceRecord> WithoutPackage(std::vector<ResourceRecord> records) {
    std::erase_if(records, [](const ResourceRecord& r) { return r.typeName == u"UPDATE"; });
    return records;
}

// What the Windows loader needs of a stamped image.
void ExpectConsistent(const Bytes& exe) {
    EXPECT_EQ(Get32(exe, Optional + 64), ComputePeChecksum(exe, Optional + 64));
    const std::uint16_t count = Get16(exe, Coff + 2);
    std::uint32_t end = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t h = SectionTable + 40 * i;
        EXPECT_EQ(Get32(exe, h + 12) % SectionAlign, 0u);
        EXPECT_EQ(Get32(exe, h + 16) % FileAlign, 0u);
        EXPECT_EQ(Get32(exe, h + 20) % FileAlign, 0u);
        EXPECT_LE(std::size_t{Get32(exe, h + 20)} + Get32(exe, h + 16), exe.size());
        end = std::max(end, Get32(exe, h + 12) + Get32(exe, h + 8));
    }
    EXPECT_EQ(Get32(exe, Optional + 56), (end + SectionAlign - 1) & ~(SectionAlign - 1));
}

Bytes Stamp(const Bytes& exe, const Bytes& package, StampReport* report) {
    std::string error;
    const auto out = StampPackage(exe, package, report, &error);
    EXPECT_TRUE(out) << error;
    return out ? Joined(*out) : Bytes{};
}

Bytes PackageIn(const Bytes& exe) {
    std::string error;
    const auto package = FindPackageInImage(exe, &error);
    EXPECT_TRUE(package) << error;
    return package ? Bytes(package->begin(), package->end()) : Bytes{};
}

TEST(StampPackage, AddsThePackageBesideTheOtherResourcesWhenResourcesComeLast) {
    const Bytes exe = Image({{".text", Filled(1000, 9)}, {".rsrc", {}}}, ProgramResources);
    const Bytes package = Filled(5000, 4);
    StampReport report;
    const Bytes out = Stamp(exe, package, &report);
    EXPECT_FALSE(report.replacedExisting);
    EXPECT_FALSE(report.movedSection);
    EXPECT_EQ(Get16(out, Coff + 2), 2);
    EXPECT_EQ(PackageIn(out), package);
    EXPECT_EQ(WithoutPackage(Records(out)), Records(exe));
    // A new package takes the program's own language.
    EXPECT_EQ(Records(out).front().language, 0x411);
    EXPECT_EQ(Records(out).front().typeName, u"UPDATE");
    ExpectConsistent(out);
    EXPECT_EQ(Get32(out, Optional + 8), 0x400u + ((Get32(out, SectionTable + 40 + 16))));
}

TEST(StampPackage, ReplacesAnExistingPackageKeepingItsLanguage) {
    const Bytes exe = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, WithPackage(Filled(9000, 5), 0x409));
    const Bytes package = Filled(33, 6);
    StampReport report;
    const Bytes out = Stamp(exe, package, &report);
    EXPECT_TRUE(report.replacedExisting);
    EXPECT_EQ(PackageIn(out), package);
    EXPECT_EQ(Records(out).size(), Records(exe).size());
    EXPECT_EQ(Records(out).front().language, 0x409);
    EXPECT_EQ(WithoutPackage(Records(out)), WithoutPackage(Records(exe)));
    ExpectConsistent(out);
    EXPECT_LT(out.size(), exe.size());  // the section shrank in place
}

TEST(StampPackage, MovesResourcesThatAreNotTheLastSectionToANewOne) {
    const Bytes reloc = Filled(700, 8);
    const Bytes exe = Image({{".text", Filled(100, 9)}, {".rsrc", {}}, {".reloc", reloc}}, WithPackage(Filled(64, 5), 0x411));
    const Bytes package = Filled(20000, 7);
    StampReport report;
    const Bytes out = Stamp(exe, package, &report);
    EXPECT_TRUE(report.movedSection);
    EXPECT_EQ(Get16(out, Coff + 2), 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[SectionTable + 120])), ".rsrc");
    EXPECT_EQ(Get32(out, Optional + 112 + 16), Get32(out, SectionTable + 120 + 12));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[SectionTable + 40])), ".unused");
    // The sections before stay where they were, byte for byte.
    const std::size_t relocRaw = Get32(exe, SectionTable + 80 + 20);
    EXPECT_TRUE(std::equal(exe.begin() + 0x400, exe.begin() + relocRaw + reloc.size(), out.begin() + 0x400));
    EXPECT_EQ(PackageIn(out), package);
    EXPECT_EQ(WithoutPackage(Records(out)), WithoutPackage(Records(exe)));
    ExpectConsistent(out);

    // Stamping the result again resizes the new last section in place.
    const Bytes again = Stamp(out, Filled(10, 1), &report);
    EXPECT_FALSE(report.movedSection);
    EXPECT_EQ(Get16(again, Coff + 2), 4);
    EXPECT_EQ(PackageIn(again), Filled(10, 1));
    ExpectConsistent(again);
}

TEST(StampPackage, LeavesInPlaceNoResourcesWhoseSpaceAnotherSectionShares) {
    // .text's bytes lie inside the resource section, which is last by
    // address: rewriting the resources where they are would change them.
    Bytes exe = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    Put32(exe, SectionTable + 16, FileAlign);
    Put32(exe, SectionTable + 20, Get32(exe, SectionTable + 40 + 20));
    const std::size_t textAt = Get32(exe, SectionTable + 20);
    const Bytes text(exe.begin() + textAt, exe.begin() + textAt + 16);
    StampReport report;
    const Bytes out = Stamp(exe, Filled(300, 4), &report);
    EXPECT_TRUE(report.movedSection);
    EXPECT_EQ(Bytes(out.begin() + textAt, out.begin() + textAt + 16), text);
    EXPECT_EQ(PackageIn(out), Filled(300, 4));
    ExpectConsistent(out);
}

TEST(StampPackage, GivesAnImageWithoutResourcesAResourceSection) {
    const Bytes exe = Image({{".text", Filled(100, 9)}}, {});
    StampReport report;
    const Bytes out = Stamp(exe, Filled(40, 2), &report);
    EXPECT_TRUE(report.movedSection);
    EXPECT_EQ(PackageIn(out), Filled(40, 2));
    EXPECT_EQ(Records(out).front().language, 0);
    ExpectConsistent(out);
}

TEST(StampPackage, DropsTheSignatureAndKeepsOtherAppendedData) {
    Bytes exe = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    const Bytes symbols = Filled(50, 3), certificate(64, 0xCC);
    const std::size_t symbolsAt = exe.size();
    exe.insert(exe.end(), symbols.begin(), symbols.end());
    Put32(exe, Coff + 8, static_cast<std::uint32_t>(symbolsAt));
    exe.resize((exe.size() + 7) & ~std::size_t{7}, 0);
    Put32(exe, Optional + 112 + 32, static_cast<std::uint32_t>(exe.size()));
    Put32(exe, Optional + 112 + 36, static_cast<std::uint32_t>(certificate.size()));
    exe.insert(exe.end(), certificate.begin(), certificate.end());

    StampReport report;
    const Bytes out = Stamp(exe, Filled(3000, 2), &report);
    EXPECT_TRUE(report.droppedSignature);
    EXPECT_EQ(Get32(out, Optional + 112 + 32), 0u);
    EXPECT_EQ(Get32(out, Optional + 112 + 36), 0u);
    EXPECT_EQ(std::search(out.begin(), out.end(), certificate.begin(), certificate.end()), out.end());
    const std::size_t movedSymbols = Get32(out, Coff + 8);
    ASSERT_LE(movedSymbols + symbols.size(), out.size());
    EXPECT_TRUE(std::equal(symbols.begin(), symbols.end(), out.begin() + movedSymbols));
    ExpectConsistent(out);
}

TEST(StampPackage, RefusesWhatIsNotAPe32PlusImage) {
    Bytes pe32 = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    Put16(pe32, Optional, 0x10B);
    Bytes noSignature = Image({{".text", Filled(100, 9)}}, {});
    noSignature[PeOffset] = 'X';
    Bytes cutShort = Image({{".text", Filled(100, 9)}}, {});
    cutShort.resize(Optional + 100);
    // Alignments the loader refuses; stamping once padded such an image
    // out to gigabytes.
    Bytes wildFileAlignment = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    Put32(wildFileAlignment, Optional + 36, 0x2C2C2C2C);
    Put32(wildFileAlignment, Optional + 32, 0x2C2C2C2C);
    Bytes sectionOverHeaders = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    Put32(sectionOverHeaders, SectionTable + 40 + 20, 4);  // .rsrc's raw data at offset 4
    Bytes cutShortHeaders = Image({{".text", Filled(100, 9)}}, {});
    cutShortHeaders.resize(SectionTable + 40 + 16);  // SizeOfHeaders says 0x400
    Put32(cutShortHeaders, SectionTable + 16, 0);     // no section data to miss
    Bytes hugeFileAlignment = Image({{".text", Filled(100, 9)}}, {});
    Put32(hugeFileAlignment, Optional + 36, 0x40000000);
    Put32(hugeFileAlignment, Optional + 32, 0x40000000);
    const struct {
        const char* what;
        Bytes bytes;
        const char* message;
    } cases[] = {
        {"text file", Bytes{'h', 'e', 'l', 'l', 'o'}, "not a PE image"},
        {"empty file", Bytes{}, "not a PE image"},
        {"no PE signature", noSignature, "not a PE image"},
        {"32-bit image", pe32, "not a 64-bit (PE32+) image"},
        {"cut short", cutShort, "damaged PE image"},
        {"alignment not a power of two", wildFileAlignment, "bad alignment"},
        {"file alignment over 64 KiB", hugeFileAlignment, "bad alignment"},
        {"section data over the headers", sectionOverHeaders, "over the headers"},
        {"no sections", Image({}, {}), "no sections"},
        {"headers longer than the file", Bytes(cutShortHeaders), "bad size of headers"},
    };
    for (const auto& c : cases) {
        StampReport report;
        std::string error;
        EXPECT_FALSE(StampPackage(c.bytes, Filled(10, 1), &report, &error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
        EXPECT_FALSE(FindPackageInImage(c.bytes, &error)) << c.what;
    }
}

TEST(StampPackage, RefusesAnImageWhoseNewSectionWouldLieBeyond4GiB) {
    Bytes exe = Image({{".text", Filled(100, 9)}}, {});
    Put32(exe, SectionTable + 12, 0xFFFFF000);  // the last section's address
    StampReport report;
    std::string error;
    EXPECT_FALSE(StampPackage(exe, Filled(10, 1), &report, &error));
    EXPECT_NE(error.find("exceed 4 GB"), std::string::npos) << error;
}

TEST(StampPackage, RefusesAResourceTreeThatPointsBackAtItself) {
    Bytes exe = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    const std::size_t rsrc = Get32(exe, SectionTable + 40 + 20);
    Put32(exe, rsrc + 16 + 4, 0x80000000u);  // first type's table is the root again
    StampReport report;
    std::string error;
    EXPECT_FALSE(StampPackage(exe, Filled(10, 1), &report, &error));
    EXPECT_NE(error.find("resource tree"), std::string::npos) << error;
}

TEST(StampPackage, FindsNoResourceInASectionWithoutData) {
    // Such a section's raw pointer is never checked: here it lies far past
    // the end of the file, and a resource of no bytes points at the section.
    Bytes exe = Image({{".text", Filled(100, 9)}, {".bss", {}}, {".rsrc", {}}}, ProgramResources);
    const std::size_t bss = SectionTable + 40, rsrc = Get32(exe, SectionTable + 80 + 20);
    Put32(exe, bss + 12, 0x7000);
    Put32(exe, bss + 20, 0xFFFFFF00);
    const auto target = [&](std::size_t field) { return rsrc + (Get32(exe, field) & 0x7FFFFFFFu); };
    const std::size_t leaf = target(target(target(rsrc + 16 + 4) + 20) + 20);
    Put32(exe, leaf, 0x7000);
    Put32(exe, leaf + 4, 0);
    StampReport report;
    std::string error;
    EXPECT_FALSE(StampPackage(exe, Filled(10, 1), &report, &error));
    EXPECT_NE(error.find("resource"), std::string::npos) << error;
}

TEST(StampPackage, RefusesWhenTheHeadersHaveNoRoomForAnotherSection) {
    std::vector<TestSection> sections;
    // 17 section headers leave no room for an 18th in 0x400 bytes of headers.
    for (int i = 0; i < 16; ++i) sections.push_back({".d" + std::to_string(i), Filled(16, 1)});
    sections.insert(sections.begin() + 1, {".rsrc", {}});
    const Bytes exe = Image(sections, ProgramResources);
    StampReport report;
    std::string error;
    EXPECT_FALSE(StampPackage(exe, Filled(10, 1), &report, &error));
    EXPECT_NE(error.find("no room"), std::string::npos) << error;
}

TEST(FindPackageInImage, SaysWhenThereIsNoPackage) {
    const Bytes exe = Image({{".text", Filled(100, 9)}, {".rsrc", {}}}, ProgramResources);
    std::string error;
    EXPECT_FALSE(FindPackageInImage(exe, &error));
    EXPECT_EQ(error, "the executable has no UPDATE/102 resource");
}

TEST(ComputePeChecksum, FoldsWordsSkipsTheFieldAndAddsTheLength) {
    const struct {
        Bytes bytes;
        std::size_t field;
        std::uint32_t sum;
    } cases[] = {
        {{1, 0, 2, 0}, 100, 3 + 4},
        {{1, 0, 0xFF, 0xFF, 9, 9}, 2, 1 + 6},            // the field's bytes don't count
        {{0xFF, 0xFF, 0x02, 0x00}, 100, 0x0002 + 4},     // 0xFFFF + 2 carries into the low word
        {{1, 0, 7}, 100, 1 + 7 + 3},                     // an odd last byte counts as a word
    };
    for (const auto& c : cases) EXPECT_EQ(ComputePeChecksum(c.bytes, c.field), c.sum);
}

TEST(ComputePeChecksum, AgreesWithAddingOneWordAtATime) {
    // The definition, one 16-bit word and one fold at a time.
    const auto reference = [](Bytes image, std::size_t field) {
        for (std::size_t at = field; at < field + 4 && at < image.size(); ++at) image[at] = 0;
        std::uint64_t sum = 0;
        for (std::size_t at = 0; at < image.size(); at += 2) {
            sum += image[at] | (at + 1 < image.size() ? image[at + 1] << 8 : 0);
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        return static_cast<std::uint32_t>(sum + image.size());
    };
    for (std::size_t size = 0; size < 40; ++size) {
        // Bytes near 0xFF make every addition carry.
        Bytes image(size);
        for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(0xFF - (i * 37) % 5);
        // An odd field leaves the bytes after it starting a word's high byte.
        for (const std::size_t field : {std::size_t{0}, std::size_t{3}, std::size_t{22}, std::size_t{100}})
            EXPECT_EQ(ComputePeChecksum(image, field), reference(image, field)) << size << " " << field;
    }
    EXPECT_EQ(ComputePeChecksum(Bytes(64, 0xFF), 8), reference(Bytes(64, 0xFF), 8));
}

}  // namespace
}  // namespace updpack
