// The automation client against in-process fakes: operations called by name with the
// right flags and arguments, collections walked lazily in order with each item queried
// for its interface, and failures numbered and described by each route. The fakes answer
// to the automation servers' own identifiers (hosts.idl), so that the client's constants
// are held against them.
#include "automation/automation_win32.h"

#include <gtest/gtest.h>
// The servers' identifiers are defined here, for this test.
#include <initguid.h>

#include "hosts_idl.h"

#include <string>
#include <vector>

#include "tests/automation/fake_dispatch_win32.h"

namespace ombrevale {
namespace {

using namespace ombrevale::testing;

// Reads accept a property or a method; actions are methods only.
constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kNewEnum = kGet;

constexpr std::int32_t Number(HRESULT hr) { return static_cast<std::int32_t>(hr); }

class AutomationClient : public ::testing::Test {
protected:
    void TearDown() override {
        // Every fake was released: no reference leaked from the client.
        EXPECT_EQ(LiveFakes(), 0);
    }

    CallLog log;

    ComPtr<FakeObject> Machine(const std::wstring& name) {
        auto machine = MakeFake<FakeObject>(&log, std::vector<IID>{IID_IHostMachine});
        machine->On(L"Name", ReturnText(name));
        return machine;
    }
    ComPtr<FakeObject> Drive(LONG number) {
        auto drive = MakeFake<FakeObject>(&log, std::vector<IID>{IID_IHostFloppyDrive});
        drive->On(L"DriveNumber", ReturnLong(number));
        return drive;
    }
    ComPtr<FakeObject> Host() { return MakeFake<FakeObject>(&log, std::vector<IID>{IID_IHost}); }
};

// Across processes every call is a round trip: the items come in batches, and each
// interface's names are looked up once, not once per object.
TEST_F(AutomationClient, WalksMachinesInOrderFetchingInBatchesAndLooksEachNameUpOnce) {
    ComPtr<FakeEnum> walker;
    auto host = Host();
    host->On(L"Machines",
             ReturnObject(MakeCollection(&log, {Machine(L"Alpha"), Machine(L"Бета"), Machine(L"Alpha")}, &walker)));
    auto client = WrapVirtualPCHost(host);

    auto machines = client->Machines();
    ASSERT_TRUE(machines.ok()) << machines.failure().number;
    ASSERT_TRUE(walker);
    EXPECT_EQ(walker->nextCalls, 0) << "items are fetched only when asked for";

    const int lookupsBefore = NameLookups();
    std::vector<std::wstring> names;
    for (;;) {
        auto machine = (*machines)->Next();
        ASSERT_TRUE(machine.ok()) << machine.failure().number;
        if (!*machine) break;
        auto name = (*machine)->Name();
        ASSERT_TRUE(name.ok());
        names.push_back(*name);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"Бета", L"Alpha"}));
    EXPECT_EQ(walker->nextCalls, 1);
    EXPECT_GT(walker->largestRequest, 1u);
    EXPECT_EQ(NameLookups() - lookupsBefore, 1) << "Name is looked up once for the three machines";

    // Past the end it stays at the end.
    auto after = (*machines)->Next();
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(*after, nullptr);

    EXPECT_EQ(log, (CallLog{{L"Machines", kGet, {}},
                            {L"_NewEnum", kNewEnum, {}},
                            {L"Name", kGet, {}},
                            {L"Name", kGet, {}},
                            {L"Name", kGet, {}}}));
}

