// The Hyper-V bridge's machines and drives: the virtual machines of this computer and of
// the hosts that the hosts file lists, each call asking Hyper-V afresh, over WMI
// (hyperv.h). A machine keeps its place in the list for as long as the bridge runs, so
// that a client holding it never reaches another machine: machines that appear later come
// at the end, and one that was deleted stays in place and says so when it is used.
//
// Not thread-safe: one call at a time (the COM server serialises them).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostcore/backend.h"
#include "hostcore/files.h"
#include "hostcore/image_files.h"
#include "hypervhost/hosts_file.h"
#include "hypervhost/hyperv.h"

namespace ombrevale::hypervhost {

// Every call ends well inside the five seconds after which a client tells its user that
// the server does not answer.
struct BridgeTimeouts {
    Milliseconds call{3500};     // all that one call asks of its host, the job included
    Milliseconds listing{2500};  // the machines of every host, asked at once
    Milliseconds readBack{500};  // kept from a job's wait to read the drive back
    Milliseconds poll{100};      // between looks at a running job
};

struct BridgeParts {
    std::shared_ptr<hostcore::Files> files;
    std::shared_ptr<HyperVNetwork> network;
    std::wstring hostsFile;  // a full path
    // This computer's Windows: root\virtualization\v2 came with Windows 8 (6.2).
    unsigned windowsMajor = 10, windowsMinor = 0;
    BridgeTimeouts timeouts;
    std::function<std::uint32_t()> volumeSerial;  // for created images; the clock when empty
    std::function<Clock::time_point()> clock;     // steady_clock when empty
    std::function<void(Milliseconds)> sleep;      // waits between looks at a job
};

class HyperVBackend final : public hostcore::Backend {
public:
    explicit HyperVBackend(BridgeParts parts);

    std::wstring SourcePath() override { return parts_.hostsFile; }

    // Asks every host for its machines. A host that fails is listed as one entry that says
    // why, unless no host answers at all: then the call fails with the reason.
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
    // A place in the list: a machine, or a host that failed when the list was made.
    struct Entry {
        std::wstring host;  // "" for this computer
        std::wstring id;    // the machine's GUID; empty for a host that failed
        std::wstring name;  // as listed
        Failure failure;    // why the host failed
    };
    struct Machine {
        const Entry* entry;
        std::shared_ptr<HyperVHost> host;
        MachineSettings settings;
    };

    Result<std::vector<std::wstring>> Hosts();
    bool LocalHasHyperV() const;
    // The hosts to ask: this computer only where it can have Hyper-V.
    std::vector<std::wstring> HostsToAsk(const std::vector<std::wstring>& hosts) const;
    Failure Worded(const std::wstring& host, const Failure& failure) const;
    Deadline After(Milliseconds span) const { return parts_.clock() + span; }

    Result<const Entry*> EntryAt(std::size_t machine) const;
    Result<Machine> Read(std::size_t machine, Deadline deadline);
    Status CheckDrive(const Machine& machine, std::size_t drive) const;
    Status Finish(const Machine& machine, const Result<MethodOutcome>& outcome, const std::wstring& change,
                  Deadline deadline);
    Status ReadBack(const Machine& machine, const std::wstring& expected, const std::wstring& change,
                    Deadline deadline);
    std::wstring NameOf(const std::wstring& host, const std::wstring& id) const;

    BridgeParts parts_;
    hostcore::ImageFiles images_;
    std::vector<Entry> roster_;
    hostcore::UserList<HostEntry> hosts_{kHostsFile, ParseHostsFile};
};

}  // namespace ombrevale::hypervhost
