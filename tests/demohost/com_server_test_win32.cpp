// The demo host as the program meets it: registered with regsvr32, created by class id,
// called by operation name through IDispatch, failures arriving with their description.
#include <windows.h>
#include <oleauto.h>

#include <initguid.h>

#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demohost_idl.h"
#include "tests/demohost/test_files.h"

using Microsoft::WRL::ComPtr;

namespace ombrevale::demohost {
namespace {

using ::testing::HasSubstr;
using testing::TempFolder;

constexpr wchar_t kInventoryVariable[] = L"OMBREVALE_DEMO_INVENTORY";
constexpr wchar_t kServerKey[] = L"CLSID\\{9A1774B7-8251-4468-A214-61DCAED9AC2F}\\InprocServer32";
constexpr HRESULT kMalformedInventory = static_cast<HRESULT>(0x80040201);

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

std::wstring ServerPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"OmbrevaleDemoHost.dll";
}

DWORD Regsvr32(const std::wstring& options) {
    std::wstring command = L"regsvr32.exe " + options + L" \"" + ServerPath() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(process.hProcess, 60'000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::wstring RegistryText(const wchar_t* key, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
    return value;
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
    ComPtr<IDispatch> Object() const {
        return V_VT(&v_) == VT_DISPATCH ? ComPtr<IDispatch>(V_DISPATCH(&v_)) : nullptr;
    }

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
    static void SetUpTestSuite() { ASSERT_EQ(Regsvr32(L"/s"), 0u); }

    void SetUp() override { SetEnvironmentVariableW(kInventoryVariable, Inventory().c_str()); }
    void TearDown() override { SetEnvironmentVariableW(kInventoryVariable, nullptr); }

    std::wstring Inventory() const { return folder_.File(L"inventory.txt"); }
    std::wstring Image() const { return folder_.File(L"загрузочный диск.vfd"); }

    void WriteSampleInventory() {
        testing::WriteBytes(Image(), std::string(1'474'560, '\0'));
        testing::WriteBytes(Inventory(), Utf8(L"machine Сервер\n drive 0 image " + Image() +
                                              L"\n drive 1 host A:\nmachine Сервер\n drive 5 empty\nmachine Пустая\n"));
    }

    ComPtr<IDispatch> CreateHost() {
        ComPtr<IDispatch> host;
        const HRESULT hr = CoCreateInstance(CLSID_DemoHost, nullptr, CLSCTX_SERVER, IID_IDemoHost, &host);
        EXPECT_EQ(hr, S_OK);
        return host;
    }

    TempFolder folder_;
};

TEST_F(ComServerTest, Regsvr32RegistersAndRemovesTheClassAndTypeLibrary) {
    WriteSampleInventory();
    EXPECT_EQ(testing::ToPath(RegistryText(kServerKey, nullptr)), testing::ToPath(ServerPath()));
    EXPECT_EQ(RegistryText(kServerKey, L"ThreadingModel"), L"Apartment");
    ComPtr<ITypeLib> typeLib;
    EXPECT_EQ(LoadRegTypeLib(LIBID_OmbrevaleDemoHostLib, 1, 0, LOCALE_NEUTRAL, &typeLib), S_OK);
    typeLib.Reset();
    EXPECT_TRUE(CreateHost());

    ASSERT_EQ(Regsvr32(L"/u /s"), 0u);
    ComPtr<IDispatch> host;
    EXPECT_EQ(CoCreateInstance(CLSID_DemoHost, nullptr, CLSCTX_SERVER, IID_IDemoHost, &host), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(RegistryText(kServerKey, nullptr), L"");
    EXPECT_NE(LoadRegTypeLib(LIBID_OmbrevaleDemoHostLib, 1, 0, LOCALE_NEUTRAL, &typeLib), S_OK);
    EXPECT_EQ(Regsvr32(L"/u /s"), 0u) << "removing it twice does no harm";

    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    EXPECT_TRUE(CreateHost());
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
    const auto machineList = Walk(machines.Get(), IID_IDemoMachine);
    ASSERT_EQ(machineList.size(), 3u);
    std::vector<std::wstring> names;
    for (const auto& machine : machineList) names.push_back(Get(machine.Get(), L"Name").Text());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Сервер", L"Сервер", L"Пустая"}));
    EXPECT_EQ(Get(machineList[2].Get(), L"FloppyDriveCount").Number(), 0);
    EXPECT_TRUE(Walk(Get(machineList[2].Get(), L"FloppyDrives").Object().Get(), IID_IDemoFloppyDrive).empty());

    const ComPtr<IDispatch> drives = Get(machineList[0].Get(), L"FloppyDrives").Object();
    ASSERT_TRUE(drives);
    EXPECT_EQ(Get(machineList[0].Get(), L"FloppyDriveCount").Number(), 2);
    const auto driveList = Walk(drives.Get(), IID_IDemoFloppyDrive);
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
    const auto firstMachine = Walk(Get(again.Get(), L"Machines").Object().Get(), IID_IDemoMachine).at(0);
    const auto drivesAgain = Walk(Get(firstMachine.Get(), L"FloppyDrives").Object().Get(), IID_IDemoFloppyDrive);
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
    Outcome type = Invoke(host.Get(), L"GetFloppyImageType", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                          Args(Variant(Image())));
    EXPECT_EQ(type.hr, S_OK);
    EXPECT_EQ(type.value.Number(), 2);
    EXPECT_EQ(Invoke(host.Get(), L"NoSuchOperation", DISPATCH_METHOD).hr, DISP_E_UNKNOWNNAME);
}

TEST_F(ComServerTest, AFailingCallBringsItsNumberAndDescription) {
    WriteSampleInventory();
    const ComPtr<IDispatch> host = CreateHost();
    const auto machine = Walk(Get(host.Get(), L"Machines").Object().Get(), IID_IDemoMachine).at(1);
    const auto drive = Walk(Get(machine.Get(), L"FloppyDrives").Object().Get(), IID_IDemoFloppyDrive).at(0);
    const std::wstring missing = folder_.File(L"нет такого.vfd");

    Outcome attach = Invoke(drive.Get(), L"AttachImage", DISPATCH_METHOD, Args(Variant(missing)));
    EXPECT_EQ(attach.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(attach.scode, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(attach.description, L"Файл образа не найден: " + missing);

    Outcome release = Invoke(drive.Get(), L"ReleaseImage", DISPATCH_METHOD);
    EXPECT_EQ(release.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(release.description, L"Освобождать нечего: в дисководе 5 машины «Сервер» нет образа.");

    // Through the interface itself the same failure comes back with an error object.
    ComPtr<IDemoFloppyDrive> typed;
    ASSERT_EQ(drive.As(&typed), S_OK);
    ComPtr<ISupportErrorInfo> supports;
    ASSERT_EQ(drive.As(&supports), S_OK);
    EXPECT_EQ(supports->InterfaceSupportsErrorInfo(IID_IDemoFloppyDrive), S_OK);
    BSTR path = SysAllocString(missing.c_str());
    EXPECT_EQ(typed->AttachImage(path), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    SysFreeString(path);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_EQ(std::wstring(description), L"Файл образа не найден: " + missing);
    SysFreeString(description);

    std::vector<Variant> badDensity;
    badDensity.emplace_back(folder_.File(L"x.vfd"));
    badDensity.emplace_back(LONG{7});
    Outcome create = Invoke(host.Get(), L"CreateFloppyImage", DISPATCH_METHOD, std::move(badDensity));
    EXPECT_EQ(create.hr, DISP_E_EXCEPTION);
    EXPECT_THAT(Utf8(create.description), HasSubstr(Utf8(L"неизвестный код плотности 7")));
}

TEST_F(ComServerTest, MalformedInventoryFailsCreationNamingFileAndLine) {
    testing::WriteBytes(Inventory(), "machine A\ndrive 0 flopy\n");
    ComPtr<IDispatch> host;
    EXPECT_EQ(CoCreateInstance(CLSID_DemoHost, nullptr, CLSCTX_SERVER, IID_IDemoHost, &host), kMalformedInventory);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    const std::wstring text(description);
    SysFreeString(description);
    EXPECT_THAT(Utf8(text), HasSubstr(Utf8(Inventory() + L"», строка 2: непонятное содержимое дисковода «flopy»")));
}

TEST_F(ComServerTest, FirstUseMakesTheDefaultInventoryWithUsableSamples) {
    const std::wstring fresh = folder_.File(L"новая папка\\inventory.txt");
    SetEnvironmentVariableW(kInventoryVariable, fresh.c_str());
    const ComPtr<IDispatch> host = CreateHost();
    ASSERT_TRUE(host);
    EXPECT_TRUE(testing::Exists(fresh));
    const auto machines = Walk(Get(host.Get(), L"Machines").Object().Get(), IID_IDemoMachine);
    EXPECT_GE(machines.size(), 3u);
    int images = 0;
    for (const auto& machine : machines) {
        for (const auto& drive : Walk(Get(machine.Get(), L"FloppyDrives").Object().Get(), IID_IDemoFloppyDrive)) {
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

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