TEST_F(AutomationClient, DriveOperationsAreCalledByNameWithTheirFlagsAndArguments) {
    auto drive = Drive(1);
    drive->On(L"AttachImage", Succeed());
    drive->On(L"ReleaseImage", Succeed());
    drive->On(L"ImagePath", ReturnText(L"C:\\Образы дискет\\диск 1.vfd"));
    drive->On(L"ReleaseHostDrive", Succeed());
    drive->On(L"HostDriveLetter", ReturnText(L"A:"));
    drive->On(L"Attachment", ReturnLong(2));
    auto machine = Machine(L"VM");
    // A collection handed back as IUnknown rather than IDispatch is walked all the same.
    machine->On(L"FloppyDrives", ReturnObject(MakeCollection(&log, {drive}), VT_UNKNOWN));
    auto host = Host();
    host->On(L"Machines", ReturnObject(MakeCollection(&log, {machine})));
    drive.Reset();
    machine.Reset();

    auto machines = WrapVirtualPCHost(host)->Machines();
    ASSERT_TRUE(machines.ok());
    auto vm = (*machines)->Next();
    ASSERT_TRUE(vm.ok() && *vm);
    auto drives = (*vm)->FloppyDrives();
    ASSERT_TRUE(drives.ok()) << drives.failure().number;
    auto d = (*drives)->Next();
    ASSERT_TRUE(d.ok() && *d);
    log.clear();

    FloppyDrive& floppy = **d;
    EXPECT_TRUE(floppy.AttachImage(L"C:\\Образы дискет\\диск 1.vfd").ok());
    EXPECT_TRUE(floppy.ReleaseImage().ok());
    EXPECT_EQ(*floppy.ImagePath(), L"C:\\Образы дискет\\диск 1.vfd");
    EXPECT_TRUE(floppy.ReleaseHostDrive().ok());
    EXPECT_EQ(*floppy.HostDriveLetter(), L"A:");
    EXPECT_EQ(*floppy.DriveNumber(), 1);
    EXPECT_EQ(*floppy.Attachment(), 2);

    EXPECT_EQ(log, (CallLog{{L"AttachImage", kMethod, {L"s:C:\\Образы дискет\\диск 1.vfd"}},
                            {L"ReleaseImage", kMethod, {}},
                            {L"ImagePath", kGet, {}},
                            {L"ReleaseHostDrive", kMethod, {}},
                            {L"HostDriveLetter", kGet, {}},
                            {L"DriveNumber", kGet, {}},
                            {L"Attachment", kGet, {}}}));
}

TEST_F(AutomationClient, HostMethodsPassArgumentsInDeclaredOrder) {
    auto host = Host();
    host->On(L"CreateFloppyImage", Succeed());
    host->On(L"GetFloppyImageType", ReturnLong(6));
    auto client = WrapVirtualPCHost(host);

    EXPECT_TRUE(client->CreateFloppyImage(L"Z:\\tmp\\новый диск.vfd", kHighDensity).ok());
    EXPECT_TRUE(client->CreateFloppyImage(L"Z:\\tmp\\low.vfd", kLowDensity).ok());
    auto type = client->GetFloppyImageType(L"Z:\\tmp\\a b.vfd");
    ASSERT_TRUE(type.ok());
    EXPECT_EQ(*type, 6);

    EXPECT_EQ(log, (CallLog{{L"CreateFloppyImage", kMethod, {L"s:Z:\\tmp\\новый диск.vfd", L"i:2"}},
                            {L"CreateFloppyImage", kMethod, {L"s:Z:\\tmp\\low.vfd", L"i:1"}},
                            {L"GetFloppyImageType", kGet, {L"s:Z:\\tmp\\a b.vfd"}}}));
}

TEST_F(AutomationClient, ResultsAreCoercedToTextAndNumbers) {
    auto host = Host();
    auto drive = Drive(0);
    drive->On(L"ImagePath", ReturnVariant([](VARIANT* v) {
                  v->vt = VT_BSTR;
                  v->bstrVal = nullptr;  // a NULL BSTR is the empty text
              }));
    drive->On(L"HostDriveLetter", ReturnLong(7));
    drive->On(L"Attachment", ReturnVariant([](VARIANT* v) {
                  v->vt = VT_I2;
                  v->iVal = 1;
              }));
    drive->On(L"DriveNumber", ReturnText(L"abc"));
    host->On(L"GetFloppyImageType", ReturnText(L"3"));
    auto machine = Machine(L"m");
    machine->On(L"FloppyDrives", ReturnObject(MakeCollection(&log, {drive})));
    machine->On(L"Name", ReturnVariant([](VARIANT* v) { v->vt = VT_EMPTY; }));
    drive.Reset();

    auto client = WrapVirtualPCHost(host);
    EXPECT_EQ(*client->GetFloppyImageType(L"p"), 3);

    // The machine is handed to the client the way an enumerator would hand it.
    host->On(L"Machines", ReturnObject(MakeCollection(&log, {machine})));
    machine.Reset();
    auto machines = client->Machines();
    ASSERT_TRUE(machines.ok());
    auto vm = (*machines)->Next();
    ASSERT_TRUE(vm.ok() && *vm);
    EXPECT_EQ(*(*vm)->Name(), L"");
    auto drives = (*vm)->FloppyDrives();
    ASSERT_TRUE(drives.ok());
    auto d = (*drives)->Next();
    ASSERT_TRUE(d.ok() && *d);

    EXPECT_EQ(*(*d)->ImagePath(), L"");
    EXPECT_EQ(*(*d)->HostDriveLetter(), L"7");
    EXPECT_EQ(*(*d)->Attachment(), 1);
    auto bad = (*d)->DriveNumber();
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.failure().number, Number(DISP_E_TYPEMISMATCH));
    EXPECT_NE(bad.failure().description.find(L"DriveNumber"), std::wstring::npos) << "names the operation";
}

