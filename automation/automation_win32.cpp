// Late-bound client of Virtual PC's automation server: GetIDsOfNames, then Invoke, for
// every operation; collections through _NewEnum and IEnumVARIANT; every failure keeps
// its HRESULT and the best description to be had.
#include "automation/automation_win32.h"

#include <oleauto.h>

#include <deque>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/failure_win32.h"
#include "base/owners_win32.h"

namespace ombrevale {
namespace {

using Microsoft::WRL::ComPtr;

// The client's own descriptions, for failures the server does not describe itself.
namespace text {
std::wstring UnknownOperation(const std::wstring& operation, const std::wstring& reason) {
    return L"Операция «" + operation + L"» недоступна: " + reason;
}
std::wstring NoObject(const std::wstring& operation) { return L"Операция «" + operation + L"» не вернула объект."; }
std::wstring NotEnumerable(const std::wstring& collection, const std::wstring& reason) {
    return L"Коллекцию «" + collection + L"» нельзя перебрать: " + reason;
}
std::wstring ItemNotObject(const std::wstring& collection) {
    return L"Элемент коллекции «" + collection + L"» не является объектом.";
}
std::wstring ItemRefused(const std::wstring& collection, const std::wstring& kind) {
    return L"Элемент коллекции «" + collection + L"» не является " + kind + L".";
}
constexpr const wchar_t* kMachineKind = L"виртуальной машиной";
constexpr const wchar_t* kDriveKind = L"дисководом гибких дисков";
}  // namespace text

// --- Describing failures ------------------------------------------------------------

// Takes the error object the failing call left on this thread (and clears the slot).
std::wstring TakeErrorInfoText() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return {};
    UniqueBstr description;
    if (FAILED(info->GetDescription(description.put()))) return {};
    return Trimmed(BstrText(description.get()));
}

// A failed call's number and description: the server's exception, else its error
// object, else the system's text (named after the operation, since the system does not
// know which call it was).
Failure DescribeFailure(HRESULT hr, UniqueExcepInfo* exception, const std::wstring& operation) {
    HRESULT number = hr;
    std::wstring description;
    if (hr == DISP_E_EXCEPTION && exception) {
        EXCEPINFO& e = **exception;
        if (e.pfnDeferredFillIn) {
            e.pfnDeferredFillIn(&e);
            e.pfnDeferredFillIn = nullptr;
        }
        if (e.scode != 0) number = e.scode;
        description = Trimmed(BstrText(e.bstrDescription));
    }
    if (description.empty()) description = TakeErrorInfoText();
    if (description.empty()) return HResultFailure(number, operation);
    return FailureOf(number, std::move(description));
}

// --- Calls by name ------------------------------------------------------------------

// One argument as the operation declares it: text or a 32-bit number.
using Argument = std::variant<std::wstring, std::int32_t>;

// DISPPARAMS wants the arguments last first; this owns them while the call runs.
class Arguments {
public:
    Arguments() = default;
    ~Arguments() {
        for (VARIANT& v : reversed_) VariantClear(&v);
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    Status Add(const Argument& argument, const std::wstring& operation) {
        reversed_.reserve(reversed_.size() + 1);  // the insert below then cannot throw
        VARIANT v;
        VariantInit(&v);
        if (const auto* s = std::get_if<std::wstring>(&argument)) {
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocStringLen(s->data(), static_cast<UINT>(s->size()));
            if (!v.bstrVal) return HResultFailure(E_OUTOFMEMORY, operation);
        } else {
            v.vt = VT_I4;
            v.lVal = std::get<std::int32_t>(argument);
        }
        reversed_.insert(reversed_.begin(), v);
        return Ok();
    }

    DISPPARAMS Params() {
        return DISPPARAMS{reversed_.empty() ? nullptr : reversed_.data(), nullptr, static_cast<UINT>(reversed_.size()),
                          0};
    }

private:
    std::vector<VARIANT> reversed_;
};

Status InvokeId(IDispatch* object, DISPID id, const std::wstring& operation, WORD flags, Arguments& arguments,
                UniqueVariant& result) {
    DISPPARAMS params = arguments.Params();
    UniqueExcepInfo exception;
    UINT badArgument = 0;
    SetErrorInfo(0, nullptr);  // so a stale error object is never taken for this call's
    const HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(), exception.get(), &badArgument);
    if (FAILED(hr)) return DescribeFailure(hr, &exception, operation);
    return Ok();
}

// The DISPIDs of one interface, looked up once for all its objects: every object of an
// interface answers a name with the same DISPID, and across processes each lookup is a
// round trip of its own.
class NameCache {
public:
    Result<DISPID> Id(IDispatch* object, const std::wstring& operation) {
        if (const auto found = ids_.find(operation); found != ids_.end()) return found->second;
        LPOLESTR names[] = {const_cast<LPOLESTR>(operation.c_str())};
        DISPID id = DISPID_UNKNOWN;
        SetErrorInfo(0, nullptr);
        const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            Failure failure = DescribeFailure(hr, nullptr, {});
            failure.description = text::UnknownOperation(operation, failure.description);
            return failure;
        }
        ids_.emplace(operation, id);
        return id;
    }

private:
    std::map<std::wstring, DISPID> ids_;
};

