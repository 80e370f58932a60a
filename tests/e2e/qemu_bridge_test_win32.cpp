// The real Ombrevale.exe with the QEMU bridge registered, against the real QEMU machines
// that run_qemu_e2e.sh starts: "Альфа" (QEMU's name "Alpha QEMU"; drive 0 holding
// first.img, drive 1 empty; a hard disk with 200 snapshots), "Бета" (drive 0 holding
// "held by beta.img" writable) and "Гамма" (never started), listed in both spellings of
// QEMU's -qmp option. Every change is checked on Альфа's second QMP monitor, which
// only these tests use, by the drive ids of QEMU's command line.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "qemuhost/system.h"
#include "tests/e2e/program_test.h"

namespace ombrevale::e2e {
namespace {

using qemuhost::Json;
using Items = std::vector<std::wstring>;

constexpr char kBootMark[] = "OMBREVALE-GUEST-BOOTED";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    EXPECT_TRUE(value && *value) << name << " is not set: run this test through run_qemu_e2e.sh";
    return value ? value : "";
}

std::uint16_t Port(const char* name) { return static_cast<std::uint16_t>(std::atoi(Variable(name).c_str())); }

// Files that the script made, beside the tests' own folders.
std::wstring Shared(const std::wstring& name) { return WorkFolder() + L"\\" + name; }

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A command on the tests' own monitor of Альфа; nothing when it failed (recorded).
std::optional<Json> Monitor(const char* command, Json arguments = {}) {
    auto connector = qemuhost::SystemConnector();
    auto session = qemuhost::QmpSession::Open(*connector, qemuhost::QmpAddress{0x7F000001, Port("OMB_QEMU_CHECK_PORT")},
                                              std::chrono::steady_clock::now() + std::chrono::seconds(5),
                                              std::chrono::milliseconds(2000));
    if (!session) {
        ADD_FAILURE() << "the tests' monitor of Альфа: " << Narrow(session.failure().description);
        return std::nullopt;
    }
    auto answer = (*session)->Execute(command, std::move(arguments));
    if (!answer) {
        ADD_FAILURE() << command << ": " << Narrow(answer.failure().description);
        return std::nullopt;
    }
    return *answer;
}

struct Medium {
    std::string file;  // as QEMU names it: a Unix path
    bool readOnly = false;
    friend bool operator==(const Medium&, const Medium&) = default;
};

std::ostream& operator<<(std::ostream& out, const std::optional<Medium>& medium) {
    if (!medium) return out << "(empty)";
    return out << medium->file << (medium->readOnly ? " (read-only)" : " (writable)");
}

// What Альфа's drive `device` ("fd0", "fd1") holds, as QEMU itself says.
std::optional<Medium> InAlpha(const char* device) {
    auto blocks = Monitor("query-block");
    if (!blocks || !blocks->AsArray()) return std::nullopt;
    for (const Json& block : *blocks->AsArray()) {
        const Json* name = block.Find("device");
        if (!name || !name->AsString() || *name->AsString() != device) continue;
        const Json* inserted = block.Find("inserted");
        if (!inserted) return std::nullopt;
        return Medium{*inserted->Find("file")->AsString(), *inserted->Find("ro")->AsBool()};
    }
    ADD_FAILURE() << "Альфа has no drive " << device;
    return std::nullopt;
}

// How many backing images Альфа's hard disk has, as QEMU counts them.
std::optional<std::int64_t> AlphaSnapshots() {
    auto blocks = Monitor("query-block");
    for (const Json& block : blocks && blocks->AsArray() ? *blocks->AsArray() : std::vector<Json>{}) {
        const Json* name = block.Find("device");
        const Json* inserted = block.Find("inserted");
        if (name && name->AsString() && *name->AsString() == "hd0" && inserted)
            return inserted->Find("backing_file_depth")->AsInteger();
    }
    return std::nullopt;
}

class QemuTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        held_ = Shared(L"held by beta.img");
        first_ = Shared(L"first.img");
    }

    // A test's file as QEMU names it.
    std::string UnixPathOf(const std::wstring& relative) const {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string path = Variable("OMBREVALE_E2E_WORK") + "/" + test->test_suite_name() + "." + test->name() + "/" +
                           Narrow(relative);
        for (char& c : path)
            if (c == '\\') c = '/';
        return path;
    }

    std::wstring held_, first_;
};

