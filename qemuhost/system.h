// The bridge as the server runs it: the system's sockets, files and path mapping, and the
// machines file where kMachinesFile places it. Implemented for Windows (and so for Wine) only.
#pragma once

#include <memory>
#include <string>

#include "base/result.h"
#include "hostcore/files.h"
#include "qemuhost/paths.h"
#include "qemuhost/qemu_backend.h"
#include "qemuhost/qmp.h"

namespace ombrevale::qemuhost {

// Winsock TCP connections.
std::shared_ptr<Connector> SystemConnector();
// Wine's own mapping between Windows and Unix paths when running under Wine; otherwise
// paths pass unchanged (QEMU for Windows opens Windows paths).
std::shared_ptr<PathMapper> SystemPathMapper();

// The bridge over all of the above; fails only when no machines file location is found.
Result<std::unique_ptr<QemuBackend>> OpenQemuBridge(BridgeTimeouts timeouts = {});

}  // namespace ombrevale::qemuhost
