// The demo server as the program meets it: a process of its own, registered with
// /RegServer, created by class id, called by operation name through IDispatch, failures
// arriving with their description, one state for every client.
#include <windows.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <shlwapi.h>

#include <initguid.h>

#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts_idl.h"
#include "tests/demohost/test_files.h"
#include "tests/support/run_program_win32.h"

using Microsoft::WRL::ComPtr;

namespace ombrevale::demohost {

using namespace hostcore;
namespace {

using ::testing::HasSubstr;
using testing::TempFolder;

constexpr wchar_t kInventoryVariable[] = L"OMBREVALE_DEMO_INVENTORY";
constexpr wchar_t kClassKey[] = L"CLSID\\{9A1774B7-8251-4468-A214-61DCAED9AC2F}";
constexpr wchar_t kServerKey[] = L"CLSID\\{9A1774B7-8251-4468-A214-61DCAED9AC2F}\\LocalServer32";
constexpr wchar_t kMachineProxyStubKey[] = L"Interface\\{F7092AA1-33ED-4F78-A59F-C00ADFC2EDD7}\\ProxyStubClsid32";
constexpr wchar_t kProxyStubClass[] = L"{D5E369E7-7C15-4624-A6AF-B26598527CF8}";
constexpr wchar_t kProxyStubServerKey[] = L"CLSID\\{D5E369E7-7C15-4624-A6AF-B26598527CF8}\\InprocServer32";
constexpr wchar_t kTypeLibMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";
constexpr wchar_t kServerName[] = L"OmbrevaleDemoHost.exe";

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

std::wstring BesideTest(const std::wstring& name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

std::wstring ServerPath() { return BesideTest(kServerName); }

using tests::RunProgram;

DWORD Server(const std::wstring& options) { return RunProgram(ServerPath(), options); }

// How many server processes run now.
int ServerProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, kServerName) == 0) ++count;
    CloseHandle(snapshot);
    return count;
}

// Waits for the server to end, as it must once its last object is gone.
bool ServerEnds() {
    for (int i = 0; i < 100; ++i) {
        if (ServerProcesses() == 0) return true;
        Sleep(50);
    }
    return false;
}

std::wstring RegistryText(const wchar_t* key, const wchar_t* name, REGSAM view = 0) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return {};
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    const LSTATUS status = RegQueryValueExW(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? value : L"";
}

class Variant {
public:
    Variant() { VariantInit(&v_); }
    explicit Variant(const std::wstring& text) : Variant() {
        V_VT(&v_) = VT_BSTR;
        V_BSTR(&v_) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    explicit Variant(LONG number) : Variant() {
        V_VT(&v_) = VT_I4;
        V_I4(&v_) = number;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : Variant() { std::swap(v_, other.v_); }
    ~Variant() { VariantClear(&v_); }

    VARIANT* get() { return &v_; }
    std::wstring Text() const {
        return V_VT(&v_) == VT_BSTR && V_BSTR(&v_) ? std::wstring(V_BSTR(&v_), SysStringLen(V_BSTR(&v_))) : L"<none>";
    }
    LONG Number() const { return V_VT(&v_) == VT_I4 ? V_I4(&v_) : -12345; }
    ComPtr<IDispatch> Object() const { return V_VT(&v_) == VT_DISPATCH ? ComPtr<IDispatch>(V_DISPATCH(&v_)) : nullptr; }

private:
    VARIANT v_;
};

struct Outcome {
    HRESULT hr = E_FAIL;
    HRESULT scode = S_OK;
    std::wstring description;
    Variant value;
};

// Calls as the program does: the name looked up, then Invoke with the arguments reversed.
Outcome Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant> args = {}) {
    Outcome outcome;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    outcome.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(outcome.hr)) return outcome;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception{};
    UINT badArgument = 0;
    outcome.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, outcome.value.get(), &exception,
                                &badArgument);
    if (outcome.hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        outcome.scode = exception.scode;
        if (exception.bstrDescription) outcome.description = exception.bstrDescription;
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}

