#include "hostcore/floppy_image.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ombrevale::hostcore {
namespace {

constexpr std::uint32_t kSectorSize = 512;

struct Geometry {
    std::int32_t code;
    std::uint32_t heads;
    std::uint32_t sectorsPerTrack;
    std::uint32_t tracks;

    std::uint32_t sectors() const { return heads * sectorsPerTrack * tracks; }
    std::uint64_t bytes() const { return std::uint64_t{sectors()} * kSectorSize; }
};

// XDF mixes sector sizes on a track; 23 sectors of 512 bytes per track is only its size.
constexpr std::array<Geometry, 6> kGeometries{{
    {kFormat720K, 2, 9, 80},         //   737,280
    {kFormat144M, 2, 18, 80},        // 1,474,560
    {kFormatDmf, 2, 21, 80},         // 1,720,320
    {kFormatSingleSided, 1, 9, 80},  //   368,640
    {kFormat12M, 2, 15, 80},         // 1,228,800
    {kFormatXdf, 2, 23, 80},         // 1,884,160
}};

const Geometry* GeometryForSize(std::uint64_t size) {
    for (const Geometry& g : kGeometries) {
        if (g.bytes() == size) return &g;
    }
    return nullptr;
}

std::uint16_t Word(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Dword(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{Word(b, at)} | (std::uint32_t{Word(b, at + 2)} << 16);
}

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

struct Bpb {
    std::uint32_t bytesPerSector;
    std::uint32_t totalSectors;
    std::uint32_t sectorsPerTrack;
    std::uint32_t heads;
};

// A BIOS parameter block counts only when every field a DOS boot sector must have is
// sane; random data or an unformatted (zero) image has none, and then the size decides.
std::optional<Bpb> ReadBpb(std::span<const std::uint8_t> b) {
    if (b.size() < kBootSectorSize) return std::nullopt;
    const bool jump = (b[0] == 0xEB && b[2] == 0x90) || b[0] == 0xE9;
    const std::uint32_t bytesPerSector = Word(b, 11);
    const std::uint32_t sectorsPerCluster = b[13];
    const std::uint32_t reserved = Word(b, 14);
    const std::uint32_t fats = b[16];
    const std::uint32_t rootEntries = Word(b, 17);
    const std::uint32_t total16 = Word(b, 19);
    const std::uint32_t media = b[21];
    const std::uint32_t sectorsPerFat = Word(b, 22);
    const std::uint32_t sectorsPerTrack = Word(b, 24);
    const std::uint32_t heads = Word(b, 26);
    const std::uint32_t total = total16 != 0 ? total16 : Dword(b, 32);
    const bool sane = jump && bytesPerSector >= 512 && bytesPerSector <= 4096 && IsPowerOfTwo(bytesPerSector) &&
                      IsPowerOfTwo(sectorsPerCluster) && reserved >= 1 && (fats == 1 || fats == 2) &&
                      rootEntries != 0 && total != 0 && (media == 0xF0 || media >= 0xF8) && sectorsPerFat != 0 &&
                      sectorsPerTrack >= 1 && sectorsPerTrack <= 63 && heads >= 1 && heads <= 255;
    if (!sane) return std::nullopt;
    return Bpb{bytesPerSector, total, sectorsPerTrack, heads};
}

// Boot code of a disk that holds no system: say so, wait for a key, let the BIOS try
// the next boot device. Loaded at 0000:7C00; the message follows the code at 0x5A.
constexpr std::array<std::uint8_t, 28> kBootCode{
    0x31, 0xC0,        // 3E: xor ax, ax
    0x8E, 0xD8,        // 40: mov ds, ax
    0xBE, 0x5A, 0x7C,  // 42: mov si, 7C5Ah
    0xFC,              // 45: cld
    0xAC,              // 46: lodsb
    0x84, 0xC0,        // 47: test al, al
    0x74, 0x09,        // 49: jz 54h
    0xB4, 0x0E,        // 4B: mov ah, 0Eh   (teletype output)
    0xBB, 0x07, 0x00,  // 4D: mov bx, 7
    0xCD, 0x10,        // 50: int 10h
    0xEB, 0xF2,        // 52: jmp 46h
    0x30, 0xE4,        // 54: xor ah, ah
    0xCD, 0x16,        // 56: int 16h       (wait for a key)
    0xCD, 0x19,        // 58: int 19h       (boot the next device)
};
constexpr std::size_t kBootCodeAt = 0x3E;
constexpr char kBootMessage[] = "\r\nThis is not a bootable disk. Press any key to try another.\r\n";

struct FatLayout {
    std::uint16_t totalSectors;
    std::uint8_t sectorsPerCluster;
    std::uint16_t rootEntries;
    std::uint8_t media;
    std::uint16_t sectorsPerFat;
    std::uint16_t sectorsPerTrack;
};

// The layouts DOS FORMAT gives these disks.
constexpr FatLayout kLayout720K{1440, 2, 112, 0xF9, 3, 9};
constexpr FatLayout kLayout144M{2880, 1, 224, 0xF0, 9, 18};

void PutWord(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutText(std::vector<std::uint8_t>& b, std::size_t at, const char* text, std::size_t size) {
    std::memcpy(b.data() + at, text, size);
}

}  // namespace

std::int32_t FormatForSize(std::uint64_t size) {
    const Geometry* g = GeometryForSize(size);
    return g ? g->code : kUnknownFormat;
}

// The size picks the candidate. A valid BIOS parameter block that clearly contradicts the
// candidate's geometry (sector size, total sectors, heads or sectors per track) makes the
// answer 0: a 368,640-byte image that says 2 heads of 40 tracks of 9 sectors is a 5.25"
// 360K disk, not the single-sided format. Without a valid block the size decides. XDF
// boot sectors describe their odd track layout in ways of their own, so the block never
// overrules the XDF size.
std::int32_t ClassifyFloppyImage(std::uint64_t size, std::span<const std::uint8_t> bootSector) {
    const Geometry* g = GeometryForSize(size);
    if (!g) return kUnknownFormat;
    if (g->code == kFormatXdf) return g->code;
    const auto bpb = ReadBpb(bootSector);
    if (!bpb) return g->code;
    const bool agrees = bpb->bytesPerSector == kSectorSize && bpb->totalSectors == g->sectors() &&
                        bpb->heads == g->heads && bpb->sectorsPerTrack == g->sectorsPerTrack;
    return agrees ? g->code : kUnknownFormat;
}

std::optional<std::vector<std::uint8_t>> BuildEmptyFloppyImage(std::int32_t density, std::uint32_t volumeSerial) {
    const FatLayout* layout = density == kFormat720K ? &kLayout720K : density == kFormat144M ? &kLayout144M : nullptr;
    if (!layout) return std::nullopt;
    std::vector<std::uint8_t> image(std::size_t{layout->totalSectors} * kSectorSize, 0);

    image[0] = 0xEB, image[1] = 0x3C, image[2] = 0x90;
    PutText(image, 3, "MSDOS5.0", 8);
    PutWord(image, 11, kSectorSize);
    image[13] = layout->sectorsPerCluster;
    PutWord(image, 14, 1);  // reserved sectors: the boot sector
    image[16] = 2;          // FATs
    PutWord(image, 17, layout->rootEntries);
    PutWord(image, 19, layout->totalSectors);
    image[21] = layout->media;
    PutWord(image, 22, layout->sectorsPerFat);
    PutWord(image, 24, layout->sectorsPerTrack);
    PutWord(image, 26, 2);  // heads
    image[36] = 0x00;       // BIOS drive number of a floppy
    image[38] = 0x29;       // extended boot signature: serial, label and type follow
    PutWord(image, 39, static_cast<std::uint16_t>(volumeSerial));
    PutWord(image, 41, static_cast<std::uint16_t>(volumeSerial >> 16));
    PutText(image, 43, "NO NAME    ", 11);
    PutText(image, 54, "FAT12   ", 8);
    std::copy(kBootCode.begin(), kBootCode.end(), image.begin() + kBootCodeAt);
    PutText(image, kBootCodeAt + kBootCode.size(), kBootMessage, sizeof kBootMessage);
    image[510] = 0x55, image[511] = 0xAA;

    // Each FAT starts with the media byte and an end-of-chain mark; the rest is free.
    for (int fat = 0; fat < 2; ++fat) {
        const std::size_t at = (1 + std::size_t{layout->sectorsPerFat} * fat) * kSectorSize;
        image[at] = layout->media, image[at + 1] = 0xFF, image[at + 2] = 0xFF;
    }
    return image;
}

}  // namespace ombrevale::hostcore
