// The bridge as the server runs it: WMI, the system's files, this computer's Windows, and
// the hosts file where kHostsFile places it. Implemented for Windows (and so for Wine) only.
#pragma once

#include <memory>
#include <string>

#include "base/result.h"
#include "hostcore/files.h"
#include "hypervhost/hyperv.h"
#include "hypervhost/hyperv_backend.h"

namespace ombrevale::hypervhost {

// root\virtualization\v2 of each host through WMI's locator.
std::shared_ptr<HyperVNetwork> SystemHyperVNetwork();

// The bridge over all of the above; fails only when no hosts file location is found.
Result<std::unique_ptr<HyperVBackend>> OpenHyperVBridge(BridgeTimeouts timeouts = {});

}  // namespace ombrevale::hypervhost
