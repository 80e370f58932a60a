#include "tests/e2e/program_driver_win32.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <utility>

#include "tests/support/dialog_driver.h"

namespace ombrevale::e2e {
namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr wchar_t kInventoryVariable[] = L"OMBREVALE_DEMO_INVENTORY";

bool SameText(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

using driver::Descendants;

// A block of 32-bit pixels, top row first, copied from the screen or drawn here.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;
};

template <class Draw>
Pixels Paint(int width, int height, Draw draw) {
    return Pixels{width, height, driver::Paint(width, height, draw)};
}

Pixels FromScreen(const RECT& area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return {};
    return Paint(width, height,
                 [&](HDC dc, HDC screen) { ::BitBlt(dc, 0, 0, width, height, screen, area.left, area.top, SRCCOPY); });
}

Pixels IconOn(HICON icon, int size, COLORREF background) {
    return Paint(size, size, [&](HDC dc, HDC) {
        HBRUSH brush = ::CreateSolidBrush(background);
        RECT all{0, 0, size, size};
        ::FillRect(dc, &all, brush);
        ::DeleteObject(brush);
        ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
}

// How many of the icon's opaque pixels (those that look the same on black and on white)
// the screen shows exactly; from 0 to 1.
double Likeness(const Pixels& shown, HICON icon) {
    const int size = shown.width;
    if (shown.height != size || size == 0 || icon == nullptr) return 0;
    const Pixels black = IconOn(icon, size, RGB(0, 0, 0));
    const Pixels white = IconOn(icon, size, RGB(255, 255, 255));
    if (black.data.size() != shown.data.size() || white.data.size() != shown.data.size()) return 0;
    std::size_t opaque = 0, same = 0;
    for (std::size_t i = 0; i < shown.data.size(); ++i) {
        if (black.data[i] != white.data[i]) continue;
        ++opaque;
        if (black.data[i] == shown.data[i]) ++same;
    }
    return opaque == 0 ? 0 : static_cast<double>(same) / static_cast<double>(opaque);
}

// Windows gives a box's icon the id 0x14, Wine 0x440: the icon static is the one to find.
HWND IconControl(HWND box) {
    for (HWND child : Descendants(box)) {
        if (SameText(ClassOf(child), L"Static") && ::IsWindowVisible(child) &&
            (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    }
    return nullptr;
}

BoxIcon IconShown(HWND box) {
    HWND icon = IconControl(box);
    if (icon == nullptr) return BoxIcon::None;
    // The box may not be painted yet, or may be covered for a moment: look again.
    for (int attempt = 0; attempt < 40; ++attempt) {
        RECT area{};
        ::GetWindowRect(icon, &area);
        const Pixels shown = FromScreen(area);
        BoxIcon best = BoxIcon::Other;
        double bestLikeness = 0.95;
        for (auto [id, kind] : driver::kBoxIcons) {
            const double likeness = Likeness(shown, ::LoadIconW(nullptr, id));
            if (likeness > bestLikeness) best = kind, bestLikeness = likeness;
        }
        if (best != BoxIcon::Other) return best;
        ::SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ::Sleep(50);
    }
    return BoxIcon::Other;
}

std::wstring ReplaceVariable(const std::wstring& name, const std::wstring& value) {
    // The parent's environment, without the variable, then the variable.
    std::wstring block;
    const std::wstring prefix = name + L"=";
    if (wchar_t* strings = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            if (_wcsnicmp(entry, prefix.c_str(), prefix.size()) == 0) continue;
            block += entry;
            block.push_back(L'\0');
        }
        ::FreeEnvironmentStringsW(strings);
    }
    if (!value.empty()) {
        block += prefix + value;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

}  // namespace

// ---- the automation server's process ----------------------------------------------------

std::vector<DWORD> ProcessesOf(const wchar_t* program) {
    std::vector<DWORD> found;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (::lstrcmpiW(entry.szExeFile, program) == 0) found.push_back(entry.th32ProcessID);
    ::CloseHandle(snapshot);
    return found;
}

bool EndProcessesOf(const wchar_t* program, Duration grace, bool* ended) {
    if (ended) *ended = false;
    if (WaitFor([&] { return ProcessesOf(program).empty(); }, grace)) return true;
    if (ended) *ended = true;
    for (DWORD id : ProcessesOf(program)) {
        if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            ::TerminateProcess(process, 1);
            ::WaitForSingleObject(process, 5000);
            ::CloseHandle(process);
        }
    }
    return WaitFor([&] { return ProcessesOf(program).empty(); }, 5s);
}

void ForgetDeadServers() { EndProcessesOf(L"rpcss.exe", 0ms); }

bool Repaints(HWND window, Duration timeout) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    return WaitFor([&] { return !::GetUpdateRect(window, nullptr, FALSE); }, timeout);
}

// ---- plain helpers ----------------------------------------------------------------------

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::wstring FromUnixPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND window) {
    const auto length = Send(window, WM_GETTEXTLENGTH);
    if (!length || *length < 0) return {};
    std::wstring text(static_cast<std::size_t>(*length) + 1, L'\0');
    const auto copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied ? std::min(static_cast<std::size_t>(*copied), static_cast<std::size_t>(*length)) : 0);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const auto count = Send(combo, CB_GETCOUNT);
    if (!count) return items;
    for (LRESULT i = 0; i < *count; ++i) {
        const auto length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i));
        if (!length || *length < 0) {
            items.push_back(L"<unreadable>");
            continue;
        }
        std::wstring text(static_cast<std::size_t>(*length) + 1, L'\0');
        const auto copied = Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(copied && *copied >= 0 ? static_cast<std::size_t>(*copied) : 0);
        items.push_back(text);
    }
    return items;
}

