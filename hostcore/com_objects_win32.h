// The COM objects of an automation server: the host, its machines, their floppy drives
// and the two collections, answering the interfaces of hosts.idl over a Backend. Both
// servers (the demo server and the QEMU bridge) use them unchanged.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "base/result.h"
#include "hostcore/backend.h"

namespace ombrevale::hostcore {

// A new host object over `backend`, answering `iid`.
HRESULT CreateHostObject(std::shared_ptr<Backend> backend, REFIID iid, void** object);

// Hands a failure to the caller as COM expects: its HRESULT, and an error object with its
// description for GetErrorInfo (and so for EXCEPINFO through IDispatch::Invoke).
HRESULT FailWith(const Failure& failure, REFIID iid);

// The server's objects and locks keep its process alive: the main thread is told to end
// when the last one goes (COM's rules for local servers).
void ServerObjectCreated();
void ServerObjectReleased();
// The thread that runs the server's message loop, told when the last object goes.
void SetServerThread(DWORD threadId);

}  // namespace ombrevale::hostcore
