// The image menu's commands: inspecting and creating images through the real dialogs.
#include "tests/e2e/program_test.h"

#include <cstdint>

namespace ombrevale::e2e {
namespace {

constexpr wchar_t kCreated[] = L"\r\n\r\nОбраз дискеты успешно создан.";

class ImageMenu : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        held_ = PathOf(L"held.vfd");
        MakeFloppy(held_, 1);
        WriteInventory(
            L"machine Машина\n"
            L"    drive 0 image " +
            held_ + L"\n");
    }

    // Creation and inspection leave the drives and the status line alone.
    void ExpectDrivesUntouched(const Program& program) {
        ASSERT_TRUE(program.WaitUntilIdle()) << "a second message:" << Describe(program);
        EXPECT_EQ(Shown(TextOf(program.Control(kTxtStatus))), Shown(L"Подключен образ: " + held_));
    }

    std::wstring held_;
};

TEST_F(ImageMenu, InspectionTellsEachFormat) {
    struct Sample {
        const wchar_t* name;
        std::uint64_t size;
        const wchar_t* description;
    };
    const Sample samples[] = {
        {L"single sided.vfd", 368640, L"A single-sided low density format."},
        {L"720K.vfd", 737280, L"A low density format (720K)."},
        {L"1.2M.vfd", 1228800, L"A medium density format (1.2Mb)."},
        {L"1.44M.vfd", 1474560, L"A high density format (1.44Mb)."},
        {L"DMF.vfd", 1720320, L"A distribution media format (1.68Mb)."},
        {L"XDF.vfd", 1884160,
         L"A high-density Multiple Sector Size (MSS), used by eXtended Distribution Format (XDF)."},
        {L"odd size.vfd", 1474560 + 512, L"Unknown format."},
    };
    for (const Sample& sample : samples) MakeFile(PathOf(sample.name), sample.size);
    // A formatted image, in a folder and under a name with Cyrillic letters and blanks.
    const std::wstring russian = PathOf(L"Мои дискеты\\Дискета с играми 720 КБ.vfd");
    MakeFloppy(russian, 1);

    auto program = Launch();
    ASSERT_TRUE(program);
    for (const Sample& sample : samples) {
        const std::wstring path = PathOf(sample.name);
        EXPECT_TRUE(
            BoxSays(Run(*program, kMenuCheck, path), path + L"\r\n\r\n" + sample.description, BoxIcon::Information));
        ExpectDrivesUntouched(*program);
    }
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCheck, russian), russian + L"\r\n\r\nA low density format (720K).",
                        BoxIcon::Information));
    ExpectDrivesUntouched(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

// Leaves its two images for the FAT check that runs after it.
TEST_F(ImageMenu, CreatesHighAndLowDensityImages) {
    const std::wstring high = PathOf(L"high density.vfd");
    const std::wstring low = PathOf(L"Новая дискета 720 КБ.vfd");
    auto program = Launch();
    ASSERT_TRUE(program);

    EXPECT_TRUE(BoxSays(Run(*program, kMenuCreateHighDensity, high), high + kCreated, BoxIcon::Information));
    ExpectDrivesUntouched(*program);
    EXPECT_EQ(FileSize(high), 1474560u);

    EXPECT_TRUE(BoxSays(Run(*program, kMenuCreateLowDensity, low), low + kCreated, BoxIcon::Information));
    ExpectDrivesUntouched(*program);
    EXPECT_EQ(FileSize(low), 737280u);

    // The host tells what it made.
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCheck, high), high + L"\r\n\r\nA high density format (1.44Mb).",
                        BoxIcon::Information));
    EXPECT_TRUE(
        BoxSays(Run(*program, kMenuCheck, low), low + L"\r\n\r\nA low density format (720K).", BoxIcon::Information));
    ExpectDrivesUntouched(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(ImageMenu, RefusedCreationIsReportedAndTheImageKept) {
    auto program = Launch();
    ASSERT_TRUE(program);
    // The save dialog asks whether to replace the file; the host still refuses, since a
    // drive holds it.
    EXPECT_TRUE(BoxStartsWith(Run(*program, kMenuCreateHighDensity, held_, true),
                              held_ + L"\r\n\r\nНе удалось создать образ дискеты.\r\n\r\n", BoxIcon::Stop));
    ExpectDrivesUntouched(*program);
    EXPECT_EQ(FileSize(held_), 737280u);
    EXPECT_TRUE(CloseNormally(*program));
}

}  // namespace
}  // namespace ombrevale::e2e
