// The QEMU bridge's machines and drives: the machines file names running QEMU machines
// and their QMP monitors; each call asks the machine itself, over a connection of its
// own that is closed before the call returns, so that the user's own QMP tools can get in
// between calls. Nothing about a machine is remembered from one call to the next.
//
// Not thread-safe: one call at a time (the COM server serialises them).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostcore/backend.h"
#include "hostcore/files.h"
#include "hostcore/image_files.h"
#include "qemuhost/machines_file.h"
#include "qemuhost/paths.h"
#include "qemuhost/qmp.h"

namespace ombrevale::qemuhost {

// Every call ends well inside the few seconds after which a client tells its user that the
// server does not answer. A QMP monitor on loopback answers in milliseconds, and a refused
// connection fails at once, except on Windows before 8, which tries again for about two
// seconds (hence `connect`); only a monitor that another client holds uses up `operation`.
struct BridgeTimeouts {
    Milliseconds connect{2000};    // to make the connection
    Milliseconds operation{2500};  // everything that one call says to one machine
    Milliseconds name{1000};       // a name falls back to the label, so it is not waited for long
};

struct BridgeParts {
    std::shared_ptr<hostcore::Files> files;
    std::shared_ptr<PathMapper> paths;
    std::shared_ptr<Connector> connector;
    std::wstring machinesFile;  // a full path
    BridgeTimeouts timeouts;
    std::function<std::uint32_t()> volumeSerial;  // for created images; the clock when empty
    Clock clock;                                  // steady_clock when empty
};

class QemuBackend final : public hostcore::Backend {
public:
    explicit QemuBackend(BridgeParts parts);

    std::wstring SourcePath() override { return parts_.machinesFile; }

    Result<std::size_t> MachineCount() override;
    // QEMU's own name for the machine (its -name), else the label; never fails for a machine
    // that does not answer, so that listing machines survives one QEMU being down.
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
    // What a floppy drive holds, as QEMU names it.
    struct Medium {
        std::string file;
        bool hostDevice = false;
    };
    struct Floppy {
        std::string qdev;  // the device's id or QOM path, which commands address it by
        std::int32_t unit = 0;
        std::optional<Medium> medium;
    };
    struct Conversation {
        MachineEntry machine;
        std::unique_ptr<QmpSession> session;
        std::vector<Floppy> floppies;
    };
    // A file that a drive might hold, with what identifies it.
    struct Target {
        std::wstring path;
        std::optional<std::string> qemuPath;
        hostcore::FileId id;
    };

    Result<std::vector<MachineEntry>> Machines();
    Result<MachineEntry> MachineAt(std::size_t machine);
    Result<std::unique_ptr<QmpSession>> Connect(const MachineEntry& machine, Milliseconds budget);
    Result<std::vector<Floppy>> ReadFloppies(const MachineEntry& machine, QmpSession& session);
    Result<Conversation> Converse(std::size_t machine);
    Result<Floppy*> FloppyAt(Conversation& conversation, std::size_t drive);
    Failure Worded(const MachineEntry& machine, const Failure& failure) const;

    // The file that the drive holds now, if any.
    Result<std::optional<std::string>> FileIn(const Conversation& conversation, const Floppy& floppy);
    Status RefuseIfHolding(const Conversation& conversation, const Floppy& floppy);
    Status Change(Conversation& conversation, const Floppy& floppy, const std::string& file, bool readOnly,
                  const std::wstring& medium);
    Status Eject(Conversation& conversation, const Floppy& floppy);

    hostcore::DriveState StateOf(const Floppy& floppy);
    std::wstring WindowsPath(const std::string& qemuPath);
    bool Holds(const Medium& medium, const Target& target);

    BridgeParts parts_;
    hostcore::ImageFiles images_;
    hostcore::UserList<MachineEntry> machines_{kMachinesFile, ParseMachinesFile};
};

}  // namespace ombrevale::qemuhost