TEST_F(AutomationClient, EachItemIsQueriedForItsCollectionsInterface) {
    // A machine among the drives, a plain number, then a real drive again.
    auto machine = Machine(L"VM");
    machine->On(L"FloppyDrives",
                ReturnObject(MakeCollection(&log, {Drive(0), Machine(L"intruder"), nullptr, Drive(1)})));
    auto host = Host();
    host->On(L"Machines", ReturnObject(MakeCollection(&log, {Drive(9), machine})));
    machine.Reset();

    auto machines = WrapVirtualPCHost(host)->Machines();
    ASSERT_TRUE(machines.ok());
    auto refused = (*machines)->Next();
    ASSERT_FALSE(refused.ok()) << "a drive is not a machine";
    EXPECT_EQ(refused.failure().number, Number(E_NOINTERFACE));
    EXPECT_NE(refused.failure().description.find(L"Machines"), std::wstring::npos);

    auto vm = (*machines)->Next();
    ASSERT_TRUE(vm.ok() && *vm) << "the walk goes on after a refused item";
    auto drives = (*vm)->FloppyDrives();
    ASSERT_TRUE(drives.ok());

    auto first = (*drives)->Next();
    ASSERT_TRUE(first.ok() && *first);
    EXPECT_EQ(*(*first)->DriveNumber(), 0);

    auto intruder = (*drives)->Next();
    ASSERT_FALSE(intruder.ok());
    EXPECT_EQ(intruder.failure().number, Number(E_NOINTERFACE));
    EXPECT_NE(intruder.failure().description.find(L"FloppyDrives"), std::wstring::npos);

    auto number = (*drives)->Next();
    ASSERT_FALSE(number.ok()) << "an item that is no object";
    EXPECT_FALSE(number.failure().description.empty());

    auto last = (*drives)->Next();
    ASSERT_TRUE(last.ok() && *last);
    EXPECT_EQ(*(*last)->DriveNumber(), 1);
    auto end = (*drives)->Next();
    ASSERT_TRUE(end.ok());
    EXPECT_EQ(*end, nullptr);
}

