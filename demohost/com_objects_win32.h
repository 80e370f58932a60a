// The COM side of the demo host: its objects answer the interfaces of demohost.idl, with
// IDispatch from the embedded type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <memory>

#include "demohost/demo_host.h"
#include "base/result.h"

namespace ombrevale::demohost {

// Live objects and server locks; the DLL may unload when both are zero.
extern std::atomic<long> g_liveObjects;
extern std::atomic<long> g_serverLocks;
extern HMODULE g_module;

// The type library embedded in this DLL, loaded once.
HRESULT ModuleTypeLib(ITypeLib** typeLib);

// Hands a failure to the caller as COM expects: its HRESULT, and an error object with
// its description for GetErrorInfo (and so for EXCEPINFO through IDispatch::Invoke).
HRESULT ReportFailure(const Failure& failure, REFIID iid);

// A new host object over an opened inventory.
HRESULT CreateHostObject(std::shared_ptr<DemoHost> host, REFIID iid, void** object);

}  // namespace ombrevale::demohost
