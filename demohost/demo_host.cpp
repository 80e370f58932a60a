#include "demohost/demo_host.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "demohost/messages.h"
#include "hostcore/errors.h"
#include "hostcore/floppy_image.h"
#include "hostcore/image_files.h"
#include "hostcore/texts.h"
#include "hostcore/utf8.h"

namespace ombrevale::demohost {

// The demo server builds on what both servers share.
using namespace hostcore;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The text of the default inventory, or nothing when something took the inventory's name
// meanwhile. Nothing that exists is replaced: not a sample image, not the inventory.
Result<std::optional<std::string>> CreateDefaultInventory(const ImageFiles& images, const std::wstring& path,
                                                          const std::wstring& dataFolder) {
    Files& files = images.files();
    if (auto made = files.CreateFolders(dataFolder); !made) {
        const std::int32_t number = made.failure().number;
        return Failure{number, HostText::FolderNotCreated(dataFolder, number)};
    }
    // The inventory first: where its name turns out to be taken, nothing else is made.
    const std::string text = FormatInventory(DefaultInventory(files, dataFolder));
    if (auto saved = files.WriteAtomically(path, Bytes(text), WriteMode::CreateOnly); !saved) {
        const std::int32_t number = saved.failure().number;
        if (number == kFileExists) return std::optional<std::string>();
        return Failure{OutwardNumber(number), HostText::InventoryNotCreated(path, number)};
    }
    // Samples that already exist are the user's files now: they are left as they are.
    for (const SampleImage& sample : DefaultSampleImages(files, dataFolder)) {
        auto facts = files.Examine(sample.path);
        Status written = Status::of(facts);
        if (facts && (facts->kind == PathKind::Folder || facts->kind == PathKind::Device)) {
            written = Failure{kNotRegularFile, {}};
        } else if (facts && facts->kind == PathKind::Missing) {
            auto image = images.NewImage(sample.path, sample.density);
            written = image ? files.WriteAtomically(sample.path, *image, WriteMode::CreateOnly) : Status::of(image);
            if (!written && written.failure().number == kFileExists) written = Ok();
        }
        if (!written) {
            const std::int32_t number = written.failure().number;
            return Failure{OutwardNumber(number), HostText::SampleImageNotCreated(sample.path, number)};
        }
    }
    return std::optional<std::string>(text);
}

// The inventory's text: the file's, or the default inventory's, made when there is none.
Result<std::string> ReadOrMakeInventory(const ImageFiles& images, const std::wstring& path,
                                        const std::wstring& dataFolder) {
    Files& files = images.files();
    auto facts = files.Examine(path);
    if (!facts) {
        const std::int32_t number = facts.failure().number;
        return Failure{number, ServerText::Unreadable(kInventoryFile, path, number)};
    }
    if (facts->kind == PathKind::Missing) {
        std::optional<std::string> made;
        OMB_ASSIGN_OR_RETURN(made, CreateDefaultInventory(images, path, dataFolder));
        if (made) return std::move(*made);
        // Nothing had the name a moment ago: another host made it since, or it is a link
        // to nothing that only the attempt to create the file revealed (Wine shows no other sign).
        facts = files.Examine(path);
        if (!facts || facts->kind == PathKind::Missing) facts = PathFacts{PathKind::BrokenLink};
    }
    if (facts->kind == PathKind::BrokenLink) return Failure{kFileNotFound, HostText::InventoryBrokenLink(path)};
    return ReadUserFile(files, path, kInventoryFile);
}

// A drive takes a medium only when it holds none.
Status RefuseUnlessEmpty(const DriveEntry& drive, const std::wstring& machine) {
    if (drive.media == Media::Image)
        return Failure{kDriveNotEmpty, ServerText::DriveHoldsImage(drive.number, machine, drive.source)};
    if (drive.media == Media::HostDrive)
        return Failure{kDriveNotEmpty, ServerText::DriveHoldsHostDrive(drive.number, machine, drive.source)};
    return Ok();
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
        {L"Windows 98", {{0, Media::Image, samples[0].path}, {1, Media::Nothing, {}}}},
        {L"MS-DOS 6.22", {{0, Media::HostDrive, L"A:"}}},
        {L"Windows 2000 Professional", {{0, Media::Image, samples[1].path}}},
        {L"OS/2 Warp 4", {{0, Media::Nothing, {}}}},
    };
    return inventory;
}

