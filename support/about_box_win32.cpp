// The about box: a small modal dialog built in memory (so it needs no resource of the
// program beyond its icon), laid out at run time to fit its texts at the window's DPI.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/dpi_win32.h"
#include "support/support_win32.h"

namespace ombrevale {

namespace {

enum ControlId : WORD {
    kIdIcon = 100,
    kIdTitle = 101,
    kIdVersion = 102,
    kIdText = 103,
    kIdDedication = 104,
};

// Everything the dialog procedure needs, owned by ShowAbout for the dialog's lifetime.
struct AboutData {
    HINSTANCE resources = nullptr;
    dpi::Scaling scaling;
    std::wstring title;
    std::wstring version;
    std::wstring text;
    std::wstring dedication;
    UniqueIcon icon;
};

// An in-memory DLGTEMPLATE: WORDs, with each item aligned on a DWORD.
class TemplateWriter {
public:
    void Dialog(DWORD style, const std::wstring& caption, WORD pointSize, const std::wstring& face, short cx,
                short cy) {
        Dword(style);
        Dword(0);  // extended style
        countAt_ = words_.size();
        Word(0);  // item count, filled as items are added
        Word(0);  // x
        Word(0);  // y
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(0);  // no menu
        Word(0);  // the standard dialog class
        String(caption);
        Word(pointSize);
        String(face);
    }