int ComboSelection(HWND combo) {
    const auto selection = Send(combo, CB_GETCURSEL);
    return selection ? static_cast<int>(*selection) : -2;
}

// ---- message boxes ----------------------------------------------------------------------

bool IsMessageBox(HWND window) {
    return ClassOf(window) == kDialogClass && ::GetDlgItem(window, kBoxText) != nullptr &&
           ::GetDlgItem(window, kFileNameBox) == nullptr;
}

bool IsFileDialog(HWND window) {
    return ClassOf(window) == kDialogClass && ::GetDlgItem(window, kFileNameBox) != nullptr;
}

MessageBoxView ReadMessageBox(HWND box) {
    MessageBoxView view;
    view.window = box;
    view.caption = TextOf(box);
    view.text = TextOf(::GetDlgItem(box, kBoxText));
    for (HWND child : Descendants(box)) {
        if (SameText(ClassOf(child), L"Button") && ::IsWindowVisible(child))
            view.buttons.push_back(::GetDlgCtrlID(child));
    }
    std::sort(view.buttons.begin(), view.buttons.end());
    view.icon = IconShown(box);
    return view;
}

void PressButton(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// ---- the running program ----------------------------------------------------------------

std::unique_ptr<Program> Program::Start(const std::wstring& inventory, const std::wstring& currentFolder) {
    const std::wstring exe = ProgramFolder() + L"\\Ombrevale.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::wstring environment = ReplaceVariable(kInventoryVariable, inventory);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::unique_ptr<Program> program(new Program());
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          environment.data(), currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup,
                          &program->info_))
        return nullptr;
    return program;
}

Program::~Program() {
    Kill();
    if (info_.hThread) ::CloseHandle(info_.hThread);
    if (info_.hProcess) ::CloseHandle(info_.hProcess);
}

bool Program::Running() const { return ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Program::WaitForExit(Duration timeout) {
    if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(info_.hProcess, &code)) return std::nullopt;
    return code;
}

void Program::Kill() {
    if (info_.hProcess && Running()) {
        ::TerminateProcess(info_.hProcess, 255);
        ::WaitForSingleObject(info_.hProcess, 5000);
    }
}

