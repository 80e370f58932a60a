// The bridge as the server runs it: WMI, the system's files, this computer's Windows, and
// where the hosts file lives. Implemented for Windows (and so for Wine) only.
#pragma once

#include <memory>
#include <string>

#include "base/result.h"
#include "hostcore/files.h"
#include "hypervhost/hyperv.h"
#include "hypervhost/hyperv_backend.h"

namespace ombrevale::hypervhost {

// The environment variable that names another hosts file (tests use it).
inline constexpr wchar_t kHostsFileVariable[] = L"OMBREVALE_HYPERV_HOSTS";

// root\virtualization\v2 of each host through WMI's locator.
std::shared_ptr<HyperVNetwork> SystemHyperVNetwork();

// The file named by OMBREVALE_HYPERV_HOSTS, else "%APPDATA%\Ombrevale Hyper-V Bridge\hosts.txt".
Result<std::wstring> HostsFileLocation(hostcore::Files& files);

// The commented template in the user's own hosts file when none is there and no
// environment variable names another file. Best effort: without it the bridge serves this
// computer, as with the template.
void OfferHostsFileTemplate();

// The bridge over all of the above; fails only when no hosts file location is found.
Result<std::unique_ptr<HyperVBackend>> OpenHyperVBridge(BridgeTimeouts timeouts = {});

}  // namespace ombrevale::hypervhost
