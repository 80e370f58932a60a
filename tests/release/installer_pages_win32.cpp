// Goes through the installer's pages as a user does, at the display's DPI. On the
// components page every name fits the list and every description its one line; ticking a
// server (by its position among the servers, 0 for none) leaves it the only one ticked.
// Then it installs, and the finish page offers to start the program (the box is cleared,
// so the program does not start).
//
//   release_installer_pages.exe <installer> <position>
//
// Prints what failed; exits 0 when all held, 1 otherwise.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/dialog_driver.h"

namespace {

using ombrevale::driver::ClassOf;
using ombrevale::driver::TextOf;

constexpr int kNext = 1;
constexpr int kDescription = 1043;  // the components page's description line
constexpr wchar_t kStartProgram[] = L"Запустить Ombrevale";
constexpr int kChecked = 2, kUnchecked = 1;  // the tree's state images

bool failed = false;

void Fail(const std::string& what) {
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
    failed = true;
}

struct Search {
    DWORD process;
    std::wstring className, text;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) && ClassOf(window) == search->className &&
        (search->text.empty() || TextOf(window) == search->text))
        search->found = window;
    return !search->found;
}

// A visible window of the installer, top-level or below `parent`, waited for up to `tenths`
// tenths of a second.
HWND WaitFor(DWORD process, HWND parent, const std::wstring& className, const std::wstring& text, int tenths = 300) {
    Search search{process, className, text};
    for (int i = 0; i < tenths && !search.found; ++i) {
        if (parent)
            EnumChildWindows(parent, Visit, reinterpret_cast<LPARAM>(&search));
        else
            EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(100);
    }
    return search.found;
}

// Clicks Next and waits for the page after `page`.
HWND Turn(DWORD process, HWND main, HWND page) {
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(kNext, BN_CLICKED), 0);
    for (int i = 0; i < 300; ++i) {
        HWND shown = WaitFor(process, main, L"#32770", L"", 1);
        if (shown && shown != page) return shown;
        Sleep(100);
    }
    return nullptr;
}

int State(HWND tree, HTREEITEM item) {
    return static_cast<int>(SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK) >>
                            12);
}

void CheckComponents(HANDLE installer, HWND tree, int position) {
    std::vector<HTREEITEM> items;  // in the order shown: the program, the group, its servers
    for (auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); item;
         item = reinterpret_cast<HTREEITEM>(
             SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(item))))
        items.push_back(item);
    if (items.size() < 4) return Fail("the components list shows " + std::to_string(items.size()) + " items");

    // TVM_GETITEMRECT takes and gives a RECT in the installer's memory.
    void* remote = VirtualAllocEx(installer, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    HWND description = GetDlgItem(GetParent(tree), kDescription);
    HDC dc = GetDC(nullptr);
    // The dialogs' font, as Windows makes it for a dialog at this DPI.
    HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT list{}, line{};
    GetClientRect(tree, &list);
    GetClientRect(description, &line);
    // The first item may be chosen already: a description shows when the choice moves.
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(items.back()));
    for (size_t i = 0; i < items.size(); ++i) {
        RECT text{};
        std::memcpy(&text, &items[i], sizeof items[i]);  // the item in, its text's place out
        SIZE_T moved = 0;
        if (!remote || !WriteProcessMemory(installer, remote, &text, sizeof text, &moved) ||
            !SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(remote)) ||
            !ReadProcessMemory(installer, remote, &text, sizeof text, &moved))
            Fail("item " + std::to_string(i) + " has no place in the list");
        else if (text.right > list.right)
            Fail("the name of item " + std::to_string(i) + " ends at " + std::to_string(text.right) +
                 ", past the list's " + std::to_string(list.right));

        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(items[i]));
        const std::wstring said = TextOf(description);
        RECT needed{0, 0, line.right, 0};
        DrawTextW(dc, said.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        if (said.empty() || needed.bottom > metrics.tmHeight || needed.right > line.right)
            Fail("the description of item " + std::to_string(i) + " takes " + std::to_string(needed.right) + "x" +
                 std::to_string(needed.bottom) + " pixels, not one line of " + std::to_string(line.right));
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    VirtualFreeEx(installer, remote, 0, MEM_RELEASE);

    // Ticked with the space bar, as from the keyboard.
    const size_t chosen = 2 + position;
    if (chosen >= items.size()) return Fail("no server at position " + std::to_string(position));
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(items[chosen]));
    SendMessageW(tree, WM_CHAR, L' ', 0);
    for (size_t i = 2; i < items.size(); ++i)
        if (State(tree, items[i]) != (i == chosen ? kChecked : kUnchecked))
            Fail("after ticking item " + std::to_string(chosen) + ", item " + std::to_string(i) + " shows state " +
                 std::to_string(State(tree, items[i])));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::printf("usage: release_installer_pages <installer> <position>\n");
        return 2;
    }
    // DPI-aware as the installer is: sizes in the display's pixels.
    using SetProcessDPIAwareFn = BOOL(WINAPI*)();
    if (auto aware = reinterpret_cast<SetProcessDPIAwareFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware"))))
        aware();
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        Fail("the installer does not start");
        return 1;
    }
    const DWORD process = started.dwProcessId;
    HWND main = WaitFor(process, nullptr, L"#32770", L"");
    HWND page = main ? WaitFor(process, main, L"#32770", L"") : nullptr;
    HWND tree = nullptr;
    for (int turns = 0; page && turns < 6 && !tree; ++turns)
        if (!(tree = FindWindowExW(page, nullptr, WC_TREEVIEWW, nullptr))) page = Turn(process, main, page);
    // Whatever fails, the installer goes on to its end, so that nothing is left running.
    if (!tree) {
        Fail("no components page");
    } else {
        CheckComponents(started.hProcess, tree, _wtoi(argv[2]));
        page = Turn(process, main, page);  // the folder
        Turn(process, main, page);         // installing, then the finish page
        HWND start = WaitFor(process, main, L"Button", kStartProgram);
        if (!start) {
            Fail("the finish page offers no start of the program");
        } else {
            if (SendMessageW(start, BM_GETCHECK, 0, 0) != BST_CHECKED) Fail("starting the program is not ticked");
            SendMessageW(start, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(kNext, BN_CLICKED), 0);
    DWORD code = 1;
    if (WaitForSingleObject(started.hProcess, 30000) != WAIT_OBJECT_0) {
        Fail("the installer did not end");
        TerminateProcess(started.hProcess, 1);
    } else if (GetExitCodeProcess(started.hProcess, &code) && code != 0) {
        Fail("the installer exits " + std::to_string(code));
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return failed ? 1 : 0;
}