std::vector<HWND> Program::Windows() const {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{info_.dwProcessId, {}};
    ::EnumWindows(
        [](HWND window, LPARAM param) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            if (process == s->process && ::IsWindowVisible(window)) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::MainWindow() const {
    for (HWND window : Windows())
        if (ClassOf(window) == kMainWindowClass) return window;
    return nullptr;
}

HWND Program::WaitForMainWindow(Duration timeout) const {
    HWND found = nullptr;
    WaitFor([&] { return (found = MainWindow()) != nullptr || !Running(); }, timeout);
    return found;
}

HWND Program::Control(int id) const {
    HWND main = MainWindow();
    return main ? ::GetDlgItem(main, id) : nullptr;
}

std::vector<HWND> Program::Dialogs() const {
    std::vector<HWND> dialogs;
    for (HWND window : Windows())
        if (ClassOf(window) == kDialogClass) dialogs.push_back(window);
    return dialogs;
}

HWND Program::WaitForDialog(bool (*kind)(HWND), Duration timeout) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND window : Dialogs())
                if (kind(window)) return (found = window) != nullptr;
            return !Running();
        },
        timeout);
    return found;
}

HWND Program::WaitForMessageBox(Duration timeout) const { return WaitForDialog(IsMessageBox, timeout); }

HWND Program::WaitForFileDialog(Duration timeout) const { return WaitForDialog(IsFileDialog, timeout); }

bool Program::WaitUntilIdle(Duration settle, Duration timeout) const {
    // A plain flag beside the time: the optimiser cannot follow an optional through here.
    bool wasQuiet = false;
    Clock::time_point quietSince = Clock::now();
    return WaitFor(
        [&] {
            HWND main = MainWindow();
            const bool quiet = main != nullptr && ::IsWindowEnabled(main) && Dialogs().empty();
            if (!quiet) {
                wasQuiet = false;
                return false;
            }
            if (!wasQuiet) {
                wasQuiet = true;
                quietSince = Clock::now();
            }
            return Clock::now() - quietSince >= settle;
        },
        timeout);
}

std::optional<std::wstring> Program::SendForText(HWND window, UINT message, std::size_t capacity) const {
    const std::size_t bytes = capacity * sizeof(wchar_t);
    void* remote = ::VirtualAllocEx(info_.hProcess, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr) return std::nullopt;
    std::optional<std::wstring> text;
    const auto answer = Send(window, message, capacity, reinterpret_cast<LPARAM>(remote));
    std::wstring buffer(capacity, L'\0');
    SIZE_T read = 0;
    if (answer && *answer > 0 && ::ReadProcessMemory(info_.hProcess, remote, buffer.data(), bytes, &read)) {
        buffer.resize(std::wcslen(buffer.c_str()));
        text = buffer;
    }
    ::VirtualFreeEx(info_.hProcess, remote, 0, MEM_RELEASE);
    return text;
}

// ---- a user's actions -------------------------------------------------------------------

void ClickButton(const Program& program, int id) {
    if (HWND button = program.Control(id)) ::PostMessageW(button, BM_CLICK, 0, 0);
}

bool ChooseEntry(const Program& program, int listId, int position) {
    HWND main = program.MainWindow();
    HWND list = program.Control(listId);
    if (!main || !list) return false;
    const auto chosen = Send(list, CB_SETCURSEL, static_cast<WPARAM>(position));
    if (!chosen || *chosen != position) return false;
    return ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void ChooseMenuItem(const Program& program, int command) {
    if (HWND main = program.MainWindow()) ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

namespace {

// The control of `window` that a key goes to: the focus, when it is in the window (the
// window may have lost it to another program's window on the same display).
HWND KeyTarget(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    if (::GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr &&
        (info.hwndFocus == window || ::IsChild(window, info.hwndFocus)))
        return info.hwndFocus;
    for (HWND child : Descendants(window)) {
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) return child;
    }
    return window;
}

}  // namespace

void PostKey(HWND window, UINT virtualKey) {
    HWND target = KeyTarget(window);
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1);
    ::PostMessageW(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

bool TypeKeys(const Program& program, const std::vector<WORD>& keys) {
    HWND main = program.MainWindow();
    if (main == nullptr) return false;
    if (::GetForegroundWindow() != main) {
        ::SetForegroundWindow(main);
        if (!WaitFor([&] { return ::GetForegroundWindow() == main; }, 2s)) return false;
    }
    std::vector<INPUT> inputs;
    auto add = [&](WORD key, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD key : keys) add(key, false);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) add(*key, true);
    return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

MessageBoxView TakeMessageBox(const Program& program, Duration timeout, int button) {
    HWND box = program.WaitForMessageBox(timeout);
    if (box == nullptr) return {};
    MessageBoxView view = ReadMessageBox(box);
    // An OK-only box has OK, or only Cancel when it can be closed with Esc.
    if (button == IDOK && ::GetDlgItem(box, IDOK) == nullptr) button = IDCANCEL;
    PressButton(box, button);
    WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); });
    return view;
}

