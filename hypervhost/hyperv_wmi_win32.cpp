// HyperVNetwork over WMI: IWbemLocator::ConnectServer to root\virtualization\v2 of each
// host, WQL queries, and the methods of Msvm_VirtualSystemManagementService.
//
// Each host has a thread of its own (in the multithreaded apartment) that makes its WMI
// calls; the caller waits for it only until the call's deadline. A host that is down
// holds its thread for as long as DCOM waits, which is far longer than a client may be
// kept: the call fails at its deadline, and the host's later calls fail at once until its
// thread is free again. The other hosts' threads go on meanwhile.
#include <windows.h>
#include <objbase.h>
#include <wbemcli.h>

#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "base/owners_win32.h"
#include "hypervhost/cim_xml.h"
#include "hypervhost/errors.h"
#include "hypervhost/system.h"

using Microsoft::WRL::ComPtr;

namespace ombrevale::hypervhost {
namespace {

constexpr wchar_t kNamespace[] = L"root\\virtualization\\v2";

// ---- A thread per host ----------------------------------------------------------------

class Worker {
public:
    struct Pending {
        UniqueKernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    };

    Worker() : state_(std::make_shared<State>()) {
        auto* held = new std::shared_ptr<State>(state_);
        HANDLE thread = CreateThread(nullptr, 0, &Worker::Main, held, 0, nullptr);
        if (thread)
            CloseHandle(thread);
        else
            delete held;
        state_->started = thread != nullptr;
    }
    ~Worker() {
        EnterCriticalSection(&state_->lock);
        state_->quit = true;
        LeaveCriticalSection(&state_->lock);
        SetEvent(state_->wake.get());
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs `task` on the thread; nothing when the thread is still busy with a task whose
    // caller gave up on it.
    std::shared_ptr<Pending> Start(std::function<void()> task) {
        if (!state_->started) return nullptr;
        auto pending = std::make_shared<Pending>();
        EnterCriticalSection(&state_->lock);
        const bool busy = state_->busy;
        if (!busy) {
            state_->busy = true;
            state_->task = std::move(task);
            state_->pending = pending;
        }
        LeaveCriticalSection(&state_->lock);
        if (busy) return nullptr;
        SetEvent(state_->wake.get());
        return pending;
    }

    static bool Wait(const Pending& pending, Deadline deadline) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
        const DWORD wait = left > 0 ? static_cast<DWORD>(left) : 0;
        return WaitForSingleObject(pending.done.get(), wait) == WAIT_OBJECT_0;
    }

private:
    struct State {
        State() { InitializeCriticalSection(&lock); }
        ~State() { DeleteCriticalSection(&lock); }
        CRITICAL_SECTION lock;
        UniqueKernelHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
        std::function<void()> task;
        std::shared_ptr<Pending> pending;
        bool busy = false, quit = false, started = false;
    };

    static DWORD WINAPI Main(void* parameter) {
        std::shared_ptr<State> state = std::move(*static_cast<std::shared_ptr<State>*>(parameter));
        delete static_cast<std::shared_ptr<State>*>(parameter);
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (;;) {
            WaitForSingleObject(state->wake.get(), INFINITE);
            EnterCriticalSection(&state->lock);
            std::function<void()> task = std::move(state->task);
            std::shared_ptr<Pending> pending = std::move(state->pending);
            const bool quit = state->quit && !task;
            LeaveCriticalSection(&state->lock);
            if (quit) break;
            if (!task) continue;
            task();
            task = nullptr;
            EnterCriticalSection(&state->lock);
            state->busy = false;
            LeaveCriticalSection(&state->lock);
            if (pending) SetEvent(pending->done.get());
        }
        if (SUCCEEDED(com)) CoUninitialize();
        return 0;
    }

