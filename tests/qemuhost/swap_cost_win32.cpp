// What swapping a floppy costs through the QEMU bridge, end to end, against a real QEMU
// (scripts/qemu-swap-cost.sh starts it): the first machine of the machines file, its first
// drive empty. Prints figures; it checks nothing about speed.
//
//   qemuhost_swap_cost IMAGE_A IMAGE_B [SWAPS]
//       each step as the COM server runs it for a client: over a fresh QMP connection,
//       with its read-back, in this process;
//   qemuhost_swap_cost --com IMAGE_A IMAGE_B [SWAPS]
//       through the registered server process, called by name through IDispatch as the
//       program calls it, with the calls the program makes around a swap; then what a
//       failing call costs there: the second machine of the file (nothing listens at its
//       address) and the first one's monitor held by another client.
#include <windows.h>
#include <oleauto.h>

#include <initguid.h>

#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "hostcore/utf8.h"
#include "hosts_idl.h"
#include "qemuhost/system.h"

using namespace ombrevale;
using namespace ombrevale::qemuhost;
using Microsoft::WRL::ComPtr;
using Stopwatch = std::chrono::steady_clock;

namespace {

struct Figures {
    const char* name;
    std::vector<double> ms;

    void Print() {
        if (ms.empty()) return;
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double m : ms) sum += m;
        std::printf("%-52s median %7.2f ms   mean %7.2f ms   max %7.2f ms\n", name, ms[ms.size() / 2],
                    sum / static_cast<double>(ms.size()), ms.back());
    }
};

template <class Call>
bool Time(Figures& figures, Call call) {
    const auto start = Stopwatch::now();
    const bool ok = call();
    figures.ms.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count());
    return ok;
}

// An object of the server, called by operation name; each name is looked up once.
class Remote {
public:
    explicit Remote(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    // The call's result, or VT_ERROR with the HRESULT when it failed.
    VARIANT Call(const wchar_t* name, WORD flags, const wchar_t* text = nullptr, long index = 0) {
        VARIANT result;
        VariantInit(&result);
        DISPID& id = ids_[name];
        HRESULT hr = S_OK;
        if (id == 0) {
            LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
            hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        }
        VARIANT argument;
        VariantInit(&argument);
        if (text) {
            argument.vt = VT_BSTR;
            argument.bstrVal = SysAllocString(text);
        } else if (index) {
            argument.vt = VT_I4;
            argument.lVal = index;
        }
        DISPPARAMS params{&argument, nullptr, argument.vt == VT_EMPTY ? 0u : 1u, 0};
        EXCEPINFO exception{};
        if (SUCCEEDED(hr))
            hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception, nullptr);
        if (hr == DISP_E_EXCEPTION) {
            if (exception.bstrDescription) description = exception.bstrDescription;
            hr = exception.scode;
        }
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        VariantClear(&argument);
        if (FAILED(hr)) {
            VariantClear(&result);
            result.vt = VT_ERROR;
            result.scode = hr;
        }
        return result;
    }
    bool Ok(const wchar_t* name, WORD flags, const wchar_t* text = nullptr) {
        VARIANT result = Call(name, flags, text);
        const bool ok = result.vt != VT_ERROR;
        VariantClear(&result);
        return ok;
    }
    long Number(const wchar_t* name) {
        VARIANT result = Call(name, DISPATCH_PROPERTYGET);
        const long value = result.vt == VT_I4 ? result.lVal : -1;
        VariantClear(&result);
        return value;
    }
    ComPtr<IDispatch> Item(const wchar_t* collection, long position) {
        VARIANT items = Call(collection, DISPATCH_PROPERTYGET);
        ComPtr<IDispatch> found;
        if (items.vt == VT_DISPATCH) {
            Remote list(items.pdispVal);
            VARIANT item = list.Call(L"Item", DISPATCH_PROPERTYGET, nullptr, position);
            if (item.vt == VT_DISPATCH) found = item.pdispVal;
            VariantClear(&item);
        }
        VariantClear(&items);
        return found;
    }

    std::wstring description;

private:
    ComPtr<IDispatch> object_;
    std::map<std::wstring, DISPID> ids_;
};

int Fail(const char* what, const std::wstring& why) {
    std::fprintf(stderr, "%s failed: %s\n", what, hostcore::WideToUtf8(why).c_str());
    return 1;
}

