// What the bridge asks of Hyper-V, over WMI's root\virtualization\v2: the virtual machines
// (Msvm_ComputerSystem), a machine's current settings (Msvm_VirtualSystemSettingData) with
// its diskette drive (Msvm_ResourceAllocationSettingData) and the virtual floppy disk in it
// (Msvm_StorageAllocationSettingData), the changes of Msvm_VirtualSystemManagementService
// and their jobs (Msvm_ConcreteJob). The bridge's decisions are written against this, and
// tested over a fake of it; hyperv_wmi_win32.cpp implements it with WMI.
//
// Every call gives up at its deadline, failing with kHostNotAnswering: a host that is down
// would otherwise hold a call for as long as DCOM waits. Other failures carry the number
// that WMI gave (kWbemInvalidNamespace, kWbemAccessDenied, ...); the bridge words them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

namespace ombrevale::hypervhost {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;
using Milliseconds = std::chrono::milliseconds;

inline constexpr wchar_t kDisketteDrive[] = L"Microsoft:Hyper-V:Synthetic Diskette Drive";
inline constexpr wchar_t kFloppyDisk[] = L"Microsoft:Hyper-V:Virtual Floppy Disk";
inline constexpr wchar_t kGeneration1[] = L"Microsoft:Hyper-V:SubType:1";
inline constexpr wchar_t kGeneration2[] = L"Microsoft:Hyper-V:SubType:2";

// A method that started a job instead of finishing at once.
inline constexpr std::uint32_t kJobStarted = 4096;
// CIM_ConcreteJob's JobState: up to Running it is under way; Completed is the one success.
inline constexpr std::uint16_t kJobRunning = 4;
inline constexpr std::uint16_t kJobCompleted = 7;

struct VirtualMachine {
    std::wstring id;    // Name: the machine's GUID, which never changes
    std::wstring name;  // ElementName: what the user called it
};

// One property of a WMI instance as text, so that the instance can go back whole as an
// embedded instance (CIM-XML).
struct CimProperty {
    std::wstring name;
    std::wstring type;  // CIM-XML's TYPE: "string", "uint16", "boolean", "datetime", ...
    bool array = false;
    std::vector<std::wstring> values;  // none: NULL
};

struct FloppyDisk {
    std::wstring path;                    // the disk's object path
    std::wstring image;                   // HostResource[0]: the .vfd on the host
    std::vector<CimProperty> properties;  // the whole instance, for ModifyResourceSettings
};

// A machine's current settings, as far as its floppy goes.
struct MachineSettings {
    std::wstring path;                  // the configuration that changes apply to
    std::wstring subType;               // VirtualSystemSubType: the generation
    std::optional<std::wstring> drive;  // the diskette drive's object path; generation 1 only
    std::optional<FloppyDisk> disk;     // what the drive holds
};

// A virtual floppy disk somewhere on a host: its image, and the machine whose it is when
// its InstanceID tells ("Microsoft:<machine GUID>\...").
struct HeldImage {
    std::wstring image;
    std::wstring machineId;
};

struct MethodOutcome {
    std::uint32_t returnValue = 0;  // 0 done, kJobStarted running, anything else refused
    std::wstring job;               // the Msvm_ConcreteJob's path when a job runs
};

struct JobStatus {
    std::uint16_t state = 0;  // JobState
    std::uint16_t errorCode = 0;
    std::wstring errorDescription;
};

// root\virtualization\v2 of one host.
class HyperVHost {
public:
    virtual ~HyperVHost() = default;
    // Nothing when no machine has this id.
    virtual Result<std::optional<MachineSettings>> Settings(const std::wstring& machineId, Deadline deadline) = 0;
    virtual Result<MethodOutcome> AddDisk(const MachineSettings& machine, const std::wstring& image,
                                          Deadline deadline) = 0;
    virtual Result<MethodOutcome> ChangeDisk(const FloppyDisk& disk, const std::wstring& image, Deadline deadline) = 0;
    virtual Result<MethodOutcome> RemoveDisk(const FloppyDisk& disk, Deadline deadline) = 0;
    virtual Result<JobStatus> Job(const std::wstring& job, Deadline deadline) = 0;
};

// The hosts by name; "" is this computer. What is asked of every host is asked of all at
// once, so that one that does not answer costs no more than the deadline.
class HyperVNetwork {
public:
    virtual ~HyperVNetwork() = default;
    virtual std::shared_ptr<HyperVHost> Host(const std::wstring& name) = 0;
    virtual std::vector<Result<std::vector<VirtualMachine>>> Machines(const std::vector<std::wstring>& hosts,
                                                                      Deadline deadline) = 0;
    virtual std::vector<Result<std::vector<HeldImage>>> FloppyImages(const std::vector<std::wstring>& hosts,
                                                                     Deadline deadline) = 0;
};

}  // namespace ombrevale::hypervhost
