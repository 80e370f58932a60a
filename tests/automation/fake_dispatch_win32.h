// In-process stand-ins for the automation server's objects: an IDispatch that answers
// the operations a test gives it and records every call, a collection enumerator, and a
// count of live fakes so that a test can see every reference was given back.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace ombrevale::testing {

using Microsoft::WRL::ComPtr;

inline int& LiveFakes() {
    static int count = 0;
    return count;
}

// Every GetIDsOfNames that a fake answered: across processes each is a round trip.
inline int& NameLookups() {
    static int count = 0;
    return count;
}

// One call as the fake saw it; arguments in declared order, as "s:text" or "i:number".
struct CallRecord {
    std::wstring name;
    WORD flags = 0;
    std::vector<std::wstring> args;

    friend bool operator==(const CallRecord&, const CallRecord&) = default;
};
using CallLog = std::vector<CallRecord>;

inline void PrintTo(const CallRecord& call, std::ostream* os) {
    *os << ::testing::PrintToString(call.name) << " flags " << call.flags << " args "
        << ::testing::PrintToString(call.args);
}

inline std::wstring Describe(const VARIANT& v) {
    if (v.vt == VT_BSTR) return L"s:" + std::wstring(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal));
    if (v.vt == VT_I4) return L"i:" + std::to_wstring(v.lVal);
    return L"vt:" + std::to_wstring(v.vt);
}

template <class T, class... A>
ComPtr<T> MakeFake(A&&... args) {
    // Adopts the first reference (mingw-w64's ComPtr::Attach would add another).
    ComPtr<T> p;
    *p.GetAddressOf() = new T(std::forward<A>(args)...);
    return p;
}

// IUnknown for every fake: counted among the live fakes, answering IUnknown, `Interface`
// and whatever Answers() adds.
template <class Interface>
class FakeUnknown : public Interface {
public:
    FakeUnknown() { ++LiveFakes(); }
    virtual ~FakeUnknown() { --LiveFakes(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, __uuidof(Interface)) && !Answers(riid))
            return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual bool Answers(REFIID) const { return false; }

private:
    ULONG refs_ = 1;
};

// Answers an operation: fills the result or the exception and returns the HRESULT.
using Handler = std::function<HRESULT(VARIANT* result, EXCEPINFO* exception)>;

class FakeObject final : public FakeUnknown<IDispatch> {
public:
    // `interfaces`: the identifiers, besides IUnknown and IDispatch, it answers to.
    FakeObject(CallLog* log, std::vector<IID> interfaces) : log_(log), interfaces_(std::move(interfaces)) {}

    // A name keeps its DISPID when its handler is replaced, as a server's names do.
    void On(const std::wstring& name, Handler handler) {
        const auto known = ids_.find(name);
        On(known != ids_.end() ? known->second : static_cast<DISPID>(members_.size() + 1), name, std::move(handler));
    }
    void On(DISPID id, const std::wstring& name, Handler handler) {
        ids_[name] = id;
        members_[id] = {name, std::move(handler)};
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL) || count != 1) return E_INVALIDARG;
        ++NameLookups();
        const auto found = ids_.find(names[0]);
        if (found == ids_.end()) {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = found->second;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        if (!IsEqualIID(riid, IID_NULL) || !params || params->cNamedArgs != 0) return E_INVALIDARG;
        const auto found = members_.find(id);
        if (found == members_.end()) return DISP_E_MEMBERNOTFOUND;
        CallRecord call{found->second.name, flags, {}};
        for (UINT i = params->cArgs; i > 0; --i) call.args.push_back(Describe(params->rgvarg[i - 1]));
        if (log_) log_->push_back(std::move(call));
        return found->second.handler(result, exception);
    }

private:
    struct Member {
        std::wstring name;
        Handler handler;
    };
    bool Answers(REFIID riid) const override {
        return std::any_of(interfaces_.begin(), interfaces_.end(), [&](const IID& iid) { return iid == riid; });
    }

    CallLog* log_;
    std::vector<IID> interfaces_;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, Member> members_;
};

// Hands out copies of its items one by one; can fail at a chosen position.
class FakeEnum final : public FakeUnknown<IEnumVARIANT> {
public:
    FakeEnum(std::vector<VARIANT> items, int failAt, HRESULT failure)
        : items_(std::move(items)), failAt_(failAt), failure_(failure) {}
    ~FakeEnum() {
        for (VARIANT& v : items_) VariantClear(&v);
    }

