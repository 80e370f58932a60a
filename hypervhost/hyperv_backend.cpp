#include "hypervhost/hyperv_backend.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "hostcore/errors.h"
#include "hostcore/texts.h"
#include "hypervhost/errors.h"
#include "hypervhost/messages.h"

namespace ombrevale::hypervhost {
namespace {

using hostcore::DriveState;
using hostcore::ServerText;

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// A path that means the same on any computer: a drive letter and a folder, or a share.
bool IsFullWindowsPath(const std::wstring& path) {
    if (path.size() >= 3 && IsLetter(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) return true;
    return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\';
}

bool IsShare(const std::wstring& path) { return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\'; }

// Paths on a Windows host, compared as Windows compares names.
bool SamePath(const std::wstring& a, const std::wstring& b) { return WindowsFolded(a) == WindowsFolded(b); }

bool ByName(const VirtualMachine& a, const VirtualMachine& b) {
    const std::wstring x = WindowsFolded(a.name), y = WindowsFolded(b.name);
    return x != y ? x < y : a.id < b.id;
}

// CIM_ConcreteJob's JobState: Terminated, Killed and Exception end a job that failed.
bool Failed(std::uint16_t state) { return state >= 8 && state <= 10; }

}  // namespace

HyperVBackend::HyperVBackend(BridgeParts parts) : parts_(std::move(parts)), images_(parts_.files, parts_.volumeSerial) {
    if (!parts_.clock) parts_.clock = [] { return Clock::now(); };
}

Result<std::vector<std::wstring>> HyperVBackend::Hosts() {
    std::vector<HostEntry> listed;
    OMB_ASSIGN_OR_RETURN(listed, hosts_.Read(*parts_.files, parts_.hostsFile));
    // This computer first; without a file, alone.
    std::vector<std::wstring> hosts{L""};
    for (const HostEntry& host : listed) hosts.push_back(host.name);
    return hosts;
}

bool HyperVBackend::LocalHasHyperV() const {
    return parts_.windowsMajor > 6 || (parts_.windowsMajor == 6 && parts_.windowsMinor >= 2);
}

std::vector<std::wstring> HyperVBackend::HostsToAsk(const std::vector<std::wstring>& hosts) const {
    std::vector<std::wstring> asked;
    for (const std::wstring& host : hosts)
        if (!host.empty() || LocalHasHyperV()) asked.push_back(host);
    return asked;
}

Failure HyperVBackend::Worded(const std::wstring& host, const Failure& failure) const {
    return Failure{failure.number, HyperVText::HostFailure(host, failure.number, failure.description)};
}

Result<std::size_t> HyperVBackend::MachineCount() {
    std::vector<std::wstring> hosts;
    OMB_ASSIGN_OR_RETURN(hosts, Hosts());
    const std::vector<std::wstring> asked = HostsToAsk(hosts);
    const auto answers = parts_.network->Machines(asked, After(parts_.timeouts.listing));

    std::vector<Entry> failed;
    auto fail = [&](const std::wstring& host, Failure failure) {
        // A computer without Hyper-V that only manages others has nothing to list.
        const bool none = failure.number == kNoHyperVHere || failure.number == kWbemInvalidNamespace;
        if (!(host.empty() && none && hosts.size() > 1)) failed.push_back({host, L"", L"", std::move(failure)});
    };
    if (!LocalHasHyperV())
        fail(L"", Failure{kNoHyperVHere, HyperVText::OldWindows(parts_.windowsMajor, parts_.windowsMinor)});
    bool answered = false;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const std::wstring& host = asked[i];
        if (!answers[i]) {
            fail(host, Worded(host, answers[i].failure()));
            continue;
        }
        answered = true;
        std::vector<VirtualMachine> machines = *answers[i];
        std::sort(machines.begin(), machines.end(), ByName);
        for (const VirtualMachine& machine : machines) {
            const std::wstring name = HyperVText::MachineName(host, machine.name);
            auto known = std::find_if(roster_.begin(), roster_.end(),
                                      [&](const Entry& e) { return e.host == host && e.id == machine.id; });
            if (known != roster_.end())
                known->name = name;
            else
                roster_.push_back({host, machine.id, name, {}});
        }
    }
    if (!answered && !failed.empty()) {
        // A bridge with nothing to show says why at the client's first step.
        std::wstring text;
        for (const Entry& entry : failed) text += (text.empty() ? L"" : L"\r\n\r\n") + entry.failure.description;
        return Failure{failed.front().failure.number, text};
    }
    for (Entry& entry : failed) {
        entry.name = HyperVText::HostEntry(entry.host, entry.failure.number);
        auto known = std::find_if(roster_.begin(), roster_.end(),
                                  [&](const Entry& e) { return e.host == entry.host && e.id.empty(); });
        if (known != roster_.end())
            *known = std::move(entry);
        else
            roster_.push_back(std::move(entry));
    }
    return roster_.size();
}

Result<const HyperVBackend::Entry*> HyperVBackend::EntryAt(std::size_t machine) const {
    if (machine >= roster_.size())
        return Failure{kMachineGone, HyperVText::MachineGone(L"№" + std::to_wstring(machine + 1))};
    const Entry& entry = roster_[machine];
    if (entry.id.empty()) return entry.failure;
    return &entry;
}

Result<std::wstring> HyperVBackend::MachineName(std::size_t machine) {
    // The name as listed: the list was made a moment ago, and a name is no reason to wait.
    if (machine >= roster_.size()) return EntryAt(machine).failure();
    return roster_[machine].name;
}

Result<HyperVBackend::Machine> HyperVBackend::Read(std::size_t machine, Deadline deadline) {
    const Entry* entry = nullptr;
    OMB_ASSIGN_OR_RETURN(entry, EntryAt(machine));
    auto host = parts_.network->Host(entry->host);
    auto settings = host->Settings(entry->id, deadline);
    if (!settings && settings.failure().number != kWbemNotFound) return Worded(entry->host, settings.failure());
    if (!settings || !*settings) return Failure{kMachineGone, HyperVText::MachineGone(entry->name)};
    return Machine{entry, std::move(host), std::move(**settings)};
}

Status HyperVBackend::CheckDrive(const Machine& machine, std::size_t drive) const {
    // Generation 2 machines have no diskette drive; generation 1 machines have one.
    if (drive != 0 || !machine.settings.drive || machine.settings.subType == kGeneration2)
        return Failure{kNoSuchDrive, HyperVText::NoSuchDrive(drive, machine.entry->name)};
    return Ok();
}

Result<std::size_t> HyperVBackend::DriveCount(std::size_t machine) {
    Machine read;
    OMB_ASSIGN_OR_RETURN(read, Read(machine, After(parts_.timeouts.call)));
    return std::size_t{CheckDrive(read, 0) ? 1u : 0u};
}

Result<DriveState> HyperVBackend::Drive(std::size_t machine, std::size_t drive) {
    Machine read;
    OMB_ASSIGN_OR_RETURN(read, Read(machine, After(parts_.timeouts.call)));
    OMB_RETURN_IF_FAILED(CheckDrive(read, drive));
    DriveState state;
    if (read.settings.disk) {
        state.attachment = 1;
        state.imagePath = read.settings.disk->image;
    }
    return state;
}

Status HyperVBackend::Finish(const Machine& machine, const Result<MethodOutcome>& outcome, const std::wstring& change,
                             Deadline deadline) {
    const std::wstring& name = machine.entry->name;
    if (!outcome) return Worded(machine.entry->host, outcome.failure());
    if (outcome->returnValue == 0) return Ok();
    if (outcome->returnValue != kJobStarted)
        return Failure{kHyperVRefused, HyperVText::Refused(change, name, outcome->returnValue)};
    // The drive is read back after the job: that needs a moment of the call's time.
    const Deadline jobDeadline = deadline - parts_.timeouts.readBack;
    for (;;) {
        auto job = machine.host->Job(outcome->job, deadline);
        if (!job) return Worded(machine.entry->host, job.failure());
        if (job->state == kJobCompleted) return Ok();
        if (Failed(job->state))
            return Failure{kJobFailed, HyperVText::JobFailed(change, name, job->errorDescription, job->errorCode)};
        if (parts_.clock() + parts_.timeouts.poll >= jobDeadline)
            return Failure{kJobTooLong, HyperVText::JobTooLong(change, name)};
        parts_.sleep(parts_.timeouts.poll);
    }
}

Status HyperVBackend::ReadBack(const Machine& machine, const std::wstring& expected, const std::wstring& change,
                               Deadline deadline) {
    auto settings = machine.host->Settings(machine.entry->id, deadline);
    if (!settings) return Worded(machine.entry->host, settings.failure());
    if (!*settings) return Failure{kMachineGone, HyperVText::MachineGone(machine.entry->name)};
    const auto& disk = (*settings)->disk;
    const std::wstring held = disk ? disk->image : std::wstring();
    if (!disk && expected.empty()) return Ok();
    // This computer's file may come back in another form of its name (case, a short name).
    if (disk && !expected.empty() &&
        (SamePath(held, expected) ||
         (machine.entry->host.empty() && parts_.files->Identify(held) == parts_.files->Identify(expected))))
        return Ok();
    return Failure{kChangeNotSeen, HyperVText::NotSeen(change, machine.entry->name, held)};
}

Status HyperVBackend::AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) {
    const Entry* entry = nullptr;
    OMB_ASSIGN_OR_RETURN(entry, EntryAt(machine));
    std::wstring image = path;
    if (entry->host.empty()) {
        // This computer's own file: say plainly when it is not there.
        OMB_ASSIGN_OR_RETURN(image, images_.FullPath(path, false));
        OMB_RETURN_IF_FAILED(Status::of(images_.Open(image)));
    } else if (!IsFullWindowsPath(path)) {
        // Another host's path is that host's to open, and is passed as given.
        return Failure{kNotFullPath, HyperVText::NotFullPath(path)};
    }
    const Deadline deadline = After(parts_.timeouts.call);
    Machine read;
    OMB_ASSIGN_OR_RETURN(read, Read(machine, deadline));
    OMB_RETURN_IF_FAILED(CheckDrive(read, drive));
    if (read.settings.disk) {
        const std::wstring change = HyperVText::Change(image);
        OMB_RETURN_IF_FAILED(
            Finish(read, read.host->ChangeDisk(*read.settings.disk, image, deadline), change, deadline));
        return ReadBack(read, image, change, deadline);
    }
    const std::wstring change = HyperVText::Insert(image);
    OMB_RETURN_IF_FAILED(Finish(read, read.host->AddDisk(read.settings, image, deadline), change, deadline));
    return ReadBack(read, image, change, deadline);
}

Status HyperVBackend::AttachHostDrive(std::size_t machine, std::size_t, const std::wstring&) {
    OMB_RETURN_IF_FAILED(Status::of(EntryAt(machine)));
    return Failure{kNoHostDrives, HyperVText::NoHostDrives()};
}

Status HyperVBackend::ReleaseImage(std::size_t machine, std::size_t drive) {
    const Deadline deadline = After(parts_.timeouts.call);
    Machine read;
    OMB_ASSIGN_OR_RETURN(read, Read(machine, deadline));
    OMB_RETURN_IF_FAILED(CheckDrive(read, drive));
    if (!read.settings.disk)
        return Failure{hostcore::kNoImageAttached,
                       ServerText::NoImage(static_cast<std::int32_t>(drive), read.entry->name)};
    const std::wstring change = HyperVText::Remove();
    OMB_RETURN_IF_FAILED(Finish(read, read.host->RemoveDisk(*read.settings.disk, deadline), change, deadline));
    return ReadBack(read, L"", change, deadline);
}

Status HyperVBackend::ReleaseHostDrive(std::size_t machine, std::size_t drive) {
    const Entry* entry = nullptr;
    OMB_ASSIGN_OR_RETURN(entry, EntryAt(machine));
    return Failure{hostcore::kNoHostDriveAttached,
                   ServerText::NoHostDrive(static_cast<std::int32_t>(drive), entry->name)};
}

Result<std::int32_t> HyperVBackend::GetFloppyImageType(const std::wstring& path) {
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, images_.FullPath(path, false));
    return images_.Classify(full);
}

