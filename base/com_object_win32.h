// The IUnknown of a COM object of ours, written once: a reference count, and QueryInterface
// over the interfaces that the object derives from. Header-only, for the servers' objects,
// the program's (a drop target, the controls' accessible objects) and the tests' alike.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <atomic>
#include <tuple>

namespace ombrevale {

// What is told when an object is made and when it goes: a local server counts its objects
// to know when to end; an in-process one may not need to.
struct Uncounted {
    static void Created() {}
    static void Released() {}
};

template <class Lifetime, class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        } else if (!(Match<Interfaces>(iid, object) || ...)) {
            *object = Extra(iid);
        }
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() { Lifetime::Created(); }
    virtual ~ComObject() { Lifetime::Released(); }
    // An interface answered beyond those derived from (IDispatch, for a dual interface).
    virtual void* Extra(REFIID) { return nullptr; }

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    template <class I>
    bool Match(REFIID iid, void** object) {
        if (iid != __uuidof(I)) return false;
        *object = static_cast<I*>(this);
        return true;
    }

    std::atomic<ULONG> refs_{1};
};

// An object that lives as long as its module, such as a class factory: references to it
// keep nothing alive.
template <class Interface>
class StaticComObject : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = iid == IID_IUnknown || iid == __uuidof(Interface) ? static_cast<Interface*>(this) : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

// Makes `object` (which holds one reference) answer `iid`, then lets go of that reference.
// Not through ComPtr::Attach: mingw-w64's adds a reference that it should take over.
template <class T>
HRESULT Hand(T* object, REFIID iid, void** out) {
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

// Takes over the one reference that a new object holds. Not through ComPtr::Attach either:
// the object would never be freed.
template <class T>
Microsoft::WRL::ComPtr<T> Adopted(T* object) {
    Microsoft::WRL::ComPtr<T> held;
    *held.GetAddressOf() = object;
    return held;
}

}  // namespace ombrevale
