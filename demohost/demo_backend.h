// The demo server's machines, for the COM objects that every client shares: the demo
// host over its inventory file, opened when the first client comes. A hand edit of the
// file while the server runs is read in at the next call (a malformed one fails every
// call, naming the line, until it is mended), and a change asked for meanwhile is refused
// rather than written over it.
#pragma once

#include <memory>
#include <string>

#include "demohost/demo_host.h"
#include "hostcore/backend.h"

namespace ombrevale::demohost {

class DemoBackend final : public hostcore::Backend {
public:
    DemoBackend(std::shared_ptr<hostcore::Files> files, HostLocation location);

    std::wstring SourcePath() override;

    Result<std::size_t> MachineCount() override;
    Result<std::wstring> MachineName(std::size_t machine) override;
    Result<std::size_t> DriveCount(std::size_t machine) override;
    Result<hostcore::DriveState> Drive(std::size_t machine, std::size_t drive) override;

    Status AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) override;
    Status AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter) override;
    Status ReleaseImage(std::size_t machine, std::size_t drive) override;
    Status ReleaseHostDrive(std::size_t machine, std::size_t drive) override;

    Result<std::int32_t> GetFloppyImageType(const std::wstring& path) override;
    Status CreateFloppyImage(const std::wstring& path, std::int32_t density) override;

private:
    Result<DemoHost*> Host();
    // After a change the host saved: the file as it is now is the host's own.
    Status Saved(Status change);
    Result<const MachineEntry*> Machine(std::size_t machine);

    std::shared_ptr<hostcore::Files> files_;
    HostLocation location_;
    std::shared_ptr<DemoHost> host_;
    hostcore::FileStamp stamp_;  // of the inventory as the host read or wrote it last
};

}  // namespace ombrevale::demohost