bool ChooseFile(const Program& program, const std::wstring& path, bool replace) {
    HWND dialog = program.WaitForFileDialog();
    if (dialog == nullptr) return false;
    HWND name = ::GetDlgItem(dialog, kFileNameBox);
    auto closed = [&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); };
    int typed = 0;
    Clock::time_point pressed;
    bool asked = false;
    HWND answered = nullptr;
    bool unexpected = false;  // a box of the dialog's other than the replace question
    WaitFor([&] {
        if (closed()) return true;
        for (HWND box : program.Dialogs()) {
            if (box == dialog || box == answered || !IsMessageBox(box)) continue;
            asked = true;
            if (::GetDlgItem(box, IDYES) != nullptr && replace) {
                PressButton(box, IDYES);
                answered = box;
            } else if (::GetDlgItem(box, IDYES) != nullptr || ::GetDlgItem(box, IDOK) != nullptr) {
                return unexpected = true;
            }
            return false;  // a box still being made, or one already answered
        }
        // A dialog that is still setting itself up may clear the name just typed: then the
        // OK button did nothing, and the name is typed again.
        if (typed == 0) {
            Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            PressButton(dialog, IDOK);
            pressed = Clock::now();
            ++typed;
        } else if (!asked && typed < 3 && Clock::now() - pressed > 1s) {
            const auto length = Send(name, WM_GETTEXTLENGTH);
            if (length && *length == 0) {
                Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                PressButton(dialog, IDOK);
                pressed = Clock::now();
                ++typed;
            }
        }
        return false;
    });
    return !unexpected && closed();
}

std::optional<std::wstring> DialogFolder(const Program& program, HWND dialog) {
    return program.SendForText(dialog, CDM_GETFOLDERPATH, 32768);
}

std::wstring WaitForStatus(const Program& program, const std::wstring& expected, Duration timeout) {
    std::wstring shown;
    WaitFor([&] { return (shown = TextOf(program.Control(kTxtStatus))) == expected; }, timeout);
    return shown;
}

bool SaveScreenshot(HWND window, const std::wstring& file) {
    RECT area{};
    if (!::GetWindowRect(window, &area)) return false;
    const Pixels pixels = FromScreen(area);
    if (pixels.data.empty()) return false;
    const int rowBytes = (pixels.width * 3 + 3) & ~3;
    const DWORD imageBytes = static_cast<DWORD>(rowBytes) * static_cast<DWORD>(pixels.height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + imageBytes;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = pixels.width;
    info.biHeight = pixels.height;  // bottom row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageBytes;
    std::vector<char> rows(imageBytes, 0);
    for (int y = 0; y < pixels.height; ++y) {
        char* row = rows.data() + static_cast<std::size_t>(pixels.height - 1 - y) * static_cast<std::size_t>(rowBytes);
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t p = pixels.data[static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels.width) +
                                                static_cast<std::size_t>(x)];
            row[x * 3 + 0] = static_cast<char>(p & 0xFF);
            row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
    }
    std::ofstream out(std::filesystem::path(file), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    return static_cast<bool>(out);
}

}  // namespace ombrevale::e2e
