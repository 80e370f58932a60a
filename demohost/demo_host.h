// The demo host's behaviour, apart from COM: its machines and drives from the inventory,
// the drive operations that change them, and image classification and creation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/result.h"
#include "demohost/inventory.h"
#include "hostcore/files.h"
#include "hostcore/image_files.h"

namespace ombrevale::demohost {

struct HostLocation {
    std::wstring inventory;   // the inventory file
    std::wstring dataFolder;  // where a default inventory and its sample images are made
};

// The inventory made when there is none, with the sample images it names in `dataFolder`.
struct SampleImage {
    std::wstring path;
    std::int32_t density;
};
Inventory DefaultInventory(const hostcore::Files& files, const std::wstring& dataFolder);
std::vector<SampleImage> DefaultSampleImages(const hostcore::Files& files, const std::wstring& dataFolder);

class DemoHost {
public:
    using SerialSource = hostcore::ImageFiles::SerialSource;

    // Reads the inventory, or makes the default one and its sample images when the file
    // does not exist. A malformed inventory fails, naming the file and the line. Temporary
    // files that an earlier host left beside the inventory and the samples are removed.
    static Result<std::shared_ptr<DemoHost>> Open(std::shared_ptr<hostcore::Files> files, const HostLocation& location,
                                                  SerialSource volumeSerial = {});

    const std::wstring& InventoryPath() const { return inventoryPath_; }
    const Inventory& inventory() const { return inventory_; }

    // Drive operations, by machine and drive position in the inventory. Each change is
    // saved before it succeeds; one that cannot be saved is not made.
    Status AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path);
    Status AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter);
    Status ReleaseImage(std::size_t machine, std::size_t drive);
    Status ReleaseHostDrive(std::size_t machine, std::size_t drive);

    Result<std::int32_t> GetFloppyImageType(const std::wstring& path);
    Status CreateFloppyImage(const std::wstring& path, std::int32_t density);

private:
    struct Position {
        std::size_t machine = 0;
        std::size_t drive = 0;
    };
    // An image a drive holds: its full path and what file it is.
    struct HeldImage {
        std::wstring path;
        hostcore::FileId id;
    };

    DemoHost(std::shared_ptr<hostcore::Files> files, std::wstring inventoryPath, SerialSource volumeSerial);

    // Holds every image that the inventory names, refusing an inventory that names one
    // file for two drives, or itself.
    Status HoldImages();
    Result<DriveEntry*> FindDrive(std::size_t machine, std::size_t drive);
    // The full path of an image path given to an operation, or why it is no image path.
    Result<std::wstring> ImagePath(const std::wstring& path, bool creating);
    // The drive that holds this file, under whatever name.
    std::optional<Position> HolderOf(const std::wstring& fullPath, const hostcore::FileId& id);
    // Whether this is the inventory, known as `inventory` a moment ago.
    bool IsInventory(const std::wstring& fullPath, const hostcore::FileId& id, const hostcore::FileId& inventory);
    void Hold(Position at, HeldImage image);
    void Unhold(Position at);
    // Saves the drive's new state, rewriting only its line, then makes it the current one.
    Status Commit(Position at, DriveEntry updated, std::optional<HeldImage> image);

    std::shared_ptr<hostcore::Files> files_;
    std::wstring inventoryPath_;
    Inventory inventory_;
    std::string text_;  // the inventory file as saved last
    hostcore::ImageFiles images_;

    // Held images by what they are: an existing file by its index (the volume is compared
    // on a hit), any other by its whole identity, and every one by its path as written.
    std::vector<std::vector<std::optional<HeldImage>>> held_;
    std::unordered_multimap<std::uint64_t, Position> heldByIndex_;
    std::unordered_map<hostcore::FileId, Position, hostcore::FileIdHash> heldById_;
    std::unordered_map<std::wstring, Position> heldByPath_;
};

}  // namespace ombrevale::demohost