TEST_F(AutomationClient, CollectionFailuresCarryTheirNumber) {
    auto host = Host();
    auto client = WrapVirtualPCHost(host);

    host->On(L"Machines", FailWithException(static_cast<HRESULT>(0x80040200), L"Служба не запущена."));
    auto unreachable = client->Machines();
    ASSERT_FALSE(unreachable.ok());
    EXPECT_EQ(unreachable.failure(), (Failure{Number(0x80040200), L"Служба не запущена."}));

    // _NewEnum refused: the collection object itself says why.
    auto stubborn = MakeFake<FakeObject>(&log, std::vector<IID>{});
    stubborn->On(DISPID_NEWENUM, L"_NewEnum", FailWithErrorInfo(E_OUTOFMEMORY, L"Перечисление недоступно."));
    host->On(L"Machines", ReturnObject(stubborn));
    stubborn.Reset();
    auto noEnum = client->Machines();
    ASSERT_FALSE(noEnum.ok());
    EXPECT_EQ(noEnum.failure().number, Number(E_OUTOFMEMORY));
    EXPECT_NE(noEnum.failure().description.find(L"Перечисление недоступно."), std::wstring::npos);

    // _NewEnum answering with something that is no IEnumVARIANT.
    auto odd = MakeFake<FakeObject>(&log, std::vector<IID>{});
    odd->On(DISPID_NEWENUM, L"_NewEnum", ReturnObject(MakeFake<FakeObject>(&log, std::vector<IID>{}), VT_UNKNOWN));
    host->On(L"Machines", ReturnObject(odd));
    odd.Reset();
    auto notEnum = client->Machines();
    ASSERT_FALSE(notEnum.ok());
    EXPECT_EQ(notEnum.failure().number, Number(E_NOINTERFACE));

    // The property gives no object at all.
    host->On(L"Machines", ReturnLong(4));
    EXPECT_FALSE(client->Machines().ok());

    // The enumerator failing in the middle fails that Next only.
    host->On(L"Machines", ReturnObject(MakeCollection(&log, {Machine(L"a"), Machine(L"b")}, nullptr, 1,
                                                      static_cast<HRESULT>(0x8007001F))));
    auto machines = client->Machines();
    ASSERT_TRUE(machines.ok());
    ASSERT_TRUE((*machines)->Next().ok());
    auto broken = (*machines)->Next();
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(broken.failure().number, Number(0x8007001F));
    EXPECT_FALSE(broken.failure().description.empty());
}

// The three routes to a description: EXCEPINFO, the thread's error object, the system.
TEST_F(AutomationClient, FailureDescriptionsComeFromTheExceptionInfo) {
    auto host = Host();
    auto client = WrapVirtualPCHost(host);

    host->On(L"CreateFloppyImage",
             FailWithException(static_cast<HRESULT>(0x80070020), L"Файл занят другим процессом.\r\n"));
    auto busy = client->CreateFloppyImage(L"x.vfd", kHighDensity);
    ASSERT_FALSE(busy.ok());
    EXPECT_EQ(busy.failure(), (Failure{Number(0x80070020), L"Файл занят другим процессом."}));

    host->On(L"CreateFloppyImage", FailWithDeferredException());
    auto full = client->CreateFloppyImage(L"x.vfd", kLowDensity);
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(full.failure(), (Failure{Number(0x80070070), L"На диске нет места для образа."}));

    // No scode of its own: the number stays DISP_E_EXCEPTION.
    host->On(L"GetFloppyImageType", FailWithException(0, L"Не образ."));
    auto unknown = client->GetFloppyImageType(L"x.vfd");
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.failure(), (Failure{Number(DISP_E_EXCEPTION), L"Не образ."}));
}

TEST_F(AutomationClient, FailureDescriptionsComeFromTheErrorObject) {
    auto host = Host();
    auto client = WrapVirtualPCHost(host);

    host->On(L"GetFloppyImageType", FailWithErrorInfo(E_FAIL, L"Образ повреждён."));
    auto damaged = client->GetFloppyImageType(L"x.vfd");
    ASSERT_FALSE(damaged.ok());
    EXPECT_EQ(damaged.failure(), (Failure{Number(E_FAIL), L"Образ повреждён."}));

    // An error object left behind by a call that succeeded belongs to no later failure.
    host->On(L"CreateFloppyImage", [](VARIANT*, EXCEPINFO*) {
        SetThreadErrorInfo(L"Устаревшее описание.");
        return S_OK;
    });
    host->On(L"GetFloppyImageType", Fail(E_ACCESSDENIED));
    ASSERT_TRUE(client->CreateFloppyImage(L"x.vfd", kHighDensity).ok());
    auto denied = client->GetFloppyImageType(L"x.vfd");
    ASSERT_FALSE(denied.ok());
    EXPECT_EQ(denied.failure().description.find(L"Устаревшее"), std::wstring::npos);
}

