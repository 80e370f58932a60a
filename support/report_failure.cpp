#include "support/support.h"

namespace ombrevale {

void ReportFailure(SupportLibrary& support, const Failure& failure, const std::wstring& message) {
    auto reporter = support.Reporter();
    if (!reporter.ok()) return;
    (void)reporter->get().ReportError(failure, kStyleCritical, 0, message, false);
}

}  // namespace ombrevale
