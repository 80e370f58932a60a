// Run while nothing is registered under the VirtualPC class: the program can only say so.
#include "tests/e2e/program_test.h"

namespace ombrevale::e2e {
namespace {

using StartUp = ProgramTest;

TEST_F(StartUp, WithoutVirtualPCShowsOneMessageAndEnds) {
    WriteInventory(L"machine Не должна появиться\n    drive 0 empty\n");
    auto program = Program::Start(inventory_, ProgramFolder());
    ASSERT_TRUE(program) << "Ombrevale.exe did not start";

    HWND box = program->WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "no message; the program shows:" << Describe(*program);
    EXPECT_EQ(program->MainWindow(), nullptr) << "a main window shows beside the message";
    EXPECT_EQ(program->Windows().size(), 1u) << Describe(*program);
    const MessageBoxView message = ReadMessageBox(box);
    EXPECT_TRUE(BoxStartsWith(message,
                              L"Не удалось создать объект VirtualPC. Возможно, VirtualPC не установлена в системе."
                              L"\r\n\r\n",
                              BoxIcon::Stop))
        << Describe(*program);
    // The program waits for the user: the message stays until it is dismissed.
    ::Sleep(300);
    EXPECT_TRUE(program->Running());
    EXPECT_TRUE(::IsWindowVisible(box));

    PressButton(box, message.buttons.empty() ? IDOK : message.buttons.front());
    bool otherWindow = false;
    WaitFor([&] {
        for (HWND window : program->Windows())
            if (window != box) otherWindow = true;
        return otherWindow || !program->Running();
    });
    EXPECT_FALSE(otherWindow) << "after the message the program shows:" << Describe(*program);
    const auto code = program->WaitForExit();
    ASSERT_TRUE(code.has_value()) << "the program still runs:" << Describe(*program);
    EXPECT_NE(*code, 0u);
}

}  // namespace
}  // namespace ombrevale::e2e
