// Drives the program's modal windows from a second thread, as a user would: finds a
// window by class, caption, thread or owner, reads its controls, clicks its buttons,
// presses Enter or Esc, and types into the standard file dialogs. While the thread under
// test sits in a modal loop, the driver does its work and then makes sure nothing is
// left open, so a failing test ends instead of hanging.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_thread.h"

namespace ombrevale::driver {

// The duration literals, without the rest of their namespace.
using std::chrono_literals::operator""ms;
using std::chrono_literals::operator""s;
using Clock = std::chrono::steady_clock;

inline constexpr std::chrono::milliseconds kWait = 10s;
inline constexpr UINT kSendTimeoutMs = 5000;

// SendMessage that gives up when the window's thread does not answer, so a driver never
// hangs on a thread that has stopped pumping messages.
inline LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return 0;
    return static_cast<LRESULT>(result);
}

inline std::wstring TextOf(HWND window) {
    auto length = static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH));
    std::wstring text(length + 1, L'\0');
    auto copied =
        static_cast<std::size_t>(Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return text;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// What to look for among the visible top-level windows of this process. Empty or null
// fields match anything.
struct WindowQuery {
    std::wstring className;
    std::wstring caption;
    DWORD threadId = 0;
    HWND owner = nullptr;
    HWND excluded = nullptr;
};

inline bool Matches(HWND window, const WindowQuery& query) {
    DWORD process = 0;
    DWORD thread = ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window) || window == query.excluded) return false;
    if (query.threadId != 0 && thread != query.threadId) return false;
    if (query.owner != nullptr && ::GetWindow(window, GW_OWNER) != query.owner) return false;
    if (!query.className.empty() && ClassOf(window) != query.className) return false;
    if (!query.caption.empty() && TextOf(window) != query.caption) return false;
    return true;
}

inline std::vector<HWND> TopLevelWindows(const WindowQuery& query) {
    struct Search {
        const WindowQuery* query;
        std::vector<HWND> found;
    } search{&query, {}};
    ::EnumWindows(
        [](HWND window, LPARAM param) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (Matches(window, *s->query)) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first window that matches, waiting for it to appear; null after `timeout`.
inline HWND WaitForWindow(const WindowQuery& query, std::chrono::milliseconds timeout = kWait) {
    auto deadline = Clock::now() + timeout;
    do {
        auto found = TopLevelWindows(query);
        if (!found.empty()) return found.front();
        tests::SleepFor(20ms);
    } while (Clock::now() < deadline);
    return nullptr;
}

inline bool WaitUntilGone(HWND window, std::chrono::milliseconds timeout = kWait) {
    auto deadline = Clock::now() + timeout;
    while (::IsWindow(window) && ::IsWindowVisible(window)) {
        if (Clock::now() >= deadline) return false;
        tests::SleepFor(20ms);
    }
    return true;
}

// Every descendant window, in Z order, depth first.
inline std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM param) CALLBACK -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// The texts of the visible static text controls (not icons or pictures), in order.
inline std::vector<std::wstring> StaticTexts(HWND dialog) {
    std::vector<std::wstring> texts;
    for (HWND child : Descendants(dialog)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0 || !::IsWindowVisible(child)) continue;
        LONG_PTR type = ::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK;
        if (type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE) continue;
        texts.push_back(TextOf(child));
    }
    return texts;
}

