#include "demohost/demo_host.h"

#include <chrono>
#include <utility>

#include "demohost/errors.h"
#include "demohost/floppy_image.h"
#include "demohost/messages.h"

namespace ombrevale::demohost {
namespace {

// An inventory is a few lines per machine; anything this large is some other file.
constexpr std::uint64_t kLargestInventory = 4 * 1024 * 1024;

// Like DOS FORMAT: the serial number follows the moment the disk was made.
std::uint32_t SerialFromClock() {
    static std::uint32_t counter = 0;
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    const auto mixed = static_cast<std::uint64_t>(ticks) * 0x9E3779B97F4A7C15ull + ++counter;
    return static_cast<std::uint32_t>(mixed >> 32) ^ static_cast<std::uint32_t>(mixed);
}

// A path goes into the inventory as one line: no line break or other control character
// may come with it.
bool HasControlCharacter(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

bool IsNotFound(std::int32_t number) { return number == kFileNotFound || number == kPathNotFound; }

Result<Inventory> ReadInventory(Files& files, const std::wstring& path) {
    auto file = files.OpenForReading(path);
    if (!file) {
        const std::int32_t number = file.failure().number;
        return Failure{number, HostText::InventoryUnreadable(path, number)};
    }
    if ((*file)->Size() > kLargestInventory) return Failure{kFileTooLarge, InventoryText::TooLarge(path)};
    auto bytes = (*file)->ReadHead(static_cast<std::size_t>((*file)->Size()));
    if (!bytes) {
        const std::int32_t number = bytes.failure().number;
        return Failure{number, HostText::InventoryUnreadable(path, number)};
    }
    const std::string text(bytes->begin(), bytes->end());
    return ParseInventory(text, path);
}

Result<Inventory> CreateDefaultInventory(Files& files, const std::wstring& path, const std::wstring& dataFolder,
                                         const DemoHost::SerialSource& volumeSerial) {
    if (auto made = files.CreateFolders(dataFolder); !made) {
        const std::int32_t number = made.failure().number;
        return Failure{number, HostText::FolderNotCreated(dataFolder, number)};
    }
    // Samples that already exist are the user's files now: they are left as they are.
    for (const SampleImage& sample : DefaultSampleImages(files, dataFolder)) {
        auto kind = files.Examine(sample.path);
        Status written = Status::of(kind);
        if (kind && *kind == PathKind::Other) {
            written = Failure{kNotRegularFile, {}};
        } else if (kind && *kind == PathKind::Missing) {
            const auto image = BuildEmptyFloppyImage(sample.density, volumeSerial());
            written = files.WriteAtomically(sample.path, *image);
        }
        if (!written) {
            const std::int32_t number = written.failure().number;
            return Failure{number, HostText::SampleImageNotCreated(sample.path, number)};
        }
    }
    Inventory inventory = DefaultInventory(files, dataFolder);
    const std::string text = FormatInventory(inventory);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (auto saved = files.WriteAtomically(path, bytes); !saved) {
        const std::int32_t number = saved.failure().number;
        return Failure{number, HostText::InventoryNotCreated(path, number)};
    }
    return inventory;
}

}  // namespace

std::vector<SampleImage> DefaultSampleImages(const Files& files, const std::wstring& dataFolder) {
    return {
        {files.Join(dataFolder, L"Пустая дискета 1,44 МБ.vfd"), kFormat144M},
        {files.Join(dataFolder, L"Пустая дискета 720 КБ.vfd"), kFormat720K},
    };
}

Inventory DefaultInventory(const Files& files, const std::wstring& dataFolder) {
    const auto samples = DefaultSampleImages(files, dataFolder);
    Inventory inventory;
    inventory.machines = {
        {L"Windows 98",
         {{0, Media::Image, samples[0].path}, {1, Media::Nothing, {}}}},
        {L"MS-DOS 6.22", {{0, Media::HostDrive, L"A:"}}},
        {L"Windows 2000 Professional", {{0, Media::Image, samples[1].path}}},
        {L"OS/2 Warp 4", {{0, Media::Nothing, {}}}},
    };
    return inventory;
}

DemoHost::DemoHost(std::shared_ptr<Files> files, std::wstring inventoryPath, Inventory inventory,
                   SerialSource volumeSerial)
    : files_(std::move(files)),
      inventoryPath_(std::move(inventoryPath)),
      inventory_(std::move(inventory)),
      volumeSerial_(volumeSerial ? std::move(volumeSerial) : SerialSource(SerialFromClock)) {}

Result<std::shared_ptr<DemoHost>> DemoHost::Open(std::shared_ptr<Files> files, const HostLocation& location,
                                                 SerialSource volumeSerial) {
    if (!volumeSerial) volumeSerial = SerialFromClock;
    auto full = files->FullPath(location.inventory);
    const std::wstring path = full ? *full : location.inventory;
    auto kind = files->Examine(path);
    if (!kind) {
        const std::int32_t number = kind.failure().number;
        return Failure{number, HostText::InventoryUnreadable(path, number)};
    }
    auto inventory = *kind == PathKind::Missing
                         ? CreateDefaultInventory(*files, path, location.dataFolder, volumeSerial)
                         : ReadInventory(*files, path);
    if (!inventory) return inventory.failure();

    // Two drives cannot hold one image file, whoever wrote the file.
    std::shared_ptr<DemoHost> host(new DemoHost(files, path, {}, std::move(volumeSerial)));
    for (const MachineEntry& machine : inventory->machines) {
        host->inventory_.machines.push_back(MachineEntry{machine.name, {}, machine.line});
        for (const DriveEntry& drive : machine.drives) {
            if (drive.media == Media::Image) {
                auto image = files->FullPath(drive.source);
                if (const Holder holder = host->HolderOf(image ? *image : drive.source); holder.drive) {
                    const std::wstring problem = InventoryText::ImageHeldTwice(
                        drive.source, holder.drive->number, holder.machine->name, holder.drive->line);
                    return Failure{kMalformedInventory, InventoryText::Malformed(path, drive.line, problem)};
                }
            }
            host->inventory_.machines.back().drives.push_back(drive);
        }
    }
    return host;
}

DemoHost::Holder DemoHost::HolderOf(const std::wstring& fullPath) const {
    for (const MachineEntry& machine : inventory_.machines) {
        for (const DriveEntry& drive : machine.drives) {
            if (drive.media != Media::Image) continue;
            auto held = files_->FullPath(drive.source);
            if (files_->SamePath(held ? *held : drive.source, fullPath)) return {&machine, &drive};
        }
    }
    return {};
}

Result<DriveEntry*> DemoHost::FindDrive(Inventory& inventory, std::size_t machine, std::size_t drive) {
    if (machine >= inventory.machines.size() || drive >= inventory.machines[machine].drives.size())
        return Failure{kInvalidArgument, {}};
    return &inventory.machines[machine].drives[drive];
}

Result<std::unique_ptr<ReadableFile>> DemoHost::OpenImage(const std::wstring& fullPath) {
    auto file = files_->OpenForReading(fullPath);
    if (file) return file;
    const std::int32_t number = file.failure().number;
    if (IsNotFound(number)) return Failure{number, HostText::ImageNotFound(fullPath)};
    if (number == kNotRegularFile) return Failure{number, HostText::ImageNotRegular(fullPath)};
    return Failure{number, HostText::ImageUnreadable(fullPath, number)};
}

Status DemoHost::Commit(Inventory next) {
    const std::string text = FormatInventory(next);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (auto saved = files_->WriteAtomically(inventoryPath_, bytes); !saved) {
        const std::int32_t number = saved.failure().number;
        return Failure{number, HostText::InventoryNotSaved(inventoryPath_, number)};
    }
    inventory_ = std::move(next);
    return Ok();
}

Status DemoHost::AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) {
    if (path.empty()) return Failure{kInvalidArgument, HostText::MissingImagePath()};
    if (HasControlCharacter(path)) return Failure{kInvalidArgument, HostText::BadImagePath(path)};
    auto full = files_->FullPath(path);
    if (!full) return Failure{full.failure().number, HostText::ImageNotFound(path)};
    if (auto file = OpenImage(*full); !file) return file.failure();

    Inventory next = inventory_;
    ASSIGN_OR_RETURN(DriveEntry* target, FindDrive(next, machine, drive));
    const std::wstring& machineName = next.machines[machine].name;
    if (target->media == Media::Image)
        return Failure{kDriveNotEmpty, HostText::DriveHoldsImage(target->number, machineName, target->source)};
    if (target->media == Media::HostDrive)
        return Failure{kDriveNotEmpty, HostText::DriveHoldsHostDrive(target->number, machineName, target->source)};
    if (const Holder holder = HolderOf(*full); holder.drive)
        return Failure{kImageInUse, HostText::ImageHeld(*full, holder.drive->number, holder.machine->name)};

    target->media = Media::Image;
    target->source = *full;
    return Commit(std::move(next));
}

Status DemoHost::AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter) {
    const std::wstring normal = NormalHostDriveLetter(letter);
    if (normal.empty()) return Failure{kBadHostDriveLetter, HostText::BadHostDriveLetter(letter)};
    Inventory next = inventory_;
    ASSIGN_OR_RETURN(DriveEntry* target, FindDrive(next, machine, drive));
    const std::wstring& machineName = next.machines[machine].name;
    if (target->media == Media::Image)
        return Failure{kDriveNotEmpty, HostText::DriveHoldsImage(target->number, machineName, target->source)};
    if (target->media == Media::HostDrive)
        return Failure{kDriveNotEmpty, HostText::DriveHoldsHostDrive(target->number, machineName, target->source)};
    target->media = Media::HostDrive;
    target->source = normal;
    return Commit(std::move(next));
}

