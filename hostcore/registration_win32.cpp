#include "hostcore/registration_win32.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "base/failure_win32.h"
#include "base/owners_win32.h"
#include "hostcore/proxy_stub_class.h"
#include "hosts_idl.h"

namespace ombrevale::hostcore {
namespace {

constexpr wchar_t kTypeLibVersion[] = L"1.0";
constexpr wchar_t kTypeLibName[] = L"Ombrevale automation servers";
// The system's marshaller for interfaces that a type library describes.
constexpr wchar_t kTypeLibMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";
// The interfaces' own proxy/stub DLL (hostcore/proxy_stub_win32.c), shipped beside the
// servers. It carries the same calls as the type library marshaller, without building a
// proxy and a stub from the type library for every object. It is 32-bit only: 64-bit
// processes keep the system's marshaller, and the two agree on the wire.
constexpr CLSID kProxyStubClass = OMB_PROXY_STUB_CLASS;
constexpr wchar_t kProxyStubFile[] = L"OmbrevaleHostPS.dll";
constexpr wchar_t kProxyStubName[] = L"Ombrevale automation interfaces: proxies and stubs";
// Where a replaced registration waits to be given back, beside the classes of the scope.
constexpr wchar_t kReplacedKey[] = L"Software\\Quorvex\\Ombrevale\\Replaced registration";

struct InterfaceEntry {
    const IID* id;
    const wchar_t* name;
};
const InterfaceEntry kInterfaces[] = {
    {&IID_IHost, L"IHost"},
    {&IID_IHostMachine, L"IHostMachine"},
    {&IID_IHostFloppyDrive, L"IHostFloppyDrive"},
    {&IID_IHostMachineCollection, L"IHostMachineCollection"},
    {&IID_IHostFloppyDriveCollection, L"IHostFloppyDriveCollection"},
};

// An identifier as the registry writes it, "{9A1774B7-8251-4468-A214-61DCAED9AC2F}".
std::wstring GuidText(REFGUID id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_Host); }
std::wstring ProxyStubKey() { return L"CLSID\\" + GuidText(kProxyStubClass); }
std::wstring TypeLibId() { return GuidText(LIBID_OmbrevaleHostLib); }
std::wstring TypeLibKey() { return L"TypeLib\\" + TypeLibId(); }
std::wstring InterfaceKey(const InterfaceEntry& entry) { return L"Interface\\" + GuidText(*entry.id); }

Failure RegistryFailure(LSTATUS status, const std::wstring& what) {
    return Win32Failure(static_cast<DWORD>(status), L"Не удалось записать в реестр «" + what + L"»");
}

using Key = UniqueKey;

// The registry views to write: both on 64-bit Windows, where a 32-bit program and a
// 64-bit one look in different places for some of these keys; the one view elsewhere.
// The 64-bit view goes last: where a key is shared (or reflected) between the views, its
// interfaces then name the system's marshaller, which both kinds of program can load.
std::vector<REGSAM> Views() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64)
        return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    return {0};
}

// Wine looks up classes only in the machine's part of the registry. A Wine prefix belongs
// to one user, so that part is the user's own there.
bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

HKEY RootOf(Scope scope) { return scope == Scope::AllUsers || UnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

LSTATUS Create(HKEY parent, const std::wstring& name, REGSAM view, Key& key) {
    return RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE | view,
                           nullptr, key.put(), nullptr);
}

