// The as*/es* functions on real windows, the registry and the file system.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "support/dpi_win32.h"
#include "support/support_win32.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/test_window.h"

namespace ombrevale {
namespace {

using driver::BoxIcon;
using driver::TestWindow;

TEST(esGetFilePath, GivesTheDirectoryPart) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Образы дискет\\диск.vfd", L"C:\\Образы дискет"},
        {L"C:\\диск.vfd", L"C:\\"},                              // a root keeps its separator
        {L"D:/образы/диск.vfd", L"D:/образы"},                   // either separator
        {L"C:\\образы\\\\диск.vfd", L"C:\\образы"},              // a doubled separator
        {L"\\\\сервер\\общая\\диск.vfd", L"\\\\сервер\\общая"},  // a network share
        {L"\\\\?\\C:\\диск.vfd", L"\\\\?\\C:\\"},                // extended-length root
        {L"\\диск.vfd", L"\\"},
        {L"диск.vfd", L""},  // no directory at all
        {L"", L""},
        {L"C:\\папка\\", L"C:\\папка"},
    };
    for (const auto& [path, directory] : cases) {
        auto result = support.esGetFilePath(path);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(*result, directory) << path;
    }
}

// The read-me file is opened by path; a path that cannot be opened must give a message
// box, never a failure that would end the program.
class ReadMeTest : public ::testing::Test {
protected:
    driver::ShownBox OpenAndRead(const std::wstring& path) {
        driver::ShownBox box;
        (void)driver::ShowAndReadBox([&] { return OpenReadMe(path, support.Boxes()); }, box);
        return box;
    }

    TestWindow main{L"Ombrevale"};
    Win32SupportLibrary support{nullptr, OmbrevaleApplication()};
};

TEST_F(ReadMeTest, AMissingFileIsReportedInAStopBoxAndTheCallReturnsNormally) {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring path = std::wstring(temp) + L"нет такой папки\\ReadMe.txt";
    auto box = OpenAndRead(path);
    ASSERT_TRUE(box.seen) << "no message said the read-me file is missing";
    EXPECT_EQ(box.caption, L"Quorvex - Ombrevale");
    EXPECT_EQ(box.icon, BoxIcon::Stop) << driver::Name(box.icon);
    EXPECT_EQ(box.owner, main.hwnd());
    EXPECT_EQ(box.text.rfind(path + L"\r\n\r\nНе удалось открыть файл описания программы.", 0), 0u) << box.text;
}

// A visible top-level window whose title names the file.
HWND FindWindowNaming(const std::wstring& name) {
    struct Search {
        const std::wstring* name;
        HWND found;
    } search{&name, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM param) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (::IsWindowVisible(window) && driver::TextOf(window).find(*s->name) != std::wstring::npos) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(ReadMeTest, TheReadMeBesideTheProgramOpensInATextViewer) {
    // Whether or not the system has a program registered for text files (a fresh Wine
    // prefix has none), the read-me must open.
    driver::ShownBox complaint;
    (void)driver::ShowAndReadBox([&] { return support.esOpenReadMeFile(0); }, complaint, std::chrono::seconds(2));
    HWND viewer = nullptr;
    for (int i = 0; i < 200 && viewer == nullptr; ++i) {
        viewer = FindWindowNaming(L"ReadMe.txt");
        if (viewer == nullptr) ::Sleep(50);
    }
    // The viewer must not outlive the test: it would hold the test runner's output open.
    if (viewer != nullptr) ::PostMessageW(viewer, WM_CLOSE, 0, 0);
    driver::WaitUntilGone(viewer);
    EXPECT_TRUE(complaint.text.empty()) << complaint.text;
    EXPECT_NE(viewer, nullptr) << "the read-me did not open";
}

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !::GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// Where the system has no per-monitor DPI (Windows XP to 8.1) the sizes come from the
// system DPI: both ways give the system's icon sizes on a single screen.
TEST(asSetWindowResIconAll, GivesTheWindowItsBigAndSmallIconAtTheWindowsSizes) {
    for (bool systemDpiOnly : {false, true}) {
        SCOPED_TRACE(systemDpiOnly ? "system DPI only" : "per-monitor DPI");
        Win32SupportLibrary support(nullptr, OmbrevaleApplication(),
                                    systemDpiOnly ? dpi::Scaling(dpi::PerMonitorFunctions{}) : dpi::Scaling());
        TestWindow window(L"Ombrevale");
        ASSERT_TRUE(support.asSetWindowResIconAll(FromHwnd(window.hwnd()), L"A_MAIN").ok());
        auto big = reinterpret_cast<HICON>(::SendMessageW(window.hwnd(), WM_GETICON, ICON_BIG, 0));
        auto small = reinterpret_cast<HICON>(::SendMessageW(window.hwnd(), WM_GETICON, ICON_SMALL, 0));
        EXPECT_EQ(IconWidth(big), ::GetSystemMetrics(SM_CXICON));
        EXPECT_EQ(IconWidth(small), ::GetSystemMetrics(SM_CXSMICON));

        // Setting it again replaces the icons and leaves the window with live ones.
        ASSERT_TRUE(support.asSetWindowResIconAll(FromHwnd(window.hwnd()), L"A_MAIN").ok());
        auto again = reinterpret_cast<HICON>(::SendMessageW(window.hwnd(), WM_GETICON, ICON_BIG, 0));
        EXPECT_EQ(IconWidth(again), ::GetSystemMetrics(SM_CXICON));
    }
}

TEST(asSetWindowResIconAll, AMissingIconOrWindowIsAFailureWithItsName) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    TestWindow window(L"Ombrevale");
    Status missing = support.asSetWindowResIconAll(FromHwnd(window.hwnd()), L"NO_SUCH_ICON");
    ASSERT_FALSE(missing.ok());
    const auto number = static_cast<HRESULT>(missing.failure().number);
    EXPECT_TRUE(number == HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND) ||
                number == HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND))
        << missing.failure().description;
    EXPECT_NE(missing.failure().description.find(L"NO_SUCH_ICON"), std::wstring::npos);

    Status noWindow = support.asSetWindowResIconAll(0, L"A_MAIN");
    EXPECT_FALSE(noWindow.ok());
}

