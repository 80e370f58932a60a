// Detaching and attaching through the real buttons, file dialog and message boxes.
#include "tests/e2e/program_test.h"

#include <ole2.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/drag_driver_win32.h"

namespace ombrevale::e2e {
namespace {

std::wstring RememberedFolder() {
    wchar_t value[32768] = {};
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quorvex\\Ombrevale\\OFN Paths", L"Last open VFD directory",
                       RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<none>";
    return value;
}

std::wstring WithoutTrailingSeparator(std::wstring folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

class DriveCommands : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        first_ = PathOf(L"Образы дискет\\first.vfd");
        second_ = PathOf(L"Образы дискет\\second disk.vfd");
        held_ = PathOf(L"held.vfd");
        MakeFloppy(first_, 2);
        MakeFloppy(second_, 1);
        MakeFloppy(held_, 2);
        WriteInventory(
            L"machine Рабочая машина\n"
            L"    drive 0 empty\n"
            L"    drive 1 host A:\n"
            L"machine Другая машина\n"
            L"    drive 0 image " +
            held_ + L"\nmachine Без дисководов\n");
    }

    MessageBoxView Detach(const Program& program) {
        ClickButton(program, kCmdDetach);
        return TakeMessageBox(program);
    }

    std::wstring first_, second_, held_;
};

TEST_F(DriveCommands, AttachReplaceAndDetachAnImage) {
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    EXPECT_TRUE(BoxSays(Attach(*program, first_), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + first_)), Shown(kAttached + first_));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    // The old image goes without a word; only the attach is told.
    EXPECT_TRUE(BoxSays(Attach(*program, second_), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + second_)), Shown(kAttached + second_));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    EXPECT_TRUE(BoxSays(Detach(*program), L"Образ отключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    EXPECT_TRUE(BoxSays(Detach(*program), L"Отключать нечего.", BoxIcon::Information));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kDetached));

    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(DriveCommands, ReleaseAHostDriveAndRefuseAnImageThatAnotherDriveHolds) {
    auto program = Launch();
    ASSERT_TRUE(program);

    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    ASSERT_EQ(Shown(WaitForStatus(*program, L"Подключено устройство: A:")), Shown(L"Подключено устройство: A:"));
    EXPECT_TRUE(BoxSays(Detach(*program), L"Устройство отключено.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    // The other machine's drive holds this image: the host refuses it here.
    EXPECT_TRUE(
        BoxStartsWith(Attach(*program, held_), held_ + L"\r\n\r\nНе удалось подключить образ.\r\n\r\n", BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kDetached));

    // The other machine still holds it.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 1));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + held_)), Shown(kAttached + held_));

    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(DriveCommands, AttachmentsAndTheLastFolderOutliveTheProgram) {
    const std::wstring folder = PathOf(L"Последняя папка");
    const std::wstring kept = folder + L"\\kept.vfd";
    const std::wstring next = folder + L"\\next.vfd";
    MakeFloppy(kept, 2);
    MakeFloppy(next, 2);
    {
        auto program = Launch();
        ASSERT_TRUE(program);
        EXPECT_TRUE(BoxSays(Attach(*program, kept), L"Образ подключен.", BoxIcon::Information));
        EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + kept)), Shown(kAttached + kept));
        ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
        ASSERT_EQ(Shown(WaitForStatus(*program, L"Подключено устройство: A:")), Shown(L"Подключено устройство: A:"));
        EXPECT_TRUE(BoxSays(Detach(*program), L"Устройство отключено.", BoxIcon::Information));
        EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
        ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
        EXPECT_TRUE(CloseNormally(*program));
    }
    EXPECT_EQ(Shown(WithoutTrailingSeparator(RememberedFolder())), Shown(folder));

    auto program = Launch();
    ASSERT_TRUE(program);
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + kept)), Shown(kAttached + kept));
    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    // The open dialog starts where the last image was chosen: a bare name is found there.
    ClickButton(*program, kCmdAttachImage);
    HWND dialog = program->WaitForFileDialog();
    ASSERT_NE(dialog, nullptr) << Describe(*program);
    const auto shown = DialogFolder(*program, dialog);
    ASSERT_TRUE(shown.has_value()) << "the dialog did not tell its folder";
    EXPECT_EQ(Shown(WithoutTrailingSeparator(*shown)), Shown(folder));
    ASSERT_TRUE(ChooseFile(*program, L"next.vfd")) << Describe(*program);
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + next)), Shown(kAttached + next));

    // A cancelled dialog changes nothing.
    ClickButton(*program, kCmdAttachImage);
    dialog = program->WaitForFileDialog();
    ASSERT_NE(dialog, nullptr) << Describe(*program);
    PressButton(dialog, IDCANCEL);
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kAttached + next));
    EXPECT_TRUE(CloseNormally(*program));
}