Status Call(IDispatch* object, NameCache& names, const std::wstring& operation, WORD flags,
            std::initializer_list<Argument> args, UniqueVariant& result) {
    if (!object) return FailureOf(E_POINTER, text::NoObject(operation));
    Arguments arguments;
    for (const Argument& a : args) OMB_RETURN_IF_FAILED(arguments.Add(a, operation));
    DISPID id{};
    OMB_ASSIGN_OR_RETURN(id, names.Id(object, operation));
    return InvokeId(object, id, operation, flags, arguments, result);
}

// Anything read (a property or a method's result) is asked for as either: servers made
// for Basic clients may declare a value as a method, and late binding cannot tell.
constexpr WORD kRead = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

Status CallMethod(IDispatch* object, NameCache& names, const std::wstring& operation,
                  std::initializer_list<Argument> args = {}) {
    UniqueVariant ignored;
    return Call(object, names, operation, DISPATCH_METHOD, args, ignored);
}

Status Coerce(UniqueVariant& value, VARTYPE type, UniqueVariant& coerced, const std::wstring& operation) {
    const HRESULT hr = VariantChangeType(coerced.put(), value.get(), 0, type);
    if (FAILED(hr)) return HResultFailure(hr, operation);
    return Ok();
}

Result<std::wstring> AsText(UniqueVariant& value, const std::wstring& operation) {
    UniqueVariant coerced;
    OMB_RETURN_IF_FAILED(Coerce(value, VT_BSTR, coerced, operation));
    return BstrText(coerced->bstrVal);
}

Result<std::int32_t> AsLong(UniqueVariant& value, const std::wstring& operation) {
    UniqueVariant coerced;
    OMB_RETURN_IF_FAILED(Coerce(value, VT_I4, coerced, operation));
    return static_cast<std::int32_t>((*coerced).lVal);
}

Result<std::wstring> GetText(IDispatch* object, NameCache& names, const std::wstring& property) {
    UniqueVariant value;
    OMB_RETURN_IF_FAILED(Call(object, names, property, kRead, {}, value));
    return AsText(value, property);
}

Result<std::int32_t> GetLong(IDispatch* object, NameCache& names, const std::wstring& property) {
    UniqueVariant value;
    OMB_RETURN_IF_FAILED(Call(object, names, property, kRead, {}, value));
    return AsLong(value, property);
}

// The object a variant holds (VT_DISPATCH or VT_UNKNOWN), or null.
ComPtr<IUnknown> ObjectIn(const VARIANT& v) {
    if (v.vt == VT_DISPATCH) return ComPtr<IUnknown>(static_cast<IUnknown*>(v.pdispVal));
    if (v.vt == VT_UNKNOWN) return ComPtr<IUnknown>(v.punkVal);
    return nullptr;
}

// --- Collections ----------------------------------------------------------------------

// A collection property walked through its standard enumerator.
Result<ComPtr<IEnumVARIANT>> OpenCollection(IDispatch* owner, NameCache& names, const std::wstring& collection) {
    UniqueVariant value;
    OMB_RETURN_IF_FAILED(Call(owner, names, collection, kRead, {}, value));
    UniqueVariant object;
    OMB_RETURN_IF_FAILED(Coerce(value, VT_DISPATCH, object, collection));
    IDispatch* items = (*object).pdispVal;
    if (!items) return FailureOf(E_POINTER, text::NoObject(collection));

    Arguments none;
    UniqueVariant enumerator;
    if (Status s = InvokeId(items, DISPID_NEWENUM, collection + L"._NewEnum", kRead, none, enumerator); !s.ok()) {
        Failure failure = s.failure();
        failure.description = text::NotEnumerable(collection, failure.description);
        return failure;
    }
    ComPtr<IUnknown> unknown = ObjectIn(*enumerator);
    if (!unknown) return FailureOf(E_POINTER, text::NotEnumerable(collection, text::NoObject(L"_NewEnum")));
    ComPtr<IEnumVARIANT> walker;
    if (const HRESULT hr = unknown.As(&walker); FAILED(hr) || !walker) {
        const HRESULT number = FAILED(hr) ? hr : E_NOINTERFACE;
        return FailureOf(number, text::NotEnumerable(collection, SystemMessageOrNumber(number)));
    }
    return walker;
}

