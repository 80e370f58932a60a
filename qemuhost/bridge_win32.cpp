// The bridge put together from the system's parts.
#include <string>

#include "hostcore/user_file.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {

Result<std::unique_ptr<QemuBackend>> OpenQemuBridge(BridgeTimeouts timeouts) {
    auto files = hostcore::SystemFiles();
    std::wstring machinesFile;
    OMB_ASSIGN_OR_RETURN(machinesFile, hostcore::UserFileLocation(*files, kMachinesFile));
    BridgeParts parts;
    parts.files = files;
    parts.paths = SystemPathMapper();
    parts.connector = SystemConnector();
    parts.machinesFile = std::move(machinesFile);
    parts.timeouts = timeouts;
    return std::make_unique<QemuBackend>(std::move(parts));
}

}  // namespace ombrevale::qemuhost
