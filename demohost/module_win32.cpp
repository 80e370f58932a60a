// The DLL's entry points: the class factory, self-registration for regsvr32, and where
// the inventory lives.
#include <windows.h>
#include <olectl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <initguid.h>

#include <wrl/client.h>

#include <memory>
#include <new>
#include <string>

#include "demohost/com_objects_win32.h"
#include "demohost/messages.h"
#include "demohost_idl.h"

using Microsoft::WRL::ComPtr;
using namespace ombrevale;
using namespace ombrevale::demohost;

namespace {

// The type library is registered for this DLL's own kind of code.
#ifdef _WIN64
constexpr SYSKIND kThisSystem = SYS_WIN64;
#else
constexpr SYSKIND kThisSystem = SYS_WIN32;
#endif
constexpr wchar_t kClassKey[] = L"CLSID\\{9A1774B7-8251-4468-A214-61DCAED9AC2F}";
constexpr wchar_t kTypeLibId[] = L"{1332D4AD-F41C-44C0-9933-7328FFAE99B0}";
constexpr wchar_t kClassName[] = L"Ombrevale Demo Host";
constexpr wchar_t kInventoryVariable[] = L"OMBREVALE_DEMO_INVENTORY";
constexpr wchar_t kDataFolderName[] = L"Ombrevale Demo Host";
constexpr wchar_t kInventoryName[] = L"inventory.txt";

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The inventory named by the environment (for tests), else the one in the user's roaming
// application data; a default inventory and its sample images go beside it.
Result<HostLocation> InventoryLocation(Files& files) {
    const DWORD needed = GetEnvironmentVariableW(kInventoryVariable, nullptr, 0);
    if (needed > 1) {
        std::wstring named(needed, L'\0');
        named.resize(GetEnvironmentVariableW(kInventoryVariable, named.data(), needed));
        auto full = files.FullPath(named);
        const std::wstring path = full ? *full : named;
        return HostLocation{path, files.Parent(path)};
    }
    wchar_t roaming[MAX_PATH] = L"";
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, roaming);
    if (hr != S_OK) {
        const HRESULT number = FAILED(hr) ? hr : E_FAIL;
        return Failure{number, HostText::NoDataFolder(number)};
    }
    const std::wstring folder = files.Join(roaming, kDataFolderName);
    return HostLocation{files.Join(folder, kInventoryName), folder};
}

class ClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory for the life of the DLL; its references keep the DLL loaded.
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++g_serverLocks); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--g_serverLocks); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            const auto files = SystemFiles();
            auto location = InventoryLocation(*files);
            if (!location) return ReportFailure(location.failure(), IID_IDemoHost);
            auto host = demohost::DemoHost::Open(files, *location);
            if (!host) return ReportFailure(host.failure(), IID_IDemoHost);
            return CreateHostObject(*host, iid, object);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ++g_serverLocks;
        } else {
            --g_serverLocks;
        }
        return S_OK;
    }
};

ClassFactory g_factory;

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LSTATUS CreateKey(HKEY parent, const std::wstring& name, Key& key) {
    return RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(),
                           nullptr);
}

HRESULT RegisterClassKeys(const std::wstring& modulePath) {
    Key cls, server, typeLib;
    LSTATUS status = CreateKey(HKEY_CLASSES_ROOT, kClassKey, cls);
    if (status == ERROR_SUCCESS) status = SetString(cls.get(), nullptr, kClassName);
    if (status == ERROR_SUCCESS) status = CreateKey(cls.get(), L"InprocServer32", server);
    if (status == ERROR_SUCCESS) status = SetString(server.get(), nullptr, modulePath);
    // The program's window thread is a single-threaded apartment.
    if (status == ERROR_SUCCESS) status = SetString(server.get(), L"ThreadingModel", L"Apartment");
    if (status == ERROR_SUCCESS) status = CreateKey(cls.get(), L"TypeLib", typeLib);
    if (status == ERROR_SUCCESS) status = SetString(typeLib.get(), nullptr, kTypeLibId);
    if (status == ERROR_SUCCESS) status = SetString(cls.get(), L"Version", L"1.0");
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_DemoHost) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(RegisterClassKeys(path))) return SELFREG_E_CLASS;
    ComPtr<ITypeLib> typeLib;
    if (FAILED(ModuleTypeLib(&typeLib))) return SELFREG_E_TYPELIB;
    if (FAILED(RegisterTypeLib(typeLib.Get(), const_cast<wchar_t*>(path.c_str()), nullptr))) return SELFREG_E_TYPELIB;
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    // Removing what is not there is success: the host is then unregistered.
    const LSTATUS status = SHDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
    const std::wstring typeLibKey = std::wstring(L"TypeLib\\") + kTypeLibId + L"\\1.0";
    Key registered;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, typeLibKey.c_str(), 0, KEY_READ, registered.put()) == ERROR_SUCCESS &&
        FAILED(UnRegisterTypeLib(LIBID_OmbrevaleDemoHostLib, 1, 0, LOCALE_NEUTRAL, kThisSystem)))
        return SELFREG_E_TYPELIB;
    return S_OK;
}