inline HICON StaticIcon(HWND dialog) {
    for (HWND child : Descendants(dialog)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) continue;
        if ((::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return reinterpret_cast<HICON>(Send(child, STM_GETICON));
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Icons, compared by their pixels: a message box may load its own copy of a system icon.

// A block of 32-bit pixels without alpha, top row first, drawn by `draw(dc, screen)`
// into a bitmap of its own (copied from the screen, say).
template <class Draw>
std::vector<std::uint32_t> Paint(int width, int height, Draw draw) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<std::uint32_t> pixels;
    if (bitmap != nullptr) {
        HGDIOBJ old = ::SelectObject(dc, bitmap);
        draw(dc, screen);
        ::GdiFlush();
        auto* p = static_cast<const std::uint32_t*>(bits);
        pixels.assign(p, p + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (auto& pixel : pixels) pixel &= 0xFFFFFFu;
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

inline std::vector<std::uint32_t> IconPixels(HICON icon, int size) {
    return Paint(size, size, [&](HDC dc, HDC) {
        RECT all{0, 0, size, size};
        ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
}

enum class BoxIcon { None, Stop, Information, Warning, Question, Other };

inline const wchar_t* Name(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::None: return L"none";
    case BoxIcon::Stop: return L"stop";
    case BoxIcon::Information: return L"information";
    case BoxIcon::Warning: return L"warning";
    case BoxIcon::Question: return L"question";
    default: return L"other";
    }
}

// The system icon that a message box of each kind shows.
inline const std::pair<const wchar_t*, BoxIcon> kBoxIcons[] = {
    {IDI_HAND, BoxIcon::Stop},
    {IDI_ASTERISK, BoxIcon::Information},
    {IDI_EXCLAMATION, BoxIcon::Warning},
    {IDI_QUESTION, BoxIcon::Question},
};

inline BoxIcon Identify(HICON icon) {
    if (icon == nullptr) return BoxIcon::None;
    for (auto [id, kind] : kBoxIcons)
        if (::LoadIconW(nullptr, id) == icon) return kind;
    const int size = ::GetSystemMetrics(SM_CXICON);
    auto shown = IconPixels(icon, size);
    for (auto [id, kind] : kBoxIcons)
        if (IconPixels(::LoadIconW(nullptr, id), size) == shown) return kind;
    return BoxIcon::Other;
}

// ---------------------------------------------------------------------------------------
// Message boxes

struct MessageBoxContents {
    std::wstring caption;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
    HWND owner = nullptr;
    std::vector<int> buttons;  // command ids of the visible buttons
};

inline MessageBoxContents ReadMessageBox(HWND box) {
    MessageBoxContents contents;
    contents.caption = TextOf(box);
    contents.owner = ::GetWindow(box, GW_OWNER);
    contents.icon = Identify(StaticIcon(box));
    for (const std::wstring& text : StaticTexts(box))
        if (!text.empty()) contents.text += contents.text.empty() ? text : L"\n" + text;
    for (HWND child : Descendants(box))
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && ::IsWindowVisible(child))
            contents.buttons.push_back(::GetDlgCtrlID(child));
    return contents;
}

// ---------------------------------------------------------------------------------------
// Input

// Clicks the button with `id` the way the button itself reports a click.
inline void Click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// A key press as the keyboard delivers it: to the control with the focus in the window's
// thread, through that thread's message loop (and so through its dialog manager).
inline void PressKey(HWND window, UINT virtualKey) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target = window;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus != nullptr)
        target = info.hwndFocus;
    LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1);
    ::PostMessageW(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// ---------------------------------------------------------------------------------------
// The standard open and save dialogs

inline HWND FileNameBox(HWND dialog) {
    HWND box = ::GetDlgItem(dialog, cmb13);
    return box != nullptr ? box : ::GetDlgItem(dialog, edt1);
}

inline void TypeFileName(HWND dialog, const std::wstring& name) {
    HWND box = FileNameBox(dialog);
    Send(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

// Types a name and presses the dialog's OK (Open or Save) button.
inline void ChooseFile(HWND dialog, const std::wstring& name) {
    TypeFileName(dialog, name);
    Click(dialog, IDOK);
}

// The descriptions in the "files of type" list.
inline std::vector<std::wstring> FileTypes(HWND dialog) {
    std::vector<std::wstring> types;
    HWND list = ::GetDlgItem(dialog, cmb1);
    auto count = Send(list, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<std::size_t>(Send(list, CB_GETLBTEXTLEN, i)) + 1, L'\0');
        auto length = Send(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        types.push_back(text);
    }
    return types;
}

// The folder the dialog shows.
inline std::wstring CurrentFolder(HWND dialog) {
    std::wstring folder(32768, L'\0');
    auto length = Send(dialog, CDM_GETFOLDERPATH, folder.size(), reinterpret_cast<LPARAM>(folder.data()));
    if (length <= 0) return {};
    folder.resize(wcslen(folder.c_str()));
    return folder;
}

// ---------------------------------------------------------------------------------------
// Running a modal call with a driver beside it

// Closes what the thread shows beyond the windows in `keep`, once it has had `grace` to
// close by itself: Cancel where there is one, else No, else OK.
inline void DismissAll(DWORD threadId, const std::vector<HWND>& keep, std::chrono::milliseconds grace = 2s,
                       std::chrono::milliseconds timeout = 10s) {
    auto start = Clock::now();
    for (;;) {
        std::vector<HWND> left;
        for (HWND window : TopLevelWindows(WindowQuery{{}, {}, threadId, nullptr, nullptr}))
            if (std::find(keep.begin(), keep.end(), window) == keep.end()) left.push_back(window);
        auto elapsed = Clock::now() - start;
        if (left.empty() || elapsed >= timeout) return;
        if (elapsed >= grace) {
            for (HWND window : left) {
                int id = ::GetDlgItem(window, IDCANCEL) != nullptr ? IDCANCEL
                         : ::GetDlgItem(window, IDNO) != nullptr   ? IDNO
                                                                   : IDOK;
                if (ClassOf(window) == L"#32770")
                    Click(window, id);
                else
                    ::PostMessageW(window, WM_CLOSE, 0, 0);
            }
            tests::SleepFor(200ms);
        } else {
            tests::SleepFor(20ms);
        }
    }
}

// Runs `drive(threadId)` on a second thread while `modal` runs on this one, then closes
// whatever new window the driver left open, and gives back `modal`'s result. The driver
// records what it sees in the caller's variables; the caller checks them after this
// returns.
template <class Modal, class Drive>
auto WithDriver(Modal&& modal, Drive&& drive) {
    const DWORD thread = ::GetCurrentThreadId();
    const std::vector<HWND> before = TopLevelWindows(WindowQuery{{}, {}, thread, nullptr, nullptr});
    tests::TestThread driver([&drive, &before, thread] {
        drive(thread);
        DismissAll(thread, before);
    });
    return modal();
}

// The message box of a modal call, as ShowAndReadBox read it before it pressed OK.
struct ShownBox : MessageBoxContents {
    bool seen = false;           // false when no box came within the wait
    bool returnedFirst = false;  // the call had returned while its box still showed
};

// Runs `show` on this thread while the driver waits up to `timeout` for the thread's
// first dialog box, reads it into `box` and presses OK; gives back `show`'s result.
template <class Show>
auto ShowAndReadBox(Show&& show, ShownBox& box, std::chrono::milliseconds timeout = kWait) {
    std::atomic<bool> returned{false};
    box = ShownBox{};
    return WithDriver(
        [&] {
            auto result = show();
            returned = true;
            return result;
        },
        [&](DWORD thread) {
            HWND shown = WaitForWindow(WindowQuery{L"#32770", {}, thread}, timeout);
            if (shown == nullptr) return;
            static_cast<MessageBoxContents&>(box) = ReadMessageBox(shown);
            box.seen = true;
            box.returnedFirst = returned.load();
            Click(shown, IDOK);
        });
}

}  // namespace ombrevale::driver