std::wstring HyperVBackend::NameOf(const std::wstring& host, const std::wstring& id) const {
    for (const Entry& entry : roster_)
        if (entry.host == host && !id.empty() && SamePath(entry.id, id)) return entry.name;
    return HyperVText::MachineName(host, id);
}

Status HyperVBackend::CreateFloppyImage(const std::wstring& path, std::int32_t density) {
    std::wstring full;
    OMB_ASSIGN_OR_RETURN(full, images_.FullPath(path, true));
    std::vector<std::uint8_t> image;
    OMB_ASSIGN_OR_RETURN(image, images_.NewImage(full, density));
    hostcore::Files& files = *parts_.files;
    if (files.Identify(full) == files.Identify(parts_.hostsFile))
        return Failure{hostcore::kImageInUse, HyperVText::ReplacesHostsFile(full)};

    // Replacing a file that a machine has in its drive would lose whatever the guest writes
    // to it from then on. Only an existing file can be held; a host that cannot be asked
    // might hold it.
    auto kind = files.Examine(full);
    if (kind && kind->kind == hostcore::PathKind::File) {
        std::vector<std::wstring> hosts;
        OMB_ASSIGN_OR_RETURN(hosts, Hosts());
        const std::vector<std::wstring> asked = HostsToAsk(hosts);
        const auto answers = parts_.network->FloppyImages(asked, After(parts_.timeouts.listing));
        const hostcore::FileId target = files.Identify(full);
        for (std::size_t i = 0; i < asked.size(); ++i) {
            const std::wstring& host = asked[i];
            if (!answers[i]) {
                if (answers[i].failure().number == kWbemInvalidNamespace) continue;  // no Hyper-V, no machines
                return Failure{kCannotCheckHost,
                               HyperVText::CannotCheckHost(full, Worded(host, answers[i].failure()).description)};
            }
            for (const HeldImage& held : *answers[i]) {
                // Another host's own drives are out of reach; its shares are not.
                if (!host.empty() && !IsShare(held.image)) continue;
                if (files.Identify(held.image) == target)
                    return Failure{hostcore::kImageInUse,
                                   ServerText::ReplacesHeldImage(full, 0, NameOf(host, held.machineId))};
            }
        }
    }
    return images_.Write(full, image);
}

}  // namespace ombrevale::hypervhost
