// modMain: the start-up procedure, free of Win32.
#pragma once

#include <memory>

#include "automation/automation.h"
#include "base/result.h"
#include "support/support.h"

namespace ombrevale {

// What Main needs besides the support library.
class StartupPlatform {
public:
    virtual ~StartupPlatform() = default;
    virtual void InitCommonControls() = 0;
    // A new instance of the VirtualPC host class, asked for the host interface.
    virtual Result<std::unique_ptr<VirtualPCHost>> CreateVirtualPC() = 0;
    // Creates the one frmMain and shows it modeless (its load step runs first).
    virtual Status ShowMainWindow(VirtualPCHost& host) = 0;
};

enum class StartupOutcome {
    Running,  // the main window is shown; the program runs until it closes
    Ended,    // the host object could not be created; the failure has been reported
};

// The start-up procedure. `host` receives the VirtualPC host object, kept for the whole
// run. A failure it does not trap passes to the caller.
Result<StartupOutcome> Main(SupportLibrary& support, StartupPlatform& platform, std::unique_ptr<VirtualPCHost>& host);

}  // namespace ombrevale
