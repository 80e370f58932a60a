// The as*/es* functions and the library object that hands out the error reporter, the
// about box, file dialogs and settings stores.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/dpi_win32.h"
#include "support/support_win32.h"

namespace ombrevale {

namespace {

constexpr wchar_t kThunderMainClass[] = L"OmbrevaleThunderMain";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool HasChildTabStop(HWND window) {
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
        if ((::GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) != 0) return true;
    return false;
}

// Containers are the windows that hold tab stops without being one themselves (a
// combo box holds an edit but is a tab stop of its own, and must stay one unit).
void MarkContainers(HWND parent) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) == 0 && HasChildTabStop(child)) {
            LONG_PTR exStyle = ::GetWindowLongPtrW(child, GWL_EXSTYLE);
            if ((exStyle & WS_EX_CONTROLPARENT) == 0)
                ::SetWindowLongPtrW(child, GWL_EXSTYLE, exStyle | WS_EX_CONTROLPARENT);
        }
        MarkContainers(child);
    }
}

BOOL CALLBACK MarkTopLevel(HWND window, LPARAM) {
    MarkContainers(window);
    return TRUE;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Texts and paths

std::wstring DirectoryOfPath(const std::wstring& path) {
    auto last = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    if (last == path.rend()) return {};
    std::size_t end = static_cast<std::size_t>(path.rend() - last) - 1;  // index of the last separator
    // "C:\\dir\\\\file": the run of separators goes with the separator.
    std::size_t cut = end;
    while (cut > 0 && IsSeparator(path[cut - 1])) --cut;
    if (cut == 0) return path.substr(0, end + 1);               // "\\file", "\\\\x"
    if (path[cut - 1] == L':') return path.substr(0, cut + 1);  // "C:\\file" keeps its root
    return path.substr(0, cut);
}

Status OpenReadMe(const std::wstring& path, MessageBoxes& boxes) {
    DWORD error = ERROR_SUCCESS;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = ::GetLastError();
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = ERROR_FILE_NOT_FOUND;
    } else {
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof(info);
        // No shell message of its own: ours says which file could not be opened.
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.lpVerb = L"open";
        info.lpFile = path.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (::ShellExecuteExW(&info)) return Ok();
        error = ::GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_NO_ASSOCIATION;
        // The read-me is plain text: where no program is registered for it, Notepad,
        // which every Windows has, still reads it.
        const std::wstring quoted = L"\"" + path + L"\"";
        info.lpFile = L"notepad.exe";
        info.lpParameters = quoted.c_str();
        if (::ShellExecuteExW(&info)) return Ok();
    }
    std::wstring text = path + kParagraph + L"Не удалось открыть файл описания программы.";
    if (std::wstring reason = SystemMessage(HRESULT_FROM_WIN32(error)); !reason.empty()) {
        // Some system texts keep a placeholder for the file they are about.
        for (std::size_t at; (at = reason.find(L"%1")) != std::wstring::npos;) reason.replace(at, 2, path);
        text += L"\r\n" + reason;
    }
    // Whatever becomes of the box, asking for the read-me file is done.
    (void)boxes.Show(text, kStyleCritical);
    return Ok();
}

// ---------------------------------------------------------------------------------------
// The library

Win32SupportLibrary::Win32SupportLibrary(HINSTANCE resources, Application application, dpi::Scaling scaling)
    : resources_(resources != nullptr ? resources : ::GetModuleHandleW(nullptr)),
      application_(std::move(application)),
      scaling_(scaling),
      boxes_(application_.title) {}

Win32SupportLibrary::~Win32SupportLibrary() = default;

Status Win32SupportLibrary::asSetWindowResIconAll(WindowHandle window, const std::wstring& resourceName) {
    HWND hwnd = ToHwnd(window);
    const std::wstring what = L"Не удалось установить значок «" + resourceName + L"»";
    if (!::IsWindow(hwnd)) return Win32Failure(ERROR_INVALID_WINDOW_HANDLE, what);
    const UINT dpi = scaling_.ForWindow(hwnd);

    UniqueIcon big(static_cast<HICON>(::LoadImageW(resources_, resourceName.c_str(), IMAGE_ICON,
                                                   scaling_.SystemMetric(SM_CXICON, dpi),
                                                   scaling_.SystemMetric(SM_CYICON, dpi), 0)));
    if (!big) return LastErrorFailure(what);
    UniqueIcon small(static_cast<HICON>(::LoadImageW(resources_, resourceName.c_str(), IMAGE_ICON,
                                                     scaling_.SystemMetric(SM_CXSMICON, dpi),
                                                     scaling_.SystemMetric(SM_CYSMICON, dpi), 0)));
    if (!small) return LastErrorFailure(what);

    HICON replaced[] = {
        reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()))),
        reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()))),
    };
    icons_.push_back(std::move(big));
    icons_.push_back(std::move(small));
    // Icons this library set earlier on the same window are no longer shown: free them.
    for (HICON old : replaced) {
        if (old == nullptr) continue;
        auto mine = std::find_if(icons_.begin(), icons_.end(), [old](const UniqueIcon& i) { return i.get() == old; });
        if (mine != icons_.end()) icons_.erase(mine);
    }
    return Ok();
}