// Each test starts from the drives as the script made them, whatever the one before left.
class Bridge : public QemuTest {
protected:
    void SetUp() override {
        QemuTest::SetUp();
        if (HasFatalFailure()) return;
        if (InAlpha("fd1")) Monitor("eject", Json::Object({{"device", Json::String("fd1")}}));
        const std::string first = Variable("OMBREVALE_E2E_WORK") + "/first.img";
        if (InAlpha("fd0") != Medium{first, false}) {
            Monitor("blockdev-change-medium", Json::Object({{"device", Json::String("fd0")},
                                                            {"filename", Json::String(first)},
                                                            {"format", Json::String("raw")},
                                                            {"read-only-mode", Json::String("read-write")}}));
        }
    }
};

using Switch = ProgramTest;
using KilledQemu = Bridge;

// Run before the bridge is registered and again after it is unregistered.
TEST_F(Switch, TheDemoServerServesTheProgram) {
    WriteInventory(L"machine Демонстрационная машина\n    drive 0 empty\n");
    auto program = Launch();
    ASSERT_TRUE(program);
    EXPECT_EQ(ComboItems(program->Control(kCboVMName)), Items{L"Демонстрационная машина"});
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(Bridge, ListsTheMachinesTheirDrivesAndWhatEachHolds) {
    // query-block nests a level for each snapshot: Альфа is listed all the same, and every
    // test of this suite attaches and releases in its drives.
    EXPECT_EQ(AlphaSnapshots(), 200);
    auto program = Launch();
    ASSERT_TRUE(program);
    HWND drives = program->Control(kCboFloppyDrives);
    // QEMU's own name where the machine has one; the label for the others.
    EXPECT_EQ(ComboItems(program->Control(kCboVMName)), (Items{L"Alpha QEMU", L"Бета", L"Гамма"}));
    EXPECT_EQ(ComboItems(drives), (Items{L"Флоповод #0", L"Флоповод #1"}));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + first_)), Shown(kAttached + first_));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    const std::wstring artifacts = ArtifactsFolder();
    std::filesystem::create_directories(std::filesystem::path(artifacts));
    EXPECT_TRUE(SaveScreenshot(program->MainWindow(), artifacts + L"\\e2e-qemu-main-window.bmp"));

    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 1));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives) == Items{L"Флоповод #0"}; })) << Describe(*program);
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + held_)), Shown(kAttached + held_));

    // A machine that is not running has no drives to show, and says nothing more.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 2));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(drives).empty(); })) << Describe(*program);
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(Bridge, AttachesAndDetachesWithTheReadOnlyModeAlwaysGiven) {
    const std::wstring readOnly = PathOf(L"Образы\\только для чтения.img");
    const std::wstring writable = PathOf(L"Образы\\для записи.img");
    MakeFloppy(readOnly, 2);
    MakeFloppy(writable, 1);
    ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));

    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    ASSERT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    EXPECT_TRUE(BoxSays(Attach(*program, readOnly), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + readOnly)), Shown(kAttached + readOnly));
    EXPECT_EQ(InAlpha("fd1"), (Medium{UnixPathOf(L"Образы/только для чтения.img"), true}));

    // QEMU would keep the read-only mode of the medium before unless told otherwise. The
    // program releases that medium first: a swap, timed from the dialog's closing.
    EXPECT_TRUE(
        BoxSays(Attach(*program, writable, "a swap through the program, from the open dialog's closing to its message"),
                L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + writable)), Shown(kAttached + writable));
    EXPECT_EQ(InAlpha("fd1"), (Medium{UnixPathOf(L"Образы/для записи.img"), false}));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    ClickButton(*program, kCmdDetach);
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"Образ отключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    EXPECT_EQ(InAlpha("fd1"), std::nullopt);
    EXPECT_EQ(InAlpha("fd0"), (Medium{Variable("OMBREVALE_E2E_WORK") + "/first.img", false}));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(Bridge, WhatQemuCannotTakeIsReportedAndTheDriveStaysEmpty) {
    const std::wstring odd = PathOf(L"odd size.img");
    MakeFile(odd, 1000);
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    ASSERT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));

    // Бета holds this image writable: QEMU cannot lock it for Альфа and leaves the drive
    // empty, whatever it answered; the failure quotes QEMU.
    const MessageBoxView locked = Attach(*program, held_);
    EXPECT_TRUE(BoxStartsWith(locked,
                              held_ + kAttachFailed + L"Ошибка 0x80040245: QEMU не подключил образ «" + held_ +
                                  L"» к дисководу 1 машины «Альфа»: «",
                              BoxIcon::Stop));
    EXPECT_NE(locked.text.find(L"lock"), std::wstring::npos) << Shown(locked.text);
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kDetached));
    EXPECT_EQ(InAlpha("fd1"), std::nullopt);

    // QEMU would take a file of any size; a guest could not read it.
    EXPECT_TRUE(BoxSays(Attach(*program, odd),
                        odd + kAttachFailed + L"Ошибка 0x80040246: Образ «" + odd +
                            L"» не подключён: его размер (1000 байт) не подходит ни к одному формату дискеты, и "
                            L"гостевая система не сможет прочитать такой диск.",
                        BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kDetached));
    EXPECT_EQ(InAlpha("fd1"), std::nullopt);
    EXPECT_TRUE(CloseNormally(*program));
}