DemoHost::DemoHost(std::shared_ptr<Files> files, std::wstring inventoryPath, SerialSource volumeSerial)
    : files_(files), inventoryPath_(std::move(inventoryPath)), images_(std::move(files), std::move(volumeSerial)) {}

Result<std::shared_ptr<DemoHost>> DemoHost::Open(std::shared_ptr<Files> files, const HostLocation& location,
                                                 SerialSource volumeSerial) {
    auto full = files->FullPath(location.inventory);
    const std::wstring path = full ? *full : location.inventory;
    std::shared_ptr<DemoHost> host(new DemoHost(files, path, std::move(volumeSerial)));

    // A host that was ended while it saved may have left its temporary files.
    files->RemoveLeftovers(path);
    for (const SampleImage& sample : DefaultSampleImages(*files, location.dataFolder))
        files->RemoveLeftovers(sample.path);

    std::string text;
    OMB_ASSIGN_OR_RETURN(text, ReadOrMakeInventory(host->images_, path, location.dataFolder));
    auto inventory = ParseInventory(text, path);
    if (!inventory) return inventory.failure();
    host->text_ = std::move(text);
    host->inventory_ = std::move(*inventory);
    OMB_RETURN_IF_FAILED(host->HoldImages());
    return host;
}

// Two drives cannot hold one image file, whoever wrote the file and under whatever names.
// Images that the file names relative to itself are taken from its folder.
Status DemoHost::HoldImages() {
    std::vector<Position> positions;
    std::vector<std::wstring> paths;
    const std::wstring folder = files_->Parent(inventoryPath_);
    held_.resize(inventory_.machines.size());
    for (std::size_t m = 0; m < inventory_.machines.size(); ++m) {
        const auto& drives = inventory_.machines[m].drives;
        held_[m].resize(drives.size());
        for (std::size_t d = 0; d < drives.size(); ++d) {
            if (drives[d].media != Media::Image) continue;
            auto resolved = files_->FullPathFrom(folder, drives[d].source);
            positions.push_back({m, d});
            paths.push_back(resolved ? *resolved : drives[d].source);
        }
    }
    const std::vector<FileId> ids = files_->IdentifyAll(paths);
    const FileId inventoryId = files_->Identify(inventoryPath_);
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const DriveEntry& drive = inventory_.machines[positions[k].machine].drives[positions[k].drive];
        if (IsInventory(paths[k], ids[k], inventoryId))
            return Failure{kMalformedInventory, ServerText::Malformed(kInventoryFile, inventoryPath_, drive.line,
                                                                      InventoryText::ImageIsInventory(drive.source))};
        if (const auto holder = HolderOf(paths[k], ids[k])) {
            const MachineEntry& machine = inventory_.machines[holder->machine];
            const DriveEntry& other = machine.drives[holder->drive];
            const std::wstring problem =
                InventoryText::ImageHeldTwice(drive.source, other.number, machine.name, other.line);
            return Failure{kMalformedInventory,
                           ServerText::Malformed(kInventoryFile, inventoryPath_, drive.line, problem)};
        }
        Hold(positions[k], HeldImage{paths[k], ids[k]});
    }
    return Ok();
}

std::optional<DemoHost::Position> DemoHost::HolderOf(const std::wstring& fullPath, const FileId& id) {
    if (const auto named = heldByPath_.find(files_->Folded(fullPath)); named != heldByPath_.end()) return named->second;
    if (id.kind != FileId::Kind::File) {
        const auto held = heldById_.find(id);
        return held == heldById_.end() ? std::nullopt : std::optional<Position>(held->second);
    }
    std::optional<FileId> now;
    for (auto [at, end] = heldByIndex_.equal_range(id.index); at != end; ++at) {
        const HeldImage& image = *held_[at->second.machine][at->second.drive];
        if (image.id == id) return at->second;
        // The same index on another volume: another file, or one that a link reaches from
        // another drive letter (Wine numbers its volumes by drive letter). Both are looked
        // at again, one by one.
        if (!now) now = files_->Identify(fullPath);
        if (files_->Identify(image.path) == *now) return at->second;
    }
    return std::nullopt;
}