// Hands out the items one at a time, each queried for the interface its wrapper needs,
// fetching them from the server in batches: across processes each fetch is a round trip.
template <class T, class Wrapper, class Names>
class DispatchEnumerator final : public Enumerator<T> {
public:
    DispatchEnumerator(ComPtr<IEnumVARIANT> items, const IID& iid, std::wstring collection, const wchar_t* kind,
                       std::shared_ptr<Names> names)
        : items_(std::move(items)),
          iid_(iid),
          collection_(std::move(collection)),
          kind_(kind),
          names_(std::move(names)) {}

    Result<std::shared_ptr<T>> Next() override {
        if (next_ == fetched_.size()) {
            if (failure_) {
                Failure failure = std::move(*failure_);
                failure_.reset();
                return failure;
            }
            Fetch();
            if (next_ == fetched_.size()) {
                if (failure_) return Next();
                return std::shared_ptr<T>();  // past the last item
            }
        }
        UniqueVariant& item = fetched_[next_++];
        ComPtr<IUnknown> unknown = ObjectIn(*item);
        if (!unknown) return FailureOf(DISP_E_TYPEMISMATCH, text::ItemNotObject(collection_));
        // The interface is dual, so the pointer it answers with is an IDispatch.
        ComPtr<IDispatch> object;
        const HRESULT queried = unknown->QueryInterface(iid_, reinterpret_cast<void**>(object.GetAddressOf()));
        if (FAILED(queried) || !object)
            return FailureOf(FAILED(queried) ? queried : E_NOINTERFACE, text::ItemRefused(collection_, kind_));
        return std::shared_ptr<T>(std::make_shared<Wrapper>(std::move(object), names_));
    }

private:
    static constexpr ULONG kBatch = 32;

    // The next batch. Items that come with a failure are handed out first, then the
    // failure; an enumerator that cannot give more than one item at a time is asked for
    // one from then on.
    void Fetch() {
        fetched_.clear();
        next_ = 0;
        if (!items_) return;
        VARIANT batch[kBatch];
        for (VARIANT& v : batch) VariantInit(&v);
        ULONG count = 0;
        SetErrorInfo(0, nullptr);
        HRESULT hr = items_->Next(batch_, batch, &count);
        if (FAILED(hr) && batch_ > 1 && count == 0 && (hr == E_INVALIDARG || hr == E_NOTIMPL)) {
            batch_ = 1;
            hr = items_->Next(batch_, batch, &count);
        }
        if (count > batch_) count = batch_;
        for (ULONG i = 0; i < batch_; ++i) {
            if (i < count && batch[i].vt != VT_EMPTY) {
                fetched_.emplace_back();
                *fetched_.back().put() = batch[i];  // the variant moves into its owner
            } else {
                VariantClear(&batch[i]);
            }
        }
        if (FAILED(hr)) {
            failure_ = DescribeFailure(hr, nullptr, collection_ + L".Next");
        } else if (hr == S_FALSE || count == 0) {
            items_.Reset();
        }
    }

    ComPtr<IEnumVARIANT> items_;
    IID iid_;
    std::wstring collection_;
    const wchar_t* kind_;
    std::shared_ptr<Names> names_;
    ULONG batch_ = kBatch;
    std::deque<UniqueVariant> fetched_;
    std::size_t next_ = 0;
    std::optional<Failure> failure_;
};

// --- The three objects ----------------------------------------------------------------

class DispatchFloppyDrive final : public FloppyDrive {
public:
    DispatchFloppyDrive(ComPtr<IDispatch> drive, std::shared_ptr<NameCache> names)
        : drive_(std::move(drive)), names_(std::move(names)) {}