TEST_F(AutomationClient, FailureDescriptionsFallBackToTheSystemText) {
    auto host = Host();
    auto client = WrapVirtualPCHost(host);

    host->On(L"GetFloppyImageType", Fail(E_ACCESSDENIED));
    auto denied = client->GetFloppyImageType(L"x.vfd");
    ASSERT_FALSE(denied.ok());
    EXPECT_EQ(denied.failure().number, Number(E_ACCESSDENIED));
    const std::wstring& text = denied.failure().description;
    const std::wstring prefix = L"GetFloppyImageType: ";
    ASSERT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_GT(text.size(), prefix.size()) << "the system has words for E_ACCESSDENIED";
    EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << "trimmed";
    EXPECT_NE(text.back(), L' ');

    // A number the system has no words for is still described, by its value.
    host->On(L"CreateFloppyImage", Fail(static_cast<HRESULT>(0xA0041234)));
    auto odd = client->CreateFloppyImage(L"x.vfd", kHighDensity);
    ASSERT_FALSE(odd.ok());
    EXPECT_EQ(odd.failure().number, Number(0xA0041234));
    EXPECT_NE(odd.failure().description.find(L"0xA0041234"), std::wstring::npos);
}

TEST_F(AutomationClient, AnOperationTheServerDoesNotKnowIsNamed) {
    auto host = Host();
    auto create = WrapVirtualPCHost(host)->CreateFloppyImage(L"x", kHighDensity);
    ASSERT_FALSE(create.ok());
    EXPECT_EQ(create.failure().number, Number(DISP_E_UNKNOWNNAME));
    EXPECT_NE(create.failure().description.find(L"CreateFloppyImage"), std::wstring::npos);
}

// --- Creating the host object ---------------------------------------------------------

// Serves one host object through CoRegisterClassObject and notes what it was asked for.
class HostFactory final : public FakeUnknown<IClassFactory> {
public:
    explicit HostFactory(ComPtr<FakeObject> host) : host_(std::move(host)) {}

    std::vector<IID> requested;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        requested.push_back(riid);
        return host_->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<FakeObject> host_;
};

bool VirtualPCRegistered() {
    wchar_t classId[40] = {};
    StringFromGUID2(CLSID_Host, classId, 40);
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + classId).c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
    return opened == ERROR_SUCCESS;
}

TEST_F(AutomationClient, CreatingTheHostWithNothingRegisteredFailsWithClassNotRegistered) {
    if (VirtualPCRegistered()) GTEST_SKIP() << "a VirtualPC server is registered in this prefix";
    auto host = CreateVirtualPCHost();
    ASSERT_FALSE(host.ok());
    EXPECT_EQ(host.failure().number, Number(REGDB_E_CLASSNOTREG));
    // Words, not the number again: the user sees both side by side.
    EXPECT_FALSE(host.failure().description.empty());
    EXPECT_EQ(host.failure().description.find(L"0x"), std::wstring::npos) << "got only the number";
}

TEST_F(AutomationClient, CreatingTheHostAsksForItsClassAndInterface) {
    auto fake = Host();
    fake->On(L"GetFloppyImageType", ReturnLong(2));
    auto factory = MakeFake<HostFactory>(fake);
    fake.Reset();
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        CoRegisterClassObject(CLSID_Host, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));

    auto host = CreateVirtualPCHost();
    CoRevokeClassObject(cookie);
    ASSERT_TRUE(host.ok()) << host.failure().number;
    ASSERT_EQ(factory->requested.size(), 1u);
    EXPECT_TRUE(IsEqualIID(factory->requested[0], IID_IHost));

    auto type = (*host)->GetFloppyImageType(L"a.vfd");
    ASSERT_TRUE(type.ok());
    EXPECT_EQ(*type, 2);
}

TEST_F(AutomationClient, CreatingTheHostFailsWhenTheClassRefusesTheInterface) {
    auto factory = MakeFake<HostFactory>(MakeFake<FakeObject>(&log, std::vector<IID>{}));
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        CoRegisterClassObject(CLSID_Host, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    auto host = CreateVirtualPCHost();
    CoRevokeClassObject(cookie);
    ASSERT_FALSE(host.ok());
    EXPECT_EQ(host.failure().number, Number(E_NOINTERFACE));
    EXPECT_FALSE(host.failure().description.empty());
}

}  // namespace
}  // namespace ombrevale