    std::shared_ptr<State> state_;
};

// ---- WMI, on a host's thread ------------------------------------------------------------

Failure Failed(HRESULT hr) { return Failure{static_cast<std::int32_t>(hr), {}}; }

// WMI asks the caller's identity to act for it; over the network, with the traffic sealed.
void Secure(IUnknown* proxy) {
    // An object in this process (no proxy) has nothing to set: that is no failure.
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

std::wstring Text(IWbemClassObject* object, const wchar_t* name) {
    UniqueVariant value;
    if (FAILED(object->Get(name, 0, value.put(), nullptr, nullptr)) || value->vt != VT_BSTR) return {};
    const BSTR text = value->bstrVal;
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

std::uint32_t Number(IWbemClassObject* object, const wchar_t* name) {
    UniqueVariant value;
    if (FAILED(object->Get(name, 0, value.put(), nullptr, nullptr))) return 0;
    UniqueVariant number;
    if (FAILED(VariantChangeType(number.put(), value.get(), 0, VT_UI4))) return 0;
    return number->ulVal;
}

std::wstring ElementText(const VARIANT& value) {
    if (value.vt == VT_BOOL) return value.boolVal ? L"true" : L"false";
    UniqueVariant text;
    if (FAILED(VariantChangeType(text.put(), const_cast<VARIANT*>(&value), 0, VT_BSTR)) || !text->bstrVal) return {};
    return std::wstring(text->bstrVal, SysStringLen(text->bstrVal));
}

// The elements of an array property as text.
std::vector<std::wstring> Elements(const VARIANT& value) {
    std::vector<std::wstring> elements;
    if (!(value.vt & VT_ARRAY) || !value.parray) return elements;
    const VARTYPE type = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        UniqueVariant element;
        VARIANT* slot = element.put();
        slot->vt = type;
        if (type == VT_BSTR) {
            BSTR text = nullptr;
            if (FAILED(SafeArrayGetElement(value.parray, &i, &text))) continue;
            slot->bstrVal = text;
        } else if (FAILED(SafeArrayGetElement(value.parray, &i, &slot->lVal))) {
            slot->vt = VT_EMPTY;
            continue;
        }
        elements.push_back(ElementText(*element));
    }
    return elements;
}

std::vector<std::wstring> Texts(IWbemClassObject* object, const wchar_t* name) {
    UniqueVariant value;
    if (FAILED(object->Get(name, 0, value.put(), nullptr, nullptr))) return {};
    return Elements(*value);
}

const wchar_t* CimTypeName(CIMTYPE type) {
    switch (type & ~CIM_FLAG_ARRAY) {
    case CIM_SINT8: return L"sint8";
    case CIM_UINT8: return L"uint8";
    case CIM_SINT16: return L"sint16";
    case CIM_UINT16: return L"uint16";
    case CIM_SINT32: return L"sint32";
    case CIM_UINT32: return L"uint32";
    case CIM_SINT64: return L"sint64";
    case CIM_UINT64: return L"uint64";
    case CIM_REAL32: return L"real32";
    case CIM_REAL64: return L"real64";
    case CIM_BOOLEAN: return L"boolean";
    case CIM_STRING: return L"string";
    case CIM_DATETIME: return L"datetime";
    case CIM_CHAR16: return L"char16";
    default: return nullptr;  // references and embedded objects do not go back
    }
}

// The instance's own properties, so that it can be sent back whole.
std::vector<CimProperty> Properties(IWbemClassObject* object) {
    std::vector<CimProperty> properties;
    if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) return properties;
    for (;;) {
        BSTR name = nullptr;
        UniqueVariant value;
        CIMTYPE type = 0;
        if (object->Next(0, &name, value.put(), &type, nullptr) != WBEM_S_NO_ERROR) break;
        UniqueBstr owned(name);
        const wchar_t* typeName = CimTypeName(type);
        if (!typeName) continue;
        CimProperty property{std::wstring(name, SysStringLen(name)), typeName, (type & CIM_FLAG_ARRAY) != 0, {}};
        if (property.array)
            property.values = Elements(*value);
        else if (value->vt != VT_NULL && value->vt != VT_EMPTY)
            property.values.push_back(ElementText(*value));
        properties.push_back(std::move(property));
    }
    object->EndEnumeration();
    return properties;
}

// A value for a WQL string literal: the bridge's own identifiers only, never quotes.
bool Quotable(const std::wstring& text) { return text.find_first_of(L"'\"\\") == std::wstring::npos; }

HRESULT PutText(IWbemClassObject* object, const wchar_t* name, const std::wstring& text) {
    UniqueVariant value;
    VARIANT* v = value.put();
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!v->bstrVal) return E_OUTOFMEMORY;
    return object->Put(name, 0, v, 0);
}

HRESULT PutTexts(IWbemClassObject* object, const wchar_t* name, const std::vector<std::wstring>& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (!array) return E_OUTOFMEMORY;
    UniqueVariant value;
    VARIANT* v = value.put();
    v->vt = VT_ARRAY | VT_BSTR;
    v->parray = array;
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        UniqueBstr text(SysAllocStringLen(texts[i].data(), static_cast<UINT>(texts[i].size())));
        if (!text) return E_OUTOFMEMORY;
        if (const HRESULT hr = SafeArrayPutElement(array, &i, text.get()); FAILED(hr)) return hr;
    }
    return object->Put(name, 0, v, 0);
}

