// The bridge as the server runs it: the system's sockets, files and path mapping, and
// where the machines file lives. Implemented for Windows (and so for Wine) only.
#pragma once

#include <memory>
#include <string>

#include "base/result.h"
#include "hostcore/files.h"
#include "qemuhost/paths.h"
#include "qemuhost/qemu_backend.h"
#include "qemuhost/qmp.h"

namespace ombrevale::qemuhost {

// The environment variable that names another machines file (tests use it).
inline constexpr wchar_t kMachinesFileVariable[] = L"OMBREVALE_QEMU_MACHINES";

// Winsock TCP connections.
std::shared_ptr<Connector> SystemConnector();
// Wine's own mapping between Windows and Unix paths when running under Wine; otherwise
// paths pass unchanged (QEMU for Windows opens Windows paths).
std::shared_ptr<PathMapper> SystemPathMapper();

// The file named by OMBREVALE_QEMU_MACHINES, else "%APPDATA%\Ombrevale QEMU Bridge\machines.txt".
Result<std::wstring> MachinesFileLocation(hostcore::Files& files);

// Writes the commented template (MachinesFileTemplate) at `path` when no file is there,
// making its folder, so that a user finds the format where the file belongs. Whatever is
// at `path` already is left alone.
Status WriteMachinesFileTemplate(hostcore::Files& files, const std::wstring& path);
// The template in the user's own machines file, when no environment variable names another
// file (a file named for tests stays as its test made it). Best effort: without it the
// bridge serves no machines, as with the template.
void OfferMachinesFileTemplate();

// The bridge over all of the above; fails only when no machines file location is found.
Result<std::unique_ptr<QemuBackend>> OpenQemuBridge(BridgeTimeouts timeouts = {});

}  // namespace ombrevale::qemuhost
