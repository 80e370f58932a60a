#include "app/accessible_win32.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "base/com_object_win32.h"

namespace ombrevale {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kSubclassProperty[] = L"OmbrevaleAccessibleName";

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT ToBstr(const std::wstring& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The control's standard object, with its name (and for a status line its value) given
// here; everything else is the standard object's answer.
class NamedAccessible final : public ComObject<Uncounted, IAccessible, IOleWindow> {
public:
    NamedAccessible(HWND control, ComPtr<IAccessible> standard, const wchar_t* name, AccessibleValue value)
        : control_(control), standard_(std::move(standard)), name_(name), value_(value) {}

    // IOleWindow: the control, for WindowFromAccessibleObject.
    STDMETHODIMP GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = control_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
        return standard_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argument) override {
        return standard_->Invoke(id, iid, locale, flags, params, result, exception, argument);
    }

    // IAccessible: what this object changes.
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
        if (IsSelf(child)) return ToBstr(name_, name);
        return standard_->get_accName(child, name);
    }
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
        if (value_ != AccessibleValue::Text || !IsSelf(child)) return standard_->get_accValue(child, value);
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control_)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(control_, text.data(), static_cast<int>(text.size()))));
        return ToBstr(text, value);
    }
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) override {
        if (value_ == AccessibleValue::Text && IsSelf(child)) return E_ACCESSDENIED;
        return standard_->put_accValue(child, value);
    }
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override {
        const HRESULT hr = standard_->get_accState(child, state);
        if (SUCCEEDED(hr) && value_ == AccessibleValue::Text && IsSelf(child) && state->vt == VT_I4)
            state->lVal |= STATE_SYSTEM_READONLY;
        return hr;
    }

    // IAccessible: the standard object's answers.
    STDMETHODIMP get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    STDMETHODIMP get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override {
        return standard_->get_accDescription(child, text);
    }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override { return standard_->get_accRole(child, role); }
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* text) override { return standard_->get_accHelp(child, text); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return standard_->get_accKeyboardShortcut(child, text);
    }
    STDMETHODIMP get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    STDMETHODIMP get_accSelection(VARIANT* children) override { return standard_->get_accSelection(children); }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* text) override {
        return standard_->get_accDefaultAction(child, text);
    }
    STDMETHODIMP accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    STDMETHODIMP accHitTest(long x, long y, VARIANT* child) override { return standard_->accHitTest(x, y, child); }
    STDMETHODIMP accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }
    STDMETHODIMP put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }

private:
    ~NamedAccessible() override = default;
    // IAccessible is a dual interface: its IDispatch is the object itself.
    void* Extra(REFIID iid) override {
        return iid == IID_IDispatch ? static_cast<IDispatch*>(static_cast<IAccessible*>(this)) : nullptr;
    }

    HWND control_;
    ComPtr<IAccessible> standard_;
    const wchar_t* name_;
    AccessibleValue value_;
};

struct Subclass {
    WNDPROC previous;
    const wchar_t* name;
    AccessibleValue value;
    // Made at the first question and kept: screen readers ask often.
    ComPtr<IAccessible> object;
};

LRESULT CALLBACK NamedControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* subclass = static_cast<Subclass*>(::GetPropW(control, kSubclassProperty));
    if (subclass == nullptr) return ::DefWindowProcW(control, message, wParam, lParam);
    const WNDPROC previous = subclass->previous;
    // OBJID_CLIENT compared as a 32-bit value, as the message carries it on every system.
    if (message == WM_GETOBJECT && static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
        if (!subclass->object) {
            ComPtr<IAccessible> standard;
            if (SUCCEEDED(::CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible,
                                                      reinterpret_cast<void**>(standard.GetAddressOf()))) &&
                standard)
                subclass->object = Adopted<IAccessible>(new NamedAccessible(control, standard, subclass->name, subclass->value));
        }
        if (subclass->object) return ::LresultFromObject(IID_IAccessible, wParam, subclass->object.Get());
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropW(control, kSubclassProperty);
        delete subclass;
    }
    return ::CallWindowProcW(previous, control, message, wParam, lParam);
}

}  // namespace

void GiveAccessibleName(HWND control, const wchar_t* name, AccessibleValue value) {
    if (control == nullptr || ::GetPropW(control, kSubclassProperty) != nullptr) return;
    auto* subclass = new Subclass{nullptr, name, value, nullptr};
    if (!::SetPropW(control, kSubclassProperty, subclass)) {
        delete subclass;
        return;
    }
    subclass->previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NamedControlProc)));
    // Without its old procedure the control cannot work: leave it as it was.
    if (subclass->previous == nullptr) {
        ::RemovePropW(control, kSubclassProperty);
        delete subclass;
    }
}

}  // namespace ombrevale