Status Win32SupportLibrary::asCenterFormEx(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    const wchar_t* what = L"Не удалось расположить окно по центру";
    RECT box{};
    if (!::GetWindowRect(hwnd, &box)) return LastErrorFailure(what);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info)) return LastErrorFailure(what);
    const RECT& work = info.rcWork;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    // A window larger than the work area keeps its top-left corner (and title bar) on it.
    const int x = work.left + std::max(0, static_cast<int>((work.right - work.left - width) / 2));
    const int y = work.top + std::max(0, static_cast<int>((work.bottom - work.top - height) / 2));
    if (!::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
        return LastErrorFailure(what);
    return Ok();
}

// Windows that hold controls inside other windows (panels, frames) break the Tab key:
// the dialog manager steps only through a top-level window's own children unless an
// inner container says WS_EX_CONTROLPARENT. This gives every such container of the
// thread's windows that style, so Tab and the arrow keys reach the controls inside.
Status Win32SupportLibrary::asFixUserControlsContainerWindow() {
    ::EnumThreadWindows(::GetCurrentThreadId(), MarkTopLevel, 0);
    return Ok();
}

// Lets the shell's Run box and "start Ombrevale.exe" find the program. A refused
// registry write only loses that convenience.
Status Win32SupportLibrary::esRegisterAppPath() {
    std::wstring program;
    OMB_ASSIGN_OR_RETURN(program, ProgramPath());
    const std::wstring path =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + application_.productName + L".exe";
    UniqueKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return Ok();
    auto setText = [&](const wchar_t* name, const std::wstring& value) {
        ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    setText(nullptr, program);
    setText(L"Path", DirectoryOfPath(program));
    return Ok();
}

// The program never runs inside a development environment.
Result<bool> Win32SupportLibrary::esIsInIDE() { return false; }

Result<WindowHandle> Win32SupportLibrary::esGetThunderMainHandle() {
    if (thunderMain_) return FromHwnd(thunderMain_.get());
    const wchar_t* what = L"Не удалось создать окно приложения";
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!::GetClassInfoExW(instance, kThunderMainClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = kThunderMainClass;
        if (::RegisterClassExW(&wc) == 0) return LastErrorFailure(what);
    }
    // Hidden, so it never shows on the taskbar; it carries the program's icon. It has no
    // caption: the program's message boxes bear the application title, and a search for
    // them by that title must never find this window instead.
    thunderMain_.reset(::CreateWindowExW(0, kThunderMainClass, L"",
                                         WS_POPUP | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr,
                                         nullptr, instance, nullptr));
    if (!thunderMain_) return LastErrorFailure(what);
    return FromHwnd(thunderMain_.get());
}

Status Win32SupportLibrary::esOpenReadMeFile(std::int32_t /*reserved*/) {
    auto program = ProgramPath();
    if (!program.ok()) {
        (void)boxes_.Show(program.failure().description, kStyleCritical);
        return Ok();
    }
    std::wstring directory = DirectoryOfPath(*program);
    if (!directory.empty() && !IsSeparator(directory.back())) directory += L'\\';
    return OpenReadMe(directory + kReadMeFileName, boxes_);
}

Result<std::wstring> Win32SupportLibrary::esGetFilePath(const std::wstring& path) { return DirectoryOfPath(path); }

Result<std::reference_wrapper<ErrorReporter>> Win32SupportLibrary::Reporter() {
    if (!reporter_) reporter_ = NewWin32ErrorReporter(application_.title);
    return std::ref(*reporter_);
}

Result<AboutBox*> Win32SupportLibrary::About() {
    if (!about_) about_ = NewWin32AboutBox(resources_, scaling_);
    return about_.get();
}

Result<std::unique_ptr<FileDialog>> Win32SupportLibrary::NewFileDialog() { return NewWin32FileDialog(); }

Result<std::unique_ptr<SettingsStore>> Win32SupportLibrary::NewSettingsStore() { return NewWin32SettingsStore(); }

MessageBoxes& Win32SupportLibrary::Boxes() { return boxes_; }

WindowHandle Win32SupportLibrary::GetActiveWindow() { return FromHwnd(::GetActiveWindow()); }

const Application& Win32SupportLibrary::App() { return application_; }

}  // namespace ombrevale
