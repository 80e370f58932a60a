#include "hostcore/local_server_win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/com_object_win32.h"
#include "base/failure_win32.h"
#include "hostcore/com_objects_win32.h"
#include "hostcore/registration_win32.h"

// The identifiers are defined here, once.
#include <initguid.h>

#include "hosts_idl.h"

namespace ombrevale::hostcore {
namespace {

// A server that COM started but that no client ever reached ends after this long.
constexpr UINT kIdleMilliseconds = 30'000;

void OfferTemplate(const ServerDescription& server) {
    if (server.userFile) OfferTextTemplate(*server.userFile, server.userFileTemplate);
}

// Lives as long as the process; COM's references to it do not keep the server alive.
class ClassFactory final : public StaticComObject<IClassFactory> {
public:
    explicit ClassFactory(const ServerDescription& server) : server_(server) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        used_ = true;
        try {
            // One backend for the whole process: every client sees one state.
            if (!backend_) {
                OfferTemplate(server_);
                auto opened = server_.openBackend();
                if (!opened) return FailWith(opened.failure(), IID_IHost);
                backend_ = std::move(opened).value();
            }
            return CreateHostObject(backend_, iid, object);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        used_ = true;
        if (lock)
            ServerObjectCreated();
        else
            ServerObjectReleased();
        return S_OK;
    }

    bool used() const { return used_; }

private:
    const ServerDescription& server_;
    std::shared_ptr<Backend> backend_;
    bool used_ = false;
};

std::vector<std::wstring> Switches(const wchar_t* commandLine) {
    std::vector<std::wstring> switches;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine && *commandLine ? commandLine : L"x", &count);
    if (!arguments) return switches;
    // CommandLineToArgvW counts the program as the first argument only for a full line.
    for (int i = 0; i < count; ++i) {
        std::wstring argument = arguments[i];
        if (argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-')) {
            argument.erase(0, 1);
            CharLowerBuffW(argument.data(), static_cast<DWORD>(argument.size()));
            switches.push_back(argument);
        }
    }
    LocalFree(arguments);
    return switches;
}

bool Has(const std::vector<std::wstring>& switches, const wchar_t* name) {
    for (const std::wstring& s : switches)
        if (s == name) return true;
    return false;
}

int Serve(const ServerDescription& server) {
    ClassFactory factory(server);
    SetServerThread(GetCurrentThreadId());
    DWORD cookie = 0;
    // Registered suspended, then resumed: COM stops handing out the class object by itself
    // once the last object has gone, so no client can be half-way through a creation when
    // the server ends.
    HRESULT hr = CoRegisterClassObject(CLSID_Host, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED,
                                       &cookie);
    if (SUCCEEDED(hr)) hr = CoResumeClassObjects();
    if (FAILED(hr)) {
        if (cookie) CoRevokeClassObject(cookie);
        return 1;
    }
    const UINT_PTR idle = SetTimer(nullptr, 0, kIdleMilliseconds, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == idle) {
            KillTimer(nullptr, idle);
            if (!factory.used()) {
                CoSuspendClassObjects();
                break;
            }
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
    return 0;
}

void Say(const ServerDescription& server, const std::wstring& text, UINT icon) {
    MessageBoxW(nullptr, text.c_str(), server.name.c_str(), MB_OK | icon);
}

int Run(const ServerDescription& server, const wchar_t* commandLine) {
    const std::vector<std::wstring> switches = Switches(commandLine);
    const bool quiet = Has(switches, L"s") || Has(switches, L"silent");
    const Scope scope = Has(switches, L"allusers") ? Scope::AllUsers : Scope::CurrentUser;

    if (Has(switches, L"regserver") || Has(switches, L"unregserver")) {
        const bool registering = Has(switches, L"regserver");
        auto path = ProgramPath();
        const Status done = !path         ? Status(path.failure())
                            : registering ? RegisterServer(scope, *path, server.name)
                                          : UnregisterServer(scope, *path);
        if (!done) {
            if (!quiet) Say(server, done.failure().description, MB_ICONSTOP);
            return 1;
        }
        if (registering && scope == Scope::CurrentUser) OfferTemplate(server);
        return 0;
    }
    if (!Has(switches, L"embedding")) {
        // Started by hand: say what the file is for rather than wait unseen.
        if (!quiet) Say(server, server.usage, MB_ICONINFORMATION);
        return 0;
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int code = Serve(server);
    CoUninitialize();
    return code;
}

}  // namespace

int RunLocalServer(const std::function<ServerDescription()>& describe, const wchar_t* commandLine) {
    try {
        return Run(describe(), commandLine);
    } catch (...) {
        return 1;
    }
}

}  // namespace ombrevale::hostcore
