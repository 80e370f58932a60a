// The program's entry point: COM on the window thread, the support library, then Main.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/frm_main_win32.h"
#include "app/mod_main.h"
#include "app/server_call_filter_win32.h"
#include "app/texts.h"
#include "automation/automation_win32.h"
#include "base/owners_win32.h"
#include "support/support_win32.h"

namespace ombrevale {
namespace {

class Win32Startup final : public StartupPlatform {
public:
    Win32Startup(HINSTANCE instance, SupportLibrary& support) : instance_(instance), support_(support) {}

    void InitCommonControls() override {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
    }

    Result<std::unique_ptr<VirtualPCHost>> CreateVirtualPC() override { return CreateVirtualPCHost(); }

    Status ShowMainWindow(VirtualPCHost& host) override {
        OMB_ASSIGN_OR_RETURN(window_, MainWindow::Create(instance_, host, support_));
        return window_->Show();
    }

    MainWindow* window() { return window_.get(); }
    void CloseWindow() { window_.reset(); }

private:
    HINSTANCE instance_;
    SupportLibrary& support_;
    std::unique_ptr<MainWindow> window_;
};

int Run(HINSTANCE instance) {
    ComApartment com;
    Win32SupportLibrary support(instance, OmbrevaleApplication());
    // A server that stops answering leaves the window painting and the user a choice.
    ServerCallFilter filter;
    if (const Status registered = filter.Register(); !registered) {
        ReportFailure(support, registered.failure(), app_texts::kUnhandledFailure);
        return 1;
    }
    Win32Startup platform(instance, support);
    std::unique_ptr<VirtualPCHost> host;

    const Result<StartupOutcome> outcome = Main(support, platform, host);
    if (!outcome.ok()) {
        // A failure Main does not trap ends the program, but never silently.
        ReportFailure(support, outcome.failure(), app_texts::kUnhandledFailure);
        platform.CloseWindow();
        return 1;
    }
    if (*outcome == StartupOutcome::Ended) return 1;

    int code = 1;
    if (MainWindow* window = platform.window()) code = RunMessageLoop(*window);
    // The window and its automation objects go first; the host object only after it.
    platform.CloseWindow();
    host.reset();
    return code;
}

}  // namespace
}  // namespace ombrevale

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return ombrevale::Run(instance);
    } catch (...) {
        // Nothing is left to report through: say it plainly rather than vanish.
        MessageBoxW(nullptr, ombrevale::app_texts::kUnhandledFailure, ombrevale::kApplicationTitle,
                    MB_OK | MB_ICONSTOP | MB_TASKMODAL);
        return 1;
    }
}