    int nextCalls = 0;
    ULONG largestRequest = 0;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ++nextCalls;
        largestRequest = std::max(largestRequest, count);
        ULONG given = 0;
        while (given < count && position_ < items_.size()) {
            if (static_cast<int>(position_) == failAt_) {
                failAt_ = -1;  // fails once, then goes on
                if (fetched) *fetched = given;
                return failure_;
            }
            VariantInit(&out[given]);
            VariantCopy(&out[given], &items_[position_]);
            ++given;
            ++position_;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<VARIANT> items_;
    size_t position_ = 0;
    int failAt_;
    HRESULT failure_;
};

// --- Handlers ------------------------------------------------------------------------

inline Handler Succeed() {
    return [](VARIANT*, EXCEPINFO*) { return S_OK; };
}

inline Handler ReturnText(std::wstring text) {
    return [text](VARIANT* result, EXCEPINFO*) {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return S_OK;
    };
}

inline Handler ReturnLong(LONG value) {
    return [value](VARIANT* result, EXCEPINFO*) {
        result->vt = VT_I4;
        result->lVal = value;
        return S_OK;
    };
}

// Any value the test builds (a NULL BSTR, a short integer, nothing at all).
inline Handler ReturnVariant(std::function<void(VARIANT*)> fill) {
    return [fill](VARIANT* result, EXCEPINFO*) {
        fill(result);
        return S_OK;
    };
}

inline Handler ReturnObject(ComPtr<IUnknown> object, VARTYPE type = VT_DISPATCH) {
    return [object, type](VARIANT* result, EXCEPINFO*) {
        result->vt = type;
        if (type == VT_DISPATCH) {
            IDispatch* d = nullptr;
            if (object) object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
            result->pdispVal = d;
        } else {
            result->punkVal = object.Get();
            if (object) object->AddRef();
        }
        return S_OK;
    };
}

inline Handler Fail(HRESULT hr) {
    return [hr](VARIANT*, EXCEPINFO*) { return hr; };
}

// Fails the way a server built on a type library does: DISP_E_EXCEPTION with EXCEPINFO.
inline Handler FailWithException(HRESULT scode, std::wstring description) {
    return [scode, description](VARIANT*, EXCEPINFO* e) {
        e->scode = scode;
        e->bstrSource = SysAllocString(L"Fake.Server");
        e->bstrDescription = SysAllocString(description.c_str());
        e->bstrHelpFile = SysAllocString(L"fake.hlp");
        return DISP_E_EXCEPTION;
    };
}

inline HRESULT STDAPICALLTYPE FillInLater(EXCEPINFO* e) {
    e->scode = static_cast<SCODE>(0x80070070);  // disk full
    e->bstrDescription = SysAllocString(L"На диске нет места для образа.");
    return S_OK;
}

// Leaves EXCEPINFO empty but for the fill-in callback, as a lazy server may.
inline Handler FailWithDeferredException() {
    return [](VARIANT*, EXCEPINFO* e) {
        e->pfnDeferredFillIn = FillInLater;
        return DISP_E_EXCEPTION;
    };
}

inline void SetThreadErrorInfo(const std::wstring& description) {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.GetAddressOf()))) return;
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
}

// Fails the way a vtable-bound server does: a plain HRESULT and a thread error object.
inline Handler FailWithErrorInfo(HRESULT hr, std::wstring description) {
    return [hr, description](VARIANT*, EXCEPINFO*) {
        SetThreadErrorInfo(description);
        return hr;
    };
}

// A collection whose _NewEnum gives a fresh FakeEnum over `items` (each call its own).
inline ComPtr<FakeObject> MakeCollection(CallLog* log, std::vector<ComPtr<IUnknown>> objects,
                                         ComPtr<FakeEnum>* lastEnum = nullptr, int failAt = -1,
                                         HRESULT failure = E_FAIL) {
    auto collection = MakeFake<FakeObject>(log, std::vector<IID>{});
    collection->On(DISPID_NEWENUM, L"_NewEnum", [=](VARIANT* result, EXCEPINFO*) {
        std::vector<VARIANT> items;
        for (const auto& object : objects) {
            VARIANT v;
            VariantInit(&v);
            if (object) {
                v.vt = VT_DISPATCH;
                object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&v.pdispVal));
            } else {
                v.vt = VT_I4;  // an item that is no object at all
                v.lVal = 5;
            }
            items.push_back(v);
        }
        auto walker = MakeFake<FakeEnum>(std::move(items), failAt, failure);
        if (lastEnum) *lastEnum = walker;
        result->vt = VT_UNKNOWN;
        result->punkVal = walker.Detach();
        return S_OK;
    });
    return collection;
}

}  // namespace ombrevale::testing