int ThroughTheServer(const std::wstring images[2], int swaps, std::uint16_t monitorPort) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("CoInitializeEx", L"");
    int code = 0;
    {
        ComPtr<IDispatch> hostObject;
        Figures start{"start the server and create the host", {}};
        if (!Time(start, [&] {
                return SUCCEEDED(CoCreateInstance(CLSID_Host, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                                  reinterpret_cast<void**>(hostObject.GetAddressOf())));
            }))
            return Fail("CoCreateInstance", L"is OmbrevaleQemuHost.exe registered?");
        Remote host(hostObject);
        ComPtr<IDispatch> machineObject = host.Item(L"Machines", 1);
        if (!machineObject) return Fail("Machines(1)", host.description);
        Remote machine(machineObject);
        ComPtr<IDispatch> driveObject = machine.Item(L"FloppyDrives", 1);
        if (!driveObject) return Fail("FloppyDrives(1)", machine.description);
        Remote drive(driveObject);

        Figures read{"Attachment (one call)", {}};
        Figures attach{"AttachImage (one call, with its read-back)", {}};
        Figures eject{"ReleaseImage (one call, with its read-back)", {}};
        Figures swap{"a swap as the program makes it (6 calls)", {}};
        for (int i = 0; i < swaps; ++i) {
            const std::wstring& image = images[i % 2];
            // Attachment, release, attach, Attachment to check; then the status line reads
            // Attachment and ImagePath.
            const auto began = Stopwatch::now();
            long held = -1;
            bool ok = Time(read, [&] { return (held = drive.Number(L"Attachment")) >= 0; });
            if (ok && held == 1) ok = Time(eject, [&] { return drive.Ok(L"ReleaseImage", DISPATCH_METHOD); });
            ok = ok && Time(attach, [&] { return drive.Ok(L"AttachImage", DISPATCH_METHOD, image.c_str()); });
            ok = ok && drive.Number(L"Attachment") == 1 && drive.Number(L"Attachment") == 1;
            VARIANT path = drive.Call(L"ImagePath", DISPATCH_PROPERTYGET);
            ok = ok && path.vt == VT_BSTR && image == path.bstrVal;
            VariantClear(&path);
            if (!ok) {
                code = Fail("a swap", drive.description);
                break;
            }
            if (i > 0) swap.ms.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - began).count());
        }
        (void)drive.Ok(L"ReleaseImage", DISPATCH_METHOD);

        // A QEMU that has quit (nothing listens at the second machine's address), and the
        // first machine's monitor held by another client: QEMU accepts the bridge's
        // connection and says nothing until the other one closes.
        Figures down{"FloppyDriveCount, QEMU has quit (fails)", {}};
        Figures busy{"Attachment, monitor held by another client (fails)", {}};
        if (ComPtr<IDispatch> deadMachine = host.Item(L"Machines", 2)) {
            Remote dead(deadMachine);
            for (int i = 0; i < 5; ++i) Time(down, [&] { return dead.Number(L"FloppyDriveCount") < 0; });
        }
        if (monitorPort != 0) {
            auto holder = SystemConnector()->Connect(QmpAddress{0x7F000001, monitorPort}, Milliseconds(2000));
            if (holder) Time(busy, [&] { return drive.Number(L"Attachment") < 0; });
        }
        std::printf("%d swaps through OmbrevaleQemuHost.exe (IDispatch by name, a QMP connection per call):\n", swaps);
        for (Figures* f : {&start, &read, &attach, &eject, &swap, &down, &busy}) f->Print();
    }
    CoUninitialize();
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool throughServer = argc > 1 && std::wstring(argv[1]) == L"--com";
    if (throughServer) --argc, ++argv;
    if (argc < 3) {
        std::fprintf(stderr, "usage: qemuhost_swap_cost [--com] IMAGE_A IMAGE_B [SWAPS [MONITOR_PORT]]\n");
        return 2;
    }
    const std::wstring images[2] = {argv[1], argv[2]};
    const int swaps = argc > 3 ? std::max(1, _wtoi(argv[3])) : 50;
    if (throughServer)
        return ThroughTheServer(images, swaps, static_cast<std::uint16_t>(argc > 4 ? _wtoi(argv[4]) : 0));
    auto bridge = OpenQemuBridge();
    if (!bridge) {
        std::fprintf(stderr, "%s\n", hostcore::WideToUtf8(bridge.failure().description).c_str());
        return 1;
    }
    Figures attach{"attach image (with read-back)", {}};
    Figures state{"read the drive's state", {}};
    Figures eject{"release image (with read-back)", {}};
    Figures swap{"swap: release + attach + state", {}};
    for (int i = 0; i < swaps; ++i) {
        const std::wstring& image = images[i % 2];
        Status failed;
        const auto start = Stopwatch::now();
        const bool ok = (i == 0 || Time(eject, [&] { return (failed = (*bridge)->ReleaseImage(0, 0)).ok(); })) &&
                        Time(attach, [&] { return (failed = (*bridge)->AttachImage(0, 0, image)).ok(); }) &&
                        Time(state, [&] { return (*bridge)->Drive(0, 0)->imagePath == image; });
        if (!ok) {
            std::fprintf(stderr, "swap %d failed: %s\n", i,
                         failed ? "the drive does not show the image"
                                : hostcore::WideToUtf8(failed.failure().description).c_str());
            return 1;
        }
        if (i > 0) swap.ms.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count());
    }
    (void)(*bridge)->ReleaseImage(0, 0);
    std::printf("%d swaps through the QEMU bridge (a QMP connection per call):\n", swaps);
    for (Figures* f : {&attach, &state, &eject, &swap}) f->Print();
    return 0;
}