// The path after "\\host\namespace:", which names an object on whichever host.
std::wstring RelativePath(const std::wstring& path) {
    const auto colon = path.find(L':');
    if (path.rfind(L"\\\\", 0) != 0 || colon == std::wstring::npos) return path;
    return path.substr(colon + 1);
}

bool SameText(std::wstring a, std::wstring b) {
    CharUpperBuffW(a.data(), static_cast<DWORD>(a.size()));
    CharUpperBuffW(b.data(), static_cast<DWORD>(b.size()));
    return a == b;
}

// One host's root\virtualization\v2, touched only on the host's thread.
class Connection {
public:
    explicit Connection(std::wstring host) : host_(std::move(host)) {}

    // Every call goes through here: a connection that failed is made again next time.
    template <class T, class Body>
    Result<T> Use(Body&& body) {
        if (!services_) {
            if (const HRESULT hr = Connect(); FAILED(hr)) return Failed(hr);
        }
        Result<T> result = body();
        if (!result) {
            const std::int32_t number = result.failure().number;
            if (number == kRpcServerUnavailable || number == kRpcCallFailed || number == HResult(0x80010108))
                services_.Reset(), service_.clear();
        }
        return result;
    }

    Result<std::vector<ComPtr<IWbemClassObject>>> Query(const std::wstring& wql) {
        ComPtr<IEnumWbemClassObject> found;
        UniqueBstr language(SysAllocString(L"WQL")), query(SysAllocString(wql.c_str()));
        if (!language || !query) return Failed(E_OUTOFMEMORY);
        HRESULT hr = services_->ExecQuery(language.get(), query.get(),
                                          WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &found);
        if (FAILED(hr)) return Failed(hr);
        Secure(found.Get());
        std::vector<ComPtr<IWbemClassObject>> objects;
        for (;;) {
            ComPtr<IWbemClassObject> object;
            ULONG returned = 0;
            hr = found->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
            if (FAILED(hr)) return Failed(hr);
            if (returned == 0 || hr == WBEM_S_FALSE) break;
            objects.push_back(std::move(object));
        }
        return objects;
    }

    Result<ComPtr<IWbemClassObject>> Object(const std::wstring& path) {
        UniqueBstr name(SysAllocString(path.c_str()));
        ComPtr<IWbemClassObject> object;
        if (const HRESULT hr = services_->GetObject(name.get(), 0, nullptr, &object, nullptr); FAILED(hr))
            return Failed(hr);
        return object;
    }

    // Runs a method of Msvm_VirtualSystemManagementService with the parameters `fill` puts.
    template <class Fill>
    Result<MethodOutcome> Change(const wchar_t* method, Fill&& fill) {
        if (service_.empty()) {
            std::vector<ComPtr<IWbemClassObject>> services;
            OMB_ASSIGN_OR_RETURN(services, Query(L"SELECT * FROM Msvm_VirtualSystemManagementService"));
            if (services.empty()) return Failed(WBEM_E_NOT_FOUND);
            service_ = Text(services.front().Get(), L"__PATH");
        }
        ComPtr<IWbemClassObject> definition, signature, parameters, answer;
        OMB_ASSIGN_OR_RETURN(definition, Object(L"Msvm_VirtualSystemManagementService"));
        HRESULT hr = definition->GetMethod(method, 0, &signature, nullptr);
        if (SUCCEEDED(hr))
            hr = signature ? signature->SpawnInstance(0, &parameters) : static_cast<HRESULT>(WBEM_E_INVALID_METHOD);
        if (SUCCEEDED(hr)) hr = fill(parameters.Get());
        if (FAILED(hr)) return Failed(hr);
        UniqueBstr path(SysAllocString(service_.c_str())), name(SysAllocString(method));
        hr = services_->ExecMethod(path.get(), name.get(), 0, nullptr, parameters.Get(), &answer, nullptr);
        if (FAILED(hr)) return Failed(hr);
        if (!answer) return Failed(WBEM_E_UNEXPECTED);
        return MethodOutcome{Number(answer.Get(), L"ReturnValue"), Text(answer.Get(), L"Job")};
    }

