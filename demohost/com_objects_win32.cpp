#include "demohost/com_objects_win32.h"

#include <wrl/client.h>

#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "demohost/errors.h"
#include "demohost_idl.h"

using Microsoft::WRL::ComPtr;

namespace ombrevale::demohost {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};
HMODULE g_module = nullptr;

namespace {

// The loaded type library, behind a lock: apartment threads of one client may ask at once.
class TypeLibCache {
public:
    TypeLibCache() { InitializeCriticalSection(&lock_); }
    ~TypeLibCache() { DeleteCriticalSection(&lock_); }
    TypeLibCache(const TypeLibCache&) = delete;
    TypeLibCache& operator=(const TypeLibCache&) = delete;

    HRESULT Get(ITypeLib** typeLib) {
        EnterCriticalSection(&lock_);
        HRESULT hr = S_OK;
        if (!loaded_) {
            wchar_t path[MAX_PATH * 4];
            const DWORD length = GetModuleFileNameW(g_module, path, static_cast<DWORD>(std::size(path)));
            if (length == 0 || length >= std::size(path))
                hr = HRESULT_FROM_WIN32(GetLastError());
            else
                hr = LoadTypeLibEx(path, REGKIND_NONE, &loaded_);
        }
        if (SUCCEEDED(hr)) hr = loaded_.CopyTo(typeLib);
        LeaveCriticalSection(&lock_);
        return hr;
    }

private:
    CRITICAL_SECTION lock_;
    ComPtr<ITypeLib> loaded_;
};

}  // namespace

HRESULT ModuleTypeLib(ITypeLib** typeLib) {
    static TypeLibCache cache;
    return cache.Get(typeLib);
}