// F3 and Shift+F3 through a set of three disks, forward and back, with the last disk and
// a drive with no image.
TEST_F(DriveCommands, NextDiskKeysWalkASetOfThree) {
    std::vector<std::wstring> disks;
    for (const wchar_t* n : {L"1", L"2", L"3"}) {
        disks.push_back(PathOf(L"Набор\\Диск " + std::wstring(n) + L" из 3.vfd"));
        MakeFloppy(disks.back(), 2);
    }
    MakeFile(PathOf(L"Набор\\Диск 4 из 3.txt"), 10);
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    PostKey(program->MainWindow(), VK_F3);
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"В дисководе нет образа, менять нечего.", BoxIcon::Information));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    EXPECT_TRUE(BoxSays(Attach(*program, disks[0]), L"Образ подключен.", BoxIcon::Information));
    ASSERT_EQ(Shown(WaitForStatus(*program, kAttached + disks[0])), Shown(kAttached + disks[0]));
    const std::wstring remembered = RememberedFolder();

    // Each swap is one key press: the status line names the new disk, and no box comes.
    for (int disk : {1, 2}) {
        PostKey(program->MainWindow(), VK_F3);
        EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + disks[disk])), Shown(kAttached + disks[disk]));
        ASSERT_TRUE(program->WaitUntilIdle()) << "a box after the swap:" << Describe(*program);
    }
    PostKey(program->MainWindow(), VK_F3);
    EXPECT_TRUE(
        BoxSays(TakeMessageBox(*program), disks[2] + L"\r\n\r\nСледующего диска в папке нет.", BoxIcon::Information));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kAttached + disks[2]));

    // Back with Shift+F3, typed: a posted key carries no Shift. Typed input goes to the window
    // in front, which may be lost to another window: a press that changed nothing is repeated.
    for (int disk : {1, 0}) {
        const std::wstring expected = kAttached + disks[disk];
        bool swapped = false;
        for (int attempt = 0; attempt < 3 && !swapped; ++attempt) {
            ASSERT_TRUE(TypeKeys(*program, {VK_SHIFT, VK_F3})) << "the main window could not be brought to the front";
            swapped = WaitForStatus(*program, expected, 3s) == expected;
        }
        EXPECT_TRUE(swapped) << Shown(TextOf(program->Control(kTxtStatus)));
        ASSERT_TRUE(program->WaitUntilIdle()) << "a box after the swap:" << Describe(*program);
    }
    EXPECT_EQ(Shown(RememberedFolder()), Shown(remembered)) << "the keys moved the remembered folder";
    EXPECT_TRUE(CloseNormally(*program));
}

// Files dragged onto the window from another program through OLE, as from Explorer.
TEST_F(DriveCommands, DroppedImageIsAttachedAsIfChosenInTheDialog) {
    struct Ole {
        HRESULT result = ::OleInitialize(nullptr);
        ~Ole() {
            if (SUCCEEDED(result)) ::OleUninitialize();
        }
    } ole;
    ASSERT_TRUE(SUCCEEDED(ole.result));
    const std::wstring folder = PathOf(L"Брошенные образы");
    const std::wstring boot = folder + L"\\boot.vfd", second = folder + L"\\second.vfd";
    MakeFloppy(boot, 2);
    MakeFloppy(second, 1);
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    const HWND status = program->Control(kTxtStatus);

    const DragOutcome one = DragFiles(status, {boot});
    EXPECT_EQ(one.result, DRAGDROP_S_DROP);
    EXPECT_EQ(one.shown, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(one.dropped, static_cast<DWORD>(DROPEFFECT_COPY));
    // While the program's box is open, the window takes no drop.
    ASSERT_NE(program->WaitForMessageBox(), nullptr) << Describe(*program);
    EXPECT_EQ(DragFiles(status, {second}).shown, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + boot)), Shown(kAttached + boot));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a drop came through the box:" << Describe(*program);
    EXPECT_EQ(Shown(WithoutTrailingSeparator(RememberedFolder())), Shown(folder));

    // Two files, or a folder: one box each, and nothing attached.
    const std::vector<std::pair<std::vector<std::wstring>, std::wstring>> refused = {
        {{boot, second}, L"Подключить можно только один образ: перетащите в окно один файл."},
        {{folder}, folder + L"\r\n\r\nЭто папка, а не файл образа."},
    };
    for (const auto& [paths, text] : refused) {
        DragFiles(status, paths);
        EXPECT_TRUE(BoxSays(TakeMessageBox(*program), text, BoxIcon::Information));
        ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
        EXPECT_EQ(Shown(TextOf(status)), Shown(kAttached + boot));
    }

    // A machine without drives: the cursor says no, and a drop changes nothing.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 2));
    ASSERT_TRUE(WaitFor([&] { return ComboItems(program->Control(kCboFloppyDrives)).empty(); }));
    EXPECT_EQ(DragFiles(status, {second}).shown, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 0));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + boot)), Shown(kAttached + boot));
    EXPECT_TRUE(CloseNormally(*program));
}

}  // namespace
}  // namespace ombrevale::e2e
