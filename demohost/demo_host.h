// The demo host's behaviour, apart from COM: its machines and drives from the inventory,
// the drive operations that change them, and image classification and creation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demohost/files.h"
#include "demohost/inventory.h"
#include "base/result.h"

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
Inventory DefaultInventory(const Files& files, const std::wstring& dataFolder);
std::vector<SampleImage> DefaultSampleImages(const Files& files, const std::wstring& dataFolder);

class DemoHost {
public:
    using SerialSource = std::function<std::uint32_t()>;

    // Reads the inventory, or makes the default one and its sample images when the file
    // does not exist. A malformed inventory fails, naming the file and the line.
    static Result<std::shared_ptr<DemoHost>> Open(std::shared_ptr<Files> files, const HostLocation& location,
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
    DemoHost(std::shared_ptr<Files> files, std::wstring inventoryPath, Inventory inventory,
             SerialSource volumeSerial);

    Result<DriveEntry*> FindDrive(Inventory& inventory, std::size_t machine, std::size_t drive);
    struct Holder {
        const MachineEntry* machine = nullptr;
        const DriveEntry* drive = nullptr;
    };
    // The drive that holds this image, if any.
    Holder HolderOf(const std::wstring& fullPath) const;
    Result<std::unique_ptr<ReadableFile>> OpenImage(const std::wstring& fullPath);
    Status Commit(Inventory next);

    std::shared_ptr<Files> files_;
    std::wstring inventoryPath_;
    Inventory inventory_;
    SerialSource volumeSerial_;
};

}  // namespace ombrevale::demohost
