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

// Creates the VirtualPC host object (in-process or local server). The calling thread
// must have initialised COM as a single-threaded apartment.
Result<std::unique_ptr<VirtualPCHost>> CreateVirtualPCHost();

// Wraps a host object obtained elsewhere (tests hand in their own).
std::unique_ptr<VirtualPCHost> WrapVirtualPCHost(Microsoft::WRL::ComPtr<IDispatch> host);

}  // namespace ombrevale