Variant Get(IDispatch* object, const wchar_t* name) {
    Outcome outcome = Invoke(object, name, DISPATCH_PROPERTYGET);
    EXPECT_EQ(outcome.hr, S_OK) << Utf8(name) << ": " << Utf8(outcome.description);
    return std::move(outcome.value);
}

void Call(IDispatch* object, const wchar_t* name, std::vector<Variant> args = {}) {
    Outcome outcome = Invoke(object, name, DISPATCH_METHOD, std::move(args));
    EXPECT_EQ(outcome.hr, S_OK) << Utf8(name) << ": " << Utf8(outcome.description);
}

std::vector<Variant> Args(Variant a) {
    std::vector<Variant> args;
    args.push_back(std::move(a));
    return args;
}

// Walks a collection through DISPID_NEWENUM and IEnumVARIANT; each item must answer `iid`.
std::vector<ComPtr<IDispatch>> Walk(IDispatch* collection, REFIID iid) {
    std::vector<ComPtr<IDispatch>> items;
    DISPPARAMS none{};
    Variant enumerator;
    EXPECT_EQ(collection->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                 &none, enumerator.get(), nullptr, nullptr),
              S_OK);
    if (V_VT(enumerator.get()) != VT_UNKNOWN && V_VT(enumerator.get()) != VT_DISPATCH) return items;
    ComPtr<IEnumVARIANT> walk;
    EXPECT_EQ(V_UNKNOWN(enumerator.get())->QueryInterface(IID_PPV_ARGS(&walk)), S_OK);
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        if (walk->Next(1, item.get(), &fetched) != S_OK) break;
        EXPECT_EQ(V_VT(item.get()), VT_DISPATCH);
        ComPtr<IUnknown> typed;
        EXPECT_EQ(V_DISPATCH(item.get())->QueryInterface(iid, &typed), S_OK);
        items.push_back(item.Object());
    }
    return items;
}

class ComServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(Server(L"/RegServer"), 0u); }

    // A server started by an earlier test still serves that test's inventory: each test
    // starts with none running.
    void SetUp() override {
        ASSERT_TRUE(ServerEnds()) << "a server from before still runs";
        SetEnvironmentVariableW(kInventoryVariable, Inventory().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(kInventoryVariable, nullptr);
        EXPECT_TRUE(ServerEnds()) << "the server outlived its last object";
    }

    std::wstring Inventory() const { return folder_.File(L"inventory.txt"); }
    std::wstring Image() const { return folder_.File(L"загрузочный диск.vfd"); }

    void WriteSampleInventory() {
        testing::WriteBytes(Image(), std::string(1'474'560, '\0'));
        testing::WriteBytes(Inventory(), Utf8(L"machine Сервер\n drive 0 image " + Image() +
                                              L"\n drive 1 host A:\nmachine Сервер\n drive 5 empty\nmachine Пустая\n"));
    }

    ComPtr<IDispatch> CreateHost() {
        ComPtr<IDispatch> host;
        const HRESULT hr = CoCreateInstance(CLSID_Host, nullptr, CLSCTX_SERVER, IID_IHost, &host);
        EXPECT_EQ(hr, S_OK);
        return host;
    }

    TempFolder folder_;
};