TEST_F(Bridge, InspectsAndCreatesImagesButNeverOverOneADriveHolds) {
    const std::wstring created = PathOf(L"Новая дискета.img");
    const std::wstring odd = PathOf(L"odd size.img");
    MakeFile(odd, 1474560 + 512);
    const std::string firstBefore = ReadAll(first_);
    auto program = Launch();
    ASSERT_TRUE(program);

    EXPECT_TRUE(BoxSays(Run(*program, kMenuCreateHighDensity, created),
                        created + L"\r\n\r\nОбраз дискеты успешно создан.", BoxIcon::Information));
    EXPECT_EQ(FileSize(created), 1474560u);
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCheck, created), created + L"\r\n\r\nA high density format (1.44Mb).",
                        BoxIcon::Information));
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCheck, odd), odd + L"\r\n\r\nUnknown format.", BoxIcon::Information));

    // Альфа's drive 0 holds first.img: a guest writing to it would lose its disk.
    const MessageBoxView refused = Run(*program, kMenuCreateLowDensity, first_, true);
    EXPECT_TRUE(BoxStartsWith(refused, first_ + L"\r\n\r\nНе удалось создать образ дискеты.\r\n\r\n", BoxIcon::Stop));
    EXPECT_NE(refused.text.find(L"«Альфа»"), std::wstring::npos) << Shown(refused.text);
    EXPECT_TRUE(ReadAll(first_) == firstBefore) << "first.img was replaced";
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);
    EXPECT_EQ(Shown(TextOf(program->Control(kTxtStatus))), Shown(kAttached + first_));
    EXPECT_TRUE(CloseNormally(*program));
}

// A 1.44 MB floppy whose boot sector writes kBootMark to the first serial port and halts.
void MakeBootFloppy(const std::wstring& path) {
    std::vector<unsigned char> image(1474560, 0);
    const unsigned char code[] = {
        0xFA,              //        cli
        0x31, 0xC0,        //        xor ax, ax
        0x8E, 0xD8,        //        mov ds, ax
        0xBE, 0x17, 0x7C,  //        mov si, 0x7C00 + 23 (the text)
        0xBA, 0xF8, 0x03,  //        mov dx, 0x3F8 (COM1)
        0xFC,              //        cld
        0xAC,              // next:  lodsb
        0x84, 0xC0,        //        test al, al
        0x74, 0x03,        //        jz halt
        0xEE,              //        out dx, al
        0xEB, 0xF8,        //        jmp next
        0xF4,              // halt:  hlt
        0xEB, 0xFD,        //        jmp halt
    };
    static_assert(sizeof code == 23);
    std::copy(std::begin(code), std::end(code), image.begin());
    std::copy(std::begin(kBootMark), std::end(kBootMark), image.begin() + sizeof code);  // with its 0
    image[510] = 0x55;
    image[511] = 0xAA;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    ASSERT_TRUE(out.good()) << Narrow(path);
}

