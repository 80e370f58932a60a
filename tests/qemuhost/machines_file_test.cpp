// The machines file: what the user may write, and every refusal naming the file and line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qemuhost/errors.h"
#include "qemuhost/machines_file.h"

namespace ombrevale::qemuhost {
namespace {

using ::testing::HasSubstr;

QmpAddress Address(std::uint32_t ipv4, std::uint16_t port) { return QmpAddress{ipv4, port}; }

TEST(MachinesFile, ReadsLabelsAndEveryAddressForm) {
    const std::string text =
        "\xEF\xBB\xBF# Мои машины\r\n"
        "\r\n"
        "Windows 98 = 127.0.0.1:4444\r\n"
        "  MS-DOS 6.22\t=\t4445  \n"
        "Альфа-3 = tcp:10.0.0.2:4446,server=on,wait=off\n"
        "OS/2 = LOCALHOST:4447\n"
        // QEMU's older spelling, and monitors that listen on every address, dialled on loopback.
        "Old = tcp::4448,server,nowait\n"
        "Old too = tcp:localhost:4449,server,nowait\n"
        "Any = tcp:0.0.0.0:4450,server=on,wait=off\n"
        "Any6 = [::]:4451\n"
        "Pasted = -qmp \"tcp:127.0.0.1:4452,server=on,wait=off\"";
    auto machines = ParseMachinesFile(text, L"m.txt");
    ASSERT_TRUE(machines) << std::string(machines.failure().description.begin(), machines.failure().description.end());
    const std::vector<MachineEntry> expected{
        {L"Windows 98", Address(0x7F000001, 4444), 3}, {L"MS-DOS 6.22", Address(0x7F000001, 4445), 4},
        {L"Альфа-3", Address(0x0A000002, 4446), 5},    {L"OS/2", Address(0x7F000001, 4447), 6},
        {L"Old", Address(0x7F000001, 4448), 7},        {L"Old too", Address(0x7F000001, 4449), 8},
        {L"Any", Address(0x7F000001, 4450), 9},        {L"Any6", Address(0x7F000001, 4451), 10},
        {L"Pasted", Address(0x7F000001, 4452), 11},
    };
    EXPECT_EQ(*machines, expected);
    EXPECT_EQ((*machines)[2].address.Text(), L"10.0.0.2:4446");
    // The template lists nothing, but reads back.
    EXPECT_TRUE(ParseMachinesFile(MachinesFileTemplate(), L"t")->empty());
}

TEST(MachinesFile, RefusesMalformedLinesNamingFileAndLine) {
    EXPECT_EQ(ParseMachinesFile("ok = 1\n\nWindows 98 127.0.0.1:4444\n", L"C:\\m.txt").failure(),
              (Failure{kMalformedMachinesFile,
                       L"Ошибка в файле машин QEMU «C:\\m.txt», строка 3: ожидалась строка вида «<имя машины> = "
                       L"<адрес QMP>», например «Windows 98 = 127.0.0.1:4444»."}));
    const std::pair<const char*, const wchar_t*> bad[] = {
        {"= 4444", L"не указано имя машины"},
        {"A =  ", L"не указан адрес QMP"},
        {"A = 0", L"порт «0»"},
        {"A = 65536", L"порт «65536»"},
        {"A = 127.0.0.1:", L"порт «»"},
        {"A = 256.0.0.1:4444", L"непонятный адрес QMP «256.0.0.1:4444»"},
        {"A = qemu-host:4444", L"непонятный адрес QMP"},
        {"A = 1.2.3:4444", L"непонятный адрес QMP"},
        {"A = [::1]:4444", L"адрес IPv6 «[::1]» не подходит"},
        {"A = unix:/tmp/qmp.sock", L"только по TCP"},
        {"A = 4444\nB = tcp:127.0.0.1:4444", L"адрес QMP 127.0.0.1:4444 уже указан в строке 1"},
        {"A = 0.0.0.0:4444\nB = tcp::4444,server,nowait", L"строка 2: адрес QMP 127.0.0.1:4444 уже указан в строке 1"},
        {"A = \xD0", L"не в кодировке UTF-8"},
        {"A\x01 = 4444", L"управляющий символ"},
        {"A = 4444\rB = 4445\r", L"строка 1: строки разделены одиночными символами CR"},
        {"\xFF\xFE", L"Файл машин QEMU «f» сохранён в кодировке UTF-16; сохраните его в кодировке UTF-8."},
    };
    for (const auto& [text, problem] : bad) {
        auto machines = ParseMachinesFile(text, L"f");
        ASSERT_FALSE(machines) << text;
        EXPECT_EQ(machines.failure().number, kMalformedMachinesFile);
        EXPECT_THAT(machines.failure().description, HasSubstr(problem)) << text;
    }
}

// Every repeat is found in a file of any length, with no pair of lines compared.
TEST(MachinesFile, FindsRepeatsInALongFile) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "m = 10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":" +
                std::to_string(1 + i % 7) + "\n";
    EXPECT_EQ(ParseMachinesFile(text, L"f")->size(), 20000u);
    text += "again = tcp:10.0.40.3:1\n";  // i = 10003
    EXPECT_THAT(ParseMachinesFile(text, L"f").failure().description,
                HasSubstr(L"строка 20001: адрес QMP 10.0.40.3:1 уже указан в строке 10004"));
}

}  // namespace
}  // namespace ombrevale::qemuhost