    Status AttachImage(const std::wstring& path) override {
        return CallMethod(drive_.Get(), *names_, L"AttachImage", {path});
    }
    Status ReleaseImage() override { return CallMethod(drive_.Get(), *names_, L"ReleaseImage"); }
    Result<std::wstring> ImagePath() override { return GetText(drive_.Get(), *names_, L"ImagePath"); }
    Status ReleaseHostDrive() override { return CallMethod(drive_.Get(), *names_, L"ReleaseHostDrive"); }
    Result<std::wstring> HostDriveLetter() override { return GetText(drive_.Get(), *names_, L"HostDriveLetter"); }
    Result<std::int32_t> DriveNumber() override { return GetLong(drive_.Get(), *names_, L"DriveNumber"); }
    Result<std::int32_t> Attachment() override { return GetLong(drive_.Get(), *names_, L"Attachment"); }

private:
    ComPtr<IDispatch> drive_;
    std::shared_ptr<NameCache> names_;
};

// The names of each interface, shared by all its objects that one host object reaches.
struct InterfaceNames {
    std::shared_ptr<NameCache> host = std::make_shared<NameCache>();
    std::shared_ptr<NameCache> machine = std::make_shared<NameCache>();
    std::shared_ptr<NameCache> drive = std::make_shared<NameCache>();
};

class DispatchVirtualMachine final : public VirtualMachine {
public:
    DispatchVirtualMachine(ComPtr<IDispatch> machine, std::shared_ptr<InterfaceNames> names)
        : machine_(std::move(machine)), names_(std::move(names)) {}

    Result<std::wstring> Name() override { return GetText(machine_.Get(), *names_->machine, L"Name"); }

    Result<std::unique_ptr<Enumerator<FloppyDrive>>> FloppyDrives() override {
        ComPtr<IEnumVARIANT> items;
        OMB_ASSIGN_OR_RETURN(items, OpenCollection(machine_.Get(), *names_->machine, L"FloppyDrives"));
        return std::unique_ptr<Enumerator<FloppyDrive>>(
            std::make_unique<DispatchEnumerator<FloppyDrive, DispatchFloppyDrive, NameCache>>(
                std::move(items), kFloppyDriveInterface, L"FloppyDrives", text::kDriveKind, names_->drive));
    }

private:
    ComPtr<IDispatch> machine_;
    std::shared_ptr<InterfaceNames> names_;
};

class DispatchVirtualPCHost final : public VirtualPCHost {
public:
    explicit DispatchVirtualPCHost(ComPtr<IDispatch> host) : host_(std::move(host)) {}

    Result<std::unique_ptr<Enumerator<VirtualMachine>>> Machines() override {
        ComPtr<IEnumVARIANT> items;
        OMB_ASSIGN_OR_RETURN(items, OpenCollection(host_.Get(), *names_->host, L"Machines"));
        return std::unique_ptr<Enumerator<VirtualMachine>>(
            std::make_unique<DispatchEnumerator<VirtualMachine, DispatchVirtualMachine, InterfaceNames>>(
                std::move(items), kVirtualMachineInterface, L"Machines", text::kMachineKind, names_));
    }

    Status CreateFloppyImage(const std::wstring& path, std::int32_t density) override {
        return CallMethod(host_.Get(), *names_->host, L"CreateFloppyImage", {path, density});
    }

    Result<std::int32_t> GetFloppyImageType(const std::wstring& path) override {
        UniqueVariant value;
        OMB_RETURN_IF_FAILED(Call(host_.Get(), *names_->host, L"GetFloppyImageType", kRead, {path}, value));
        return AsLong(value, L"GetFloppyImageType");
    }

private:
    ComPtr<IDispatch> host_;
    std::shared_ptr<InterfaceNames> names_ = std::make_shared<InterfaceNames>();
};

}  // namespace

std::unique_ptr<VirtualPCHost> WrapVirtualPCHost(ComPtr<IDispatch> host) {
    return std::make_unique<DispatchVirtualPCHost>(std::move(host));
}

Result<std::unique_ptr<VirtualPCHost>> CreateVirtualPCHost() {
    ComPtr<IDispatch> host;
    SetErrorInfo(0, nullptr);
    const HRESULT hr = CoCreateInstance(kVirtualPCClass, nullptr, CLSCTX_SERVER, kVirtualPCHostInterface,
                                        reinterpret_cast<void**>(host.GetAddressOf()));
    if (FAILED(hr)) return DescribeFailure(hr, nullptr, {});
    if (!host) return FailureOf(E_POINTER, text::NoObject(L"CoCreateInstance"));
    return WrapVirtualPCHost(std::move(host));
}

}  // namespace ombrevale