    // The floppy disk settings that Hyper-V gives as default (ValueRole Default, ValueRange
    // Point of its resource pool's capabilities), from which a new disk is made.
    Result<std::vector<CimProperty>> DefaultFloppyDisk() {
        if (!defaultDisk_.empty()) return defaultDisk_;
        std::vector<ComPtr<IWbemClassObject>> pools, capabilities, links;
        OMB_ASSIGN_OR_RETURN(pools, Query(std::wstring(L"SELECT * FROM Msvm_ResourcePool WHERE ResourceSubType = '") +
                                          kFloppyDisk + L"' AND Primordial = TRUE"));
        if (pools.empty()) return Failed(WBEM_E_NOT_FOUND);
        OMB_ASSIGN_OR_RETURN(capabilities, Query(L"ASSOCIATORS OF {" + Text(pools.front().Get(), L"__PATH") +
                                                 L"} WHERE ResultClass = Msvm_AllocationCapabilities"));
        if (capabilities.empty()) return Failed(WBEM_E_NOT_FOUND);
        OMB_ASSIGN_OR_RETURN(links, Query(L"REFERENCES OF {" + Text(capabilities.front().Get(), L"__PATH") +
                                          L"} WHERE ResultClass = Msvm_SettingsDefineCapabilities"));
        for (const auto& link : links) {
            if (Number(link.Get(), L"ValueRole") != 0 || Number(link.Get(), L"ValueRange") != 0) continue;
            ComPtr<IWbemClassObject> settings;
            OMB_ASSIGN_OR_RETURN(settings, Object(Text(link.Get(), L"PartComponent")));
            defaultDisk_ = Properties(settings.Get());
            return defaultDisk_;
        }
        return Failed(WBEM_E_NOT_FOUND);
    }

private:
    HRESULT Connect() {
        ComPtr<IWbemLocator> locator;
        HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, &locator);
        if (FAILED(hr)) return hr;
        const std::wstring name = host_.empty() ? std::wstring(kNamespace) : L"\\\\" + host_ + L"\\" + kNamespace;
        UniqueBstr path(SysAllocString(name.c_str()));
        hr = locator->ConnectServer(path.get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                    nullptr, &services_);
        if (FAILED(hr)) return hr;
        Secure(services_.Get());
        return S_OK;
    }

    std::wstring host_;
    ComPtr<IWbemServices> services_;
    std::wstring service_;
    std::vector<CimProperty> defaultDisk_;
};

// `properties` with `name` given `values`, added when the instance lacks it.
void Assign(std::vector<CimProperty>& properties, const wchar_t* name, bool array, std::vector<std::wstring> values) {
    for (CimProperty& p : properties) {
        if (p.name == name) {
            p.values = std::move(values);
            return;
        }
    }
    properties.push_back({name, L"string", array, std::move(values)});
}

Result<std::optional<MachineSettings>> ReadSettings(Connection& wmi, const std::wstring& machineId) {
    using Found = std::optional<MachineSettings>;
    if (!Quotable(machineId)) return Found();
    std::vector<ComPtr<IWbemClassObject>> systems, settings, drives, disks;
    OMB_ASSIGN_OR_RETURN(systems, wmi.Query(L"SELECT * FROM Msvm_ComputerSystem WHERE Name = '" + machineId + L"'"));
    if (systems.empty()) return Found();
    // The machine's current settings, not those of its checkpoints.
    OMB_ASSIGN_OR_RETURN(settings, wmi.Query(L"ASSOCIATORS OF {" + Text(systems.front().Get(), L"__PATH") +
                                             L"} WHERE AssocClass = Msvm_SettingsDefineState ResultClass = "
                                             L"Msvm_VirtualSystemSettingData"));
    if (settings.empty()) return Found();
    MachineSettings found;
    found.path = Text(settings.front().Get(), L"__PATH");
    found.subType = Text(settings.front().Get(), L"VirtualSystemSubType");
    const std::wstring of = L"ASSOCIATORS OF {" + found.path + L"} WHERE ResultClass = ";
    OMB_ASSIGN_OR_RETURN(drives, wmi.Query(of + L"Msvm_ResourceAllocationSettingData"));
    for (const auto& drive : drives) {
        if (Text(drive.Get(), L"ResourceSubType") == kDisketteDrive) {
            found.drive = Text(drive.Get(), L"__PATH");
            break;
        }
    }
    if (!found.drive) return Found(std::move(found));
    OMB_ASSIGN_OR_RETURN(disks, wmi.Query(of + L"Msvm_StorageAllocationSettingData"));
    for (const auto& disk : disks) {
        if (Text(disk.Get(), L"ResourceSubType") != kFloppyDisk) continue;
        if (!SameText(RelativePath(Text(disk.Get(), L"Parent")), RelativePath(*found.drive))) continue;
        const auto images = Texts(disk.Get(), L"HostResource");
        found.disk =
            FloppyDisk{Text(disk.Get(), L"__PATH"), images.empty() ? L"" : images.front(), Properties(disk.Get())};
        break;
    }
    return Found(std::move(found));
}