TEST(asCenterFormEx, CentresTheWindowOnItsMonitorsWorkArea) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    TestWindow window(L"Ombrevale", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, RECT{0, 0, 391, 153});
    ASSERT_TRUE(support.asCenterFormEx(FromHwnd(window.hwnd())).ok());

    RECT box{};
    ::GetWindowRect(window.hwnd(), &box);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(::MonitorFromWindow(window.hwnd(), MONITOR_DEFAULTTONEAREST), &info);
    const RECT& work = info.rcWork;
    EXPECT_EQ(box.right - box.left, 391);
    EXPECT_EQ(box.bottom - box.top, 153);
    EXPECT_LE(std::abs((box.left - work.left) - (work.right - box.right)), 1);
    EXPECT_LE(std::abs((box.top - work.top) - (work.bottom - box.bottom)), 1);

    // Larger than the work area: its title bar stays on the screen.
    TestWindow huge(L"Огромное", WS_OVERLAPPED | WS_CAPTION, RECT{0, 0, 5000, 5000});
    ::SetWindowPos(huge.hwnd(), nullptr, 0, 0, 5000, 5000, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(support.asCenterFormEx(FromHwnd(huge.hwnd())).ok());
    ::GetWindowRect(huge.hwnd(), &box);
    EXPECT_GE(box.left, work.left);
    EXPECT_GE(box.top, work.top);
}

TEST(asFixUserControlsContainerWindow, TabReachesControlsInsideANestedContainer) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    TestWindow window(L"Ombrevale");
    HWND before = window.Add(L"Button", L"До", WS_TABSTOP, 8, 8, 80, 24, 100);
    HWND panel = window.Add(L"Static", L"", 0, 8, 40, 200, 80, 101);
    HWND inside = window.Add(L"Button", L"Внутри", WS_TABSTOP, 8, 8, 80, 24, 102, panel);
    HWND combo = window.Add(L"ComboBox", L"", WS_TABSTOP | CBS_DROPDOWN, 8, 130, 150, 100, 103);
    ASSERT_TRUE(before && panel && inside && combo);
    // Without the fix, Tab skips from the first button past the panel's contents.
    ASSERT_NE(::GetNextDlgTabItem(window.hwnd(), before, FALSE), inside);

    (void)support.asFixUserControlsContainerWindow();
    EXPECT_NE(::GetWindowLongPtrW(panel, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    EXPECT_EQ(::GetNextDlgTabItem(window.hwnd(), before, FALSE), inside);
    // A combo box holds an edit of its own but stays one tab stop.
    EXPECT_EQ(::GetWindowLongPtrW(combo, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    EXPECT_EQ(::GetNextDlgTabItem(window.hwnd(), inside, FALSE), combo);
}

TEST(esGetThunderMainHandle, IsOneHiddenTopLevelWindowForTheWholeRun) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    auto first = support.esGetThunderMainHandle();
    auto second = support.esGetThunderMainHandle();
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*first, *second);
    HWND window = ToHwnd(*first);
    ASSERT_TRUE(::IsWindow(window));
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(::GetAncestor(window, GA_PARENT), ::GetDesktopWindow());
    // Untitled, so that only the program's boxes bear the application title.
    EXPECT_EQ(driver::TextOf(window), L"");
    // The program's icon can be put on it, as start-up does.
    EXPECT_TRUE(support.asSetWindowResIconAll(*first, L"A_MAIN").ok());
}

TEST(esRegisterAppPath, RegistersTheProgramForTheCurrentUser) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrevale.exe";
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key);
    ASSERT_TRUE(support.esRegisterAppPath().ok());

    auto program = ProgramPath();
    ASSERT_TRUE(program.ok());
    std::wstring value(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, key, nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &bytes),
              ERROR_SUCCESS);
    value.resize(wcslen(value.c_str()));
    EXPECT_EQ(value, *program);
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key);

    EXPECT_FALSE(*support.esIsInIDE());
}

}  // namespace
}  // namespace ombrevale