Status DemoHost::ReleaseImage(std::size_t machine, std::size_t drive) {
    Inventory next = inventory_;
    ASSIGN_OR_RETURN(DriveEntry* target, FindDrive(next, machine, drive));
    if (target->media != Media::Image)
        return Failure{kNoImageAttached, HostText::NoImage(target->number, next.machines[machine].name)};
    target->media = Media::Nothing;
    target->source.clear();
    return Commit(std::move(next));
}

Status DemoHost::ReleaseHostDrive(std::size_t machine, std::size_t drive) {
    Inventory next = inventory_;
    ASSIGN_OR_RETURN(DriveEntry* target, FindDrive(next, machine, drive));
    if (target->media != Media::HostDrive)
        return Failure{kNoHostDriveAttached, HostText::NoHostDrive(target->number, next.machines[machine].name)};
    target->media = Media::Nothing;
    target->source.clear();
    return Commit(std::move(next));
}

Result<std::int32_t> DemoHost::GetFloppyImageType(const std::wstring& path) {
    if (path.empty()) return Failure{kInvalidArgument, HostText::MissingImagePath()};
    auto full = files_->FullPath(path);
    if (!full) return Failure{full.failure().number, HostText::ImageNotFound(path)};
    ASSIGN_OR_RETURN(auto file, OpenImage(*full));
    const std::uint64_t size = file->Size();
    // Only a size that some format has is worth the boot sector.
    if (FormatForSize(size) == kUnknownFormat) return kUnknownFormat;
    auto head = file->ReadHead(kBootSectorSize);
    if (!head) {
        const std::int32_t number = head.failure().number;
        return Failure{number, HostText::ImageUnreadable(*full, number)};
    }
    return ClassifyFloppyImage(size, *head);
}

