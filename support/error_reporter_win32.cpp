// The error reporter and the plain message boxes: modal boxes owned by the window the
// user is working in, captioned with the application title.
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "support/support_win32.h"

namespace ombrevale {

namespace {

// With no active window a box would be ownerless and could sink behind the program's
// other windows; task-modal keeps it in front and blocks the thread's windows.
UINT OwnerlessFlags(HWND owner) { return owner == nullptr ? MB_TASKMODAL : 0; }

class Win32ErrorReporter final : public ErrorReporter {
public:
    explicit Win32ErrorReporter(std::wstring caption) : caption_(std::move(caption)) {}

    // `reserved` and the result carry nothing. `silent` asks for no box at all: the
    // failure is taken and nothing is shown.
    Result<std::int32_t> ReportError(const Failure& error, std::int32_t style, std::int32_t /*reserved*/,
                                     const std::wstring& message, bool silent) override {
        if (silent) return 0;
        UINT icon = static_cast<UINT>(style) & MB_ICONMASK;
        if (icon == 0) icon = MB_ICONSTOP;
        HWND owner = ::GetActiveWindow();
        std::wstring text = ErrorReportText(error, message);
        if (::MessageBoxW(owner, text.c_str(), caption_.c_str(), MB_OK | icon | OwnerlessFlags(owner)) == 0)
            return LastErrorFailure(L"Не удалось показать сообщение об ошибке");
        return 0;
    }

private:
    std::wstring caption_;
};

}  // namespace

std::wstring ErrorReportText(const Failure& error, const std::wstring& message) {
    std::wstring detail;
    if (error.number != 0) {
        wchar_t number[16];
        auto value = static_cast<std::uint32_t>(error.number);
        if ((value & 0x80000000u) != 0)
            std::swprintf(number, std::size(number), L"0x%08X", static_cast<unsigned>(value));
        else
            std::swprintf(number, std::size(number), L"%d", static_cast<int>(error.number));
        detail = L"Ошибка " + std::wstring(number);
        if (!error.description.empty()) detail += L": " + error.description;
    } else if (!error.description.empty()) {
        detail = L"Ошибка: " + error.description;
    }
    if (detail.empty()) return message;
    if (message.empty()) return detail;
    return message + kParagraph + detail;
}

Result<std::int32_t> Win32MessageBoxes::Show(const std::wstring& text, std::int32_t style) {
    HWND owner = ::GetActiveWindow();
    int answer =
        ::MessageBoxW(owner, text.c_str(), caption_.c_str(), MB_OK | static_cast<UINT>(style) | OwnerlessFlags(owner));
    if (answer == 0) return LastErrorFailure(L"Не удалось показать сообщение");
    return answer;
}

std::unique_ptr<ErrorReporter> NewWin32ErrorReporter(std::wstring caption) {
    return std::make_unique<Win32ErrorReporter>(std::move(caption));
}

}  // namespace ombrevale