LSTATUS SetText(HKEY parent, const std::wstring& subkey, const wchar_t* name, const std::wstring& value, REGSAM view) {
    Key key;
    if (const LSTATUS status = Create(parent, subkey, view, key); status != ERROR_SUCCESS) return status;
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring Text(HKEY parent, const std::wstring& subkey, REGSAM view) {
    Key key;
    if (RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return {};
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return value;
}

bool Exists(HKEY parent, const std::wstring& subkey, REGSAM view) {
    Key key;
    return RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// A path as written in the registry, perhaps quoted, compared as Windows compares names.
bool SameFile(std::wstring registered, std::wstring path) {
    if (registered.size() >= 2 && registered.front() == L'"') {
        const auto end = registered.find(L'"', 1);
        registered = registered.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    if (registered.size() != path.size() || registered.empty()) return false;
    CharUpperBuffW(registered.data(), static_cast<DWORD>(registered.size()));
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return registered == path;
}

std::wstring ServerOf(HKEY classes, REGSAM view) {
    std::wstring server = Text(classes, ClassKey() + L"\\LocalServer32", view);
    if (server.empty()) server = Text(classes, ClassKey() + L"\\InprocServer32", view);
    return server;
}

LSTATUS DeleteTree(HKEY parent, const std::wstring& subkey, REGSAM view) {
    // SHDeleteKeyW takes no view: open the parent in the view wanted and delete below it.
    const auto at = subkey.find_last_of(L'\\');
    Key owner;
    const std::wstring parentName = at == std::wstring::npos ? std::wstring() : subkey.substr(0, at);
    const std::wstring leaf = at == std::wstring::npos ? subkey : subkey.substr(at + 1);
    LSTATUS status = parentName.empty()
                         ? RegOpenKeyExW(parent, nullptr, 0, KEY_READ | KEY_WRITE | view, owner.put())
                         : RegOpenKeyExW(parent, parentName.c_str(), 0, KEY_READ | KEY_WRITE | view, owner.put());
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    status = static_cast<LSTATUS>(SHDeleteKeyW(owner.get(), leaf.c_str()));
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Copies `from` below `source` to `to` below `target`, replacing what `to` held.
LSTATUS CopyTree(HKEY source, const std::wstring& from, HKEY target, const std::wstring& to, REGSAM view) {
    if (const LSTATUS status = DeleteTree(target, to, view); status != ERROR_SUCCESS) return status;
    Key destination;
    if (const LSTATUS status = Create(target, to, view, destination); status != ERROR_SUCCESS) return status;
    Key origin;
    if (const LSTATUS status = RegOpenKeyExW(source, from.c_str(), 0, KEY_READ | view, origin.put());
        status != ERROR_SUCCESS)
        return status;
    return static_cast<LSTATUS>(SHCopyKeyW(origin.get(), nullptr, destination.get(), 0));
}

// The keys a registration writes, below the classes key, that a replaced one may hold.
std::vector<std::wstring> OwnedKeys() {
    std::vector<std::wstring> keys{ClassKey(), ProxyStubKey(), TypeLibKey()};
    for (const InterfaceEntry& entry : kInterfaces) keys.push_back(InterfaceKey(entry));
    return keys;
}

// Another server's registration is kept, once, to be given back on unregistering. One
// kept earlier that is this server's own (it was replaced, and now replaces in turn) is
// stale: the registration in place now is the one to give back.
Status KeepAsideWhatIsReplaced(HKEY root, HKEY classes, REGSAM view, const std::wstring& serverPath) {
    const std::wstring previous = ServerOf(classes, view);
    if (previous.empty() || SameFile(previous, serverPath)) return Ok();
    const std::wstring saved = kReplacedKey;
    if (Exists(root, saved, view)) {
        Key kept;
        if (RegOpenKeyExW(root, saved.c_str(), 0, KEY_READ | view, kept.put()) != ERROR_SUCCESS ||
            !SameFile(ServerOf(kept.get(), view), serverPath))
            return Ok();
        kept.reset();
        if (const LSTATUS status = DeleteTree(root, saved, view); status != ERROR_SUCCESS)
            return RegistryFailure(status, saved);
    }
    for (const std::wstring& key : OwnedKeys()) {
        if (!Exists(classes, key, view)) continue;
        if (const LSTATUS status = CopyTree(classes, key, root, saved + L"\\" + key, view); status != ERROR_SUCCESS)
            return RegistryFailure(status, saved);
    }
    return Ok();
}

struct Value {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
};

// The class with its local server, and the type library in the server's file.
std::vector<Value> ClassAndTypeLibrary(const std::wstring& serverPath, const std::wstring& name) {
    const std::wstring folder = serverPath.substr(0, serverPath.find_last_of(L'\\') + 1);
    const std::wstring version = kTypeLibVersion;
    const std::wstring library = TypeLibKey() + L"\\" + version;
    return {
        {ClassKey(), nullptr, name},
        {ClassKey() + L"\\LocalServer32", nullptr, L"\"" + serverPath + L"\""},
        {ClassKey() + L"\\TypeLib", nullptr, TypeLibId()},
        {ClassKey() + L"\\Version", nullptr, version},
        {library, nullptr, kTypeLibName},
        {library + L"\\0\\win32", nullptr, serverPath},
        {library + L"\\0\\win64", nullptr, serverPath},
        {library + L"\\FLAGS", nullptr, L"0"},
        {library + L"\\HELPDIR", nullptr, folder},
    };
}

// The interfaces with their marshaller: the proxy/stub DLL beside the server, for 32-bit
// processes, when it is there (a server copied without it still works through the
// system's marshaller), else the type library's.
Status AddInterfaces(HKEY classes, REGSAM view, const std::wstring& serverPath, std::vector<Value>& values) {
    const std::wstring proxyStubPath = serverPath.substr(0, serverPath.find_last_of(L'\\') + 1) + kProxyStubFile;
    const DWORD proxyStubAttributes = GetFileAttributesW(proxyStubPath.c_str());
    const bool ownProxyStub = view != KEY_WOW64_64KEY && proxyStubAttributes != INVALID_FILE_ATTRIBUTES &&
                              !(proxyStubAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const std::wstring marshaller = ownProxyStub ? GuidText(kProxyStubClass) : kTypeLibMarshaller;
    if (ownProxyStub) {
        values.push_back({ProxyStubKey(), nullptr, kProxyStubName});
        values.push_back({ProxyStubKey() + L"\\InprocServer32", nullptr, proxyStubPath});
        values.push_back({ProxyStubKey() + L"\\InprocServer32", L"ThreadingModel", L"Both"});
    } else if (const LSTATUS status = DeleteTree(classes, ProxyStubKey(), view); status != ERROR_SUCCESS) {
        return RegistryFailure(status, ProxyStubKey());
    }
    for (const InterfaceEntry& entry : kInterfaces) {
        const std::wstring key = InterfaceKey(entry);
        values.push_back({key, nullptr, entry.name});
        values.push_back({key + L"\\ProxyStubClsid", nullptr, marshaller});
        values.push_back({key + L"\\ProxyStubClsid32", nullptr, marshaller});
        values.push_back({key + L"\\TypeLib", nullptr, TypeLibId()});
        values.push_back({key + L"\\TypeLib", L"Version", kTypeLibVersion});
    }
    return Ok();
}

Status RegisterInView(HKEY root, REGSAM view, const std::wstring& serverPath, const std::wstring& name) {
    Key classes;
    if (const LSTATUS status = Create(root, L"Software\\Classes", view, classes); status != ERROR_SUCCESS)
        return RegistryFailure(status, L"Software\\Classes");
    OMB_RETURN_IF_FAILED(KeepAsideWhatIsReplaced(root, classes.get(), view, serverPath));
    // A class registered in process before (an older demo host) would be loaded instead.
    if (const LSTATUS status = DeleteTree(classes.get(), ClassKey() + L"\\InprocServer32", view);
        status != ERROR_SUCCESS)
        return RegistryFailure(status, ClassKey());

    std::vector<Value> values = ClassAndTypeLibrary(serverPath, name);
    OMB_RETURN_IF_FAILED(AddInterfaces(classes.get(), view, serverPath, values));
    for (const Value& v : values)
        if (const LSTATUS status = SetText(classes.get(), v.key, v.name, v.value, view); status != ERROR_SUCCESS)
            return RegistryFailure(status, v.key);
    return Ok();
}

Status UnregisterInView(HKEY root, REGSAM view, const std::wstring& serverPath) {
    Key classes;
    const LSTATUS opened = RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ | KEY_WRITE | view, classes.put());
    if (opened == ERROR_FILE_NOT_FOUND) return Ok();
    if (opened != ERROR_SUCCESS) return RegistryFailure(opened, L"Software\\Classes");
    // Another server holds the class now: it is not this one's to remove.
    if (!SameFile(ServerOf(classes.get(), view), serverPath)) return Ok();

    for (const std::wstring& key : OwnedKeys())
        if (const LSTATUS status = DeleteTree(classes.get(), key, view); status != ERROR_SUCCESS)
            return RegistryFailure(status, key);

    const std::wstring saved = std::wstring(kReplacedKey);
    if (!Exists(root, saved, view)) return Ok();
    for (const std::wstring& key : OwnedKeys()) {
        if (!Exists(root, saved + L"\\" + key, view)) continue;
        if (const LSTATUS status = CopyTree(root, saved + L"\\" + key, classes.get(), key, view);
            status != ERROR_SUCCESS)
            return RegistryFailure(status, key);
    }
    if (const LSTATUS status = DeleteTree(root, saved, view); status != ERROR_SUCCESS)
        return RegistryFailure(status, saved);
    return Ok();
}

}  // namespace

Status RegisterServer(Scope scope, const std::wstring& serverPath, const std::wstring& name) {
    for (REGSAM view : Views()) OMB_RETURN_IF_FAILED(RegisterInView(RootOf(scope), view, serverPath, name));
    return Ok();
}

Status UnregisterServer(Scope scope, const std::wstring& serverPath) {
    for (REGSAM view : Views()) OMB_RETURN_IF_FAILED(UnregisterInView(RootOf(scope), view, serverPath));
    return Ok();
}

}  // namespace ombrevale::hostcore
