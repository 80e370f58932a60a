// A plain top-level window for window tests: an owner for dialogs, a window to centre,
// to give icons or to fill with controls. Destroyed with the object.
#pragma once

#include <windows.h>

#include <string>

namespace ombrevale::driver {

class TestWindow {
public:
    explicit TestWindow(const std::wstring& caption, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        RECT bounds = {40, 40, 440, 340}) {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            wc.lpszClassName = L"OmbrevaleTestWindow";
            return ::RegisterClassExW(&wc);
        }();
        hwnd_ = ::CreateWindowExW(0, MAKEINTATOM(atom), caption.c_str(), style, bounds.left, bounds.top,
                                  bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
        if (hwnd_ != nullptr && (style & WS_VISIBLE) != 0) {
            ::SetForegroundWindow(hwnd_);
            ::SetActiveWindow(hwnd_);
            Pump();
        }
    }
    ~TestWindow() {
        if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
        Pump();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return hwnd_; }

    // A child control of this window (or of `parent`, one of its children).
    HWND Add(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int cx, int cy, int id,
             HWND parent = nullptr) const {
        return ::CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy,
                                 parent != nullptr ? parent : hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    }

    // Lets the window's messages run (activation, painting) before a test reads it.
    static void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

private:
    HWND hwnd_ = nullptr;
};

}  // namespace ombrevale::driver
