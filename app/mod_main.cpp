#include "app/mod_main.h"

#include "app/texts.h"
#include "support/application.h"

namespace ombrevale {

Result<StartupOutcome> Main(SupportLibrary& support, StartupPlatform& platform, std::unique_ptr<VirtualPCHost>& host) {
    RETURN_IF_FAILED(support.esRegisterAppPath());
    platform.InitCommonControls();
    ASSIGN_OR_RETURN(bool inIDE, support.esIsInIDE());
    if (!inIDE) {
        ASSIGN_OR_RETURN(WindowHandle applicationWindow, support.esGetThunderMainHandle());
        RETURN_IF_FAILED(support.asSetWindowResIconAll(applicationWindow, kIconResourceName));
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

    RETURN_IF_FAILED(platform.ShowMainWindow(*host));
    return StartupOutcome::Running;
}

}  // namespace ombrevale