TEST_F(Bridge, TheGuestBootsTheFloppyAttachedThroughTheProgram) {
    const std::wstring boot = PathOf(L"загрузочная дискета.img");
    MakeBootFloppy(boot);
    const std::wstring serial = Shared(L"serial.log");
    ASSERT_EQ(ReadAll(serial).find(kBootMark), std::string::npos);

    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_EQ(Shown(WaitForStatus(*program, kAttached + first_)), Shown(kAttached + first_));
    // The image in drive 0 goes first, then the boot floppy comes in.
    EXPECT_TRUE(BoxSays(Attach(*program, boot), L"Образ подключен.", BoxIcon::Information));
    ASSERT_EQ(InAlpha("fd0"), (Medium{UnixPathOf(L"загрузочная дискета.img"), false}));

    Monitor("system_reset");
    Monitor("cont");
    const bool booted = WaitFor([&] { return ReadAll(serial).find(kBootMark) != std::string::npos; });
    Monitor("stop");
    EXPECT_TRUE(booted) << "the guest wrote: \"" << ReadAll(serial) << "\"";
    EXPECT_TRUE(CloseNormally(*program));
}

// Kills Альфа's QEMU (a Unix process, started by the script) and waits until its monitor
// no longer takes connections.
bool KillAlpha() {
    std::wstring command = L"Z:\\bin\\sh -c \"kill -9 " + Widen(Variable("OMB_QEMU_ALPHA_PID")) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ::WaitForSingleObject(process.hProcess, 5000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    auto connector = qemuhost::SystemConnector();
    return WaitFor([&] {
        return !connector->Connect(qemuhost::QmpAddress{0x7F000001, Port("OMB_QEMU_CHECK_PORT")},
                                   std::chrono::milliseconds(500));
    });
}

TEST_F(KilledQemu, IsReportedThroughTheUsualPathAndTheWindowStaysUsable) {
    const std::wstring image = PathOf(L"дискета.img");
    MakeFloppy(image, 2);
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_EQ(Shown(WaitForStatus(*program, kAttached + first_)), Shown(kAttached + first_));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    ASSERT_TRUE(KillAlpha()) << "Альфа's QEMU still answers";

    // What the chosen drive holds can no longer be read: the line stays empty.
    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    EXPECT_EQ(Shown(WaitForStatus(*program, L"")), "");
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    ClickButton(*program, kCmdDetach);
    Timed("detach with QEMU killed, from the click to the message", [&] { return program->WaitForMessageBox(); });
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"Отключение не удалось.", BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    const std::wstring address = L"127.0.0.1:" + Widen(Variable("OMB_QEMU_ALPHA_PORT"));
    EXPECT_TRUE(BoxStartsWith(
        Attach(*program, image, "attach with QEMU killed, from the open dialog's closing to the message"),
        image + kAttachFailed + L"Ошибка 0x80040240: Машина QEMU «Альфа» (QMP " + address + L") недоступна",
        BoxIcon::Stop));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a second message:" << Describe(*program);

    // What needs no QEMU still works, and so do the other machines.
    EXPECT_TRUE(BoxSays(Run(*program, kMenuCheck, image), image + L"\r\n\r\nA high density format (1.44Mb).",
                        BoxIcon::Information));
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 1));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(program->Control(kCboFloppyDrives)) == Items{L"Флоповод #0"}; }));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + held_)), Shown(kAttached + held_));
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);

    EXPECT_TRUE(EscEndsNormally(*program));
}

}  // namespace
}  // namespace ombrevale::e2e