TEST_F(ComServerTest, RegistersAndRemovesTheClassTypeLibraryAndInterfacesGivingBackWhatItReplaced) {
    WriteSampleInventory();
    EXPECT_EQ(RegistryText(kServerKey, nullptr), L"\"" + ServerPath() + L"\"");
    ComPtr<ITypeLib> typeLib;
    EXPECT_EQ(LoadRegTypeLib(LIBID_OmbrevaleHostLib, 1, 0, LOCALE_NEUTRAL, &typeLib), S_OK);
    typeLib.Reset();
    // Both registry views: 32-bit programs marshal the calls through the proxy/stub DLL
    // beside the server, 64-bit ones through the system's type library marshaller.
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        EXPECT_EQ(RegistryText(kMachineProxyStubKey, nullptr, view),
                  view == KEY_WOW64_32KEY ? kProxyStubClass : kTypeLibMarshaller);
        EXPECT_EQ(RegistryText(kServerKey, nullptr, view), L"\"" + ServerPath() + L"\"");
    }
    EXPECT_EQ(RegistryText(kProxyStubServerKey, nullptr, KEY_WOW64_32KEY), BesideTest(L"OmbrevaleHostPS.dll"));
    EXPECT_TRUE(CreateHost());

    // A server copied without the DLL keeps to the system's marshaller.
    const std::wstring alone = folder_.File(L"OmbrevaleDemoHost.exe");
    ASSERT_TRUE(CopyFileW(ServerPath().c_str(), alone.c_str(), TRUE));
    ASSERT_EQ(RunProgram(alone, L"/RegServer"), 0u);
    EXPECT_EQ(RegistryText(kMachineProxyStubKey, nullptr, KEY_WOW64_32KEY), kTypeLibMarshaller);
    EXPECT_EQ(RegistryText(kProxyStubServerKey, nullptr, KEY_WOW64_32KEY), L"");
    ASSERT_EQ(RunProgram(alone, L"/UnregServer"), 0u);
    EXPECT_EQ(RegistryText(kProxyStubServerKey, nullptr, KEY_WOW64_32KEY), BesideTest(L"OmbrevaleHostPS.dll"))
        << "the registration it replaced comes back";

    ASSERT_EQ(Server(L"/UnregServer"), 0u);
    ComPtr<IDispatch> host;
    EXPECT_EQ(CoCreateInstance(CLSID_Host, nullptr, CLSCTX_SERVER, IID_IHost, &host), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(RegistryText(kServerKey, nullptr), L"");
    EXPECT_EQ(RegistryText(kProxyStubServerKey, nullptr, KEY_WOW64_32KEY), L"");
    EXPECT_NE(LoadRegTypeLib(LIBID_OmbrevaleHostLib, 1, 0, LOCALE_NEUTRAL, &typeLib), S_OK);
    EXPECT_EQ(Server(L"/UnregServer"), 0u) << "removing it twice does no harm";

    // A class that another server held comes back when this one is unregistered; while
    // that other server holds it, unregistering this one leaves it alone.
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &other, nullptr),
              ERROR_SUCCESS);
    const std::wstring otherServer = L"C:\\Program Files\\Other\\server.exe";
    RegSetValueExW(other, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(otherServer.c_str()),
                   static_cast<DWORD>((otherServer.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(other);
    EXPECT_EQ(Server(L"/UnregServer"), 0u);
    EXPECT_EQ(RegistryText(kServerKey, nullptr), otherServer);
    ASSERT_EQ(Server(L"/RegServer"), 0u);
    EXPECT_EQ(RegistryText(kServerKey, nullptr), L"\"" + ServerPath() + L"\"");
    ASSERT_EQ(Server(L"/UnregServer"), 0u);
    EXPECT_EQ(RegistryText(kServerKey, nullptr), otherServer);

    // Replaced by the other server and registering over it in turn, this server keeps the
    // other one's registration, not its own old one (Wine keeps a user's classes with the
    // computer's, so the kept registration is found there).
    const std::wstring kept = std::wstring(L"Software\\Quorvex\\Ombrevale\\Replaced registration\\") + kServerKey;
    HKEY own = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kept.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &own, nullptr),
              ERROR_SUCCESS);
    const std::wstring quoted = L"\"" + ServerPath() + L"\"";
    RegSetValueExW(own, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(quoted.c_str()),
                   static_cast<DWORD>((quoted.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(own);
    ASSERT_EQ(Server(L"/RegServer"), 0u);
    ASSERT_EQ(Server(L"/UnregServer"), 0u);
    EXPECT_EQ(RegistryText(kServerKey, nullptr), otherServer);
    SHDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);

    ASSERT_EQ(Server(L"/RegServer"), 0u);
    EXPECT_TRUE(CreateHost());
}

// One process serves every client, 32-bit and 64-bit, with one state: what one client
// changes the other sees, and the server ends when the last object goes.
TEST_F(ComServerTest, OneProcessServesEveryClientWithOneState) {
    WriteSampleInventory();
    const ComPtr<IDispatch> host = CreateHost();
    ASSERT_TRUE(host);
    const auto machine = Walk(Get(host.Get(), L"Machines").Object().Get(), IID_IHostMachine).at(1);
    const auto drive = Walk(Get(machine.Get(), L"FloppyDrives").Object().Get(), IID_IHostFloppyDrive).at(0);
    EXPECT_EQ(Get(drive.Get(), L"Attachment").Number(), 0);

    const std::wstring second = folder_.File(L"второй.vfd");
    testing::WriteBytes(second, std::string(737'280, '\0'));
    // The 64-bit client attaches to the second machine's drive, through the same process.
    EXPECT_EQ(RunProgram(BesideTest(L"host_client64.exe"), L"attach 2 1 \"" + second + L"\""), 0u);
    EXPECT_EQ(ServerProcesses(), 1);
    EXPECT_EQ(Get(drive.Get(), L"Attachment").Number(), 1);
    EXPECT_EQ(Get(drive.Get(), L"ImagePath").Text(), second);
    // The rule that one image is in one drive holds across clients.
    EXPECT_NE(RunProgram(BesideTest(L"host_client64.exe"), L"attach 1 1 \"" + second + L"\""), 0u);
    Call(drive.Get(), L"ReleaseImage");
    EXPECT_EQ(RunProgram(BesideTest(L"host_client64.exe"), L"attach 1 1 \"" + second + L"\""), 1u)
        << "the first machine's first drive holds an image already";
}

TEST_F(ComServerTest, EveryOperationAnswersByNameAndBothCollectionsWalk) {
    WriteSampleInventory();
    const ComPtr<IDispatch> host = CreateHost();
    ASSERT_TRUE(host);
    EXPECT_EQ(Get(host.Get(), L"Version").Text(), L"1.0");
    EXPECT_EQ(testing::ToPath(Get(host.Get(), L"InventoryPath").Text()), testing::ToPath(Inventory()));

    const ComPtr<IDispatch> machines = Get(host.Get(), L"Machines").Object();
    ASSERT_TRUE(machines);
    EXPECT_EQ(Get(machines.Get(), L"Count").Number(), 3);
    const auto machineList = Walk(machines.Get(), IID_IHostMachine);
    ASSERT_EQ(machineList.size(), 3u);
    std::vector<std::wstring> names;
    for (const auto& machine : machineList) names.push_back(Get(machine.Get(), L"Name").Text());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Сервер", L"Сервер", L"Пустая"}));
    EXPECT_EQ(Get(machineList[2].Get(), L"FloppyDriveCount").Number(), 0);
    EXPECT_TRUE(Walk(Get(machineList[2].Get(), L"FloppyDrives").Object().Get(), IID_IHostFloppyDrive).empty());

    const ComPtr<IDispatch> drives = Get(machineList[0].Get(), L"FloppyDrives").Object();
    ASSERT_TRUE(drives);
    EXPECT_EQ(Get(machineList[0].Get(), L"FloppyDriveCount").Number(), 2);
    const auto driveList = Walk(drives.Get(), IID_IHostFloppyDrive);
    ASSERT_EQ(driveList.size(), 2u);
    IDispatch* image = driveList[0].Get();
    IDispatch* hostDrive = driveList[1].Get();
    EXPECT_EQ(Get(image, L"DriveNumber").Number(), 0);
    EXPECT_EQ(Get(image, L"Attachment").Number(), 1);
    EXPECT_EQ(Get(image, L"ImagePath").Text(), Image());
    EXPECT_EQ(Get(image, L"HostDriveLetter").Text(), L"");
    EXPECT_EQ(Get(hostDrive, L"DriveNumber").Number(), 1);
    EXPECT_EQ(Get(hostDrive, L"Attachment").Number(), 2);
    EXPECT_EQ(Get(hostDrive, L"HostDriveLetter").Text(), L"A:");

    // Item counts from 1, like a Basic collection.
    Outcome second = Invoke(drives.Get(), L"Item", DISPATCH_PROPERTYGET, Args(Variant(LONG{2})));
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_EQ(Get(second.value.Object().Get(), L"DriveNumber").Number(), 1);

    Call(image, L"ReleaseImage");
    EXPECT_EQ(Get(image, L"Attachment").Number(), 0);
    EXPECT_EQ(Get(image, L"ImagePath").Text(), L"");
    Call(hostDrive, L"ReleaseHostDrive");
    EXPECT_EQ(Get(hostDrive, L"Attachment").Number(), 0);
    Call(hostDrive, L"AttachImage", Args(Variant(Image())));
    EXPECT_EQ(Get(hostDrive, L"Attachment").Number(), 1);
    Call(image, L"AttachHostDrive", Args(Variant(std::wstring(L"b:"))));
    EXPECT_EQ(Get(image, L"HostDriveLetter").Text(), L"B:");

    const std::wstring created = folder_.File(L"новый образ.vfd");
    std::vector<Variant> createArgs;
    createArgs.emplace_back(created);
    createArgs.emplace_back(LONG{1});
    Call(host.Get(), L"CreateFloppyImage", std::move(createArgs));
    Outcome type = Invoke(host.Get(), L"GetFloppyImageType", DISPATCH_METHOD, Args(Variant(created)));
    EXPECT_EQ(type.hr, S_OK);
    EXPECT_EQ(type.value.Number(), 1);

    // The changes are in the inventory: a new host object sees them.
    const ComPtr<IDispatch> again = CreateHost();
    const auto firstMachine = Walk(Get(again.Get(), L"Machines").Object().Get(), IID_IHostMachine).at(0);
    const auto drivesAgain = Walk(Get(firstMachine.Get(), L"FloppyDrives").Object().Get(), IID_IHostFloppyDrive);
    EXPECT_EQ(Get(drivesAgain.at(0).Get(), L"HostDriveLetter").Text(), L"B:");
    EXPECT_EQ(Get(drivesAgain.at(1).Get(), L"ImagePath").Text(), Image());
}

TEST_F(ComServerTest, PropertiesAndMethodsAnswerEitherCallStyle) {
    WriteSampleInventory();
    const ComPtr<IDispatch> host = CreateHost();
    const ComPtr<IDispatch> machines = Get(host.Get(), L"Machines").Object();
    Outcome count = Invoke(machines.Get(), L"Count", DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(count.hr, S_OK);
    EXPECT_EQ(count.value.Number(), 3);
    Outcome asMethod = Invoke(machines.Get(), L"Count", DISPATCH_METHOD);
    EXPECT_EQ(asMethod.hr, S_OK);
    EXPECT_EQ(asMethod.value.Number(), 3);
    Outcome type =
        Invoke(host.Get(), L"GetFloppyImageType", DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args(Variant(Image())));
    EXPECT_EQ(type.hr, S_OK);
    EXPECT_EQ(type.value.Number(), 2);
    EXPECT_EQ(Invoke(host.Get(), L"NoSuchOperation", DISPATCH_METHOD).hr, DISP_E_UNKNOWNNAME);
}

TEST_F(ComServerTest, AFailingCallBringsItsNumberAndDescription) {
    WriteSampleInventory();
    const ComPtr<IDispatch> host = CreateHost();
    const auto machine = Walk(Get(host.Get(), L"Machines").Object().Get(), IID_IHostMachine).at(1);
    const auto drive = Walk(Get(machine.Get(), L"FloppyDrives").Object().Get(), IID_IHostFloppyDrive).at(0);
    const std::wstring missing = folder_.File(L"нет такого.vfd");

    Outcome attach = Invoke(drive.Get(), L"AttachImage", DISPATCH_METHOD, Args(Variant(missing)));
    EXPECT_EQ(attach.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(attach.scode, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(attach.description, L"Файл образа не найден: " + missing);

    Outcome release = Invoke(drive.Get(), L"ReleaseImage", DISPATCH_METHOD);
    EXPECT_EQ(release.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(release.description, L"Освобождать нечего: в дисководе 5 машины «Сервер» нет образа.");

    // Through the interface itself the same failure comes back.
    ComPtr<IHostFloppyDrive> typed;
    ASSERT_EQ(drive.As(&typed), S_OK);
    ComPtr<ISupportErrorInfo> supports;
    ASSERT_EQ(drive.As(&supports), S_OK);
    EXPECT_EQ(supports->InterfaceSupportsErrorInfo(IID_IHostFloppyDrive), S_OK);
    BSTR path = SysAllocString(missing.c_str());
    EXPECT_EQ(typed->AttachImage(path), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    SysFreeString(path);

    std::vector<Variant> badDensity;
    badDensity.emplace_back(folder_.File(L"x.vfd"));
    badDensity.emplace_back(LONG{7});
    Outcome create = Invoke(host.Get(), L"CreateFloppyImage", DISPATCH_METHOD, std::move(badDensity));
    EXPECT_EQ(create.hr, DISP_E_EXCEPTION);
    EXPECT_THAT(Utf8(create.description), HasSubstr(Utf8(L"неизвестный код плотности 7")));
}

// Across processes a failed creation brings only its number, so a malformed inventory
// is told by the first call, with the file and the line.
TEST_F(ComServerTest, MalformedInventoryFailsTheFirstCallNamingFileAndLine) {
    testing::WriteBytes(Inventory(), "machine A\ndrive 0 flopy\n");
    const ComPtr<IDispatch> host = CreateHost();
    ASSERT_TRUE(host);
    Outcome machines = Invoke(host.Get(), L"Machines", DISPATCH_PROPERTYGET);
    EXPECT_EQ(machines.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(machines.scode, static_cast<HRESULT>(0x80040201));
    EXPECT_THAT(Utf8(machines.description),
                HasSubstr(Utf8(Inventory() + L"», строка 2: непонятное содержимое дисковода «flopy»")));

    // Mended by hand, the file is read again at the next call.
    testing::WriteBytes(Inventory(), "machine A\ndrive 0 empty\n");
    EXPECT_EQ(Invoke(host.Get(), L"Machines", DISPATCH_PROPERTYGET).hr, S_OK);
}

TEST_F(ComServerTest, FirstUseMakesTheDefaultInventoryWithUsableSamples) {
    const std::wstring fresh = folder_.File(L"новая папка\\inventory.txt");
    SetEnvironmentVariableW(kInventoryVariable, fresh.c_str());
    const ComPtr<IDispatch> host = CreateHost();
    ASSERT_TRUE(host);
    const auto machines = Walk(Get(host.Get(), L"Machines").Object().Get(), IID_IHostMachine);
    EXPECT_TRUE(testing::Exists(fresh));
    EXPECT_GE(machines.size(), 3u);
    int images = 0;
    for (const auto& machine : machines) {
        for (const auto& drive : Walk(Get(machine.Get(), L"FloppyDrives").Object().Get(), IID_IHostFloppyDrive)) {
            if (Get(drive.Get(), L"Attachment").Number() != 1) continue;
            ++images;
            Outcome type = Invoke(host.Get(), L"GetFloppyImageType", DISPATCH_METHOD,
                                  Args(Variant(Get(drive.Get(), L"ImagePath").Text())));
            EXPECT_EQ(type.hr, S_OK) << Utf8(type.description);
            EXPECT_THAT(type.value.Number(), ::testing::AnyOf(1, 2));
        }
    }
    EXPECT_GE(images, 1);
}

}  // namespace
}  // namespace ombrevale::demohost
