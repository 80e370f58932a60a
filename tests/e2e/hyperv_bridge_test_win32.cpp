// The real Ombrevale.exe with the Hyper-V bridge registered, against the WMI simulation that
// run_hyperv_e2e.sh puts in WMI's place. Each test scripts what "Hyper-V" holds in the
// simulation's state file, and checks that file itself after every change, never through
// the bridge.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/e2e/program_test.h"

namespace ombrevale::e2e {
namespace {

using Items = std::vector<std::wstring>;

constexpr wchar_t kBridge[] = L"OmbrevaleHyperVHost.exe";
constexpr char kAlpha[] = "1A7D0F6C-5C1E-4E0B-9A77-0C2B3E4D5F60";

std::wstring Variable(const char* name) {
    const char* value = std::getenv(name);
    EXPECT_TRUE(value && *value) << name << " is not set: run this test through run_hyperv_e2e.sh";
    return Widen(value ? value : "");
}

void WriteText(const std::wstring& path, const std::wstring& text) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    const std::string utf8 = Narrow(text);
    out.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
}

std::wstring ReadText(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return Widen(std::string(std::istreambuf_iterator<char>(in), {}));
}

class HyperVTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        // A bridge left by an earlier test would still hold its hosts' connections.
        ASSERT_TRUE(EndProcessesOf(kBridge, 3s));
        Hosts(L"");
    }
    // What Hyper-V holds, in the simulation's own words (see its source).
    void Script(const std::wstring& state) { WriteText(Variable("OMBREVALE_WMI_SIMULATION"), state); }
    // The simulation's line for Alpha: a generation 1 machine of this computer, "Windows 98".
    static std::wstring AlphaLine() { return L"machine . " + Widen(kAlpha) + L" 1 Windows 98\n"; }
    std::wstring State() { return ReadText(Variable("OMBREVALE_WMI_SIMULATION")); }
    void Hosts(const std::wstring& hosts) { WriteText(Variable("OMBREVALE_HYPERV_HOSTS"), hosts); }
    std::wstring DiskOf(const char* machine) {
        const std::wstring state = State(), line = L"disk " + Widen(machine) + L" ";
        const auto at = state.find(line);
        if (at == std::wstring::npos) return L"(none)";
        return state.substr(at + line.size(), state.find(L'\n', at) - at - line.size());
    }
    // The program started where nothing can be served: the box it shows, and its end.
    MessageBoxView StartAndFail() {
        auto program = Program::Start(inventory_, ProgramFolder());
        if (!program) return {};
        MessageBoxView box = TakeMessageBox(*program);
        EXPECT_TRUE(program->WaitForExit().has_value()) << "the program did not end:" << Describe(*program);
        return box;
    }
};

using HyperV = HyperVTest;
using OldWindows = HyperVTest;

