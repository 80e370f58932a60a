#include "app/mod_main.h"

#include "app/texts.h"
#include "support/application.h"

namespace ombrevale {

Result<StartupOutcome> Main(SupportLibrary& support, StartupPlatform& platform, std::unique_ptr<VirtualPCHost>& host) {
    OMB_RETURN_IF_FAILED(support.esRegisterAppPath());
    platform.InitCommonControls();
    bool inIDE{};
    OMB_ASSIGN_OR_RETURN(inIDE, support.esIsInIDE());
    if (!inIDE) {
        WindowHandle applicationWindow{};
        OMB_ASSIGN_OR_RETURN(applicationWindow, support.esGetThunderMainHandle());
        OMB_RETURN_IF_FAILED(support.asSetWindowResIconAll(applicationWindow, kIconResourceName));
    }

    // Creating the host is the one step whose failure the program expects: Virtual PC
    // may simply not be installed.
    Guard guard;
    auto created = guard.step(platform.CreateVirtualPC());
    if (created && !*created) guard.step(Status(NoObjectFailure(L"VirtualPC")));
    if (guard.failed()) {
        // Even when the report itself fails, the program ends.
        ReportFailure(support, guard.failure(), app_texts::kCreateVirtualPCFailed);
        return StartupOutcome::Ended;
    }
    host = std::move(*created);

    OMB_RETURN_IF_FAILED(platform.ShowMainWindow(*host));
    return StartupOutcome::Running;
}

}  // namespace ombrevale
