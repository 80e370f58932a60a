// The main window as a Win32 shell: creates the controls from the layout table, lays them
// out at the window's DPI, turns messages into frmMain's events and offers the controls
// to them. It decides nothing itself.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/drop_target_win32.h"
#include "app/form_view.h"
#include "app/frm_main.h"
#include "app/layout.h"
#include "automation/automation.h"
#include "base/owners_win32.h"
#include "base/result.h"
#include "support/folder_listing_win32.h"
#include "support/dpi_win32.h"
#include "support/support.h"

namespace ombrevale {

class ComboList final : public ListControl {
public:
    void Attach(HWND combo, std::function<void()> click) {
        hwnd_ = combo;
        click_ = std::move(click);
    }
    HWND hwnd() const { return hwnd_; }
    void Clicked() {
        if (click_) click_();
    }

    Status Clear() override;
    Result<std::int16_t> Count() override;
    Result<std::int16_t> Position() override;
    Result<std::int16_t> Append(const std::wstring& text) override;
    Status Select(std::int16_t position) override;

private:
    HWND hwnd_ = nullptr;
    std::function<void()> click_;
};

class EditLine final : public TextLine {
public:
    void Attach(HWND edit) { hwnd_ = edit; }
    Status SetText(const std::wstring& text) override;

private:
    HWND hwnd_ = nullptr;
};

class MainWindow final : public FormView, private DropSite {
public:
    // Creates the window with its controls and menu, not yet shown and not yet loaded,
    // laid out at its DPI as `scaling` tells it.
    static Result<std::unique_ptr<MainWindow>> Create(HINSTANCE instance, VirtualPCHost& host, SupportLibrary& support,
                                                      dpi::Scaling scaling = {});
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Runs the load step, then makes the window visible with the focus on the first list.
    Status Show();

    HWND hwnd() const { return hwnd_; }
    HWND control(ControlId id) const;
    HMENU imageMenu() const { return imageMenu_; }
    unsigned dpi() const { return dpi_; }
    frmMain& form() { return *form_; }
    // Zero after a normal close; non-zero when a failure ended the program.
    int exitCode() const { return exitCode_; }
    // Whether files can be dropped on the window (OLE could be started for it).
    bool acceptsDrops() const { return dropTarget_ != nullptr; }

    // Key preview for the message loop: gives frmMain every key pressed in the window
    // before the focused control sees it. The key always goes on to that control.
    void PreviewKey(const MSG& msg);

    // FormView
    ListControl& cboVMName() override { return vmList_; }
    ListControl& cboFloppyDrives() override { return driveList_; }
    TextLine& txtStatus() override { return status_; }
    Result<WindowHandle> hWnd() override;
    Status Unload() override;
    Result<ButtonPlacement> cmdImageMenuPlacement() override;
    Status PopupMenu(std::int16_t element, float x, float y, std::int32_t flags) override;

private:
    MainWindow(HINSTANCE instance, VirtualPCHost& host, SupportLibrary& support, dpi::Scaling scaling);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    Status CreateControls();
    Status CreateMenus();
    // What a Windows user expects beyond the layout: files dropped from Explorer, and
    // names for screen readers. Neither is vital: without them the window works as ever.
    void RegisterDropTarget();
    void NameControls();
    // DropSite
    bool TakesDrop() override;
    bool Dropped(std::vector<DroppedFile> files) override;
    // Font, size and controls at `dpi`; at `suggested` where the system gave a place.
    void ApplyDpi(unsigned dpi, const RECT* suggested);
    void ApplyFont();
    void ApplyWindowSize(const RECT* suggested);
    void PlaceControl(const ControlLayout& control);
    void OnCommand(int id, int code);
    // Events run one at a time. A message that starts an event while another one runs (a
    // call to an out-of-process server pumps messages) is kept, and posted again once that
    // event ends: false then.
    bool BeginEvent(UINT message, WPARAM wParam, LPARAM lParam);
    void EndEvent();
    // A failure that reached the top of an event: reported, then the program ends.
    void Fatal(const Failure& failure);
    void Check(const Status& status) {
        if (!status.ok()) Fatal(status.failure());
    }

    HINSTANCE instance_;
    SupportLibrary& support_;
    dpi::Scaling scaling_;
    HWND hwnd_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    // Freed after the window and its controls, which use them until they are destroyed.
    UniqueFont font_;
    UniqueMenu mainMenu_;        // mnuMain: never attached as a menu bar
    HMENU imageMenu_ = nullptr;  // mnuImage, the submenu of mnuMain element 100, owned by mnuMain
    HWND lastFocus_ = nullptr;
    unsigned dpi_ = 96;
    int exitCode_ = 0;
    bool quitOnDestroy_ = true;
    bool inEvent_ = false;
    struct Deferred {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Deferred> deferred_;
    ComboList vmList_;
    ComboList driveList_;
    EditLine status_;
    Win32FolderListing folders_;
    // OLE for the drop target, from registering it to the end of the window.
    struct OleSession {
        HRESULT result = ::OleInitialize(nullptr);
        ~OleSession() {
            if (SUCCEEDED(result)) ::OleUninitialize();
        }
    };
    std::unique_ptr<OleSession> ole_;
    Microsoft::WRL::ComPtr<DropTarget> dropTarget_;
    // A drop taken and not yet run: it runs as an event of its own once the drop is over.
    std::optional<std::vector<DroppedFile>> pendingDrop_;
    std::unique_ptr<frmMain> form_;
};

// One message through key preview, the dialog manager (Tab, arrow keys, Enter on a
// button) and the window procedure.
void ProcessMessage(MainWindow& window, MSG& msg);

// Runs the window's messages until it is closed; answers the exit code.
int RunMessageLoop(MainWindow& window);

}  // namespace ombrevale