// A virtual machine's Name is its GUID; the host's own instance bears the computer's name.
// (Its Caption tells them apart too, but in the system's language.)
bool IsGuid(const std::wstring& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (dash ? c != L'-' : !hex) return false;
    }
    return true;
}

Result<std::vector<VirtualMachine>> ReadMachines(Connection& wmi) {
    std::vector<ComPtr<IWbemClassObject>> systems;
    OMB_ASSIGN_OR_RETURN(systems, wmi.Query(L"SELECT * FROM Msvm_ComputerSystem"));
    std::vector<VirtualMachine> machines;
    for (const auto& system : systems) {
        const std::wstring id = Text(system.Get(), L"Name");
        if (IsGuid(id)) machines.push_back({id, Text(system.Get(), L"ElementName")});
    }
    return machines;
}

Result<std::vector<HeldImage>> ReadFloppyImages(Connection& wmi) {
    std::vector<ComPtr<IWbemClassObject>> disks;
    OMB_ASSIGN_OR_RETURN(disks, wmi.Query(std::wstring(L"SELECT * FROM Msvm_StorageAllocationSettingData WHERE "
                                                       L"ResourceSubType = '") +
                                          kFloppyDisk + L"'"));
    std::vector<HeldImage> held;
    for (const auto& disk : disks) {
        // "Microsoft:<machine GUID>\...": the machine whose disk it is.
        const std::wstring id = Text(disk.Get(), L"InstanceID");
        const auto colon = id.find(L':'), slash = id.find(L'\\');
        const std::wstring machine = colon != std::wstring::npos && slash != std::wstring::npos && slash > colon
                                         ? id.substr(colon + 1, slash - colon - 1)
                                         : std::wstring();
        for (const std::wstring& image : Texts(disk.Get(), L"HostResource")) held.push_back({image, machine});
    }
    return held;
}

// ---- The hosts ----------------------------------------------------------------------------

class WmiHost final : public HyperVHost {
public:
    explicit WmiHost(std::wstring name) : connection_(std::make_shared<Connection>(std::move(name))) {}

    // A call under way on the host's thread, to be collected until its deadline.
    template <class T>
    struct Call {
        std::shared_ptr<Worker::Pending> pending;
        std::shared_ptr<Result<T>> result;
    };

    template <class T, class Body>
    Call<T> Start(Body body) {
        // What a call that never ends answers.
        auto result = std::make_shared<Result<T>>(Failure{kHostNotAnswering, {}});
        auto connection = connection_;
        auto pending = worker_.Start([result, connection, body]() mutable {
            try {
                *result = connection->Use<T>([&] { return body(*connection); });
            } catch (...) {
                *result = Result<T>(Failed(E_UNEXPECTED));
            }
        });
        return Call<T>{std::move(pending), std::move(result)};
    }

    template <class T>
    static Result<T> Collect(const Call<T>& call, Deadline deadline) {
        if (!call.pending || !Worker::Wait(*call.pending, deadline)) return Failure{kHostNotAnswering, {}};
        return *call.result;
    }

    template <class T, class Body>
    Result<T> Run(Body body, Deadline deadline) {
        return Collect(Start<T>(std::move(body)), deadline);
    }

    Result<std::optional<MachineSettings>> Settings(const std::wstring& machineId, Deadline deadline) override {
        return Run<std::optional<MachineSettings>>(
            [machineId](Connection& wmi) { return ReadSettings(wmi, machineId); }, deadline);
    }

