// The about box, shown for real and closed with the keys a user would press.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/support_win32.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/test_window.h"

namespace ombrevale {
namespace {

using driver::TestWindow;
using driver::WindowQuery;

const std::wstring kCaption = L"О программе Quorvex - Ombrevale";
const std::wstring kDedication = L"Посвящается всем, кто ещё хранит свои дискеты.";

struct Seen {
    bool shown = false;
    bool closed = false;
    HWND owner = nullptr;
    bool hasIcon = false;
    std::vector<std::wstring> texts;
    bool textsFit = true;  // every text lies inside the client area with room for itself
};

// Shows the about box, reads it and presses `key` on it.
Seen ShowAndClose(AboutBox& about, HWND owner, const std::wstring& text, UINT key, Status& status) {
    Seen seen;
    status = driver::WithDriver(
        [&] { return about.ShowAbout(FromHwnd(owner), OmbrevaleApplication(), text, nullptr, kDedication); },
        [&](DWORD thread) {
            HWND box = driver::WaitForWindow(WindowQuery{L"#32770", kCaption, thread});
            if (box == nullptr) return;
            seen.shown = true;
            seen.owner = ::GetWindow(box, GW_OWNER);
            seen.hasIcon = driver::StaticIcon(box) != nullptr;
            seen.texts = driver::StaticTexts(box);
            RECT client{};
            ::GetClientRect(box, &client);
            for (HWND child : driver::Descendants(box)) {
                if (driver::ClassOf(child) != L"Static" || driver::TextOf(child).empty()) continue;
                RECT r{};
                ::GetWindowRect(child, &r);
                ::MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
                if (r.bottom <= r.top || r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom)
                    seen.textsFit = false;
            }
            driver::PressKey(box, key);
            seen.closed = driver::WaitUntilGone(box, std::chrono::seconds(5));
        });
    return seen;
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(AboutBox, ShowsIconTitleVersionAndDedicationOverItsOwnerAndEnterClosesIt) {
    TestWindow main(L"Ombrevale");
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    auto about = support.About();

    Status status;
    Seen seen = ShowAndClose(**about, main.hwnd(), L"", VK_RETURN, status);
    ASSERT_TRUE(seen.shown) << "no about box appeared";
    EXPECT_TRUE(seen.closed) << "Enter did not close the about box";
    EXPECT_TRUE(status.ok());
    EXPECT_EQ(seen.owner, main.hwnd());
    EXPECT_TRUE(seen.hasIcon) << "the icon A_MAIN is not shown";
    EXPECT_TRUE(Contains(seen.texts, L"Quorvex - Ombrevale"));
    EXPECT_TRUE(Contains(seen.texts, L"Версия 1.00.0003"));
    EXPECT_TRUE(Contains(seen.texts, kDedication));
    EXPECT_TRUE(seen.textsFit) << "a text lies outside the box";
}

TEST(AboutBox, EscClosesItAndAGivenTextIsShown) {
    TestWindow main(L"Ombrevale");
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    auto about = support.About();

    const std::wstring text = L"Работает с дисководами виртуальных машин Virtual PC.";
    Status status;
    Seen seen = ShowAndClose(**about, main.hwnd(), text, VK_ESCAPE, status);
    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.closed) << "Esc did not close the about box";
    EXPECT_TRUE(status.ok());
    EXPECT_TRUE(Contains(seen.texts, text));
    EXPECT_TRUE(seen.textsFit);
}

TEST(AboutBox, AnOwnerThatIsNoWindowIsAFailureAndShowsNothing) {
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    auto about = support.About();
    TestWindow gone(L"Закрыто");
    HWND stale = gone.hwnd();
    ::DestroyWindow(stale);

    Status status = (*about)->ShowAbout(FromHwnd(stale), OmbrevaleApplication(), L"", nullptr, kDedication);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure().number, static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE)));
    EXPECT_NE(status.failure().description.find(L"О программе"), std::wstring::npos);
}

}  // namespace
}  // namespace ombrevale
