#include "qemuhost/qemu_backend.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "hostcore/floppy_image.h"
#include "hostcore/image_files.h"
#include "hostcore/texts.h"
#include "hostcore/utf8.h"
#include "qemuhost/errors.h"
#include "qemuhost/messages.h"

namespace ombrevale::qemuhost {
namespace {

using hostcore::DriveState;
using hostcore::kInvalidArgument;
using hostcore::ServerText;

// QEMU is given paths in UTF-8, which has no place for a lone surrogate: U+FFFD in its
// place would name another file.
Status RefuseLoneSurrogate(const std::wstring& path) {
    if (hostcore::HasLoneSurrogate(path)) return Failure{kInvalidArgument, ServerText::LoneSurrogatePath(path)};
    return Ok();
}

const std::string* StringMember(const Json& object, std::string_view key) {
    const Json* member = object.Find(key);
    return member ? member->AsString() : nullptr;
}

// Protocol drivers of host devices, as QEMU names them (host_floppy in old versions).
bool IsHostDeviceDriver(const std::string* driver) {
    return driver && (*driver == "host_device" || *driver == "host_floppy" || *driver == "host_cdrom");
}

// The host drive letter a floppy device names: /dev/fd0 and /dev/fd1 on Linux, \\.\A: and
// \\.\B: on Windows. 0 for any other device.
wchar_t FloppyLetterOf(const std::string& device) {
    if (device == "/dev/fd0") return L'A';
    if (device == "/dev/fd1") return L'B';
    if (device.size() == 6 && device.compare(0, 4, "\\\\.\\") == 0 && device[5] == ':') {
        const char letter = device[4];
        if (letter == 'A' || letter == 'a') return L'A';
        if (letter == 'B' || letter == 'b') return L'B';
    }
    return 0;
}

}  // namespace

QemuBackend::QemuBackend(BridgeParts parts) : parts_(std::move(parts)), images_(parts_.files, parts_.volumeSerial) {
    if (!parts_.clock) parts_.clock = [] { return std::chrono::steady_clock::now(); };
}

// No file yet: no machines, until the user lists some.
Result<std::vector<MachineEntry>> QemuBackend::Machines() { return machines_.Read(*parts_.files, parts_.machinesFile); }

Result<MachineEntry> QemuBackend::MachineAt(std::size_t machine) {
    std::vector<MachineEntry> machines;
    OMB_ASSIGN_OR_RETURN(machines, Machines());
    if (machine >= machines.size())
        return Failure{kNoSuchPosition, BridgeText::NoSuchMachine(machine, machines.size(), parts_.machinesFile)};
    return machines[machine];
}

Failure QemuBackend::Worded(const MachineEntry& machine, const Failure& failure) const {
    const std::wstring address = machine.address.Text();
    switch (failure.number) {
    case kMachineUnreachable: return {failure.number, BridgeText::Unreachable(machine.label, address)};
    case kMachineNotAnswering: return {failure.number, BridgeText::NotAnswering(machine.label, address)};
    case kConnectionLost: return {failure.number, BridgeText::ConnectionLost(machine.label, address)};
    case kQemuRefused: return {failure.number, BridgeText::QemuRefused(machine.label, address, failure.description)};
    default: return {failure.number, BridgeText::NotQmp(machine.label, address, failure.description)};
    }
}

Result<std::unique_ptr<QmpSession>> QemuBackend::Connect(const MachineEntry& machine, Milliseconds budget) {
    auto session = QmpSession::Open(*parts_.connector, machine.address, parts_.clock() + budget,
                                    parts_.timeouts.connect, parts_.clock);
    if (!session) return Worded(machine, session.failure());
    return session;
}

Result<std::vector<QemuBackend::Floppy>> QemuBackend::ReadFloppies(const MachineEntry& machine, QmpSession& session) {
    auto blocks = session.Execute("query-block");
    if (!blocks) return Worded(machine, blocks.failure());
    const std::vector<Json>* list = blocks->AsArray();
    if (!list) return Worded(machine, Failure{kNotQmp, QmpText::Unexpected(L"query-block")});

    std::vector<Floppy> floppies;
    // A medium that is a regular file here is no host device: the node list, slow to ask for
    // when a disk has a long snapshot chain, is asked only about the others.
    bool mayBeDevice = false;
    const auto regularFile = [this](const std::string& qemuPath) {
        const auto path = parts_.paths->ToWindows(qemuPath);
        if (!path) return false;
        const auto facts = parts_.files->Examine(*path);
        return facts && facts->kind == hostcore::PathKind::File;
    };
    for (const Json& block : *list) {
        // Floppy drives are removable; asking the others' type would only cost time.
        const std::string* qdev = StringMember(block, "qdev");
        const Json* removable = block.Find("removable");
        if (!qdev || !removable || removable->AsBool() != true) continue;
        auto type = session.Execute("qom-get",
                                    Json::Object({{"path", Json::String(*qdev)}, {"property", Json::String("type")}}));
        if (!type) return Worded(machine, type.failure());
        if (!type->AsString() || *type->AsString() != "floppy") continue;
        auto unit = session.Execute("qom-get",
                                    Json::Object({{"path", Json::String(*qdev)}, {"property", Json::String("unit")}}));
        if (!unit) return Worded(machine, unit.failure());
        const auto number = unit->AsInteger();
        if (!number || *number < 0 || *number > 0x7FFFFFFF)
            return Worded(machine, Failure{kNotQmp, QmpText::Unexpected(L"qom-get unit")});

        Floppy floppy{*qdev, static_cast<std::int32_t>(*number), std::nullopt};
        if (const Json* inserted = block.Find("inserted")) {
            const std::string* file = StringMember(*inserted, "file");
            if (!file) return Worded(machine, Failure{kNotQmp, QmpText::Unexpected(L"query-block")});
            floppy.medium = Medium{*file, IsHostDeviceDriver(StringMember(*inserted, "drv"))};
            if (!floppy.medium->hostDevice && !regularFile(*file)) mayBeDevice = true;
        }
        floppies.push_back(std::move(floppy));
    }

    // The format layer (raw) hides the protocol; the node list shows which media are host
    // devices.
    if (mayBeDevice) {
        // "flat" (QEMU 5.0 and later) leaves out every node's backing chain, which would make
        // the reply grow with the square of a long snapshot chain.
        auto nodes = session.Execute("query-named-block-nodes", Json::Object({{"flat", Json::Bool(true)}}));
        if (!nodes && nodes.failure().number == kQemuRefused) nodes = session.Execute("query-named-block-nodes");
        if (!nodes && nodes.failure().number != kQemuRefused) return Worded(machine, nodes.failure());
        const std::vector<Json>* nodeList = nodes ? nodes->AsArray() : nullptr;
        for (const Json& node : nodeList ? *nodeList : std::vector<Json>{}) {
            const std::string* file = StringMember(node, "file");
            if (!file || !IsHostDeviceDriver(StringMember(node, "drv"))) continue;
            for (Floppy& floppy : floppies) {
                if (floppy.medium && floppy.medium->file == *file) floppy.medium->hostDevice = true;
            }
        }
    }
    std::stable_sort(floppies.begin(), floppies.end(),
                     [](const Floppy& a, const Floppy& b) { return a.unit < b.unit; });
    return floppies;
}

Result<QemuBackend::Conversation> QemuBackend::Converse(std::size_t machine) {
    MachineEntry entry;
    OMB_ASSIGN_OR_RETURN(entry, MachineAt(machine));
    std::unique_ptr<QmpSession> session;
    OMB_ASSIGN_OR_RETURN(session, Connect(entry, parts_.timeouts.operation));
    std::vector<Floppy> floppies;
    OMB_ASSIGN_OR_RETURN(floppies, ReadFloppies(entry, *session));
    return Conversation{std::move(entry), std::move(session), std::move(floppies)};
}

Result<QemuBackend::Floppy*> QemuBackend::FloppyAt(Conversation& conversation, std::size_t drive) {
    if (drive >= conversation.floppies.size())
        return Failure{kNoSuchPosition,
                       BridgeText::NoSuchDrive(drive, conversation.floppies.size(), conversation.machine.label)};
    return &conversation.floppies[drive];
}

std::wstring QemuBackend::WindowsPath(const std::string& qemuPath) {
    if (auto path = parts_.paths->ToWindows(qemuPath)) return *path;
    return TextFromQemu(qemuPath);
}

DriveState QemuBackend::StateOf(const Floppy& floppy) {
    DriveState state;
    state.number = floppy.unit;
    if (!floppy.medium) return state;
    if (floppy.medium->hostDevice) {
        // A host floppy device names its letter; any other host device is told by the unit.
        wchar_t letter = FloppyLetterOf(floppy.medium->file);
        if (letter == 0) letter = floppy.unit == 0 ? L'A' : L'B';
        state.attachment = 2;
        state.hostDriveLetter = std::wstring{letter, L':'};
    } else {
        state.attachment = 1;
        state.imagePath = WindowsPath(floppy.medium->file);
    }
    return state;
}

bool QemuBackend::Holds(const Medium& medium, const Target& target) {
    if (medium.hostDevice) return false;
    if (target.qemuPath && medium.file == *target.qemuPath) return true;
    // Under another name, the same file: a link, another drive letter for the folder.
    const auto held = parts_.paths->ToWindows(medium.file);
    return held && parts_.files->Identify(*held) == target.id;
}

Result<std::optional<std::string>> QemuBackend::FileIn(const Conversation& conversation, const Floppy& floppy) {
    // The drive is known by its device now: query-block alone tells what it holds.
    auto blocks = conversation.session->Execute("query-block");
    if (!blocks) return Worded(conversation.machine, blocks.failure());
    const std::vector<Json>* list = blocks->AsArray();
    if (!list) return Worded(conversation.machine, Failure{kNotQmp, QmpText::Unexpected(L"query-block")});
    for (const Json& block : *list) {
        const std::string* qdev = StringMember(block, "qdev");
        if (!qdev || *qdev != floppy.qdev) continue;
        const Json* inserted = block.Find("inserted");
        const std::string* file = inserted ? StringMember(*inserted, "file") : nullptr;
        if (file) return std::optional<std::string>(*file);
        break;
    }
    return std::optional<std::string>();
}

Status QemuBackend::RefuseIfHolding(const Conversation& conversation, const Floppy& floppy) {
    if (!floppy.medium) return Ok();
    const DriveState state = StateOf(floppy);
    if (state.attachment == 2)
        return Failure{hostcore::kDriveNotEmpty,
                       ServerText::DriveHoldsHostDrive(floppy.unit, conversation.machine.label, state.hostDriveLetter)};
    return Failure{hostcore::kDriveNotEmpty,
                   ServerText::DriveHoldsImage(floppy.unit, conversation.machine.label, state.imagePath)};
}

Status QemuBackend::Change(Conversation& conversation, const Floppy& floppy, const std::string& file, bool readOnly,
                           const std::wstring& medium) {
    // The read-only mode is always written out: left out, QEMU keeps the previous medium's.
    Json arguments = Json::Object({{"id", Json::String(floppy.qdev)},
                                   {"filename", Json::String(file)},
                                   {"format", Json::String("raw")},
                                   {"read-only-mode", Json::String(readOnly ? "read-only" : "read-write")}});
    auto changed = conversation.session->Execute("blockdev-change-medium", std::move(arguments));
    if (!changed && changed.failure().number != kQemuRefused) return Worded(conversation.machine, changed.failure());

    // QEMU may leave the drive empty, or holding something else, whatever it answered: what
    // the drive holds now decides.
    std::optional<std::string> now;
    OMB_ASSIGN_OR_RETURN(now, FileIn(conversation, floppy));
    if (now == file) return Ok();
    const std::wstring& label = conversation.machine.label;
    if (!changed)
        return Failure{kMediumNotTaken,
                       BridgeText::MediumNotTaken(medium, floppy.unit, label, changed.failure().description)};
    std::wstring found;
    if (now) {
        const wchar_t letter = FloppyLetterOf(*now);
        found = letter ? BridgeText::HostDriveMedium(std::wstring{letter, L':'})
                       : BridgeText::ImageMedium(WindowsPath(*now));
    }
    return Failure{kMediumNotTaken, BridgeText::MediumNotTakenSilently(medium, floppy.unit, label, found)};
}

Status QemuBackend::Eject(Conversation& conversation, const Floppy& floppy) {
    auto ejected = conversation.session->Execute("eject", Json::Object({{"id", Json::String(floppy.qdev)}}));
    if (!ejected && ejected.failure().number != kQemuRefused) return Worded(conversation.machine, ejected.failure());
    std::optional<std::string> now;
    OMB_ASSIGN_OR_RETURN(now, FileIn(conversation, floppy));
    if (!now) return Ok();
    return Failure{kMediumNotTaken, BridgeText::NotEjected(floppy.unit, conversation.machine.label,
                                                           ejected ? std::wstring() : ejected.failure().description)};
}

Result<std::size_t> QemuBackend::MachineCount() {
    std::vector<MachineEntry> machines;
    OMB_ASSIGN_OR_RETURN(machines, Machines());
    return machines.size();
}

Result<std::wstring> QemuBackend::MachineName(std::size_t machine) {
    MachineEntry entry;
    OMB_ASSIGN_OR_RETURN(entry, MachineAt(machine));
    auto session = Connect(entry, parts_.timeouts.name);
    if (!session) return entry.label;
    auto name = (*session)->Execute("query-name");
    const std::string* text = name ? StringMember(*name, "name") : nullptr;
    if (!text || text->empty()) return entry.label;
    return TextFromQemu(*text);
}

Result<std::size_t> QemuBackend::DriveCount(std::size_t machine) {
    Conversation conversation;
    OMB_ASSIGN_OR_RETURN(conversation, Converse(machine));
    return conversation.floppies.size();
}

Result<DriveState> QemuBackend::Drive(std::size_t machine, std::size_t drive) {
    Conversation conversation;
    OMB_ASSIGN_OR_RETURN(conversation, Converse(machine));
    Floppy* floppy = nullptr;
    OMB_ASSIGN_OR_RETURN(floppy, FloppyAt(conversation, drive));
    return StateOf(*floppy);
}

Status QemuBackend::AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) {
    OMB_RETURN_IF_FAILED(RefuseLoneSurrogate(path));
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, images_.FullPath(path, false));
    {
        // QEMU takes a file of any size; a guest cannot read a disk of no floppy format.
        std::unique_ptr<hostcore::ReadableFile> file;
        OMB_ASSIGN_OR_RETURN(file, images_.Open(full));
        if (hostcore::FormatForSize(file->Size()) == hostcore::kUnknownFormat)
            return Failure{kNotFloppySize, BridgeText::NotFloppySize(full, file->Size())};
    }
    auto facts = parts_.files->Examine(full);
    if (facts && facts->kind == hostcore::PathKind::Missing) facts = Failure{hostcore::kFileNotFound, {}};
    if (!facts) {
        const std::int32_t number = facts.failure().number;
        return Failure{number, hostcore::IsNotFound(number) ? ServerText::ImageNotFound(full)
                                                            : ServerText::ImageUnreadable(full, number)};
    }
    auto qemuPath = parts_.paths->ToQemu(full);
    if (!qemuPath) return Failure{qemuPath.failure().number, BridgeText::NoPathMapping(full)};

    Conversation conversation;
    OMB_ASSIGN_OR_RETURN(conversation, Converse(machine));
    Floppy* floppy = nullptr;
    OMB_ASSIGN_OR_RETURN(floppy, FloppyAt(conversation, drive));
    OMB_RETURN_IF_FAILED(RefuseIfHolding(conversation, *floppy));
    // One file in two drives of a machine would be two writers of one disk.
    const Target target{full, *qemuPath, parts_.files->Identify(full)};
    for (const Floppy& other : conversation.floppies) {
        if (other.medium && Holds(*other.medium, target))
            return Failure{hostcore::kImageInUse, ServerText::ImageHeld(full, other.unit, conversation.machine.label)};
    }
    return Change(conversation, *floppy, *qemuPath, facts->readOnly, BridgeText::ImageMedium(full));
}

