// The window's keys, pressed as a user presses them.
#include "tests/e2e/program_test.h"

#include <algorithm>

namespace ombrevale::e2e {
namespace {

class Keys : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        WriteInventory(L"machine Машина\n    drive 0 empty\n");
    }
};

// Every visible top-level window, of any process.
std::vector<HWND> AllWindows() {
    std::vector<HWND> found;
    ::EnumWindows(
        [](HWND window, LPARAM param) CALLBACK -> BOOL {
            if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A visible window of another process that was not there `before`; null when none.
HWND NewForeignWindow(const Program& program, const std::vector<HWND>& before) {
    for (HWND window : AllWindows()) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (process != program.processId() && std::find(before.begin(), before.end(), window) == before.end())
            return window;
    }
    return nullptr;
}

// Closes a window of another process, and ends that process if it does not end itself.
void CloseOther(HWND window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    HANDLE handle = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (handle == nullptr) return;
    if (::WaitForSingleObject(handle, 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(handle, 1);
        ::WaitForSingleObject(handle, 5000);
    }
    ::CloseHandle(handle);
}

TEST_F(Keys, F1OpensTheReadMeAndTheProgramGoesOn) {
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    const std::vector<HWND> before = AllWindows();

    PostKey(program->MainWindow(), VK_F1);
    HWND opened = nullptr;
    WaitFor([&] { return (opened = NewForeignWindow(*program, before)) != nullptr || !program->Dialogs().empty(); });
    ASSERT_NE(opened, nullptr) << "no window came; the program shows:" << Describe(*program);
    EXPECT_NE(TextOf(opened).find(L"ReadMe.txt"), std::wstring::npos) << Shown(TextOf(opened));
    EXPECT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(program->Running());
    EXPECT_NE(program->MainWindow(), nullptr);
    CloseOther(opened);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(Keys, ShiftF1ShowsTheAboutBoxAndEscClosesIt) {
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    const std::vector<HWND> before = AllWindows();
    // Typed input goes to the window in front, which another program's window on the same
    // display may take at any moment: try again then.
    HWND about = nullptr;
    for (int attempt = 0; attempt < 3 && about == nullptr; ++attempt) {
        ASSERT_TRUE(TypeKeys(*program, {VK_SHIFT, VK_F1})) << "the main window could not be brought to the front";
        WaitFor(
            [&] {
                const auto dialogs = program->Dialogs();
                about = dialogs.empty() ? nullptr : dialogs.front();
                return about != nullptr;
            },
            3s);
    }
    ASSERT_NE(about, nullptr) << "no about box; the program shows:" << Describe(*program);
    EXPECT_FALSE(IsMessageBox(about)) << Describe(*program);
    EXPECT_EQ(::GetWindow(about, GW_OWNER), program->MainWindow());
    // Shift+F1 is not F1: the read-me stays closed.
    HWND opened = nullptr;
    if (WaitFor([&] { return (opened = NewForeignWindow(*program, before)) != nullptr; }, 1s)) {
        ADD_FAILURE() << "a window of another program came: " << Shown(TextOf(opened));
        CloseOther(opened);
    }

    PostKey(about, VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(about) || !::IsWindowVisible(about); })) << Describe(*program);
    EXPECT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(program->Running());
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(Keys, EscClosesTheProgram) {
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(EscEndsNormally(*program));
}

}  // namespace
}  // namespace ombrevale::e2e
