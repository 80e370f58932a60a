// The error reporter and the plain message boxes, read back from the real dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/support_win32.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/test_window.h"

namespace ombrevale {
namespace {

using driver::BoxIcon;
using driver::TestWindow;

const std::wstring kMessage = L"Не удалось создать объект VirtualPC. Возможно, VirtualPC не установлена в системе.";

// Shows one box through `show`, reads it from the driver thread, presses its OK button;
// the call itself succeeds.
template <class Show>
driver::ShownBox ShowAndRead(Show&& show) {
    driver::ShownBox box;
    EXPECT_TRUE(driver::ShowAndReadBox(std::forward<Show>(show), box).ok());
    return box;
}

TEST(ErrorReporter, ShowsMessageNumberAndDescriptionInAStopBoxOwnedByTheActiveWindow) {
    TestWindow main(L"Ombrevale");
    ASSERT_EQ(::GetActiveWindow(), main.hwnd());
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    auto reporter = support.Reporter();

    const Failure failure{static_cast<std::int32_t>(0x80040154), L"Класс не зарегистрирован"};
    auto box = ShowAndRead([&] { return reporter->get().ReportError(failure, kStyleCritical, 0, kMessage, false); });

    ASSERT_TRUE(box.seen) << "no message box appeared";
    EXPECT_FALSE(box.returnedFirst) << "ReportError returned while its box was still shown";
    EXPECT_EQ(box.caption, L"Quorvex - Ombrevale");
    EXPECT_EQ(box.text, kMessage + L"\r\n\r\nОшибка 0x80040154: Класс не зарегистрирован");
    EXPECT_EQ(box.icon, BoxIcon::Stop) << driver::Name(box.icon);
    EXPECT_EQ(box.owner, main.hwnd());
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
}

TEST(ErrorReporter, WithNoActiveWindowTheBoxStillShowsAndIsDismissed) {
    ASSERT_EQ(::GetActiveWindow(), nullptr);
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    auto reporter = support.Reporter();

    auto box = ShowAndRead([&] {
        return reporter->get().ReportError(Failure{5, L"Отказано в доступе."}, kStyleCritical, 0, L"Сбой", false);
    });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, L"Сбой\r\n\r\nОшибка 5: Отказано в доступе.");
}

TEST(ErrorReporter, TextOfNumbersWithAndWithoutDescription) {
    // HRESULTs in hex as the system shows them, other numbers in decimal.
    EXPECT_EQ(ErrorReportText(Failure{static_cast<std::int32_t>(0x80070005), L"Отказано"}, L"М"),
              L"М\r\n\r\nОшибка 0x80070005: Отказано");
    EXPECT_EQ(ErrorReportText(Failure{static_cast<std::int32_t>(0x800a01ad), L""}, L"М"),
              L"М\r\n\r\nОшибка 0x800A01AD");
    EXPECT_EQ(ErrorReportText(Failure{-1, L""}, L"М"), L"М\r\n\r\nОшибка 0xFFFFFFFF");
    EXPECT_EQ(ErrorReportText(Failure{429, L"Нет объекта"}, L"М"), L"М\r\n\r\nОшибка 429: Нет объекта");
    EXPECT_EQ(ErrorReportText(Failure{0, L"Без номера"}, L"М"), L"М\r\n\r\nОшибка: Без номера");
    EXPECT_EQ(ErrorReportText(Failure{}, L"Только текст"), L"Только текст");
    EXPECT_EQ(ErrorReportText(Failure{429, L"Нет объекта"}, L""), L"Ошибка 429: Нет объекта");
}

TEST(MessageBoxes, InformationBoxBearsTheApplicationTitleAndItsIcon) {
    TestWindow main(L"Ombrevale");
    Win32SupportLibrary support(nullptr, OmbrevaleApplication());
    const std::wstring text = L"C:\\Образы\\диск.vfd\r\n\r\nОбраз подключен.";
    auto box = ShowAndRead([&] { return support.Boxes().Show(text, kStyleInformation); });
    ASSERT_TRUE(box.seen);
    EXPECT_FALSE(box.returnedFirst);
    EXPECT_EQ(box.caption, L"Quorvex - Ombrevale");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, BoxIcon::Information) << driver::Name(box.icon);
    EXPECT_EQ(box.owner, main.hwnd());
}

}  // namespace
}  // namespace ombrevale