    void Item(DWORD style, WORD atom, WORD id, const std::wstring& text, short x, short y, short cx, short cy) {
        if (words_.size() % 2 != 0) Word(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(id);
        Word(0xFFFF);
        Word(atom);
        String(text);
        Word(0);  // no creation data
        ++words_[countAt_];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void String(const std::wstring& s) {
        for (wchar_t c : s) Word(static_cast<WORD>(c));
        Word(0);
    }

    std::vector<WORD> words_;
    std::size_t countAt_ = 0;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;

int TextHeight(HWND control, const std::wstring& text, int width) {
    if (text.empty()) return 0;
    WindowDC dc(control);
    if (!dc) return 0;
    HGDIOBJ old = ::SelectObject(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, width, 0};
    ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc.get(), old);
    return r.bottom - r.top;
}

// Centres `dialog` over its owner, or on the work area when it has none, and keeps it
// on the owner's monitor.
void CentreOverOwner(HWND dialog) {
    RECT box{};
    ::GetWindowRect(dialog, &box);
    HWND owner = ::GetWindow(dialog, GW_OWNER);
    HMONITOR monitor = ::MonitorFromWindow(owner != nullptr ? owner : dialog, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(monitor, &info);
    RECT around = info.rcWork;
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &around);
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    x = std::max<int>(info.rcWork.left, std::min<int>(x, info.rcWork.right - width));
    y = std::max<int>(info.rcWork.top, std::min<int>(y, info.rcWork.bottom - height));
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Places the controls one under another beside the icon, each as tall as its text.
void Layout(HWND dialog, const AboutData& data) {
    const UINT dpi = data.scaling.ForWindow(dialog);
    RECT units{7, 4, 180, 14};  // margin, line gap, text column width, button height
    ::MapDialogRect(dialog, &units);
    const int margin = units.left;
    const int gap = units.top;
    const int columnWidth = units.right;
    RECT button{0, 0, 50, 14};
    ::MapDialogRect(dialog, &button);

    const int iconSize = data.scaling.SystemMetric(SM_CXICON, dpi);
    const int left = margin + iconSize + margin;
    int y = margin;
    ::SetWindowPos(::GetDlgItem(dialog, kIdIcon), nullptr, margin, margin, iconSize, iconSize, SWP_NOZORDER);

    auto place = [&](int id, const std::wstring& text) {
        HWND control = ::GetDlgItem(dialog, id);
        if (control == nullptr) return;
        int height = TextHeight(control, text, columnWidth);
        ::SetWindowPos(control, nullptr, left, y, columnWidth, height, SWP_NOZORDER);
        y += height + gap;
    };
    place(kIdTitle, data.title);
    place(kIdVersion, data.version);
    y += gap;
    if (!data.text.empty()) place(kIdText, data.text);
    place(kIdDedication, data.dedication);
    y = std::max(y, margin + iconSize + gap);

    const int clientWidth = left + columnWidth + margin;
    const int buttonWidth = button.right;
    const int buttonHeight = button.bottom;
    ::SetWindowPos(::GetDlgItem(dialog, IDOK), nullptr, (clientWidth - buttonWidth) / 2, y + gap, buttonWidth,
                   buttonHeight, SWP_NOZORDER);
    const int clientHeight = y + gap + buttonHeight + margin;

    RECT frame{0, 0, clientWidth, clientHeight};
    data.scaling.AdjustWindowRect(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                                  static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)), dpi);
    ::SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* data = reinterpret_cast<AboutData*>(lParam);
        const int size = data->scaling.SystemMetric(SM_CXICON, data->scaling.ForWindow(dialog));
        // A missing icon leaves the box without one rather than without the box.
        data->icon.reset(
            static_cast<HICON>(::LoadImageW(data->resources, kIconResourceName, IMAGE_ICON, size, size, 0)));
        if (data->icon)
            ::SendDlgItemMessageW(dialog, kIdIcon, STM_SETICON, reinterpret_cast<WPARAM>(data->icon.get()), 0);
        Layout(dialog, *data);
        CentreOverOwner(dialog);
        return TRUE;  // the focus goes to OK, the first tab stop
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

class Win32AboutBox final : public AboutBox {
public:
    Win32AboutBox(HINSTANCE resources, dpi::Scaling scaling) : resources_(resources), scaling_(scaling) {}

    Status ShowAbout(WindowHandle owner, const Application& application, const std::wstring& text,
                     const void* /*picture*/, const std::wstring& dedication) override {
        HWND ownerWindow = ToHwnd(owner);
        if (ownerWindow != nullptr && !::IsWindow(ownerWindow))
            return Win32Failure(ERROR_INVALID_WINDOW_HANDLE, L"Не удалось показать окно «О программе»");

        AboutData data;
        data.resources = resources_;
        data.scaling = scaling_;
        data.title = application.title;
        data.version = std::wstring(L"Версия ") + kVersionText;
        data.text = text;
        data.dedication = dedication;

        TemplateWriter t;
        t.Dialog(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, L"О программе " + application.title,
                 kFontPoints, kFontFace, 220, 120);
        // The statics are sized and placed in WM_INITDIALOG, when the font is known.
        t.Item(SS_ICON, kStaticAtom, kIdIcon, L"", 7, 7, 21, 20);
        t.Item(SS_LEFT | SS_NOPREFIX, kStaticAtom, kIdTitle, data.title, 40, 7, 170, 10);
        t.Item(SS_LEFT | SS_NOPREFIX, kStaticAtom, kIdVersion, data.version, 40, 20, 170, 10);
        if (!text.empty()) t.Item(SS_LEFT | SS_NOPREFIX, kStaticAtom, kIdText, text, 40, 36, 170, 10);
        t.Item(SS_LEFT | SS_NOPREFIX, kStaticAtom, kIdDedication, dedication, 40, 50, 170, 30);
        t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, kButtonAtom, IDOK, L"OK", 85, 96, 50, 14);

        ::SetLastError(ERROR_SUCCESS);
        INT_PTR result =
            ::DialogBoxIndirectParamW(resources_, t.get(), ownerWindow, AboutProc, reinterpret_cast<LPARAM>(&data));
        if (result <= 0) return LastErrorFailure(L"Не удалось показать окно «О программе»");
        return Ok();
    }

private:
    HINSTANCE resources_;
    dpi::Scaling scaling_;
};

}  // namespace

std::unique_ptr<AboutBox> NewWin32AboutBox(HINSTANCE resources, dpi::Scaling scaling) {
    return std::make_unique<Win32AboutBox>(resources, scaling);
}

}  // namespace ombrevale
