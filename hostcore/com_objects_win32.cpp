#include "hostcore/com_objects_win32.h"

#include <wrl/client.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "base/com_object_win32.h"
#include "base/failure_win32.h"
#include "hosts_idl.h"

using Microsoft::WRL::ComPtr;

namespace ombrevale::hostcore {
namespace {

DWORD g_serverThread = 0;

// ---- Plumbing ---------------------------------------------------------------------------

HRESULT ToBstr(std::wstring_view text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// No exception may leave a COM method.
template <class Body>
HRESULT Safely(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The type library embedded in the server's own file, loaded once: the server is one
// single-threaded apartment, so its calls come one at a time.
HRESULT ServerTypeLib(ITypeLib** typeLib) {
    static ComPtr<ITypeLib> loaded;
    if (!loaded) {
        auto path = ProgramPath();
        if (!path) return path.failure().number;
        if (const HRESULT hr = LoadTypeLibEx(path->c_str(), REGKIND_NONE, &loaded); FAILED(hr)) return hr;
    }
    return loaded.CopyTo(typeLib);
}

// Every object of the server keeps the server alive.
struct ServerLifetime {
    static void Created() { ServerObjectCreated(); }
    static void Released() { ServerObjectReleased(); }
};

template <class... Interfaces>
using ServerObject = ComObject<ServerLifetime, Interfaces...>;

template <class T, class... Args>
HRESULT Make(REFIID iid, void** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Safely([&] {
        auto* object = new T(std::forward<Args>(args)...);
        return Hand(object, iid, out);
    });
}

// IDispatch through the type library's description of `Interface`, and error objects.
template <class Interface>
class DispatchObject : public ServerObject<Interface, ISupportErrorInfo> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return TypeInfo(info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ComPtr<ITypeInfo> typeInfo;
        if (const HRESULT hr = TypeInfo(&typeInfo); FAILED(hr)) return hr;
        return DispGetIDsOfNames(typeInfo.Get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                        UINT* badArgument) override {
        ComPtr<ITypeInfo> typeInfo;
        if (const HRESULT hr = TypeInfo(&typeInfo); FAILED(hr)) return hr;
        DISPPARAMS none{};
        if (!params) params = &none;
        HRESULT hr = typeInfo->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception, badArgument);
        // Clients call properties as methods and methods as properties: late binding in
        // the Basic style does not tell the two apart.
        const WORD readFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        if (hr == DISP_E_MEMBERNOTFOUND && (flags & readFlags) && !(flags & ~readFlags) && flags != readFlags)
            hr = typeInfo->Invoke(static_cast<Interface*>(this), id, readFlags ^ flags, params, result, exception,
                                  badArgument);
        return hr;
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override { return iid == __uuidof(Interface) ? S_OK : S_FALSE; }

protected:
    void* Extra(REFIID iid) override {
        return iid == IID_IDispatch ? static_cast<IDispatch*>(static_cast<Interface*>(this)) : nullptr;
    }
    HRESULT Fail(const Failure& failure) { return FailWith(failure, __uuidof(Interface)); }
    HRESULT Done(const Status& status) { return status ? S_OK : Fail(status.failure()); }

private:
    static HRESULT TypeInfo(ITypeInfo** info) {
        ComPtr<ITypeLib> typeLib;
        if (const HRESULT hr = ServerTypeLib(&typeLib); FAILED(hr)) return hr;
        return typeLib->GetTypeInfoOfGuid(__uuidof(Interface), info);
    }
};

// ---- Collections --------------------------------------------------------------------------

// What a collection holds: how many items, and the item at a position.
class ItemSource {
public:
    virtual ~ItemSource() = default;
    virtual Result<std::size_t> Count() = 0;
    virtual HRESULT Item(std::size_t position, IDispatch** item) = 0;
};

// Walks a collection. Next hands out as many items as it is asked for, so that a client
// across a process boundary fetches them in few round trips.
class ItemEnumerator final : public ServerObject<IEnumVARIANT> {
public:
    ItemEnumerator(std::shared_ptr<ItemSource> source, std::size_t count, std::size_t position)
        : source_(std::move(source)), count_(count), position_(position) {}

    STDMETHODIMP Next(ULONG wanted, VARIANT* items, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (wanted == 0) return S_OK;
        if (!items) return E_POINTER;
        // Only one item may be asked for without a count of those fetched.
        if (!fetched && wanted != 1) return E_INVALIDARG;
        ULONG done = 0;
        for (; done < wanted && position_ < count_; ++done) {
            VariantInit(&items[done]);
            IDispatch* item = nullptr;
            if (const HRESULT hr = source_->Item(position_, &item); FAILED(hr)) {
                for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
                return hr;
            }
            V_VT(&items[done]) = VT_DISPATCH;
            V_DISPATCH(&items[done]) = item;
            ++position_;
        }
        if (fetched) *fetched = done;
        return done == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const std::size_t left = count_ - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** copy) override {
        return Make<ItemEnumerator>(IID_IEnumVARIANT, reinterpret_cast<void**>(copy), source_, count_, position_);
    }

private:
    std::shared_ptr<ItemSource> source_;
    std::size_t count_;
    std::size_t position_;
};

// A collection in the Basic style: _NewEnum, Count, and Item counted from 1.
template <class Interface, class ItemInterface>
class Collection final : public DispatchObject<Interface> {
public:
    explicit Collection(std::shared_ptr<ItemSource> source) : source_(std::move(source)) {}

    STDMETHODIMP get__NewEnum(IUnknown** enumerator) override {
        if (!enumerator) return E_POINTER;
        *enumerator = nullptr;
        return Safely([&] {
            auto count = source_->Count();
            if (!count) return this->Fail(count.failure());
            return Make<ItemEnumerator>(IID_IUnknown, reinterpret_cast<void**>(enumerator), source_, *count,
                                        std::size_t{0});
        });
    }
    STDMETHODIMP get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        return Safely([&] {
            auto counted = source_->Count();
            if (!counted) return this->Fail(counted.failure());
            *count = static_cast<LONG>(*counted);
            return S_OK;
        });
    }
    STDMETHODIMP get_Item(LONG index, ItemInterface** item) override {
        if (!item) return E_POINTER;
        *item = nullptr;
        return Safely([&] {
            auto count = source_->Count();
            if (!count) return this->Fail(count.failure());
            if (index < 1 || static_cast<std::size_t>(index) > *count) return HRESULT{DISP_E_BADINDEX};
            ComPtr<IDispatch> made;
            if (const HRESULT hr = source_->Item(static_cast<std::size_t>(index - 1), &made); FAILED(hr)) return hr;
            return made->QueryInterface(__uuidof(ItemInterface), reinterpret_cast<void**>(item));
        });
    }

private:
    std::shared_ptr<ItemSource> source_;
};

// ---- The three objects ------------------------------------------------------------------

class FloppyDriveObject final : public DispatchObject<IHostFloppyDrive> {
public:
    FloppyDriveObject(std::shared_ptr<Backend> backend, std::size_t machine, std::size_t drive)
        : backend_(std::move(backend)), machine_(machine), drive_(drive) {}

    STDMETHODIMP AttachImage(BSTR path) override {
        return Safely([&] { return Done(backend_->AttachImage(machine_, drive_, FromBstr(path))); });
    }
    STDMETHODIMP ReleaseImage() override {
        return Safely([&] { return Done(backend_->ReleaseImage(machine_, drive_)); });
    }
    STDMETHODIMP get_ImagePath(BSTR* path) override {
        return Read([&](const DriveState& s) { return ToBstr(s.imagePath, path); });
    }
    STDMETHODIMP AttachHostDrive(BSTR letter) override {
        return Safely([&] { return Done(backend_->AttachHostDrive(machine_, drive_, FromBstr(letter))); });
    }
    STDMETHODIMP ReleaseHostDrive() override {
        return Safely([&] { return Done(backend_->ReleaseHostDrive(machine_, drive_)); });
    }
    STDMETHODIMP get_HostDriveLetter(BSTR* letter) override {
        return Read([&](const DriveState& s) { return ToBstr(s.hostDriveLetter, letter); });
    }
    STDMETHODIMP get_DriveNumber(LONG* number) override {
        if (!number) return E_POINTER;
        return Read([&](const DriveState& s) {
            *number = s.number;
            return S_OK;
        });
    }
    STDMETHODIMP get_Attachment(LONG* code) override {
        if (!code) return E_POINTER;
        return Read([&](const DriveState& s) {
            *code = s.attachment;
            return S_OK;
        });
    }

private:
    template <class Answer>
    HRESULT Read(Answer&& answer) {
        return Safely([&] {
            auto state = backend_->Drive(machine_, drive_);
            return state ? answer(*state) : Fail(state.failure());
        });
    }

    std::shared_ptr<Backend> backend_;
    std::size_t machine_;
    std::size_t drive_;
};

class DriveSource final : public ItemSource {
public:
    DriveSource(std::shared_ptr<Backend> backend, std::size_t machine)
        : backend_(std::move(backend)), machine_(machine) {}
    Result<std::size_t> Count() override { return backend_->DriveCount(machine_); }
    HRESULT Item(std::size_t position, IDispatch** item) override {
        return Make<FloppyDriveObject>(IID_IDispatch, reinterpret_cast<void**>(item), backend_, machine_, position);
    }

private:
    std::shared_ptr<Backend> backend_;
    std::size_t machine_;
};

class MachineObject final : public DispatchObject<IHostMachine> {
public:
    MachineObject(std::shared_ptr<Backend> backend, std::size_t machine)
        : backend_(std::move(backend)), machine_(machine) {}

    STDMETHODIMP get_Name(BSTR* name) override {
        return Safely([&] {
            auto text = backend_->MachineName(machine_);
            return text ? ToBstr(*text, name) : Fail(text.failure());
        });
    }
    STDMETHODIMP get_FloppyDriveCount(LONG* count) override {
        if (!count) return E_POINTER;
        return Safely([&] {
            auto counted = backend_->DriveCount(machine_);
            if (!counted) return Fail(counted.failure());
            *count = static_cast<LONG>(*counted);
            return S_OK;
        });
    }
    STDMETHODIMP get_FloppyDrives(IHostFloppyDriveCollection** drives) override {
        return Safely([&] {
            return Make<Collection<IHostFloppyDriveCollection, IHostFloppyDrive>>(
                __uuidof(IHostFloppyDriveCollection), reinterpret_cast<void**>(drives),
                std::make_shared<DriveSource>(backend_, machine_));
        });
    }

private:
    std::shared_ptr<Backend> backend_;
    std::size_t machine_;
};

class MachineSource final : public ItemSource {
public:
    explicit MachineSource(std::shared_ptr<Backend> backend) : backend_(std::move(backend)) {}
    Result<std::size_t> Count() override { return backend_->MachineCount(); }
    HRESULT Item(std::size_t position, IDispatch** item) override {
        return Make<MachineObject>(IID_IDispatch, reinterpret_cast<void**>(item), backend_, position);
    }

private:
    std::shared_ptr<Backend> backend_;
};

class HostObject final : public DispatchObject<IHost> {
public:
    explicit HostObject(std::shared_ptr<Backend> backend) : backend_(std::move(backend)) {}

    STDMETHODIMP get_Version(BSTR* version) override { return ToBstr(L"1.0", version); }
    STDMETHODIMP get_Machines(IHostMachineCollection** machines) override {
        return Safely([&] {
            // A backend that cannot serve says so here, at a client's first step.
            if (auto count = backend_->MachineCount(); !count) return Fail(count.failure());
            return Make<Collection<IHostMachineCollection, IHostMachine>>(__uuidof(IHostMachineCollection),
                                                                          reinterpret_cast<void**>(machines),
                                                                          std::make_shared<MachineSource>(backend_));
        });
    }
    STDMETHODIMP get_InventoryPath(BSTR* path) override {
        return Safely([&] { return ToBstr(backend_->SourcePath(), path); });
    }
    STDMETHODIMP CreateFloppyImage(BSTR path, LONG density) override {
        return Safely([&] { return Done(backend_->CreateFloppyImage(FromBstr(path), density)); });
    }
    STDMETHODIMP GetFloppyImageType(BSTR path, LONG* code) override {
        if (!code) return E_POINTER;
        return Safely([&] {
            auto format = backend_->GetFloppyImageType(FromBstr(path));
            if (!format) return Fail(format.failure());
            *code = *format;
            return S_OK;
        });
    }

private:
    std::shared_ptr<Backend> backend_;
};

}  // namespace

HRESULT FailWith(const Failure& failure, REFIID iid) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        create->SetSource(const_cast<wchar_t*>(L"Ombrevale"));
        create->SetDescription(const_cast<wchar_t*>(failure.description.c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
    return FAILED(failure.number) ? static_cast<HRESULT>(failure.number) : E_FAIL;
}

HRESULT CreateHostObject(std::shared_ptr<Backend> backend, REFIID iid, void** object) {
    return Make<HostObject>(iid, object, std::move(backend));
}

void ServerObjectCreated() { CoAddRefServerProcess(); }

void ServerObjectReleased() {
    // At zero COM has already stopped handing out the class object: no client can be
    // creating an object now, and the server may end.
    if (CoReleaseServerProcess() == 0 && g_serverThread != 0) PostThreadMessageW(g_serverThread, WM_QUIT, 0, 0);
}

void SetServerThread(DWORD threadId) { g_serverThread = threadId; }

}  // namespace ombrevale::hostcore
