// Floppy image formats: telling an image's format from its size and boot sector, and
// making an empty, formatted image of a given density.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ombrevale::hostcore {

// Format codes that GetFloppyImageType answers; 1 and 2 are also the density codes
// that CreateFloppyImage takes.
inline constexpr std::int32_t kUnknownFormat = 0;
inline constexpr std::int32_t kFormat720K = 1;
inline constexpr std::int32_t kFormat144M = 2;
inline constexpr std::int32_t kFormatDmf = 3;
inline constexpr std::int32_t kFormatSingleSided = 4;
inline constexpr std::int32_t kFormat12M = 5;
inline constexpr std::int32_t kFormatXdf = 6;

inline constexpr std::size_t kBootSectorSize = 512;

// The code a file of this size would have, before its boot sector is looked at.
std::int32_t FormatForSize(std::uint64_t size);

// The format code of an image of `size` bytes whose first bytes are `bootSector` (the
// first 512 bytes, or fewer or none when they could not be read or are not needed).
std::int32_t ClassifyFloppyImage(std::uint64_t size, std::span<const std::uint8_t> bootSector);

// A whole empty FAT12 image for density code 1 (720K) or 2 (1.44M); nothing for any
// other code.
std::optional<std::vector<std::uint8_t>> BuildEmptyFloppyImage(std::int32_t density, std::uint32_t volumeSerial);

}  // namespace ombrevale::hostcore
