#include "app/frm_main.h"

#include "app/texts.h"
#include "drives/drive_control.h"
#include "images/image_tools.h"
#include "support/image_dialogs.h"

namespace ombrevale {

struct frmMain::State {
    State(VirtualPCHost& h, SupportLibrary& s, FormView& v, FolderListing& f)
        : host(h), support(s), view(v), folders(f), drives(h, s, v) {}

    VirtualPCHost& host;
    SupportLibrary& support;
    FormView& view;
    FolderListing& folders;
    DriveControl drives;
};

frmMain::frmMain(VirtualPCHost& host, SupportLibrary& support, FormView& view, FolderListing& folders)
    : state_(std::make_unique<State>(host, support, view, folders)) {}

frmMain::~frmMain() = default;

Status frmMain::Form_Load() {
    SupportLibrary& support = state_->support;
    FormView& view = state_->view;

    WindowHandle window{};
    OMB_ASSIGN_OR_RETURN(window, view.hWnd());
    OMB_RETURN_IF_FAILED(support.asCenterFormEx(window));
    OMB_RETURN_IF_FAILED(SetProgramIcon(support, [&] { return view.hWnd(); }));
    OMB_RETURN_IF_FAILED(support.asFixUserControlsContainerWindow());
    return FillMachineList();
}

// Closing is never refused, and the window releases nothing itself.
void frmMain::Form_Unload() {}

Status frmMain::Form_KeyDown(std::int16_t keyCode, std::int16_t shift) {
    SupportLibrary& support = state_->support;
    if (keyCode == kKeyF1 && shift == kShiftShift) {
        AboutBox* about = nullptr;
        OMB_ASSIGN_OR_RETURN(about, support.About());
        WindowHandle owner{};
        OMB_ASSIGN_OR_RETURN(owner, state_->view.hWnd());
        if (about == nullptr) return NoObjectFailure(L"AboutBox");
        return about->ShowAbout(owner, support.App(), L"", nullptr, app_texts::kDedication);
    }
    if (keyCode == kKeyF1 && shift == kShiftNone) return support.esOpenReadMeFile(0);
    if (keyCode == kKeyEscape && shift == kShiftNone) return state_->view.Unload();
    // The next disk of a numbered set, or the previous one: the attach command, without
    // its box, so that a swap is one key press.
    if (keyCode == kKeyF3 && (shift == kShiftNone || shift == kShiftShift))
        state_->drives.AttachNeighbour(shift == kShiftNone ? Neighbour::Next : Neighbour::Previous, state_->folders);
    return Ok();
}

void frmMain::cboVMName_Click() { state_->drives.FillDriveList(); }

void frmMain::cboFloppyDrives_Click() { state_->drives.RefreshDriveStatus(); }

void frmMain::cmdDetach_Click() { state_->drives.Detach(); }

void frmMain::cmdAttachImage_Click() {
    state_->drives.Attach([this] { return GetOpenFileName(); });
}

bool frmMain::Form_OLEDragOver() { return state_->drives.HasChosenDrive(); }

void frmMain::Form_OLEDragDrop(const std::vector<DroppedFile>& files) {
    if (files.empty()) return;
    MessageBoxes& boxes = state_->support.Boxes();
    // A box that cannot be shown changes nothing: nothing is attached either way.
    if (files.size() > 1) {
        (void)boxes.Show(app_texts::kDropSeveralFiles, kStyleInformation);
        return;
    }
    if (files[0].folder) {
        (void)boxes.Show(files[0].path + kParagraph + app_texts::kDropFolder, kStyleInformation);
        return;
    }
    // The path takes the dialog's place, and is remembered where the dialog would remember it.
    const std::wstring path = files[0].path;
    state_->drives.Attach([this, path]() -> Result<std::wstring> {
        RememberImageFolder(state_->support, path);
        return path;
    });
}

// A failing menu is told to the user; the window goes on working.
void frmMain::cmdImageMenu_Click() {
    if (Status shown = ShowImageMenu(state_->view); !shown.ok())
        ReportImageMenuFailure(state_->support, shown.failure());
}

// A failing file dialog behind an item is told to the user; the window goes on working.
void frmMain::mnuImage_Click(std::int16_t index) {
    Status done;
    switch (ImageMenuCommand(index)) {
    case ImageCommand::Check: done = CheckImageFile(); break;
    case ImageCommand::CreateHighDensity: done = CreateImageFile(kHighDensity); break;
    case ImageCommand::CreateLowDensity: done = CreateImageFile(kLowDensity); break;
    case ImageCommand::None: break;
    }
    if (!done.ok()) ReportFileDialogFailure(state_->support, done.failure());
}

Status frmMain::FillMachineList() { return state_->drives.FillMachineList(); }

void frmMain::FillDriveList() { state_->drives.FillDriveList(); }

void frmMain::RefreshDriveStatus() { state_->drives.RefreshDriveStatus(); }

Result<std::wstring> frmMain::GetOpenFileName() { return AskOpenImagePath(state_->support); }

Result<std::wstring> frmMain::GetSaveFileName() { return AskSaveImagePath(state_->support); }

Status frmMain::CheckImageFile() {
    return ::ombrevale::CheckImageFile(state_->host, state_->support, [this] { return GetOpenFileName(); });
}

Status frmMain::CreateImageFile(std::int32_t density) {
    return ::ombrevale::CreateImageFile(
        state_->host, state_->support, [this] { return GetSaveFileName(); }, density);
}

}  // namespace ombrevale
