#include "app/mod_main.h"

#include "app/texts.h"

namespace ombrevale {

Result<StartupOutcome> Main(SupportLibrary& support, StartupPlatform& platform, std::unique_ptr<VirtualPCHost>& host) {
    OMB_RETURN_IF_FAILED(support.esRegisterAppPath());
    platform.InitCommonControls();
    OMB_RETURN_IF_FAILED(SetProgramIcon(support, [&] { return support.esGetThunderMainHandle(); }));

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
