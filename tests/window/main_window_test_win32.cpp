// The real main window under Wine, with fake automation objects: layout at 96 and 144
// DPI, fonts, styles, tab order, the key table through the message loop, and the image
// menu's popup.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_main_win32.h"
#include "app/layout.h"
#include "support/dpi_win32.h"
#include "support/support_win32.h"
#include "tests/fakes/fake_automation.h"
#include "tests/fakes/fake_support.h"
#include "tests/support/test_thread.h"

namespace ombrevale {
namespace {

using namespace std::chrono_literals;
using fakes::CallLog;
using fakes::FakeHost;
using fakes::FakeSupport;

struct PixelRect {
    int left, top, width, height;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

void PrintTo(const PixelRect& r, std::ostream* os) {
    *os << "(" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ")";
}

PixelRect ClientRectOf(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The layout in pixels at 96 and at 144 DPI, and the font's height at each.
const PixelRect kLayoutAt96[kControlCount] = {
    {8, 8, 229, 22}, {244, 8, 125, 22}, {8, 40, 361, 25}, {8, 76, 65, 29}, {128, 76, 89, 29}, {224, 76, 145, 29},
};
const PixelRect kLayoutAt144[kControlCount] = {
    {12, 12, 344, 33}, {366, 12, 188, 33},  {12, 60, 542, 38},
    {12, 114, 98, 44}, {192, 114, 134, 44}, {336, 114, 218, 44},
};

std::wstring TextOf(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

// Runs the window's pending messages through the program's own message path.
void Pump(MainWindow& window, std::chrono::milliseconds duration = 50ms) {
    const auto end = std::chrono::steady_clock::now() + duration;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // left for the test to see
                return;
            }
            ProcessMessage(window, msg);
        }
        Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
}

// Holds modifier keys down in this thread's keyboard state, as the message loop reads it.
void SetModifiers(bool shift, bool ctrl, bool alt) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_MENU] = alt ? 0x80 : 0;
    SetKeyboardState(state);
}

// A host with two machines: the first with two drives (an image, then nothing), the
// second with one host drive.
void FillHost(FakeHost& host) {
    auto first = host.AddMachine(L"Windows 98");
    auto a = first->AddDrive(0);
    a->attachment = kAttachedImage;
    a->imagePath = L"C:\\images\\boot.vfd";
    first->AddDrive(1);
    auto second = host.AddMachine(L"MS-DOS 6.22");
    second->AddDrive(0)->attachment = kAttachedHostDrive;
}

// The window with the real support library: the layout, centring and icons are its.
class MainWindowTest : public ::testing::Test {
protected:
    explicit MainWindowTest(dpi::Scaling scaling = {}) : scaling_(scaling) {}

    void SetUp() override {
        FillHost(host_);
        auto created = MainWindow::Create(GetModuleHandleW(nullptr), host_, support_, scaling_);
        ASSERT_TRUE(created.ok()) << "create";
        window_ = std::move(created).value();
        ASSERT_TRUE(window_->Show().ok());
        Pump(*window_);
    }
    void TearDown() override { window_.reset(); }

    HWND hwnd() const { return window_->hwnd(); }
    HWND control(ControlId id) const { return window_->control(id); }

    dpi::Scaling scaling_;
    CallLog log_;
    FakeHost host_{&log_};
    Win32SupportLibrary support_{GetModuleHandleW(nullptr), OmbrevaleApplication(), scaling_};
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, ScalesLayoutAndFontWhenItsDpiChanges) {
    RECT suggested{};
    GetWindowRect(hwnd(), &suggested);
    SendMessageW(hwnd(), dpi::kDpiChangedMessage, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(window_->dpi(), 144u);

    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_EQ(client.right, 566);  // 5655 twips = 565.5 px
    EXPECT_EQ(client.bottom, 171);
    for (const ControlLayout& c : kLayout) {
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        EXPECT_EQ(ClientRectOf(hwnd(), control(c.id)), kLayoutAt144[c.id]);
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control(c.id), WM_GETFONT, 0, 0)), sizeof(lf), &lf);
        EXPECT_EQ(lf.lfHeight, -18);
    }

    SendMessageW(hwnd(), dpi::kDpiChangedMessage, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(ClientRectOf(hwnd(), control(kCmdAttachImage)), (PixelRect{224, 76, 145, 29}));
}