Status QemuBackend::AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter) {
    const std::wstring normal = hostcore::NormalHostDriveLetter(letter);
    if (normal.empty()) return Failure{hostcore::kBadHostDriveLetter, ServerText::BadHostDriveLetter(letter)};
    if (normal[0] != L'A' && normal[0] != L'B')
        return Failure{hostcore::kBadHostDriveLetter, BridgeText::HostDriveNotFloppy(normal)};
    const std::string device = parts_.paths->HostFloppyDevice(normal[0]);

    Conversation conversation;
    OMB_ASSIGN_OR_RETURN(conversation, Converse(machine));
    Floppy* floppy = nullptr;
    OMB_ASSIGN_OR_RETURN(floppy, FloppyAt(conversation, drive));
    OMB_RETURN_IF_FAILED(RefuseIfHolding(conversation, *floppy));
    return Change(conversation, *floppy, device, false, BridgeText::HostDriveMedium(normal));
}

Status QemuBackend::ReleaseImage(std::size_t machine, std::size_t drive) {
    Conversation conversation;
    OMB_ASSIGN_OR_RETURN(conversation, Converse(machine));
    Floppy* floppy = nullptr;
    OMB_ASSIGN_OR_RETURN(floppy, FloppyAt(conversation, drive));
    if (!floppy->medium || floppy->medium->hostDevice)
        return Failure{hostcore::kNoImageAttached, ServerText::NoImage(floppy->unit, conversation.machine.label)};
    return Eject(conversation, *floppy);
}

