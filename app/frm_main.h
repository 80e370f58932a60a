// frmMain: the main window's handlers and private procedures, free of Win32. The shell
// (frm_main_win32.cpp) turns window messages into these calls and offers the controls
// through FormView.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/form_view.h"
#include "automation/automation.h"
#include "base/result.h"
#include "support/folder_listing.h"
#include "support/support.h"

namespace ombrevale {

// A file dropped on the window.
struct DroppedFile {
    std::wstring path;
    bool folder = false;
};

class frmMain {
public:
    // `folders` lists an image's folder for the next-disk keys.
    frmMain(VirtualPCHost& host, SupportLibrary& support, FormView& view, FolderListing& folders);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Events. Those that answer Status are unguarded: a failure passes to the shell. The
    // others deal with every failure themselves.
    Status Form_Load();
    void Form_Unload();
    // keyCode is the virtual-key code, shift the bits 1 Shift, 2 Ctrl, 4 Alt.
    Status Form_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void cboVMName_Click();
    void cboFloppyDrives_Click();
    void cmdDetach_Click();
    void cmdAttachImage_Click();
    // Files dragged over the window: whether a drop would be taken (a drive is chosen).
    bool Form_OLEDragOver();
    // Files dropped on the window: one image file is attached as the attach button
    // attaches the file the user picks; anything else is told in a box.
    void Form_OLEDragDrop(const std::vector<DroppedFile>& files);
    void cmdImageMenu_Click();
    void mnuImage_Click(std::int16_t index);

    // Operations the window offers to its own handlers.
    Status FillMachineList();
    void FillDriveList();
    void RefreshDriveStatus();
    Result<std::wstring> GetOpenFileName();
    Result<std::wstring> GetSaveFileName();
    Status CheckImageFile();
    Status CreateImageFile(std::int32_t density);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace ombrevale