    Result<MethodOutcome> AddDisk(const MachineSettings& machine, const std::wstring& image,
                                  Deadline deadline) override {
        const std::wstring configuration = machine.path, drive = machine.drive.value_or(L"");
        return Run<MethodOutcome>(
            [configuration, drive, image](Connection& wmi) -> Result<MethodOutcome> {
                // Hyper-V's own default disk, put into the drive and given the file.
                std::vector<CimProperty> disk;
                OMB_ASSIGN_OR_RETURN(disk, wmi.DefaultFloppyDisk());
                Assign(disk, L"Parent", false, {drive});
                Assign(disk, L"HostResource", true, {image});
                const std::wstring text = EmbeddedInstance(L"Msvm_StorageAllocationSettingData", disk);
                return wmi.Change(L"AddResourceSettings", [&](IWbemClassObject* in) {
                    HRESULT hr = PutText(in, L"AffectedConfiguration", configuration);
                    return SUCCEEDED(hr) ? PutTexts(in, L"ResourceSettings", {text}) : hr;
                });
            },
            deadline);
    }

    Result<MethodOutcome> ChangeDisk(const FloppyDisk& disk, const std::wstring& image, Deadline deadline) override {
        std::vector<CimProperty> properties = disk.properties;
        Assign(properties, L"HostResource", true, {image});
        const std::wstring changed = EmbeddedInstance(L"Msvm_StorageAllocationSettingData", properties);
        return Run<MethodOutcome>(
            [changed](Connection& wmi) {
                return wmi.Change(L"ModifyResourceSettings",
                                  [&](IWbemClassObject* in) { return PutTexts(in, L"ResourceSettings", {changed}); });
            },
            deadline);
    }

    Result<MethodOutcome> RemoveDisk(const FloppyDisk& disk, Deadline deadline) override {
        const std::wstring path = disk.path;
        return Run<MethodOutcome>(
            [path](Connection& wmi) {
                return wmi.Change(L"RemoveResourceSettings",
                                  [&](IWbemClassObject* in) { return PutTexts(in, L"ResourceSettings", {path}); });
            },
            deadline);
    }

    Result<JobStatus> Job(const std::wstring& job, Deadline deadline) override {
        return Run<JobStatus>(
            [job](Connection& wmi) -> Result<JobStatus> {
                ComPtr<IWbemClassObject> found;
                OMB_ASSIGN_OR_RETURN(found, wmi.Object(job));
                return JobStatus{static_cast<std::uint16_t>(Number(found.Get(), L"JobState")),
                                 static_cast<std::uint16_t>(Number(found.Get(), L"ErrorCode")),
                                 Text(found.Get(), L"ErrorDescription")};
            },
            deadline);
    }

private:
    Worker worker_;
    std::shared_ptr<Connection> connection_;
};

class WmiNetwork final : public HyperVNetwork {
public:
    std::shared_ptr<HyperVHost> Host(const std::wstring& name) override { return HostNamed(name); }

    std::vector<Result<std::vector<VirtualMachine>>> Machines(const std::vector<std::wstring>& hosts,
                                                              Deadline deadline) override {
        return AskAll<std::vector<VirtualMachine>>(hosts, deadline, ReadMachines);
    }

    std::vector<Result<std::vector<HeldImage>>> FloppyImages(const std::vector<std::wstring>& hosts,
                                                             Deadline deadline) override {
        return AskAll<std::vector<HeldImage>>(hosts, deadline, ReadFloppyImages);
    }

private:
    std::shared_ptr<WmiHost> HostNamed(const std::wstring& name) {
        std::wstring key = name;
        CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
        auto& host = hosts_[key];
        if (!host) host = std::make_shared<WmiHost>(name);
        return host;
    }

    template <class T>
    std::vector<Result<T>> AskAll(const std::vector<std::wstring>& names, Deadline deadline,
                                  Result<T> (*question)(Connection&)) {
        std::vector<typename WmiHost::template Call<T>> calls;
        for (const std::wstring& name : names) calls.push_back(HostNamed(name)->template Start<T>(question));
        std::vector<Result<T>> answers;
        for (const auto& call : calls) answers.push_back(WmiHost::Collect(call, deadline));
        return answers;
    }

    std::map<std::wstring, std::shared_ptr<WmiHost>> hosts_;
};

}  // namespace

std::shared_ptr<HyperVNetwork> SystemHyperVNetwork() { return std::make_shared<WmiNetwork>(); }

}  // namespace ombrevale::hypervhost
