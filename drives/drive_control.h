// The machine and drive lists, the drive status line and the detach and attach commands.
// The window owns one DriveControl; its list clicks and buttons land here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/automation.h"
#include "base/result.h"
#include "drives/disk_set.h"
#include "drives/keyed_collection.h"
#include "support/folder_listing.h"
#include "support/image_dialogs.h"
#include "support/support.h"
#include "views/drive_view.h"

namespace ombrevale {

// How the attach command tells that it worked: with its box, or with the status line alone.
enum class AttachSuccess { Box, StatusOnly };

class DriveControl {
public:
    DriveControl(VirtualPCHost& host, SupportLibrary& support, DriveView& view);

    // Fills cboVMName once at load; choosing machine 0 fills the drive list, nested.
    // Unguarded: the first failure ends it and passes up.
    Status FillMachineList();
    // Click of cboVMName: lists the chosen machine's floppy drives and chooses drive 0.
    void FillDriveList();
    // Click of cboFloppyDrives, and the refresh after detach and attach.
    void RefreshDriveStatus();
    // Whether the drive list has entries and one of them chosen: the first check of both
    // commands, and whether a drop would be taken. An unreadable list has none.
    bool HasChosenDrive();
    // cmdDetach: empties the chosen drive.
    void Detach();
    // cmdAttachImage: puts the image file the user picks into the chosen drive. A drop
    // and the next-disk keys run the same command with a path source of their own in the
    // dialog's place.
    void Attach(const AskImagePath& getOpenFileName, AttachSuccess tell = AttachSuccess::Box);
    // The next-disk keys: the attach command with the next or previous disk of the set
    // that the chosen drive's image belongs to. Says so when there is none.
    void AttachNeighbour(Neighbour which, FolderListing& folders);

private:
    // Looks up the drive under the chosen position of cboFloppyDrives; a failed read
    // or a missing key is recorded in the guard and gives nullptr.
    std::shared_ptr<FloppyDrive> ChosenDrive(Guard& guard);
    // Releases the medium that `attachment` says the drive holds, an image or a host
    // drive, with the report of a failed release; both commands release this way.
    enum class Released { Yes, Failed, NothingHeld };
    Released Release(Guard& guard, FloppyDrive& drive, std::int32_t attachment);
    void Report(const Guard& guard, const std::wstring& message);
    void ShowBox(const std::wstring& text, std::int32_t style);
    // The path of the chosen drive's neighbouring disk; empty text, once the user has
    // been told why, when there is none.
    std::wstring NeighbourPath(Neighbour which, FolderListing& folders);

    VirtualPCHost& host_;
    SupportLibrary& support_;
    DriveView& view_;
    KeyedCollection<VirtualMachine> machines_;
    KeyedCollection<FloppyDrive> drives_;
};

}  // namespace ombrevale