TEST_F(MainWindowTest, EveryControlUsesTahoma9Cyrillic) {
    for (const ControlLayout& c : kLayout) {
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(control(c.id), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW lf{};
        ASSERT_TRUE(GetObjectW(font, sizeof(lf), &lf));
        EXPECT_STREQ(lf.lfFaceName, L"Tahoma");
        EXPECT_EQ(lf.lfHeight, -12);
        EXPECT_EQ(lf.lfWeight, 400);
        EXPECT_EQ(lf.lfCharSet, 204);
        EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
    }
}

TEST_F(MainWindowTest, WindowIsAFixedCentredDialogWithoutMenuBar) {
    EXPECT_EQ(TextOf(hwnd()), L"Ombrevale");
    const LONG style = GetWindowLongW(hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_EQ(GetMenu(hwnd()), nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd()));

    RECT window{};
    GetWindowRect(hwnd(), &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 2);

    EXPECT_NE(SendMessageW(hwnd(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(MainWindowTest, ControlsHaveTheirKindsStylesAndCaptions) {
    for (const ControlLayout& c : kLayout) {
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        HWND child = control(c.id);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        EXPECT_TRUE(style & WS_TABSTOP);
        EXPECT_TRUE(IsWindowEnabled(child));
        EXPECT_TRUE(IsWindowVisible(child));
        wchar_t cls[64] = {};
        GetClassNameW(child, cls, 64);
        switch (c.kind) {
        case ControlKind::DropDownList:
            EXPECT_EQ(_wcsicmp(cls, L"ComboBox"), 0) << cls;
            EXPECT_EQ(style & 3, CBS_DROPDOWNLIST);
            EXPECT_FALSE(style & CBS_SORT);
            break;
        case ControlKind::TextBox:
            EXPECT_EQ(_wcsicmp(cls, L"Edit"), 0) << cls;
            EXPECT_TRUE(style & ES_READONLY);
            EXPECT_FALSE(style & ES_MULTILINE);
            break;
        case ControlKind::Button:
            EXPECT_EQ(_wcsicmp(cls, L"Button"), 0) << cls;
            EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);  // never the default button
            break;
        }
    }
    EXPECT_EQ(TextOf(control(kCmdImageMenu)), L"Образ »");
    EXPECT_EQ(TextOf(control(kCmdDetach)), L"Отключить");
    EXPECT_EQ(TextOf(control(kCmdAttachImage)), L"Подключить образ...");
}

TEST_F(MainWindowTest, StatusLineIsReadOnlyOnTheButtonFaceColour) {
    HWND status = control(kTxtStatus);
    HDC dc = GetDC(status);
    const LRESULT brush =
        SendMessageW(hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
    ReleaseDC(status, dc);

    // The user can't change it.
    SetFocus(status);
    PostMessageW(status, WM_CHAR, L'x', 0);
    Pump(*window_);
    EXPECT_EQ(TextOf(status), L"Подключен образ: C:\\images\\boot.vfd");
}

TEST_F(MainWindowTest, ShowsTheFirstMachineAndDriveAtStartWithFocusOnTheMachineList) {
    EXPECT_EQ(SendMessageW(control(kCboVMName), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(control(kCboVMName), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(control(kCboFloppyDrives), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(control(kCboFloppyDrives), CB_GETCURSEL, 0, 0), 0);
    wchar_t item[64] = {};
    SendMessageW(control(kCboFloppyDrives), CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"Флоповод #1");
    EXPECT_EQ(GetFocus(), control(kCboVMName));
}

TEST_F(MainWindowTest, UsersChoiceOfMachineAndDriveRefreshesTheLists) {
    // Down arrow on the focused list: the key goes to the list, which tells its choice.
    SetFocus(control(kCboVMName));
    PostMessageW(control(kCboVMName), WM_KEYDOWN, VK_DOWN, 0);
    Pump(*window_);
    EXPECT_EQ(SendMessageW(control(kCboVMName), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageW(control(kCboFloppyDrives), CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(TextOf(control(kTxtStatus)), L"Подключено устройство: A:");
}

TEST_F(MainWindowTest, TabMovesThroughTheControlsInLayoutOrder) {
    HWND at = control(kCboVMName);
    for (int i = 1; i <= kControlCount; ++i) {
        at = GetNextDlgTabItem(hwnd(), at, FALSE);
        EXPECT_EQ(at, control(static_cast<ControlId>(i % kControlCount))) << "step " << i;
    }
    // And through the real dialog manager: Tab from the first list reaches the second.
    SetFocus(control(kCboVMName));
    PostMessageW(control(kCboVMName), WM_KEYDOWN, VK_TAB, 0);
    Pump(*window_);
    EXPECT_EQ(GetFocus(), control(kCboFloppyDrives));
}

// What a screen reader's hook in the program's process reads: the names of the controls
// that have no caption, the status line's text as its value, and everything else as the
// standard objects tell it.
TEST_F(MainWindowTest, ControlsWithoutCaptionsHaveAccessibleNames) {
    struct Expected {
        ControlId id;
        const wchar_t* name;
    };
    const Expected expected[] = {
        {kCboVMName, L"Виртуальная машина"}, {kCboFloppyDrives, L"Дисковод"}, {kTxtStatus, L"Состояние дисковода"},
        {kCmdImageMenu, L"Меню образов"},    {kCmdDetach, L"Отключить"},      {kCmdAttachImage, L"Подключить образ..."},
    };
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    for (const Expected& e : expected) {
        SCOPED_TRACE(testing::Message() << "control " << e.id);
        IAccessible* object = nullptr;
        ASSERT_EQ(AccessibleObjectFromWindow(control(e.id), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                             reinterpret_cast<void**>(&object)),
                  S_OK);
        BSTR name = nullptr;
        EXPECT_EQ(object->get_accName(self, &name), S_OK);
        EXPECT_STREQ(name, e.name);
        SysFreeString(name);
        // The role is the standard object's (Wine's says "client" for every control).
        IAccessible* standard = nullptr;
        ASSERT_EQ(CreateStdAccessibleObject(control(e.id), OBJID_CLIENT, IID_IAccessible,
                                            reinterpret_cast<void**>(&standard)),
                  S_OK);
        VARIANT role{}, standardRole{};
        EXPECT_EQ(object->get_accRole(self, &role), S_OK);
        EXPECT_EQ(standard->get_accRole(self, &standardRole), S_OK);
        EXPECT_EQ(role.vt, VT_I4);
        EXPECT_EQ(role.lVal, standardRole.lVal);
        standard->Release();
        if (e.id == kTxtStatus) {
            BSTR value = nullptr;
            EXPECT_EQ(object->get_accValue(self, &value), S_OK);
            EXPECT_STREQ(value, L"Подключен образ: C:\\images\\boot.vfd");
            SysFreeString(value);
            EXPECT_NE(object->put_accValue(self, nullptr), S_OK);
            VARIANT state{};
            EXPECT_EQ(object->get_accState(self, &state), S_OK);
            EXPECT_TRUE(state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_READONLY));
        }
        HWND window = nullptr;
        EXPECT_EQ(WindowFromAccessibleObject(object, &window), S_OK);
        EXPECT_EQ(window, control(e.id));
        object->Release();
    }
    EXPECT_TRUE(window_->acceptsDrops()) << "the window is no drop target";
}

TEST_F(MainWindowTest, EscWithAnOpenDropDownClosesTheListNotTheWindow) {
    SetFocus(control(kCboFloppyDrives));
    SendMessageW(control(kCboFloppyDrives), CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(SendMessageW(control(kCboFloppyDrives), CB_GETDROPPEDSTATE, 0, 0));
    SetModifiers(false, false, false);
    MSG esc{control(kCboFloppyDrives), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    window_->PreviewKey(esc);
    SendMessageW(control(kCboFloppyDrives), CB_SHOWDROPDOWN, FALSE, 0);
    Pump(*window_);
    EXPECT_NE(window_->hwnd(), nullptr);
    EXPECT_TRUE(IsWindow(hwnd()));
}

// A drive whose Attachment read waits the way a call to an out-of-process server does:
// it dispatches the thread's messages meanwhile, and a click arrives during the wait.
class PumpingDrive : public fakes::FakeDrive {
public:
    using FakeDrive::FakeDrive;
    std::function<void()> duringCall;
    Result<std::int32_t> Attachment() override {
        if (duringCall) std::exchange(duringCall, nullptr)();
        return FakeDrive::Attachment();
    }
};

TEST(MainWindowEvents, AClickDuringAHandlersServerCallRunsAfterThatHandler) {
    CallLog log;
    FakeHost host(&log);
    FakeSupport support(&log);
    auto machine = host.AddMachine(L"Windows 98");
    auto drive = std::make_shared<PumpingDrive>(L"drive", &log, 0);
    machine->drives.push_back(drive);
    auto created = MainWindow::Create(GetModuleHandleW(nullptr), host, support);
    ASSERT_TRUE(created.ok());
    std::unique_ptr<MainWindow> window = std::move(created).value();
    ASSERT_TRUE(window->Show().ok());
    Pump(*window);

    support.dialogAnswers.push_back({false, L""});
    std::size_t dialogsDuringDetach = 99;
    drive->duringCall = [&] {
        PostMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(ControlCommand(kCmdAttachImage), BN_CLICKED),
                     reinterpret_cast<LPARAM>(window->control(kCmdAttachImage)));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        dialogsDuringDetach = support.dialogs.size();
    };
    log.Clear();
    SendMessageW(window->control(kCmdDetach), BM_CLICK, 0, 0);
    EXPECT_EQ(dialogsDuringDetach, 0u) << "the attach handler ran inside the detach handler";
    Pump(*window);
    EXPECT_EQ(support.dialogs.size(), 1u) << "the click was lost";
    EXPECT_EQ(support.boxes.shown.size(), 1u);  // "Отключать нечего." from the detach
}

// Created at the system's DPI (the 144 DPI test prefix says 144), with the DPI of the
// window's monitor where the system tells it (Windows 10), and without, as on Windows
// XP to 8.1, where the window's DPI is the system's: the same layout either way.
class MainWindowAtSystemDpi : public MainWindowTest, public ::testing::WithParamInterface<bool> {
protected:
    MainWindowAtSystemDpi() : MainWindowTest(GetParam() ? dpi::Scaling(dpi::PerMonitorFunctions{}) : dpi::Scaling()) {}
};

TEST_P(MainWindowAtSystemDpi, IsLaidOutAtThatDpiFromTheStart) {
    const UINT systemDpi = [] {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
        return static_cast<UINT>(dpi);
    }();
    ASSERT_EQ(window_->dpi(), systemDpi);
    if (systemDpi != 96 && systemDpi != 144) GTEST_SKIP() << "no layout to compare at " << systemDpi << " DPI";
    const PixelRect* expected = systemDpi == 96 ? kLayoutAt96 : kLayoutAt144;
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_EQ(client.right, systemDpi == 96 ? 377 : 566);  // 5655 twips = 565.5 px at 144
    EXPECT_EQ(client.bottom, systemDpi == 96 ? 114 : 171);
    for (const ControlLayout& c : kLayout) {
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        EXPECT_EQ(ClientRectOf(hwnd(), control(c.id)), expected[c.id]);
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control(c.id), WM_GETFONT, 0, 0)), sizeof(lf), &lf);
        EXPECT_EQ(lf.lfHeight, systemDpi == 96 ? -12 : -18);
        EXPECT_STREQ(lf.lfFaceName, L"Tahoma");
    }
}

INSTANTIATE_TEST_SUITE_P(BothDpiPaths, MainWindowAtSystemDpi, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "SystemDpiOnly" : "PerMonitorDpi");
                         });

// The key table, through the program's message path, with fakes for the support library
// so that the about box and the read-me are recorded rather than shown.
class MainWindowKeysTest : public ::testing::TestWithParam<ControlId> {
protected:
    void SetUp() override {
        FillHost(host_);
        auto created = MainWindow::Create(GetModuleHandleW(nullptr), host_, support_);
        ASSERT_TRUE(created.ok());
        window_ = std::move(created).value();
        ASSERT_TRUE(window_->Show().ok());
        Pump(*window_);
        log_.Clear();
    }
    void TearDown() override {
        SetModifiers(false, false, false);
        window_.reset();
    }

    // Presses a key on the focused control; the message loop previews it.
    void Press(UINT key, bool shift, bool ctrl, bool alt) {
        HWND focus = window_->control(GetParam());
        SetFocus(focus);
        SetModifiers(shift, ctrl, alt);
        PostMessageW(focus, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1);
        Pump(*window_);
        SetModifiers(false, false, false);
    }
    std::vector<std::wstring> KeyEffects() const {
        return log_.Only({L"support.esOpenReadMeFile", L"about.ShowAbout", L"support.About"});
    }

    CallLog log_;
    FakeHost host_{&log_};
    FakeSupport support_{&log_};
    std::unique_ptr<MainWindow> window_;
};

TEST_P(MainWindowKeysTest, F1OpensTheReadMe) {
    Press(VK_F1, false, false, false);
    EXPECT_EQ(KeyEffects(), (std::vector<std::wstring>{L"support.esOpenReadMeFile(0)"}));
    EXPECT_TRUE(IsWindow(window_->hwnd()));
}

TEST_P(MainWindowKeysTest, ShiftF1ShowsTheAboutBoxOwnedByTheWindow) {
    Press(VK_F1, true, false, false);
    ASSERT_EQ(support_.about.shown.size(), 1u);
    EXPECT_EQ(support_.about.shown[0].owner, reinterpret_cast<WindowHandle>(window_->hwnd()));
    EXPECT_EQ(support_.about.shown[0].applicationTitle, L"Quorvex - Ombrevale");
    EXPECT_EQ(log_.Count(L"support.esOpenReadMeFile"), 0u);
}

TEST_P(MainWindowKeysTest, OtherCombinationsDoNothing) {
    Press(VK_F1, false, true, false);      // Ctrl+F1
    Press(VK_F1, false, false, true);      // Alt+F1
    Press(VK_F1, true, true, false);       // Shift+Ctrl+F1
    Press(VK_ESCAPE, true, false, false);  // Shift+Esc
    Press(VK_ESCAPE, false, true, false);  // Ctrl+Esc
    Press(VK_F2, false, false, false);
    EXPECT_TRUE(KeyEffects().empty());
    EXPECT_TRUE(IsWindow(window_->hwnd()));
}

TEST_P(MainWindowKeysTest, EscClosesTheWindowAndEndsTheLoop) {
    HWND hwnd = window_->hwnd();
    Press(VK_ESCAPE, false, false, false);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window_->exitCode(), 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closing the window ends the program";
}

INSTANTIATE_TEST_SUITE_P(FocusOnEachControl, MainWindowKeysTest,
                         ::testing::Values(kCboVMName, kCboFloppyDrives, kTxtStatus, kCmdImageMenu, kCmdDetach,
                                           kCmdAttachImage));

// The image menu, popped up for real. A second thread watches for the popup, measures it
// and answers it as a user would.
class ImageMenuTest : public MainWindowKeysTest {};

HWND FindPopupMenu() {
    for (int i = 0; i < 200; ++i) {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (menu && IsWindowVisible(menu)) return menu;
        Sleep(10);
    }
    return nullptr;
}

struct PopupSeen {
    RECT rect{};
    bool found = false;
};

// Clicks the button while `answer` runs on another thread against the popup.
template <class Answer>
PopupSeen PopUp(MainWindow& window, Answer answer) {
    PopupSeen seen;
    tests::TestThread user([&] {
        HWND menu = FindPopupMenu();
        if (!menu) return;
        seen.found = true;
        GetWindowRect(menu, &seen.rect);
        answer(menu);
    });
    SendMessageW(window.control(kCmdImageMenu), BM_CLICK, 0, 0);
    user.join();
    Pump(window, 100ms);
    return seen;
}

void PressOnMenu(HWND menu, UINT key) {
    PostMessageW(menu, WM_KEYDOWN, key, 0);
    PostMessageW(menu, WM_KEYUP, key, 0);
}

TEST_F(ImageMenuTest, OpensAtTheButtonsTopRightCornerWhereverTheMouseIs) {
    for (POINT mouse : {POINT{0, 0}, POINT{900, 700}}) {
        SetCursorPos(mouse.x, mouse.y);
        PopupSeen seen = PopUp(*window_, [](HWND menu) { PressOnMenu(menu, VK_ESCAPE); });
        ASSERT_TRUE(seen.found);
        POINT corner{73, 76};  // (120 + 975, 1140) twips
        ClientToScreen(window_->hwnd(), &corner);
        EXPECT_EQ(seen.rect.left, corner.x);
        EXPECT_EQ(seen.rect.top, corner.y);
    }
    EXPECT_TRUE(support_.dialogs.empty()) << "Esc runs nothing";
}

TEST_F(ImageMenuTest, OpensAtTheCornerAt144Dpi) {
    RECT suggested{};
    GetWindowRect(window_->hwnd(), &suggested);
    SendMessageW(window_->hwnd(), dpi::kDpiChangedMessage, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    PopupSeen seen = PopUp(*window_, [](HWND menu) { PressOnMenu(menu, VK_ESCAPE); });
    ASSERT_TRUE(seen.found);
    POINT corner{110, 114};  // 1095 and 1140 twips at 144 DPI
    ClientToScreen(window_->hwnd(), &corner);
    EXPECT_EQ(seen.rect.left, corner.x);
    EXPECT_EQ(seen.rect.top, corner.y);
}

TEST_F(ImageMenuTest, HoldsItsFourItemsWithoutADefault) {
    HMENU menu = window_->imageMenu();
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    const UINT ids[] = {1001, 1010, 1011, 1012};
    const wchar_t* captions[] = {L"Проверить...", L"", L"Создать High Density...", L"Создать Low Density..."};
    for (int i = 0; i < 4; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        wchar_t text[64] = {};
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 64;
        ASSERT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
        EXPECT_EQ(info.wID, ids[i]);
        EXPECT_STREQ(text, captions[i]);
        EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, i == 1);
    }
    EXPECT_EQ(GetMenuDefaultItem(menu, TRUE, 0), static_cast<UINT>(-1));
}

TEST_F(ImageMenuTest, ARightButtonChoiceRunsTheItem) {
    support_.dialogAnswers.push_back({false, L""});
    PopupSeen seen = PopUp(*window_, [this](HWND menu) {
        RECT item{};
        GetMenuItemRect(menu, window_->imageMenu(), 0, &item);  // "Проверить..."
        POINT at{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        // Wine's menu loop reads a click's place from lParam in screen coordinates.
        SetCursorPos(at.x, at.y);
        PostMessageW(menu, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
        PostMessageW(menu, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    });
    ASSERT_TRUE(seen.found);
    ASSERT_EQ(support_.dialogs.size(), 1u);
    EXPECT_EQ(support_.dialogs[0]->shownAs, L"open");
}

TEST_F(ImageMenuTest, KeyboardChoiceOfLowDensityCreatesWithDensityOne) {
    support_.dialogAnswers.push_back({true, L"C:\\images\\new.vfd"});
    SetCursorPos(0, 0);  // a cursor resting on the menu would choose an item of its own
    PopupSeen seen = PopUp(*window_, [](HWND menu) {
        // Down past "Проверить..." and the separator to the last item.
        for (int i = 0; i < 3; ++i) PressOnMenu(menu, VK_DOWN);
        PressOnMenu(menu, VK_RETURN);
    });
    ASSERT_TRUE(seen.found);
    ASSERT_EQ(support_.dialogs.size(), 1u);
    EXPECT_EQ(support_.dialogs[0]->shownAs, L"save");
    EXPECT_EQ(host_.created, (std::vector<std::pair<std::wstring, std::int32_t>>{{L"C:\\images\\new.vfd", 1}}));
}

TEST_F(ImageMenuTest, AClickElsewhereRunsNothing) {
    PopupSeen seen = PopUp(*window_, [](HWND menu) {
        RECT r{};
        GetWindowRect(menu, &r);
        POINT outside{r.right + 40, r.bottom + 40};
        SetCursorPos(outside.x, outside.y);
        PostMessageW(menu, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(outside.x, outside.y));
        PostMessageW(menu, WM_LBUTTONUP, 0, MAKELPARAM(outside.x, outside.y));
        Sleep(200);
        if (IsWindowVisible(menu)) PressOnMenu(menu, VK_ESCAPE);  // never leave the test hanging
    });
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(support_.dialogs.empty());
    EXPECT_TRUE(host_.created.empty());
}

}  // namespace
}  // namespace ombrevale
