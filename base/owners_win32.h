// Owners of Win32 and COM resources, for the program, the automation client and the
// automation servers alike: one move-only owner template with an alias for each kind of
// handle, and owners for the COM values that are not handles (VARIANT, EXCEPINFO) and for
// the COM apartment. Handles shared with the system (LoadIcon or LR_SHARED icons, the
// menus GetSubMenu answers) are never given to an owner.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace ombrevale {

// Traits say what a handle is: `Handle`, the `Invalid()` value, and `Close(h)`, true when
// the system closed it.
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.h_, Traits::Invalid()));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    // Gives the handle up without closing it (to a new owner, such as a parent menu).
    Handle release() { return std::exchange(h_, Traits::Invalid()); }
    // Closes what is held and takes `h`. GetLastError survives the close, so a failure
    // read after a cleanup still describes the call that failed.
    void reset(Handle h = Traits::Invalid()) {
        Handle old = std::exchange(h_, h);
        if (old != Traits::Invalid()) {
            const DWORD error = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(error);
        }
    }
    // For out-parameters: frees what is held first.
    Handle* put() {
        reset();
        return &h_;
    }
    // Closes now, for callers to whom a failed close matters (a file just written): false
    // when the system refused, with GetLastError telling why.
    bool close() {
        Handle old = std::exchange(h_, Traits::Invalid());
        return old == Traits::Invalid() || Traits::Close(old);
    }

private:
    Handle h_ = Traits::Invalid();
};

namespace owner_traits {

// Each kind spells its close out: a function imported from a DLL cannot be a template
// argument.
#define OMB_OWNER_TRAITS(Name, HandleType, InvalidValue, CloseExpression) \
    struct Name {                                                         \
        using Handle = HandleType;                                        \
        static Handle Invalid() { return InvalidValue; }                  \
        static bool Close(Handle h) { return CloseExpression; }           \
    }

OMB_OWNER_TRAITS(Window, HWND, nullptr, ::DestroyWindow(h) != FALSE);
OMB_OWNER_TRAITS(Menu, HMENU, nullptr, ::DestroyMenu(h) != FALSE);
OMB_OWNER_TRAITS(Icon, HICON, nullptr, ::DestroyIcon(h) != FALSE);
OMB_OWNER_TRAITS(Font, HFONT, nullptr, ::DeleteObject(h) != FALSE);
OMB_OWNER_TRAITS(Key, HKEY, nullptr, ::RegCloseKey(h) == ERROR_SUCCESS);
OMB_OWNER_TRAITS(KernelHandle, HANDLE, nullptr, ::CloseHandle(h) != FALSE);
OMB_OWNER_TRAITS(File, HANDLE, INVALID_HANDLE_VALUE, ::CloseHandle(h) != FALSE);
OMB_OWNER_TRAITS(Bstr, BSTR, nullptr, (::SysFreeString(h), true));

#undef OMB_OWNER_TRAITS

template <class T>
struct LocalMemory {
    using Handle = T*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return ::LocalFree(h) == nullptr; }
};

template <class T>
struct CoTaskMemory {
    using Handle = T*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) {
        ::CoTaskMemFree(h);
        return true;
    }
};

}  // namespace owner_traits

using UniqueWindow = UniqueHandle<owner_traits::Window>;
using UniqueMenu = UniqueHandle<owner_traits::Menu>;
using UniqueIcon = UniqueHandle<owner_traits::Icon>;
using UniqueFont = UniqueHandle<owner_traits::Font>;
using UniqueKey = UniqueHandle<owner_traits::Key>;
// Events, threads, processes: null when there is none.
using UniqueKernelHandle = UniqueHandle<owner_traits::KernelHandle>;
// Files from CreateFileW: INVALID_HANDLE_VALUE when there is none.
using UniqueFile = UniqueHandle<owner_traits::File>;
// Memory the system allocated for the caller (FORMAT_MESSAGE_ALLOCATE_BUFFER, ...).
template <class T = void>
using UniqueLocalMemory = UniqueHandle<owner_traits::LocalMemory<T>>;
// Memory COM allocated for the caller (SHGetFolderLocation, StringFromCLSID, ...).
template <class T = void>
using UniqueCoTaskMemory = UniqueHandle<owner_traits::CoTaskMemory<T>>;
using UniqueBstr = UniqueHandle<owner_traits::Bstr>;

// A window's device context (the screen's for a null window), released with the owner.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A BSTR's text; a NULL BSTR is the empty text.
inline std::wstring BstrText(BSTR s) { return s ? std::wstring(s, ::SysStringLen(s)) : std::wstring(); }

// A VARIANT, cleared however the scope ends.
class UniqueVariant {
public:
    UniqueVariant() { ::VariantInit(&value_); }
    ~UniqueVariant() { ::VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    // For out-parameters: clears what is held first.
    VARIANT* put() {
        ::VariantClear(&value_);
        return &value_;
    }
    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }
    const VARIANT* operator->() const { return &value_; }

private:
    VARIANT value_;
};

// An EXCEPINFO whose three BSTRs are freed however the call ends.
class UniqueExcepInfo {
public:
    UniqueExcepInfo() = default;
    ~UniqueExcepInfo() {
        ::SysFreeString(info_.bstrSource);
        ::SysFreeString(info_.bstrDescription);
        ::SysFreeString(info_.bstrHelpFile);
    }
    UniqueExcepInfo(const UniqueExcepInfo&) = delete;
    UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;

    EXCEPINFO* get() { return &info_; }
    EXCEPINFO& operator*() { return info_; }
    EXCEPINFO* operator->() { return &info_; }

private:
    EXCEPINFO info_{};
};

// COM on this thread for the owner's lifetime; uninitialised only if it was initialised.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(::CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

}  // namespace ombrevale
