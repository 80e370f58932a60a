#include "app/mod_main.h"

#include "app/texts.h"

namespace ombrevale {

Result<StartupOutcome> Main(SupportLibrary& support, StartupPlatform& platform,
                            std::unique_ptr<VirtualPCHost>& host) {
    RETURN_IF_FAILED(support.esRegisterAppPath());
    platform.InitCommonControls();
    ASSIGN_OR_RETURN(bool inIDE, support.esIsInIDE());
    if (!inIDE) {
        ASSIGN_OR_RETURN(WindowHandle applicationWindow, support.esGetThunderMainHandle());
        RETURN_IF_FAILED(support.asSetWindowResIconAll(applicationWindow, app_texts::kIconResource));
    }

    // Creating the host is the one step whose failure the program expects: Virtual PC
    // may simply not be installed.
    Guard guard;
    auto created = guard.step(platform.CreateVirtualPC());
    if (created && !*created)
        guard.step(Status(Failure{static_cast<std::int32_t>(0x80004003u), L"Не создан объект: VirtualPC."}));
    if (guard.failed()) {
        // Failures of the reporter itself leave nothing more to show; the program ends.
        if (auto reporter = support.Reporter(); reporter.ok() && *reporter != nullptr)
            (void)(*reporter)->ReportError(guard.failure(), kStyleCritical, 0, app_texts::kCreateVirtualPCFailed,
                                           false);
        return StartupOutcome::Ended;
    }
    host = std::move(*created);

    RETURN_IF_FAILED(platform.ShowMainWindow(*host));
    return StartupOutcome::Running;
}

}  // namespace ombrevale