Status QemuBackend::ReleaseHostDrive(std::size_t machine, std::size_t drive) {
    Conversation conversation;
    OMB_ASSIGN_OR_RETURN(conversation, Converse(machine));
    Floppy* floppy = nullptr;
    OMB_ASSIGN_OR_RETURN(floppy, FloppyAt(conversation, drive));
    if (!floppy->medium || !floppy->medium->hostDevice)
        return Failure{hostcore::kNoHostDriveAttached,
                       ServerText::NoHostDrive(floppy->unit, conversation.machine.label)};
    return Eject(conversation, *floppy);
}

Result<std::int32_t> QemuBackend::GetFloppyImageType(const std::wstring& path) {
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, images_.FullPath(path, false));
    return images_.Classify(full);
}

Status QemuBackend::CreateFloppyImage(const std::wstring& path, std::int32_t density) {
    OMB_RETURN_IF_FAILED(RefuseLoneSurrogate(path));
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, images_.FullPath(path, true));
    std::vector<std::uint8_t> image;
    OMB_ASSIGN_OR_RETURN(image, images_.NewImage(full, density));
    if (parts_.files->Identify(full) == parts_.files->Identify(parts_.machinesFile))
        return Failure{hostcore::kImageInUse, BridgeText::ReplacesMachinesFile(full)};
    auto kind = parts_.files->Examine(full);

    // Replacing a file that a guest has in a drive would lose whatever the guest writes to
    // it from then on. Only an existing file can be held; machines that are not running
    // hold nothing, but one that runs and does not answer might.
    if (kind && kind->kind == hostcore::PathKind::File) {
        auto qemuPath = parts_.paths->ToQemu(full);
        const Target target{full, qemuPath ? std::optional(*qemuPath) : std::nullopt, parts_.files->Identify(full)};
        std::vector<MachineEntry> machines;
        OMB_ASSIGN_OR_RETURN(machines, Machines());
        for (const MachineEntry& machine : machines) {
            auto session = Connect(machine, parts_.timeouts.operation);
            if (!session && session.failure().number == kMachineUnreachable) continue;
            if (!session) {
                return Failure{kCannotCheckMachine,
                               BridgeText::CannotCheckMachine(full, session.failure().description)};
            }
            auto floppies = ReadFloppies(machine, **session);
            if (!floppies) {
                return Failure{kCannotCheckMachine,
                               BridgeText::CannotCheckMachine(full, floppies.failure().description)};
            }
            for (const Floppy& floppy : *floppies) {
                if (floppy.medium && Holds(*floppy.medium, target))
                    return Failure{hostcore::kImageInUse,
                                   ServerText::ReplacesHeldImage(full, floppy.unit, machine.label)};
            }
        }
    }
    return images_.Write(full, image);
}

}  // namespace ombrevale::qemuhost