bool DemoHost::IsInventory(const std::wstring& fullPath, const FileId& id, const FileId& inventory) {
    if (id == inventory || files_->Folded(fullPath) == files_->Folded(inventoryPath_)) return true;
    return id.kind == FileId::Kind::File && inventory.kind == FileId::Kind::File && id.index == inventory.index &&
           files_->Identify(fullPath) == files_->Identify(inventoryPath_);
}

void DemoHost::Hold(Position at, HeldImage image) {
    heldByPath_[files_->Folded(image.path)] = at;
    if (image.id.kind == FileId::Kind::File) {
        heldByIndex_.emplace(image.id.index, at);
    } else {
        heldById_[image.id] = at;
    }
    held_[at.machine][at.drive] = std::move(image);
}

void DemoHost::Unhold(Position at) {
    auto& slot = held_[at.machine][at.drive];
    if (!slot) return;
    heldByPath_.erase(files_->Folded(slot->path));
    if (slot->id.kind == FileId::Kind::File) {
        for (auto [it, end] = heldByIndex_.equal_range(slot->id.index); it != end; ++it) {
            if (it->second.machine == at.machine && it->second.drive == at.drive) {
                heldByIndex_.erase(it);
                break;
            }
        }
    } else {
        heldById_.erase(slot->id);
    }
    slot.reset();
}

Result<DriveEntry*> DemoHost::FindDrive(std::size_t machine, std::size_t drive) {
    if (machine >= inventory_.machines.size() || drive >= inventory_.machines[machine].drives.size())
        return Failure{kInvalidArgument, {}};
    return &inventory_.machines[machine].drives[drive];
}

Result<std::wstring> DemoHost::ImagePath(const std::wstring& path, bool creating) {
    // The inventory's UTF-8 has no place for a lone surrogate: U+FFFD in its place would name
    // another file.
    if (HasLoneSurrogate(path)) return Failure{kInvalidArgument, ServerText::LoneSurrogatePath(path)};
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, images_.FullPath(path, creating));
    // The inventory drops blanks at the end of a line: such a name could not be read back.
    if (full.back() == L' ') return Failure{kInvalidArgument, ServerText::BadImagePath(path)};
    return full;
}

Status DemoHost::Commit(Position at, DriveEntry updated, std::optional<HeldImage> image) {
    // A hand edit made while the host runs is never written over: the change is refused,
    // and the one who asked reads the file anew.
    // (A name that leads nowhere now is left to the write, which refuses a link to nothing
    // by name; the server reads a file deleted by hand anew before it comes here.)
    auto current = ReadUserFile(*files_, inventoryPath_, kInventoryFile);
    if (!current && !IsNotFound(current.failure().number)) {
        const std::int32_t number = current.failure().number;
        return Failure{OutwardNumber(number), HostText::InventoryNotSaved(inventoryPath_, number)};
    }
    if (current && *current != text_)
        return Failure{kInventoryChanged, HostText::InventoryChangedMeanwhile(inventoryPath_)};
    auto text = ReplaceDriveLine(text_, updated);
    std::optional<Inventory> reread;
    if (!text) {
        // The file no longer matches what was read (it cannot, but if it did): write it whole.
        Inventory next = inventory_;
        next.machines[at.machine].drives[at.drive] = updated;
        text = FormatInventory(next);
        auto parsed = ParseInventory(*text, inventoryPath_);
        if (!parsed) return parsed.failure();
        reread = std::move(*parsed);
    }
    if (auto saved = files_->WriteAtomically(inventoryPath_, Bytes(*text), WriteMode::Replace); !saved) {
        const std::int32_t number = saved.failure().number;
        return Failure{OutwardNumber(number), HostText::InventoryNotSaved(inventoryPath_, number)};
    }
    text_ = std::move(*text);
    if (reread) {
        inventory_ = std::move(*reread);
    } else {
        inventory_.machines[at.machine].drives[at.drive] = std::move(updated);
    }
    Unhold(at);
    if (image) Hold(at, std::move(*image));
    return Ok();
}

