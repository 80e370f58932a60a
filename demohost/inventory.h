// The demo host's machines and their floppy drives, read from and written to a UTF-8
// text file that a person can read and edit (its format is described in README.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "hostcore/backend.h"
#include "hostcore/errors.h"
#include "hostcore/user_file.h"

namespace ombrevale::demohost {

// The inventory file: where it is, how large it may be, how messages name it. An inventory
// is a few lines a machine.
inline constexpr hostcore::UserFile kInventoryFile{
    .name = L"инвентаря",
    .contents = L"инвентарь",
    .malformed = hostcore::kMalformedInventory,
    .largest = 4 * 1024 * 1024,
    .variable = L"OMBREVALE_DEMO_INVENTORY",
    .folder = L"Ombrevale Demo Host",
    .fileName = L"inventory.txt",
};

// What a drive holds; the values are the Attachment codes that the host reports.
enum class Media : std::int32_t { Nothing = 0, Image = 1, HostDrive = 2 };

struct DriveEntry {
    std::int32_t number = 0;
    Media media = Media::Nothing;
    std::wstring source;  // the image path or the host drive letter ("A:"); empty for Nothing
    int line = 0;         // where it was read, for messages; not part of the value

    friend bool operator==(const DriveEntry& a, const DriveEntry& b) {
        return a.number == b.number && a.media == b.media && a.source == b.source;
    }
};

struct MachineEntry {
    std::wstring name;
    std::vector<DriveEntry> drives;
    int line = 0;

    friend bool operator==(const MachineEntry& a, const MachineEntry& b) {
        return a.name == b.name && a.drives == b.drives;
    }
};

struct Inventory {
    std::vector<MachineEntry> machines;

    friend bool operator==(const Inventory&, const Inventory&) = default;
};

// Reads the text of an inventory file. A malformed text fails with kMalformedInventory and
// a description that names `file` and the line.
Result<Inventory> ParseInventory(std::string_view utf8, const std::wstring& file);

// The text that ParseInventory reads back as the same inventory.
std::string FormatInventory(const Inventory& inventory);

// The text of an inventory with one drive's line (drive.line) rewritten for what the drive
// holds now; every other byte stays as the person who wrote it left it, comments included.
// Nothing when that line is not the drive's.
std::optional<std::string> ReplaceDriveLine(std::string_view utf8, const DriveEntry& drive);

}  // namespace ombrevale::demohost