Status DemoHost::CreateFloppyImage(const std::wstring& path, std::int32_t density) {
    if (path.empty()) return Failure{kInvalidArgument, HostText::MissingImagePath()};
    auto full = files_->FullPath(path);
    if (!full) {
        const std::int32_t number = full.failure().number;
        return Failure{number, HostText::ImageNotWritten(path, number)};
    }
    const auto image = BuildEmptyFloppyImage(density, volumeSerial_());
    if (!image) return Failure{kUnknownDensity, HostText::UnknownDensity(*full, density)};
    // The save dialog has asked about replacing a file, but it cannot know what the
    // drives hold, nor that the inventory lives here.
    if (const Holder holder = HolderOf(*full); holder.drive)
        return Failure{kImageInUse, HostText::ReplacesHeldImage(*full, holder.drive->number, holder.machine->name)};
    if (files_->SamePath(*full, inventoryPath_)) return Failure{kImageInUse, HostText::ReplacesInventory(*full)};
    auto kind = files_->Examine(*full);
    if (kind && *kind == PathKind::Other) return Failure{kNotRegularFile, HostText::NotAFileToReplace(*full)};
    if (auto written = files_->WriteAtomically(*full, *image); !written) {
        const std::int32_t number = written.failure().number;
        return Failure{number, HostText::ImageNotWritten(*full, number)};
    }
    return Ok();
}

}  // namespace ombrevale::demohost
