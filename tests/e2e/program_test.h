// What every end-to-end test shares: a folder of its own for the inventory and the image
// files, the program started on that inventory, and checks of message boxes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "tests/e2e/program_driver_win32.h"

namespace ombrevale::e2e {

inline constexpr wchar_t kAppTitle[] = L"Quorvex - Ombrevale";

// How long an action of the user's took until the program answered: printed for the
// closing figures, not judged. A call past five seconds shows as the program's question
// whether to wait, which no box check takes for the answer it expects.
template <class Action>
auto Timed(const char* what, Action action) {
    const auto start = Clock::now();
    auto outcome = action();
    std::printf("%s: %lld ms\n", what,
                static_cast<long long>(std::chrono::duration_cast<Duration>(Clock::now() - start).count()));
    return outcome;
}

// The status line, and the line of a box that says an attachment failed.
inline constexpr wchar_t kAttached[] = L"Подключен образ: ";
inline constexpr wchar_t kDetached[] = L"Отключено";
inline constexpr wchar_t kAttachFailed[] = L"\r\n\r\nНе удалось подключить образ.\r\n\r\n";

// Where the tests keep their files (OMBREVALE_E2E_WORK, a Unix path) and their pictures
// (OMBREVALE_E2E_ARTIFACTS).
std::wstring WorkFolder();
std::wstring ArtifactsFolder();

// Text for a failure message: UTF-8, with line breaks shown as \r and \n.
std::string Shown(const std::wstring& text);

// A box of the program: its caption, its one button, its icon and its text (exactly, or
// only how it starts).
::testing::AssertionResult BoxSays(const MessageBoxView& box, const std::wstring& text, BoxIcon icon);
::testing::AssertionResult BoxStartsWith(const MessageBoxView& box, const std::wstring& start, BoxIcon icon);

// The program's visible windows, for failure messages.
std::string Describe(const Program& program);

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The test's own folder, emptied before the test, and a path inside it.
    const std::wstring& Folder() const { return folder_; }
    std::wstring PathOf(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

    // The demo host's inventory for the program started next (UTF-8 text).
    void WriteInventory(const std::wstring& text);

    // Image files: `size` bytes of zeros, or an empty FAT12 floppy of density code 1
    // (720K) or 2 (1.44M). Missing folders are made.
    void MakeFile(const std::wstring& path, std::uint64_t size);
    void MakeFloppy(const std::wstring& path, int density);
    static std::uint64_t FileSize(const std::wstring& path);  // 0 for a missing file

    // Starts the program on the test's inventory and waits for its main window; null
    // (and a failure recorded) when the window does not come.
    std::unique_ptr<Program> Launch();
    // Closes the main window as its close button does, or as Esc does; true when the
    // program then ends with exit code 0.
    static ::testing::AssertionResult CloseNormally(Program& program);
    static ::testing::AssertionResult EscEndsNormally(Program& program);

    // Attaches `path` to the chosen drive through the open dialog, and takes the box shown.
    // With `timed`, prints under that name how long the box took from the dialog's closing.
    static MessageBoxView Attach(const Program& program, const std::wstring& path, const char* timed = nullptr);
    // Runs an image menu command that asks for a file, and takes the box that follows.
    static MessageBoxView Run(const Program& program, int command, const std::wstring& path, bool replace = false);

    std::wstring inventory_;

private:
    static ::testing::AssertionResult EndsNormally(Program& program);

    std::wstring folder_;
};

}  // namespace ombrevale::e2e
