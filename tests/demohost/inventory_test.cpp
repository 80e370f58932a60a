#include "demohost/inventory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "hostcore/errors.h"
#include "hostcore/utf8.h"

namespace ombrevale::demohost {

using namespace hostcore;
namespace {

using ::testing::HasSubstr;

const std::wstring kFile = L"C:\\Users\\Тест\\Ombrevale Demo Host\\inventory.txt";

Inventory Parsed(const std::string& text) {
    auto inventory = ParseInventory(text, kFile);
    EXPECT_TRUE(inventory.ok()) << WideToUtf8(inventory.ok() ? L"" : inventory.failure().description);
    return inventory.ok() ? *inventory : Inventory{};
}

TEST(InventoryTest, ReadsMachinesAndDrivesInOrder) {
    const Inventory inventory = Parsed(
        "# comment\n"
        "machine Windows 98\n"
        "    drive 0 image C:\\Образы\\загрузочный диск.vfd\n"
        "    drive 1 empty\n"
        "\n"
        "machine MS-DOS 6.22\n"
        "\tdrive 7 host a:\n");
    ASSERT_EQ(inventory.machines.size(), 2u);
    EXPECT_EQ(inventory.machines[0].name, L"Windows 98");
    ASSERT_EQ(inventory.machines[0].drives.size(), 2u);
    EXPECT_EQ(inventory.machines[0].drives[0], (DriveEntry{0, Media::Image, L"C:\\Образы\\загрузочный диск.vfd"}));
    EXPECT_EQ(inventory.machines[0].drives[1], (DriveEntry{1, Media::Nothing, L""}));
    EXPECT_EQ(inventory.machines[0].drives[0].line, 3);
    EXPECT_EQ(inventory.machines[1].name, L"MS-DOS 6.22");
    EXPECT_EQ(inventory.machines[1].drives, (std::vector<DriveEntry>{{7, Media::HostDrive, L"A:"}}));
}

TEST(InventoryTest, RoundTripsRepeatedNamesNonLatinTextAndBlanks) {
    Inventory original;
    original.machines = {
        {L"Рабочая станция", {{0, Media::Image, L"D:\\Мои образы\\диск с пробелами .vfd"}, {1, Media::Nothing, {}}}},
        {L"Рабочая станция", {{2, Media::HostDrive, L"B:"}}},
        {L"Machine #1  with  inner  blanks", {}},
        {L"日本語 ✓ 𝄞", {{2147483647, Media::Image, L"\\\\server\\share\\a b\\x.vfd"}}},
    };
    const std::string text = FormatInventory(original);
    EXPECT_EQ(Parsed(text), original);
    // Saving what was read changes nothing, so an edit by hand survives the next save.
    EXPECT_EQ(FormatInventory(Parsed(text)), text);
}

TEST(InventoryTest, AcceptsWhatEditorsWrite) {
    const Inventory inventory = Parsed("\xEF\xBB\xBFMACHINE  Spaced name   \r\n  Drive 3   Image   C:\\a.vfd  \r\n");
    ASSERT_EQ(inventory.machines.size(), 1u);
    EXPECT_EQ(inventory.machines[0].name, L"Spaced name");
    EXPECT_EQ(inventory.machines[0].drives, (std::vector<DriveEntry>{{3, Media::Image, L"C:\\a.vfd"}}));
    EXPECT_TRUE(Parsed("").machines.empty());
    EXPECT_TRUE(Parsed("# nothing but a comment").machines.empty());
}

struct Malformed {
    const char* text;
    int line;
    const wchar_t* problem;
};

class MalformedInventoryTest : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedInventoryTest, NamesTheFileTheLineAndTheProblem) {
    const auto result = ParseInventory(GetParam().text, kFile);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().number, kMalformedInventory);
    const std::wstring expected = L"Ошибка в файле инвентаря «" + kFile + L"», строка " +
                                  std::to_wstring(GetParam().line) + L": " + GetParam().problem;
    EXPECT_THAT(WideToUtf8(result.failure().description), HasSubstr(WideToUtf8(expected)));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfLine, MalformedInventoryTest,
    ::testing::Values(
        Malformed{"machine A\n  disk 0 empty\n", 2, L"непонятное слово «disk»"},
        Malformed{"machine\n", 1, L"после «machine» не указано имя машины"},
        Malformed{"# c\n\ndrive 0 empty\nmachine A\n", 3, L"строка «drive» стоит раньше первой строки «machine»"},
        Malformed{"machine A\ndrive\n", 2, L"после «drive» не указан номер дисковода"},
        Malformed{"machine A\ndrive x empty\n", 2, L"номер дисковода «x» должен быть целым"},
        Malformed{"machine A\ndrive -1 empty\n", 2, L"номер дисковода «-1»"},
        Malformed{"machine A\ndrive 2147483648 empty\n", 2, L"номер дисковода «2147483648»"},
        Malformed{"machine A\ndrive 1 empty\ndrive 1 empty\n", 3, L"дисковод 1 машины «A» уже описан в строке 2"},
        Malformed{"machine A\ndrive 0\n", 2, L"не указано, что в дисководе"},
        Malformed{"machine A\ndrive 0 floppy\n", 2, L"непонятное содержимое дисковода «floppy»"},
        Malformed{"machine A\ndrive 0 empty now\n", 2, L"после «empty» лишний текст «now»"},
        Malformed{"machine A\ndrive 0 image   \n", 2, L"после «image» не указан путь к файлу образа"},
        Malformed{"machine A\ndrive 0 host AB:\n", 2, L"после «host» ожидалась буква дисковода вида «A:», а не «AB:»."},
        Malformed{"machine A\ndrive 0 host 1:\n", 2, L"после «host» ожидалась буква дисковода вида «A:», а не «1:»."},
        Malformed{"machine A\ndrive 0 host\n", 2, L"после «host» ожидалась буква дисковода вида «A:», а не «»."},
        Malformed{"machine A\nmachine \xC3\x28\n", 2, L"текст не в кодировке UTF-8"},
        Malformed{"machine A\r\nmachine B\x01\r\n", 2, L"в строке недопустимый управляющий символ."},
        Malformed{"machine A\rdrive 0 empty\r", 1,
                  L"строки разделены одиночными символами CR (возврат каретки), а допустимы только концы строк "
                  L"LF и CR LF."},
        Malformed{"machine A\r\ndrive 0 empty\r\rdrive 1 empty\r\n", 2, L"строки разделены одиночными символами CR"}));