Status DemoHost::AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) {
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, ImagePath(path, false));
    if (auto file = images_.Open(full); !file) return file.failure();

    DriveEntry* target = nullptr;
    OMB_ASSIGN_OR_RETURN(target, FindDrive(machine, drive));
    OMB_RETURN_IF_FAILED(RefuseUnlessEmpty(*target, inventory_.machines[machine].name));
    // A guest writes to its image: never to the inventory, never to another drive's image.
    const FileId id = files_->Identify(full);
    if (IsInventory(full, id, files_->Identify(inventoryPath_)))
        return Failure{kImageInUse, HostText::AttachesInventory(full)};
    if (const auto holder = HolderOf(full, id)) {
        const MachineEntry& owner = inventory_.machines[holder->machine];
        return Failure{kImageInUse, ServerText::ImageHeld(full, owner.drives[holder->drive].number, owner.name)};
    }

    DriveEntry updated = *target;
    updated.media = Media::Image;
    updated.source = full;
    return Commit({machine, drive}, std::move(updated), HeldImage{full, id});
}

Status DemoHost::AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter) {
    const std::wstring normal = NormalHostDriveLetter(letter);
    if (normal.empty()) return Failure{kBadHostDriveLetter, ServerText::BadHostDriveLetter(letter)};
    DriveEntry* target = nullptr;
    OMB_ASSIGN_OR_RETURN(target, FindDrive(machine, drive));
    OMB_RETURN_IF_FAILED(RefuseUnlessEmpty(*target, inventory_.machines[machine].name));
    DriveEntry updated = *target;
    updated.media = Media::HostDrive;
    updated.source = normal;
    return Commit({machine, drive}, std::move(updated), std::nullopt);
}

Status DemoHost::ReleaseImage(std::size_t machine, std::size_t drive) {
    DriveEntry* target = nullptr;
    OMB_ASSIGN_OR_RETURN(target, FindDrive(machine, drive));
    if (target->media != Media::Image)
        return Failure{kNoImageAttached, ServerText::NoImage(target->number, inventory_.machines[machine].name)};
    DriveEntry updated = *target;
    updated.media = Media::Nothing;
    updated.source.clear();
    return Commit({machine, drive}, std::move(updated), std::nullopt);
}

Status DemoHost::ReleaseHostDrive(std::size_t machine, std::size_t drive) {
    DriveEntry* target = nullptr;
    OMB_ASSIGN_OR_RETURN(target, FindDrive(machine, drive));
    if (target->media != Media::HostDrive)
        return Failure{kNoHostDriveAttached,
                       ServerText::NoHostDrive(target->number, inventory_.machines[machine].name)};
    DriveEntry updated = *target;
    updated.media = Media::Nothing;
    updated.source.clear();
    return Commit({machine, drive}, std::move(updated), std::nullopt);
}

Result<std::int32_t> DemoHost::GetFloppyImageType(const std::wstring& path) {
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, ImagePath(path, false));
    return images_.Classify(full);
}

Status DemoHost::CreateFloppyImage(const std::wstring& path, std::int32_t density) {
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, ImagePath(path, true));
    std::vector<std::uint8_t> image;
    OMB_ASSIGN_OR_RETURN(image, images_.NewImage(full, density));
    // The save dialog has asked about replacing a file, but it cannot know what the
    // drives hold, nor that the inventory lives here, under this name or another.
    const FileId id = files_->Identify(full);
    if (const auto holder = HolderOf(full, id)) {
        const MachineEntry& owner = inventory_.machines[holder->machine];
        return Failure{kImageInUse,
                       ServerText::ReplacesHeldImage(full, owner.drives[holder->drive].number, owner.name)};
    }
    if (IsInventory(full, id, files_->Identify(inventoryPath_)))
        return Failure{kImageInUse, HostText::ReplacesInventory(full)};
    return images_.Write(full, image);
}

}  // namespace ombrevale::demohost
