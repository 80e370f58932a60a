#include "support/application.h"
#include "support/support.h"

namespace ombrevale {

Status SetProgramIcon(SupportLibrary& support, const std::function<Result<WindowHandle>()>& window) {
    bool inIDE{};
    OMB_ASSIGN_OR_RETURN(inIDE, support.esIsInIDE());
    if (inIDE) return Ok();
    WindowHandle handle{};
    OMB_ASSIGN_OR_RETURN(handle, window());
    return support.asSetWindowResIconAll(handle, kIconResourceName);
}

}  // namespace ombrevale