// A repeated machine name is fine; a repeated drive number in another machine too. Numbers
// that a hash table would put in one bucket are found as well as any.
TEST(InventoryTest, DriveNumbersRepeatOnlyWithinAMachine) {
    const Inventory inventory = Parsed("machine A\ndrive 0 empty\nmachine A\ndrive 0 empty\n");
    EXPECT_EQ(inventory.machines.size(), 2u);

    std::string crafted = "machine A\n";
    for (int k = 0; k < 20000; ++k) crafted += "drive " + std::to_string(k * 20753) + " empty\n";
    EXPECT_EQ(Parsed(crafted).machines[0].drives.size(), 20000u);
    crafted += "drive 207530 empty\n";
    EXPECT_THAT(WideToUtf8(ParseInventory(crafted, kFile).failure().description),
                HasSubstr("строка 20002: дисковод 207530 машины «A» уже описан в строке 12"));
}

// Text as Notepad saves it as "Unicode": UTF-16 in either byte order, its mark optional.
std::string Utf16(std::u16string_view text, bool bigEndian, bool mark) {
    std::string bytes;
    for (char16_t unit : (mark ? u"\xFEFF" : u"") + std::u16string(text)) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(InventoryTest, NamesAFileSavedAsUtf16) {
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {false, true}) {
            const auto result =
                ParseInventory(Utf16(u"machine Альфа\r\n    drive 0 empty\r\n", bigEndian, mark), kFile);
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.failure(), (Failure{kMalformedInventory, L"Файл инвентаря «" + kFile +
                                                                          L"» сохранён в кодировке UTF-16; "
                                                                          L"сохраните его в кодировке UTF-8."}));
        }
    }
}

TEST(InventoryTest, HostDriveLettersAreNormalised) {
    EXPECT_EQ(NormalHostDriveLetter(L"a:"), L"A:");
    EXPECT_EQ(NormalHostDriveLetter(L"Z:"), L"Z:");
    EXPECT_EQ(NormalHostDriveLetter(L"A"), L"");
    EXPECT_EQ(NormalHostDriveLetter(L"A:\\"), L"");
    EXPECT_EQ(NormalHostDriveLetter(L"Ж:"), L"");
}

TEST(Utf8Test, RefusesMalformedSequences) {
    EXPECT_EQ(Utf8ToWide("\xD0\x96"), std::wstring(L"Ж"));
    EXPECT_EQ(WideToUtf8(L"𝄞Ж"), "\xF0\x9D\x84\x9E\xD0\x96");
    EXPECT_EQ(Utf8ToWide("\xF0\x9D\x84\x9E"), std::wstring(L"𝄞"));
    EXPECT_FALSE(Utf8ToWide("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(Utf8ToWide("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(Utf8ToWide("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(Utf8ToWide("\xD0"));              // cut short

    // Without its mark, UTF-16 is told by its zero bytes; a stray NUL or a binary file is not.
    EXPECT_FALSE(LooksLikeUtf16("machine A\n\0drive 0 empty\n"));
    EXPECT_FALSE(LooksLikeUtf16(std::string(737280, '\0')));
    EXPECT_FALSE(LooksLikeUtf16(""));

    // What UTF-8 cannot carry, where wchar_t is UTF-16 (Windows) and UTF-32 alike.
    EXPECT_FALSE(HasLoneSurrogate(L"C:\\𝄞Ж\\a.vfd"));
    EXPECT_TRUE(HasLoneSurrogate(std::wstring(L"C:\\") + static_cast<wchar_t>(0xD834) + static_cast<wchar_t>(0xD834)));
}

}  // namespace
}  // namespace ombrevale::demohost
