// Starts the installed program the way a user does, from its Start menu shortcut, and
// checks that it shows its window with the machines of the server it found; then closes
// it and waits for the server to end, so that nothing holds the installed files.
//
//   release_start_program.exe <shortcut.lnk> <installation folder>
//
// Prints what it saw; exits 0 when all held, 1 otherwise.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kProgram[] = L"Ombrevale.exe";
constexpr wchar_t kServer[] = L"OmbrevaleDemoHost.exe";
constexpr wchar_t kMainWindowClass[] = L"OmbrevaleMainWindow";
constexpr int kMachineList = 101;

bool failed = false;

// A line on standard output in UTF-8, which the test script reads.
void Say(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void Fail(const std::wstring& what) {
    Say(L"FAIL " + what);
    failed = true;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

std::wstring WithoutSlash(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

struct Search {
    DWORD process;
    HWND main = nullptr;
    HWND box = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window)) return TRUE;
    if (ClassOf(window) == kMainWindowClass) search->main = window;
    if (ClassOf(window) == L"#32770") search->box = window;
    return TRUE;
}

bool ServerRunning() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (SameText(entry.szExeFile, kServer)) found = true;
    CloseHandle(snapshot);
    return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        Say(L"usage: release_start_program <shortcut.lnk> <installation folder>");
        return 2;
    }
    const std::wstring folder = WithoutSlash(argv[2]);
    const std::wstring program = folder + L"\\" + kProgram;

    // The shortcut: the installed program, started in its own folder.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = L"";
    wchar_t directory[MAX_PATH] = L"";
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Load(argv[1], STGM_READ)) || FAILED(link->GetPath(target, MAX_PATH, nullptr, 0)) ||
        FAILED(link->GetWorkingDirectory(directory, MAX_PATH))) {
        Fail(std::wstring(L"the shortcut cannot be read: ") + argv[1]);
        return 1;
    }
    file->Release();
    link->Release();
    CoUninitialize();
    Say(L"shortcut: " + std::wstring(target) + L", in " + directory);
    if (!SameText(target, program)) Fail(L"the shortcut starts " + std::wstring(target) + L", not " + program);
    if (!SameText(WithoutSlash(directory), folder))
        Fail(L"the shortcut starts in " + std::wstring(directory) + L", not in " + folder);
    if (failed) return 1;

    std::wstring commandLine = L"\"" + std::wstring(target) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(target, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                        &started)) {
        Fail(L"the program does not start, error " + std::to_wstring(GetLastError()));
        return 1;
    }

    // Its window, or the box that says why there is none.
    Search search{started.dwProcessId};
    for (int i = 0; i < 300 && !search.main; ++i) {
        if (WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0) break;
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (search.box && !search.main) break;
        Sleep(50);
    }
    if (!search.main) {
        std::wstring said;
        if (search.box) {
            for (HWND child = GetWindow(search.box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                if (ClassOf(child) == L"Static" && !TextOf(child).empty()) said += L" «" + TextOf(child) + L"»";
        }
        Fail(L"the program shows no main window" + (said.empty() ? std::wstring() : L"; it says" + said));
        TerminateProcess(started.hProcess, 1);
    } else {
        Say(L"window: " + TextOf(search.main));
        HWND machines = GetDlgItem(search.main, kMachineList);
        const LRESULT count = machines ? SendMessageW(machines, CB_GETCOUNT, 0, 0) : 0;
        for (LRESULT i = 0; i < count; ++i) {
            std::vector<wchar_t> item(SendMessageW(machines, CB_GETLBTEXTLEN, i, 0) + 1);
            SendMessageW(machines, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            Say(L"machine: " + std::wstring(item.data()));
        }
        if (count <= 0) Fail(L"the window lists no machine of the demo server");
        PostMessageW(search.main, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(started.hProcess, 10000) != WAIT_OBJECT_0) {
        Fail(L"the program did not end when its window was closed");
        TerminateProcess(started.hProcess, 1);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    // The server ends with its last object.
    for (int i = 0; i < 200 && ServerRunning(); ++i) Sleep(50);
    if (ServerRunning()) Fail(L"the demo server still runs 10 s after the program ended");
    return failed ? 1 : 0;
}