TEST_F(HyperV, ListsEveryHostAndAttachesSwapsAndReleasesInHyperV) {
    const std::wstring first = PathOf(L"Образы\\первый.vfd"), second = PathOf(L"Образы\\второй.vfd");
    MakeFloppy(first, 2);
    MakeFloppy(second, 1);
    // Changes here run as jobs that finish later; a host that is down costs the list no
    // more than its deadline.
    Script(L"host .\njobs . later\nhost hv-02\njobs hv-02 done\nhost hv-03 down\n" + AlphaLine() +
           L"machine . 2B000000-0000-0000-0000-000000000002 2 Windows Server 2022\n"
           L"machine hv-02 3C000000-0000-0000-0000-000000000003 1 MS-DOS 6.22\n"
           L"disk 3C000000-0000-0000-0000-000000000003 \\\\nas\\vfd\\dos.vfd\n");
    Hosts(L"# хосты\nhv-02\n\\\\hv-03\n");
    auto program = Launch();
    ASSERT_TRUE(program);
    HWND drives = program->Control(kCboFloppyDrives);
    EXPECT_EQ(ComboItems(program->Control(kCboVMName)),
              (Items{L"Windows 98", L"Windows Server 2022", L"hv-02: MS-DOS 6.22", L"hv-03: хост не отвечает"}));
    EXPECT_EQ(ComboItems(drives), Items{L"Флоповод #0"});
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    EXPECT_TRUE(BoxSays(Attach(*program, first), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + first)), Shown(kAttached + first));
    EXPECT_EQ(Shown(DiskOf(kAlpha)), Shown(first));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    // The program releases the image first, then puts the other in: two jobs.
    EXPECT_TRUE(BoxSays(Attach(*program, second, "a swap with jobs that finish later, from the open dialog's closing"),
                        L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(DiskOf(kAlpha)), Shown(second));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    ClickButton(*program, kCmdDetach);
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"Образ отключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    EXPECT_EQ(Shown(DiskOf(kAlpha)), "(none)");
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    // Generation 2 has no diskette drive; another host's machine shows what it holds; the
    // host that is down has nothing to show.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 1));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives).empty(); })) << Describe(*program);
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 2));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + std::wstring(L"\\\\nas\\vfd\\dos.vfd"))),
              Shown(kAttached + std::wstring(L"\\\\nas\\vfd\\dos.vfd")));
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 3));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives).empty(); })) << Describe(*program);
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(HyperV, InspectsAndCreatesImagesButNeverOverOneADriveHolds) {
    const std::wstring created = PathOf(L"Новая дискета.vfd"), held = PathOf(L"в дисководе.vfd");
    MakeFloppy(held, 1);
    Script(L"host .\n" + AlphaLine() + L"disk " + Widen(kAlpha) + L" " + held + L"\n");
    auto program = Launch();
    ASSERT_TRUE(program);
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCreateHighDensity, created),
                        created + L"\r\n\r\nОбраз дискеты успешно создан.", BoxIcon::Information));
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCheck, created), created + L"\r\n\r\nA high density format (1.44Mb).",
                        BoxIcon::Information));
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCreateHighDensity, held, true),
                        held +
                            L"\r\n\r\nНе удалось создать образ дискеты.\r\n\r\nОшибка 0x80040203: Нельзя заменить "
                            L"файл «" +
                            held + L"»: это образ, подключённый к дисководу 0 машины «Windows 98».",
                        BoxIcon::Stop));
    EXPECT_EQ(FileSize(held), 737280u) << "the held image was replaced";
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(HyperV, JobsThatFailOrRunOnHostsThatStopAnsweringAndMachinesThatAreGoneAreReportedInWords) {
    const std::wstring image = PathOf(L"дискета.vfd");
    MakeFloppy(image, 2);
    Script(L"host .\njobs . fails Не удалось открыть файл образа: отказано в доступе.\n" + AlphaLine());
    auto program = Launch();
    ASSERT_TRUE(program);
    EXPECT_TRUE(BoxSays(Attach(*program, image),
                        image + kAttachFailed + L"Ошибка 0x80040264: Hyper-V не смог вставить образ «" + image +
                            L"» (машина «Windows 98»): «Не удалось открыть файл образа: отказано в доступе.».",
                        BoxIcon::Stop));
    EXPECT_EQ(Shown(DiskOf(kAlpha)), "(none)");
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    // A job that does not end: the call gives up well before the program would ask the
    // user whether to wait.
    Script(L"host .\njobs . stuck\n" + AlphaLine());
    EXPECT_TRUE(BoxStartsWith(Attach(*program, image, "a job that does not end, from the open dialog's closing"),
                              image + kAttachFailed + L"Ошибка 0x80040265: Hyper-V не успел вставить образ",
                              BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    // Hyper-V stops answering under the open window: the call gives up in time.
    Script(L"host . down\n" + AlphaLine());
    EXPECT_TRUE(BoxSays(Attach(*program, image, "Hyper-V that stops answering, from the open dialog's closing"),
                        image + kAttachFailed +
                            L"Ошибка 0x80040260: Hyper-V на этом компьютере не отвечает: служба управления "
                            L"виртуальными машинами (vmms) остановлена или занята.",
                        BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));

    // A machine deleted under the open window.
    ASSERT_TRUE(EndProcessesOf(kBridge, 3s));
    Script(L"host .\n" + AlphaLine());
    program = Launch();
    ASSERT_TRUE(program);
    Script(L"host .\n");
    EXPECT_TRUE(BoxSays(Attach(*program, image),
                        image + kAttachFailed +
                            L"Ошибка 0x80040261: Машины «Windows 98» больше нет в Hyper-V: её удалили. Перезапустите "
                            L"Ombrevale, чтобы обновить список машин.",
                        BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(HyperV, WithNothingToServeTheProgramSaysWhyAndEnds) {
    const std::wstring failed = L"Непредвиденная ошибка. Программа будет закрыта.\r\n\r\n";
    Script(L"host . namespace\n");
    EXPECT_TRUE(BoxStartsWith(StartAndFail(),
                              failed + L"Ошибка 0x8004100E: Hyper-V не установлен на этом компьютере: в WMI нет "
                                       L"пространства имён root\\virtualization\\v2.",
                              BoxIcon::Stop));
    Script(L"host . access\n");
    const MessageBoxView denied = StartAndFail();
    EXPECT_TRUE(
        BoxStartsWith(denied, failed + L"Ошибка 0x80041003: Нет доступа к Hyper-V на этом компьютере", BoxIcon::Stop));
    EXPECT_NE(denied.text.find(L"«Администраторы Hyper-V» (Hyper-V Administrators)"), std::wstring::npos);
    // A computer without Hyper-V that manages a host that is down.
    Script(L"host . namespace\nhost hv-09 down\n");
    Hosts(L"hv-09\n");
    EXPECT_TRUE(BoxStartsWith(Timed("a start with the only host down, to the message", [&] { return StartAndFail(); }),
                              failed + L"Ошибка 0x80040260: Хост Hyper-V «hv-09» не отвечает", BoxIcon::Stop));
}

// Run in a prefix that reports Windows XP.
TEST_F(OldWindows, SayThatHyperVIsNotThere) {
    Script(L"host .\n" + AlphaLine());
    EXPECT_TRUE(BoxStartsWith(StartAndFail(),
                              L"Непредвиденная ошибка. Программа будет закрыта.\r\n\r\nОшибка 0x80040269: На этом "
                              L"компьютере нет Hyper-V, с которым работает мост: он есть в Windows 8 и Windows Server "
                              L"2012 и новее, а здесь Windows версии 5.1.",
                              BoxIcon::Stop));
}

}  // namespace
}  // namespace ombrevale::e2e