HRESULT ReportFailure(const Failure& failure, REFIID iid) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        create->SetSource(const_cast<wchar_t*>(L"OmbrevaleDemoHost"));
        create->SetDescription(const_cast<wchar_t*>(failure.description.c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
    return FAILED(failure.number) ? static_cast<HRESULT>(failure.number) : E_FAIL;
}

namespace {

HRESULT ToBstr(std::wstring_view text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// No exception may leave a COM method; what the host can throw is running out of memory.
template <class Body>
HRESULT Safely(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// IUnknown, IDispatch through the type library's description of `Interface`, and
// ISupportErrorInfo, for every object of the host.
template <class Interface>
class DispatchObject : public Interface, public ISupportErrorInfo {
public:
    DispatchObject() { ++g_liveObjects; }
    virtual ~DispatchObject() { --g_liveObjects; }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ComPtr<ITypeInfo> typeInfo;
        if (HRESULT hr = TypeInfo(&typeInfo); FAILED(hr)) return hr;
        *info = typeInfo.Detach();
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ComPtr<ITypeInfo> typeInfo;
        if (HRESULT hr = TypeInfo(&typeInfo); FAILED(hr)) return hr;
        return DispGetIDsOfNames(typeInfo.Get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* badArgument) override {
        ComPtr<ITypeInfo> typeInfo;
        if (HRESULT hr = TypeInfo(&typeInfo); FAILED(hr)) return hr;
        DISPPARAMS none{};
        if (!params) params = &none;
        HRESULT hr = typeInfo->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                                      badArgument);
        // Clients call properties as methods and methods as properties: late binding in
        // the Basic style does not tell the two apart.
        const WORD readFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        if (hr == DISP_E_MEMBERNOTFOUND && (flags & readFlags) && !(flags & ~readFlags) && flags != readFlags)
            hr = typeInfo->Invoke(static_cast<Interface*>(this), id, readFlags ^ flags, params, result, exception,
                                  badArgument);
        return hr;
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Interface) ? S_OK : S_FALSE;
    }

protected:
    HRESULT Fail(const Failure& failure) { return ReportFailure(failure, __uuidof(Interface)); }

    template <class T>
    static HRESULT Hand(T* object, REFIID iid, void** out) {
        ComPtr<T> owner;
        owner.Attach(object);
        return owner->QueryInterface(iid, out);
    }

private:
    static HRESULT TypeInfo(ITypeInfo** info) {
        ComPtr<ITypeLib> typeLib;
        if (HRESULT hr = ModuleTypeLib(&typeLib); FAILED(hr)) return hr;
        return typeLib->GetTypeInfoOfGuid(__uuidof(Interface), info);
    }

    std::atomic<ULONG> refs_{1};
};

// Walks a collection; each item is made when it is reached.
class ItemEnumerator final : public IEnumVARIANT {
public:
    using MakeItem = std::function<HRESULT(std::size_t, IDispatch**)>;

    ItemEnumerator(std::size_t count, MakeItem make, std::size_t position = 0)
        : count_(count), make_(std::move(make)), position_(position) {
        ++g_liveObjects;
    }
    ~ItemEnumerator() { --g_liveObjects; }
    ItemEnumerator(const ItemEnumerator&) = delete;
    ItemEnumerator& operator=(const ItemEnumerator&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumVARIANT) {
            *object = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP Next(ULONG wanted, VARIANT* items, ULONG* fetched) override {
        if (!items || (wanted > 1 && !fetched)) return E_POINTER;
        ULONG done = 0;
        for (; done < wanted && position_ < count_; ++done, ++position_) {
            IDispatch* item = nullptr;
            if (HRESULT hr = Safely([&] { return make_(position_, &item); }); FAILED(hr)) {
                for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
                if (fetched) *fetched = 0;
                return hr;
            }
            VariantInit(&items[done]);
            V_VT(&items[done]) = VT_DISPATCH;
            V_DISPATCH(&items[done]) = item;
        }
        if (fetched) *fetched = done;
        return done == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const std::size_t left = count_ - position_;
        position_ += std::min<std::size_t>(left, count);
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** copy) override {
        if (!copy) return E_POINTER;
        *copy = new (std::nothrow) ItemEnumerator(count_, make_, position_);
        return *copy ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::atomic<ULONG> refs_{1};
    std::size_t count_;
    MakeItem make_;
    std::size_t position_;
};

HRESULT NewEnumerator(std::size_t count, ItemEnumerator::MakeItem make, IUnknown** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) ItemEnumerator(count, std::move(make));
    return *out ? S_OK : E_OUTOFMEMORY;
}

class FloppyDriveObject final : public DispatchObject<IDemoFloppyDrive> {
public:
    FloppyDriveObject(std::shared_ptr<DemoHost> host, std::size_t machine, std::size_t drive)
        : host_(std::move(host)), machine_(machine), drive_(drive) {}

    STDMETHODIMP AttachImage(BSTR path) override {
        return Safely([&] { return Done(host_->AttachImage(machine_, drive_, FromBstr(path))); });
    }
    STDMETHODIMP ReleaseImage() override {
        return Safely([&] { return Done(host_->ReleaseImage(machine_, drive_)); });
    }
    STDMETHODIMP get_ImagePath(BSTR* path) override {
        return ToBstr(Entry().media == Media::Image ? std::wstring_view(Entry().source) : std::wstring_view(), path);
    }
    STDMETHODIMP AttachHostDrive(BSTR letter) override {
        return Safely([&] { return Done(host_->AttachHostDrive(machine_, drive_, FromBstr(letter))); });
    }
    STDMETHODIMP ReleaseHostDrive() override {
        return Safely([&] { return Done(host_->ReleaseHostDrive(machine_, drive_)); });
    }
    STDMETHODIMP get_HostDriveLetter(BSTR* letter) override {
        return ToBstr(Entry().media == Media::HostDrive ? std::wstring_view(Entry().source) : std::wstring_view(),
                      letter);
    }
    STDMETHODIMP get_DriveNumber(LONG* number) override {
        if (!number) return E_POINTER;
        *number = Entry().number;
        return S_OK;
    }
    STDMETHODIMP get_Attachment(LONG* code) override {
        if (!code) return E_POINTER;
        *code = static_cast<LONG>(Entry().media);
        return S_OK;
    }

private:
    const DriveEntry& Entry() const { return host_->inventory().machines[machine_].drives[drive_]; }
    HRESULT Done(const Status& status) { return status ? S_OK : Fail(status.failure()); }

    std::shared_ptr<DemoHost> host_;
    std::size_t machine_;
    std::size_t drive_;
};

HRESULT MakeDrive(const std::shared_ptr<DemoHost>& host, std::size_t machine, std::size_t drive,
                  IDispatch** out) {
    auto* object = new (std::nothrow) FloppyDriveObject(host, machine, drive);
    if (!object) return E_OUTOFMEMORY;
    ComPtr<IDemoFloppyDrive> owner;
    owner.Attach(object);
    *out = owner.Detach();
    return S_OK;
}

class FloppyDriveCollection final : public DispatchObject<IDemoFloppyDriveCollection> {
public:
    FloppyDriveCollection(std::shared_ptr<DemoHost> host, std::size_t machine)
        : host_(std::move(host)), machine_(machine) {}

    STDMETHODIMP get__NewEnum(IUnknown** enumerator) override {
        return Safely([&] {
            return NewEnumerator(Count(), [host = host_, machine = machine_](std::size_t i, IDispatch** item) {
                return MakeDrive(host, machine, i, item);
            }, enumerator);
        });
    }
    STDMETHODIMP get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(Count());
        return S_OK;
    }
    STDMETHODIMP get_Item(LONG index, IDemoFloppyDrive** drive) override {
        if (!drive) return E_POINTER;
        *drive = nullptr;
        if (index < 1 || static_cast<std::size_t>(index) > Count()) return DISP_E_BADINDEX;
        IDispatch* item = nullptr;
        if (HRESULT hr = MakeDrive(host_, machine_, static_cast<std::size_t>(index - 1), &item); FAILED(hr))
            return hr;
        *drive = static_cast<IDemoFloppyDrive*>(item);
        return S_OK;
    }

private:
    std::size_t Count() const { return host_->inventory().machines[machine_].drives.size(); }

    std::shared_ptr<DemoHost> host_;
    std::size_t machine_;
};

class MachineObject final : public DispatchObject<IDemoMachine> {
public:
    MachineObject(std::shared_ptr<DemoHost> host, std::size_t machine) : host_(std::move(host)), machine_(machine) {}

    STDMETHODIMP get_Name(BSTR* name) override { return ToBstr(host_->inventory().machines[machine_].name, name); }
    STDMETHODIMP get_FloppyDriveCount(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(host_->inventory().machines[machine_].drives.size());
        return S_OK;
    }
    STDMETHODIMP get_FloppyDrives(IDemoFloppyDriveCollection** drives) override {
        if (!drives) return E_POINTER;
        *drives = nullptr;
        auto* object = new (std::nothrow) FloppyDriveCollection(host_, machine_);
        if (!object) return E_OUTOFMEMORY;
        return Hand(object, __uuidof(IDemoFloppyDriveCollection), reinterpret_cast<void**>(drives));
    }

private:
    std::shared_ptr<DemoHost> host_;
    std::size_t machine_;
};

HRESULT MakeMachine(const std::shared_ptr<DemoHost>& host, std::size_t machine, IDispatch** out) {
    auto* object = new (std::nothrow) MachineObject(host, machine);
    if (!object) return E_OUTOFMEMORY;
    ComPtr<IDemoMachine> owner;
    owner.Attach(object);
    *out = owner.Detach();
    return S_OK;
}

class MachineCollection final : public DispatchObject<IDemoMachineCollection> {
public:
    explicit MachineCollection(std::shared_ptr<DemoHost> host) : host_(std::move(host)) {}

    STDMETHODIMP get__NewEnum(IUnknown** enumerator) override {
        return Safely([&] {
            return NewEnumerator(Count(), [host = host_](std::size_t i, IDispatch** item) {
                return MakeMachine(host, i, item);
            }, enumerator);
        });
    }
    STDMETHODIMP get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(Count());
        return S_OK;
    }
    STDMETHODIMP get_Item(LONG index, IDemoMachine** machine) override {
        if (!machine) return E_POINTER;
        *machine = nullptr;
        if (index < 1 || static_cast<std::size_t>(index) > Count()) return DISP_E_BADINDEX;
        IDispatch* item = nullptr;
        if (HRESULT hr = MakeMachine(host_, static_cast<std::size_t>(index - 1), &item); FAILED(hr)) return hr;
        *machine = static_cast<IDemoMachine*>(item);
        return S_OK;
    }

private:
    std::size_t Count() const { return host_->inventory().machines.size(); }

    std::shared_ptr<DemoHost> host_;
};

class HostObject final : public DispatchObject<IDemoHost> {
public:
    explicit HostObject(std::shared_ptr<DemoHost> host) : host_(std::move(host)) {}

    STDMETHODIMP get_Version(BSTR* version) override { return ToBstr(L"1.0", version); }
    STDMETHODIMP get_Machines(IDemoMachineCollection** machines) override {
        if (!machines) return E_POINTER;
        *machines = nullptr;
        auto* object = new (std::nothrow) MachineCollection(host_);
        if (!object) return E_OUTOFMEMORY;
        return Hand(object, __uuidof(IDemoMachineCollection), reinterpret_cast<void**>(machines));
    }
    STDMETHODIMP get_InventoryPath(BSTR* path) override { return ToBstr(host_->InventoryPath(), path); }
    STDMETHODIMP CreateFloppyImage(BSTR path, LONG density) override {
        return Safely([&] {
            const Status created = host_->CreateFloppyImage(FromBstr(path), density);
            return created ? S_OK : Fail(created.failure());
        });
    }
    STDMETHODIMP GetFloppyImageType(BSTR path, LONG* code) override {
        if (!code) return E_POINTER;
        return Safely([&] {
            auto format = host_->GetFloppyImageType(FromBstr(path));
            if (!format) return Fail(format.failure());
            *code = *format;
            return S_OK;
        });
    }

private:
    std::shared_ptr<DemoHost> host_;
};

}  // namespace

HRESULT CreateHostObject(std::shared_ptr<DemoHost> host, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) HostObject(std::move(host));
    if (!created) return E_OUTOFMEMORY;
    ComPtr<IDemoHost> owner;
    owner.Attach(created);
    return owner->QueryInterface(iid, object);
}

}  // namespace ombrevale::demohost
