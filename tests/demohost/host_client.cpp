// A late-bound client of the automation server, built as a 64-bit program: it shows that
// a program of the other bitness reaches the same server process and state.
//
// usage: host_client attach <machine> <drive> <path>   (positions counted from 1)
// Exit code 0 when the call succeeded, 1 when the server refused it, 2 when the server or
// the objects could not be reached.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>

// The servers' identifiers are defined here.
#include <initguid.h>

#include "hosts_idl.h"

namespace {

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{args, nullptr, count, 0};
    EXCEPINFO exception{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, nullptr);
    if (exception.bstrDescription) std::fwprintf(stderr, L"%ls\n", exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

// The item at `position` (from 1) of a collection property, through Item.
IDispatch* ItemOf(IDispatch* owner, const wchar_t* collection, long position) {
    VARIANT items;
    VariantInit(&items);
    if (FAILED(Invoke(owner, collection, DISPATCH_PROPERTYGET, nullptr, 0, &items)) || items.vt != VT_DISPATCH)
        return nullptr;
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = position;
    VARIANT item;
    VariantInit(&item);
    const HRESULT hr = Invoke(items.pdispVal, L"Item", DISPATCH_PROPERTYGET, &index, 1, &item);
    VariantClear(&items);
    if (FAILED(hr) || item.vt != VT_DISPATCH) return nullptr;
    return item.pdispVal;
}

int Attach(long machinePosition, long drivePosition, const wchar_t* path) {
    IDispatch* host = nullptr;
    if (FAILED(CoCreateInstance(CLSID_Host, nullptr, CLSCTX_SERVER, IID_IHost, reinterpret_cast<void**>(&host))))
        return 2;
    int code = 2;
    if (IDispatch* machine = ItemOf(host, L"Machines", machinePosition)) {
        if (IDispatch* drive = ItemOf(machine, L"FloppyDrives", drivePosition)) {
            VARIANT argument;
            VariantInit(&argument);
            argument.vt = VT_BSTR;
            argument.bstrVal = SysAllocString(path);
            code = SUCCEEDED(Invoke(drive, L"AttachImage", DISPATCH_METHOD, &argument, 1, nullptr)) ? 0 : 1;
            VariantClear(&argument);
            drive->Release();
        }
        machine->Release();
    }
    host->Release();
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 || std::wcscmp(argv[1], L"attach") != 0) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int code = Attach(std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10), argv[4]);
    CoUninitialize();
    return code;
}
