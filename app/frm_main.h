// frmMain: the main window's handlers and private procedures, free of Win32. The shell
// (frm_main_win32.cpp) turns window messages into these calls and offers the controls
// through FormView.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/form_view.h"
#include "automation/automation.h"
#include "base/result.h"
#include "support/support.h"

namespace ombrevale {

class frmMain {
public:
    frmMain(VirtualPCHost& host, SupportLibrary& support, FormView& view);
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
