#include "drives/drive_control.h"

#include <optional>
#include <utility>
#include <vector>

#include "drives/texts.h"

namespace ombrevale {

namespace texts = drive_texts;

DriveControl::DriveControl(VirtualPCHost& host, SupportLibrary& support, DriveView& view)
    : host_(host), support_(support), view_(view) {}

void DriveControl::Report(const Guard& guard, const std::wstring& message) {
    ReportFailure(support_, guard.failure(), message);
}

// A box that cannot be shown changes nothing about what the handler does next.
void DriveControl::ShowBox(const std::wstring& text, std::int32_t style) { (void)support_.Boxes().Show(text, style); }

Status DriveControl::FillMachineList() {
    ListControl& list = view_.cboVMName();
    OMB_RETURN_IF_FAILED(list.Clear());
    machines_ = KeyedCollection<VirtualMachine>();

    std::unique_ptr<Enumerator<VirtualMachine>> walk;
    OMB_ASSIGN_OR_RETURN(walk, host_.Machines());
    while (walk) {
        std::shared_ptr<VirtualMachine> machine;
        OMB_ASSIGN_OR_RETURN(machine, walk->Next());
        if (!machine) break;
        std::wstring name;
        OMB_ASSIGN_OR_RETURN(name, machine->Name());
        std::int16_t position{};
        OMB_ASSIGN_OR_RETURN(position, list.Append(name));
        OMB_RETURN_IF_FAILED(machines_.Add(PositionKey(position), std::move(machine)));
    }

    std::int16_t count{};
    OMB_ASSIGN_OR_RETURN(count, list.Count());
    if (count > 0) OMB_RETURN_IF_FAILED(list.Select(0));  // runs FillDriveList before returning
    return Ok();
}

void DriveControl::FillDriveList() {
    Guard guard;
    ListControl& machineList = view_.cboVMName();
    ListControl& driveList = view_.cboFloppyDrives();

    guard.step(driveList.Clear());
    drives_ = KeyedCollection<FloppyDrive>();

    // An unreadable count stops the handler as an empty list does.
    auto machineCount = guard.step(machineList.Count());
    if (!machineCount || *machineCount <= 0) return;

    std::shared_ptr<VirtualMachine> machine;
    if (auto position = guard.step(machineList.Position()))
        if (auto found = guard.step(machines_.Item(PositionKey(*position)))) machine = std::move(*found);

    // Also reports a failure to empty the drive list.
    if (guard.failed()) {
        Report(guard, texts::kGetObjectFailed);
        return;
    }

    // A drive whose number or item fails is left out; the next one takes the free position.
    if (auto walk = guard.step(machine->FloppyDrives()); walk && *walk) {
        for (;;) {
            auto drive = guard.step((*walk)->Next());
            if (!drive || !*drive) break;
            auto number = guard.step((*drive)->DriveNumber());
            if (!number) continue;
            auto position = guard.step(driveList.Append(texts::kDriveItemPrefix + std::to_wstring(*number)));
            if (!position) continue;
            guard.step(drives_.Add(PositionKey(*position), std::move(*drive)));
        }
    }

    // An unreadable count counts as items: choosing then fails quietly at worst.
    auto driveCount = guard.step(driveList.Count());
    if (!driveCount || *driveCount > 0) guard.step(driveList.Select(0));  // runs RefreshDriveStatus
}

std::shared_ptr<FloppyDrive> DriveControl::ChosenDrive(Guard& guard) {
    auto position = guard.step(view_.cboFloppyDrives().Position());
    if (!position) return nullptr;
    auto drive = guard.step(drives_.Item(PositionKey(*position)));
    return drive ? std::move(*drive) : nullptr;
}

DriveControl::Released DriveControl::Release(Guard& guard, FloppyDrive& drive, std::int32_t attachment) {
    switch (attachment) {
    case kAttachedImage:
        if (guard.step(drive.ReleaseImage())) return Released::Yes;
        Report(guard, texts::kReleaseImageFailed);
        return Released::Failed;
    case kAttachedHostDrive:
        if (guard.step(drive.ReleaseHostDrive())) return Released::Yes;
        Report(guard, texts::kReleaseHostDriveFailed);
        return Released::Failed;
    default: return Released::NothingHeld;
    }
}

void DriveControl::RefreshDriveStatus() {
    Guard guard;
    TextLine& status = view_.txtStatus();

    // Emptied first, so that no later failure leaves an earlier drive's state showing.
    guard.step(status.SetText(L""));

    auto count = guard.step(view_.cboFloppyDrives().Count());
    if (!count || *count <= 0) return;

    std::shared_ptr<FloppyDrive> drive = ChosenDrive(guard);
    if (guard.failed()) {
        Report(guard, texts::kGetObjectFailed);
        return;
    }

    auto attachment = guard.step(drive->Attachment());
    if (!attachment) return;

    std::optional<std::wstring> text;
    switch (*attachment) {
    case kAttachedNothing: text = texts::kStatusDetached; break;
    case kAttachedImage:
        if (auto path = guard.step(drive->ImagePath())) text = texts::kStatusImage + *path;
        break;
    case kAttachedHostDrive:
        if (auto letter = guard.step(drive->HostDriveLetter())) text = texts::kStatusHostDrive + *letter;
        break;
    default: text = texts::kStatusUnknown; break;
    }
    if (text) guard.step(status.SetText(*text));
}

// The position is read only when the list has entries. What fails here is recorded
// nowhere: the commands stop silently on it, as on an empty list.
bool DriveControl::HasChosenDrive() {
    ListControl& list = view_.cboFloppyDrives();
    auto count = list.Count();
    if (!count.ok() || *count <= 0) return false;
    auto position = list.Position();
    return position.ok() && *position >= 0;
}

void DriveControl::Detach() {
    if (!HasChosenDrive()) return;

    Guard guard;
    std::shared_ptr<FloppyDrive> drive = ChosenDrive(guard);
    if (guard.failed()) {
        Report(guard, texts::kGetObjectFailed);
        return;
    }

    // Whether the drive must be read back empty afterwards.
    bool check = true;
    // An unreadable Attachment releases nothing and goes straight to the check.
    if (auto attachment = guard.step(drive->Attachment())) {
        switch (*attachment) {
        case kAttachedNothing:
            ShowBox(texts::kNothingToDetach, kStyleInformation);
            check = false;
            break;
        case kAttachedImage:
        case kAttachedHostDrive:
            if (Release(guard, *drive, *attachment) == Released::Yes)
                ShowBox(*attachment == kAttachedImage ? texts::kImageDetached : texts::kHostDriveDetached,
                        kStyleInformation);
            else
                check = false;
            break;
        default: ShowBox(texts::kUnclearWhatToDetach, kStyleInformation); break;
        }
    }

    if (check) {
        auto now = guard.step(drive->Attachment());
        if (!now || *now != kAttachedNothing) ShowBox(texts::kDetachFailed, kStyleCritical);
    }

    RefreshDriveStatus();
}

void DriveControl::Attach(const AskImagePath& getOpenFileName, AttachSuccess tell) {
    if (!HasChosenDrive()) return;

    // A dialog that fails is treated like a cancel: nothing to attach.
    if (!getOpenFileName) return;
    Result<std::wstring> chosen = getOpenFileName();
    if (!chosen.ok() || chosen->empty()) return;
    const std::wstring& path = *chosen;
    const std::wstring attachFailedText = path + kParagraph + texts::kAttachFailed;

    // Looked up only after the dialog has closed.
    Guard guard;
    std::shared_ptr<FloppyDrive> drive = ChosenDrive(guard);
    if (guard.failed()) {
        Report(guard, texts::kGetObjectFailed);
        return;
    }

    // Whatever the drive holds goes first, silently; a failed release keeps it and stops.
    if (auto attachment = guard.step(drive->Attachment()))
        if (Release(guard, *drive, *attachment) == Released::Failed) return;

    // Only AttachImage's own failure is reported as such; an unreadable Attachment
    // above does not condemn an attach that worked, the fresh read below decides.
    if (!guard.step(drive->AttachImage(path))) {
        Report(guard, attachFailedText);
    } else {
        auto now = guard.step(drive->Attachment());
        if (!now || *now == kAttachedNothing)
            ShowBox(attachFailedText, kStyleCritical);
        else if (tell == AttachSuccess::Box)
            ShowBox(texts::kImageAttached, kStyleInformation);
    }

    RefreshDriveStatus();
}

void DriveControl::AttachNeighbour(Neighbour which, FolderListing& folders) {
    Attach([&]() -> Result<std::wstring> { return NeighbourPath(which, folders); }, AttachSuccess::StatusOnly);
}

std::wstring DriveControl::NeighbourPath(Neighbour which, FolderListing& folders) {
    // A guarded stretch of its own: what fails here never counts against the attach.
    Guard guard;
    std::shared_ptr<FloppyDrive> drive = ChosenDrive(guard);
    if (guard.failed()) {
        Report(guard, texts::kGetObjectFailed);
        return {};
    }
    auto attachment = guard.step(drive->Attachment());
    if (!attachment) {
        Report(guard, texts::kImageUnknown);
        return {};
    }
    if (*attachment != kAttachedImage) {
        ShowBox(texts::kNoImageToSwap, kStyleInformation);
        return {};
    }
    auto image = guard.step(drive->ImagePath());
    if (!image) {
        Report(guard, texts::kImageUnknown);
        return {};
    }

    const std::optional<PathParts> parts = SplitImagePath(*image);
    if (!parts) {
        ShowBox(*image + kParagraph + texts::kFolderUnreadable, kStyleInformation);
        return {};
    }
    const Result<std::vector<std::wstring>> names = folders.FileNames(parts->folder);
    if (!names.ok()) {
        ShowBox(parts->folder + kParagraph + texts::kFolderUnreadable, kStyleInformation);
        return {};
    }
    const SetNeighbour found = FindNeighbour(parts->name, *names, which);
    switch (found.outcome) {
    case SetNeighbour::Outcome::Found: return parts->folder + found.name;
    case SetNeighbour::Outcome::NoNumber:
        ShowBox(*image + kParagraph + texts::kNoNumberInName, kStyleInformation);
        break;
    case SetNeighbour::Outcome::NoneThatWay:
        ShowBox(*image + kParagraph + (which == Neighbour::Next ? texts::kNoNextDisk : texts::kNoPreviousDisk),
                kStyleInformation);
        break;
    }
    return {};
}

}  // namespace ombrevale
