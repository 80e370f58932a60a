#include "hostcore/floppy_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace ombrevale::demohost {

using namespace hostcore;
namespace {

struct Format {
    std::uint64_t size;
    std::int32_t code;
    std::uint16_t heads, sectorsPerTrack;
};

constexpr Format kFormats[] = {
    {737'280, 1, 2, 9}, {1'474'560, 2, 2, 18}, {1'720'320, 3, 2, 21},
    {368'640, 4, 1, 9}, {1'228'800, 5, 2, 15}, {1'884'160, 6, 2, 23},
};

// A DOS boot sector claiming the given geometry of 512-byte sectors.
std::vector<std::uint8_t> BootSector(std::uint32_t totalSectors, std::uint16_t heads, std::uint16_t sectorsPerTrack) {
    std::vector<std::uint8_t> b(512, 0);
    b[0] = 0xEB, b[1] = 0x3C, b[2] = 0x90;
    b[11] = 0x00, b[12] = 0x02;  // 512 bytes per sector
    b[13] = 1, b[14] = 1, b[16] = 2, b[17] = 224;
    b[19] = static_cast<std::uint8_t>(totalSectors), b[20] = static_cast<std::uint8_t>(totalSectors >> 8);
    b[21] = 0xF0, b[22] = 9;
    b[24] = static_cast<std::uint8_t>(sectorsPerTrack), b[26] = static_cast<std::uint8_t>(heads);
    b[510] = 0x55, b[511] = 0xAA;
    return b;
}

TEST(ClassifyTest, EverySizeOfTheTableAndNothingOneByteOff) {
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.size);
        EXPECT_EQ(ClassifyFloppyImage(f.size, {}), f.code) << "no boot sector: the size decides";
        EXPECT_EQ(FormatForSize(f.size), f.code);
        EXPECT_EQ(ClassifyFloppyImage(f.size - 1, {}), kUnknownFormat);
        EXPECT_EQ(ClassifyFloppyImage(f.size + 1, {}), kUnknownFormat);
    }
    EXPECT_EQ(ClassifyFloppyImage(0, {}), kUnknownFormat);
    EXPECT_EQ(ClassifyFloppyImage(2'949'120, {}), kUnknownFormat);  // 2.88M is not a format here
}

TEST(ClassifyTest, AMatchingBootSectorConfirmsTheSize) {
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.size);
        const auto boot = BootSector(static_cast<std::uint32_t>(f.size / 512), f.heads, f.sectorsPerTrack);
        EXPECT_EQ(ClassifyFloppyImage(f.size, boot), f.code);
    }
}

TEST(ClassifyTest, AValidBootSectorThatContradictsTheGeometryGivesUnknown) {
    // 2 heads x 40 tracks x 9 sectors: a 5.25" 360K disk, not the single-sided format.
    EXPECT_EQ(ClassifyFloppyImage(368'640, BootSector(720, 2, 9)), kUnknownFormat);
    EXPECT_EQ(ClassifyFloppyImage(1'474'560, BootSector(2880, 2, 9)), kUnknownFormat);   // wrong track size
    EXPECT_EQ(ClassifyFloppyImage(1'474'560, BootSector(1440, 2, 18)), kUnknownFormat);  // wrong total
    auto bigSectors = BootSector(1440, 2, 9);
    bigSectors[11] = 0x00, bigSectors[12] = 0x04;  // 1024-byte sectors
    EXPECT_EQ(ClassifyFloppyImage(1'474'560, bigSectors), kUnknownFormat);
    // A total above 65535 lives in the 32-bit field.
    auto large = BootSector(0, 2, 18);
    large[32] = 0x40, large[33] = 0x0B;  // 2880
    EXPECT_EQ(ClassifyFloppyImage(1'474'560, large), kFormat144M);
}

TEST(ClassifyTest, NoValidBootSectorLeavesItToTheSize) {
    auto noJump = BootSector(720, 2, 9);
    noJump[0] = 0;
    EXPECT_EQ(ClassifyFloppyImage(368'640, noJump), kFormatSingleSided);
    auto noHeads = BootSector(720, 0, 9);
    EXPECT_EQ(ClassifyFloppyImage(368'640, noHeads), kFormatSingleSided);
    auto badMedia = BootSector(2880, 2, 9);
    badMedia[21] = 0x12;
    EXPECT_EQ(ClassifyFloppyImage(1'474'560, badMedia), kFormat144M);
    const std::vector<std::uint8_t> shortRead(100, 0xEB);
    EXPECT_EQ(ClassifyFloppyImage(737'280, shortRead), kFormat720K);
    EXPECT_EQ(ClassifyFloppyImage(737'280, std::vector<std::uint8_t>(512, 0)), kFormat720K);
}

TEST(ClassifyTest, XdfSizeIsNotOverruledByItsUnusualBootSector) {
    EXPECT_EQ(ClassifyFloppyImage(1'884'160, BootSector(3680, 2, 23)), kFormatXdf);
    EXPECT_EQ(ClassifyFloppyImage(1'884'160, BootSector(2880, 2, 18)), kFormatXdf);
}

TEST(CreateImageTest, BuildsBothDensitiesThatClassifyAsThemselves) {
    for (const std::int32_t density : {kFormat720K, kFormat144M}) {
        SCOPED_TRACE(density);
        const auto image = BuildEmptyFloppyImage(density, 0x12345678);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), density == kFormat720K ? 737'280u : 1'474'560u);
        EXPECT_EQ(ClassifyFloppyImage(image->size(), std::span(*image).first(512)), density);
        EXPECT_EQ((*image)[510], 0x55);
        EXPECT_EQ((*image)[511], 0xAA);
        EXPECT_EQ((*image)[39], 0x78);  // serial, little-endian
        EXPECT_EQ((*image)[42], 0x12);
    }
}

TEST(CreateImageTest, RefusesOtherDensityCodes) {
    for (const std::int32_t density : {0, 3, 4, 5, 6, -1, 2147483647}) {
        EXPECT_FALSE(BuildEmptyFloppyImage(density, 0)) << density;
    }
}

}  // namespace
}  // namespace ombrevale::demohost
