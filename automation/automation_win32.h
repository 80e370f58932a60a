// The automation client over Virtual PC's COM server. Every operation is called by its
// name through IDispatch, because the vtable layout of the host interface is not fully
// known; the machine and drive interfaces are dual, so their pointers serve as IDispatch.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>

#include "automation/automation.h"
#include "base/result.h"

namespace ombrevale {

// Virtual PC's class and interfaces. The automation servers' own are theirs (hosts.idl),
// out of the program's reach; a test holds the two against each other.
// {9A1774B7-8251-4468-A214-61DCAED9AC2F}
inline constexpr CLSID kVirtualPCClass = {0x9A1774B7, 0x8251, 0x4468, {0xA2, 0x14, 0x61, 0xDC, 0xAE, 0xD9, 0xAC, 0x2F}};
// {236BA0D9-A24A-4292-A132-27C1421DFD01}
inline constexpr IID kVirtualPCHostInterface = {
    0x236BA0D9, 0xA24A, 0x4292, {0xA1, 0x32, 0x27, 0xC1, 0x42, 0x1D, 0xFD, 0x01}};
// {F7092AA1-33ED-4F78-A59F-C00ADFC2EDD7}
inline constexpr IID kVirtualMachineInterface = {
    0xF7092AA1, 0x33ED, 0x4F78, {0xA5, 0x9F, 0xC0, 0x0A, 0xDF, 0xC2, 0xED, 0xD7}};
// {661ABEE6-112A-4ED9-BABF-3C874969F10E}
inline constexpr IID kFloppyDriveInterface = {
    0x661ABEE6, 0x112A, 0x4ED9, {0xBA, 0xBF, 0x3C, 0x87, 0x49, 0x69, 0xF1, 0x0E}};

// Creates the VirtualPC host object (in-process or local server). The calling thread
// must have initialised COM as a single-threaded apartment.
Result<std::unique_ptr<VirtualPCHost>> CreateVirtualPCHost();

// Wraps a host object obtained elsewhere (tests hand in their own).
std::unique_ptr<VirtualPCHost> WrapVirtualPCHost(Microsoft::WRL::ComPtr<IDispatch> host);

}  // namespace ombrevale
