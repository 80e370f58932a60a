// While a call to the automation server waits, the window goes on painting. A call that
// has had no answer for a few seconds makes the program ask the user whether to wait on
// or give up; giving up fails the call (RPC_E_CALL_CANCELED), and the command that made
// it goes its usual way for a failed call. COM's message filter does both.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "base/owners_win32.h"
#include "base/result.h"

namespace ombrevale {

class ServerCallFilter final : public IMessageFilter {
public:
    ServerCallFilter() = default;
    ~ServerCallFilter();
    ServerCallFilter(const ServerCallFilter&) = delete;
    ServerCallFilter& operator=(const ServerCallFilter&) = delete;

    // For this thread, which must be a single-threaded apartment, until destroyed.
    Status Register();

    // How long a call may go unanswered before the user is asked.
    static constexpr DWORD kPatienceMilliseconds = 5000;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    // Lives on the stack of the thread it serves: COM's references do not own it.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD type, HTASK caller, DWORD elapsed, LPINTERFACEINFO info) override;
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK callee, DWORD elapsed, DWORD rejectType) override;
    STDMETHODIMP_(DWORD) MessagePending(HTASK callee, DWORD elapsed, DWORD pendingType) override;

private:
    // True when the user chooses to wait on.
    bool AskToWait();
    // Whether the call that has waited `elapsed` should go on waiting; asks when due.
    bool KeepWaiting(DWORD elapsed);

    static DWORD WINAPI Tick(void* self);

    bool registered_ = false;
    DWORD thread_ = 0;
    UniqueKernelHandle stop_;
    UniqueKernelHandle ticker_;
    DWORD lastElapsed_ = 0;
    DWORD askAt_ = kPatienceMilliseconds;
    bool asking_ = false;
    bool gaveUp_ = false;
};

}  // namespace ombrevale
