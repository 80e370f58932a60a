#include "app/server_call_filter_win32.h"

#include "app/texts.h"
#include "base/failure_win32.h"
#include "support/application.h"

namespace ombrevale {
namespace {

// COM looks at the filter only when a message is posted to the waiting thread (timers do
// not count): a little thread posts an empty one now and then, so that the question
// comes even when the user touches nothing.
constexpr DWORD kTickMilliseconds = 500;

}  // namespace

ServerCallFilter::~ServerCallFilter() {
    if (ticker_) {
        SetEvent(stop_.get());
        WaitForSingleObject(ticker_.get(), INFINITE);
    }
    if (registered_) CoRegisterMessageFilter(nullptr, nullptr);
}

DWORD WINAPI ServerCallFilter::Tick(void* self) {
    auto* filter = static_cast<ServerCallFilter*>(self);
    while (WaitForSingleObject(filter->stop_.get(), kTickMilliseconds) == WAIT_TIMEOUT)
        PostThreadMessageW(filter->thread_, WM_NULL, 0, 0);
    return 0;
}

Status ServerCallFilter::Register() {
    IMessageFilter* previous = nullptr;
    if (const HRESULT hr = CoRegisterMessageFilter(this, &previous); FAILED(hr))
        return HResultFailure(hr, app_texts::kServerCallFilterFailed);
    if (previous) previous->Release();
    registered_ = true;
    thread_ = GetCurrentThreadId();
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop_) return LastErrorFailure(app_texts::kServerCallFilterFailed);
    ticker_.reset(CreateThread(nullptr, 0, &ServerCallFilter::Tick, this, 0, nullptr));
    if (!ticker_) return LastErrorFailure(app_texts::kServerCallFilterFailed);
    return Ok();
}

STDMETHODIMP ServerCallFilter::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
        *object = static_cast<IMessageFilter*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(DWORD) ServerCallFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) {
    return SERVERCALL_ISHANDLED;
}

STDMETHODIMP_(DWORD) ServerCallFilter::RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) {
    // A server that refuses outright is not asked again; one that is busy is, a little
    // later, for as long as the user is willing to wait.
    if (rejectType != SERVERCALL_RETRYLATER) return static_cast<DWORD>(-1);
    return KeepWaiting(elapsed) ? 100 : static_cast<DWORD>(-1);
}

STDMETHODIMP_(DWORD) ServerCallFilter::MessagePending(HTASK, DWORD elapsed, DWORD) {
    // Paint and activation messages go on; input waits until the call is over.
    return KeepWaiting(elapsed) ? PENDINGMSG_WAITDEFPROCESS : PENDINGMSG_CANCELCALL;
}

bool ServerCallFilter::KeepWaiting(DWORD elapsed) {
    // A shorter wait than the last one seen is a new call.
    if (elapsed < lastElapsed_) {
        askAt_ = kPatienceMilliseconds;
        gaveUp_ = false;
    }
    lastElapsed_ = elapsed;
    // Once the user has given up, the call stays given up: Wine goes on waiting for the
    // answer after a cancel, and would otherwise have the question come again.
    if (gaveUp_) return false;
    if (asking_ || elapsed < askAt_) return true;
    asking_ = true;
    const DWORD opened = GetTickCount();
    gaveUp_ = !AskToWait();
    asking_ = false;
    // The next question comes a whole patience after the user answered this one.
    askAt_ = elapsed + (GetTickCount() - opened) + kPatienceMilliseconds;
    return !gaveUp_;
}

bool ServerCallFilter::AskToWait() {
    HWND owner = GetActiveWindow();
    const int answer = MessageBoxW(owner, app_texts::kServerNotAnswering, kApplicationTitle,
                                   MB_YESNO | MB_ICONWARNING | (owner ? 0 : MB_TASKMODAL));
    return answer != IDNO;
}

}  // namespace ombrevale
