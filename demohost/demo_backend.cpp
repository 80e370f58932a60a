#include "demohost/demo_backend.h"

#include <utility>

#include "hostcore/errors.h"
#include "hostcore/texts.h"

namespace ombrevale::demohost {

// The demo server builds on what both servers share.
using namespace hostcore;

namespace {

Failure NoSuchMachine(std::size_t machine) {
    return Failure{kInvalidArgument, L"Машины с номером " + std::to_wstring(machine + 1) + L" в инвентаре больше нет."};
}

Failure NoSuchDrive(const MachineEntry& machine, std::size_t drive) {
    return Failure{kInvalidArgument, L"У машины «" + machine.name + L"» больше нет дисковода с номером по порядку " +
                                         std::to_wstring(drive + 1) + L"."};
}

}  // namespace

DemoBackend::DemoBackend(std::shared_ptr<Files> files, HostLocation location)
    : files_(std::move(files)), location_(std::move(location)) {}

std::wstring DemoBackend::SourcePath() { return host_ ? host_->InventoryPath() : location_.inventory; }

Result<DemoHost*> DemoBackend::Host() {
    if (host_) {
        auto stamp = files_->Stamp(host_->InventoryPath());
        if (stamp && *stamp == stamp_) return host_.get();
        host_.reset();
    }
    // The stamp is taken before the reading: an edit made during it is seen next time.
    Result<FileStamp> stamp = files_->Stamp(location_.inventory);
    OMB_ASSIGN_OR_RETURN(host_, DemoHost::Open(files_, location_));
    // A file made just now (the default inventory) is stamped as made.
    if (!stamp) stamp = files_->Stamp(host_->InventoryPath());
    stamp_ = stamp ? *stamp : FileStamp{};
    return host_.get();
}

Status DemoBackend::Saved(Status change) {
    if (change) {
        if (auto stamp = files_->Stamp(host_->InventoryPath())) stamp_ = *stamp;
    } else if (change.failure().number == kInventoryChanged) {
        host_.reset();  // read anew at the next call
    }
    return change;
}

Result<const MachineEntry*> DemoBackend::Machine(std::size_t machine) {
    DemoHost* host = nullptr;
    OMB_ASSIGN_OR_RETURN(host, Host());
    const auto& machines = host->inventory().machines;
    if (machine >= machines.size()) return NoSuchMachine(machine);
    return &machines[machine];
}

Result<std::size_t> DemoBackend::MachineCount() {
    DemoHost* host = nullptr;
    OMB_ASSIGN_OR_RETURN(host, Host());
    return host->inventory().machines.size();
}

Result<std::wstring> DemoBackend::MachineName(std::size_t machine) {
    const MachineEntry* entry = nullptr;
    OMB_ASSIGN_OR_RETURN(entry, Machine(machine));
    return entry->name;
}

Result<std::size_t> DemoBackend::DriveCount(std::size_t machine) {
    const MachineEntry* entry = nullptr;
    OMB_ASSIGN_OR_RETURN(entry, Machine(machine));
    return entry->drives.size();
}

Result<hostcore::DriveState> DemoBackend::Drive(std::size_t machine, std::size_t drive) {
    const MachineEntry* entry = nullptr;
    OMB_ASSIGN_OR_RETURN(entry, Machine(machine));
    if (drive >= entry->drives.size()) return NoSuchDrive(*entry, drive);
    const DriveEntry& d = entry->drives[drive];
    hostcore::DriveState state;
    state.number = d.number;
    state.attachment = static_cast<std::int32_t>(d.media);
    if (d.media == Media::Image) state.imagePath = d.source;
    if (d.media == Media::HostDrive) state.hostDriveLetter = d.source;
    return state;
}

Status DemoBackend::AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) {
    OMB_RETURN_IF_FAILED(Drive(machine, drive));
    return Saved(host_->AttachImage(machine, drive, path));
}

Status DemoBackend::AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter) {
    OMB_RETURN_IF_FAILED(Drive(machine, drive));
    return Saved(host_->AttachHostDrive(machine, drive, letter));
}

Status DemoBackend::ReleaseImage(std::size_t machine, std::size_t drive) {
    OMB_RETURN_IF_FAILED(Drive(machine, drive));
    return Saved(host_->ReleaseImage(machine, drive));
}

Status DemoBackend::ReleaseHostDrive(std::size_t machine, std::size_t drive) {
    OMB_RETURN_IF_FAILED(Drive(machine, drive));
    return Saved(host_->ReleaseHostDrive(machine, drive));
}

Result<std::int32_t> DemoBackend::GetFloppyImageType(const std::wstring& path) {
    DemoHost* host = nullptr;
    OMB_ASSIGN_OR_RETURN(host, Host());
    return host->GetFloppyImageType(path);
}

Status DemoBackend::CreateFloppyImage(const std::wstring& path, std::int32_t density) {
    DemoHost* host = nullptr;
    OMB_ASSIGN_OR_RETURN(host, Host());
    return host->CreateFloppyImage(path, density);
}

}  // namespace ombrevale::demohost
