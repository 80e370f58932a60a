// The machine and drive lists and the status line, as the user sees them.
#include "tests/e2e/program_test.h"

#include <filesystem>

namespace ombrevale::e2e {
namespace {

using Lists = ProgramTest;
using Items = std::vector<std::wstring>;

TEST_F(Lists, ShowMachinesDrivesAndWhatEachDriveHolds) {
    const std::wstring image = PathOf(L"Образы\\Windows 95 boot.vfd");
    MakeFloppy(image, 2);
    WriteInventory(
        L"# three machines, one without drives\n"
        L"machine Рабочая станция\n"
        L"    drive 0 image " +
        image +
        L"\n"
        L"    drive 1 empty\n"
        L"    drive 3 host B:\n"
        L"machine Без дисководов\n"
        L"machine Test box\n"
        L"    drive 2 empty\n");
    auto program = Launch();
    ASSERT_TRUE(program);
    HWND machines = program->Control(kCboVMName);
    HWND drives = program->Control(kCboFloppyDrives);
    ASSERT_TRUE(machines && drives && program->Control(kTxtStatus));

    // At start the first machine and its first drive are chosen.
    EXPECT_EQ(ComboItems(machines), (Items{L"Рабочая станция", L"Без дисководов", L"Test box"}));
    EXPECT_EQ(ComboSelection(machines), 0);
    EXPECT_EQ(ComboItems(drives), (Items{L"Флоповод #0", L"Флоповод #1", L"Флоповод #3"}));
    EXPECT_EQ(ComboSelection(drives), 0);
    EXPECT_EQ(Shown(WaitForStatus(*program, L"Подключен образ: " + image)), Shown(L"Подключен образ: " + image));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    const std::wstring artifacts = ArtifactsFolder();
    std::filesystem::create_directories(std::filesystem::path(artifacts));
    const std::wstring picture = artifacts + L"\\e2e-main-window.bmp";
    EXPECT_TRUE(SaveScreenshot(program->MainWindow(), picture));
    EXPECT_GT(FileSize(picture), 54u + 300u * 100u * 3u) << Narrow(picture);

    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    EXPECT_EQ(Shown(WaitForStatus(*program, L"Отключено")), "Отключено");
    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 2));
    EXPECT_EQ(Shown(WaitForStatus(*program, L"Подключено устройство: B:")), Shown(L"Подключено устройство: B:"));

    // A machine without drives: an empty drive list, and the line keeps what it showed.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 1));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives).empty(); })) << Shown(ComboItems(drives).front());
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_EQ(ComboSelection(drives), -1);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(L"Подключено устройство: B:"));

    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 2));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives) == Items{L"Флоповод #2"}; }));
    // The program chooses the first drive just after it lists them.
    EXPECT_TRUE(WaitFor([&] { return ComboSelection(drives) == 0; }));
    EXPECT_EQ(Shown(WaitForStatus(*program, L"Отключено")), "Отключено");

    // Back to the first machine: its drives again, the first one chosen, whichever was before.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 0));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives).size() == 3; }));
    EXPECT_TRUE(WaitFor([&] { return ComboSelection(drives) == 0; }));
    EXPECT_EQ(Shown(WaitForStatus(*program, L"Подключен образ: " + image)), Shown(L"Подключен образ: " + image));

    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

}  // namespace
}  // namespace ombrevale::e2e
