// The whole bridge under Wine against real QEMU machines, which run_with_qemu.sh starts
// and stops: "Альфа" (two floppy drives, a second monitor for this test's own checks),
// "Бета" (one drive, holding an image) and "Гамма" (listed, never started). The script runs
// the suites in turn: Live, then Killed after it kills Альфа, then Back after it restarts it.
//
// Every change is checked through the test's own monitor by the drive ids of QEMU's
// command line (fd0, fd1), not by the bridge's reading of units.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "hostcore/errors.h"
#include "hostcore/floppy_image.h"
#include "hostcore/user_file.h"
#include "hostcore/utf8.h"
#include "qemuhost/errors.h"
#include "qemuhost/machines_file.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

using std::chrono::steady_clock;
using ::testing::AllOf;
using ::testing::HasSubstr;

constexpr std::size_t kAlpha = 0, kBeta = 1, kGamma = 2;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    EXPECT_GT(length, 0u) << "run this test through run_with_qemu.sh";
    return std::wstring(value, length);
}

std::uint16_t Port(const wchar_t* name) { return static_cast<std::uint16_t>(std::stoi(Environment(name))); }
std::string AlphaPort() { return "127.0.0.1:" + std::to_string(Port(L"OMB_TEST_ALPHA_PORT")); }

// A file in the shared work folder: its Windows name, and the Unix name QEMU reports.
std::wstring Win(const std::wstring& name) { return Environment(L"OMB_TEST_WORK") + L"\\" + name; }
std::string Unix(const std::wstring& name) {
    return hostcore::WideToUtf8(Environment(L"OMB_TEST_WORK_UNIX") + L"/" + name);
}

void WriteZeros(const std::wstring& name, std::size_t size) {
    std::ofstream(std::filesystem::path(Win(name)), std::ios::binary | std::ios::trunc) << std::string(size, '\0');
}

std::string Text(const std::wstring& wide) { return hostcore::WideToUtf8(wide); }

struct Medium {
    std::string file;
    bool readOnly = false;
};

// What QEMU's drive `device` holds, asked on the test's own monitor of Альфа.
std::optional<Medium> InAlpha(const char* device) {
    auto connector = SystemConnector();
    auto session = QmpSession::Open(*connector, QmpAddress{0x7F000001, Port(L"OMB_TEST_CHECK_PORT")},
                                    steady_clock::now() + std::chrono::seconds(5), Milliseconds(2000));
    EXPECT_TRUE(session);
    if (!session) return std::nullopt;
    auto blocks = (*session)->Execute("query-block");
    EXPECT_TRUE(blocks);
    for (const Json& block : blocks ? *blocks->AsArray() : std::vector<Json>{}) {
        if (*block.Find("device")->AsString() != device) continue;
        const Json* inserted = block.Find("inserted");
        if (!inserted) return std::nullopt;
        return Medium{*inserted->Find("file")->AsString(), *inserted->Find("ro")->AsBool()};
    }
    ADD_FAILURE() << "no drive " << device;
    return std::nullopt;
}

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = OpenQemuBridge();
        ASSERT_TRUE(opened) << Text(opened.failure().description);
        bridge = std::move(*opened);
    }

    // Runs a call that must fail, says how long it took, and answers its failure.
    template <class Call>
    Failure Failing(const char* what, Call call) {
        const auto start = steady_clock::now();
        auto outcome = call();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
        std::printf("%s failed after %lld ms\n", what, static_cast<long long>(ms));
        EXPECT_FALSE(outcome);
        return outcome ? Failure{} : outcome.failure();
    }

    std::unique_ptr<QemuBackend> bridge;
};

using Live = Bridge;
using Killed = Bridge;
using Back = Bridge;

TEST_F(Live, ListsEveryMachineAndWhatItsDrivesHold) {
    EXPECT_EQ(*bridge->MachineCount(), 3u);
    // QEMU sends names outside ASCII as \u escapes, 𝔸 as a surrogate pair.
    EXPECT_EQ(*bridge->MachineName(kAlpha), L"Alpha 𝔸 Ω");
    EXPECT_EQ(*bridge->MachineName(kBeta), L"Бета");
    EXPECT_EQ(*bridge->MachineName(kGamma), L"Гамма");

    // Альфа's command line gives unit 1 first.
    ASSERT_EQ(*bridge->DriveCount(kAlpha), 2u);
    const auto first = *bridge->Drive(kAlpha, 0);
    EXPECT_EQ(first.number, 0);
    EXPECT_EQ(first.attachment, 1);
    EXPECT_EQ(first.imagePath, Win(L"boot.img"));
    const auto second = *bridge->Drive(kAlpha, 1);
    EXPECT_EQ(second.number, 1);
    EXPECT_EQ(second.attachment, 0);
    EXPECT_EQ(bridge->Drive(kBeta, 0)->imagePath, Win(L"held by beta.img"));

    const Failure down = Failing("Гамма's drives", [&] { return bridge->DriveCount(kGamma); });
    EXPECT_EQ(down.number, kMachineUnreachable);
    EXPECT_THAT(Text(down.description),
                AllOf(HasSubstr("«Гамма»"), HasSubstr("127.0.0.1:" + std::to_string(Port(L"OMB_TEST_DEAD_PORT")))));
}

TEST_F(Live, AttachesAndReleasesWithTheReadOnlyModeAlwaysGiven) {
    const std::wstring image = Win(L"Новая дискета.img");
    ASSERT_TRUE(bridge->CreateFloppyImage(image, hostcore::kFormat144M));
    EXPECT_EQ(*bridge->GetFloppyImageType(image), hostcore::kFormat144M);
    WriteZeros(L"locked.img", 737280);
    ASSERT_TRUE(SetFileAttributesW(Win(L"locked.img").c_str(), FILE_ATTRIBUTE_READONLY));

    auto attached = bridge->AttachImage(kAlpha, 1, image);
    ASSERT_TRUE(attached) << Text(attached.failure().description);
    auto medium = InAlpha("fd1");
    ASSERT_TRUE(medium);
    EXPECT_EQ(medium->file, Unix(L"Новая дискета.img"));
    EXPECT_FALSE(medium->readOnly);
    EXPECT_EQ(bridge->Drive(kAlpha, 1)->imagePath, image);
    EXPECT_EQ(bridge->ReleaseHostDrive(kAlpha, 1).failure().number, hostcore::kNoHostDriveAttached);
    ASSERT_TRUE(bridge->ReleaseImage(kAlpha, 1));
    EXPECT_FALSE(InAlpha("fd1"));

    // Read-only mode carries over in QEMU unless given: a writable image after a read-only
    // one must come out writable.
    ASSERT_TRUE(bridge->AttachImage(kAlpha, 1, Win(L"locked.img")));
    EXPECT_TRUE(InAlpha("fd1")->readOnly);
    ASSERT_TRUE(bridge->ReleaseImage(kAlpha, 1));
    ASSERT_TRUE(bridge->AttachImage(kAlpha, 1, image));
    EXPECT_FALSE(InAlpha("fd1")->readOnly);
    ASSERT_TRUE(bridge->ReleaseImage(kAlpha, 1));
}

TEST_F(Live, WhatQemuWouldTakeWrongIsRefusedAndNeverReportedAsDone) {
    // Бета holds this file writable: QEMU cannot lock it for Альфа, and leaves the drive empty.
    const Failure locked =
        Failing("a locked image", [&] { return bridge->AttachImage(kAlpha, 1, Win(L"held by beta.img")); });
    EXPECT_EQ(locked.number, kMediumNotTaken);
    EXPECT_THAT(Text(locked.description), AllOf(HasSubstr("lock"), HasSubstr("«Альфа»")));
    EXPECT_FALSE(InAlpha("fd1"));

    // QEMU takes a file of any size; the bridge does not.
    WriteZeros(L"odd.img", 1000);
    EXPECT_EQ(bridge->AttachImage(kAlpha, 1, Win(L"odd.img")).failure().number, kNotFloppySize);
    EXPECT_FALSE(InAlpha("fd1"));

    // Host drive A: is /dev/fd0, which only a machine with a floppy controller has.
    const Status host = bridge->AttachHostDrive(kAlpha, 1, L"A:");
    if (host) {
        EXPECT_EQ(bridge->Drive(kAlpha, 1)->hostDriveLetter, L"A:");
        EXPECT_TRUE(bridge->ReleaseHostDrive(kAlpha, 1));
    } else {
        EXPECT_EQ(host.failure().number, kMediumNotTaken);
        EXPECT_THAT(Text(host.failure().description), HasSubstr("/dev/fd0"));
        EXPECT_FALSE(InAlpha("fd1"));
    }

    // Another name (a symbolic link) for the image that Бета holds.
    const std::string before = [] {
        std::ifstream in(std::filesystem::path(Win(L"held by beta.img")), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    const Status replaced = bridge->CreateFloppyImage(Win(L"link to held.img"), hostcore::kFormat720K);
    ASSERT_FALSE(replaced);
    EXPECT_EQ(replaced.failure().number, hostcore::kImageInUse);
    EXPECT_THAT(Text(replaced.failure().description), HasSubstr("«Бета»"));
    std::ifstream in(std::filesystem::path(Win(L"held by beta.img")), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
}

TEST_F(Live, AMonitorBusyWithAnotherClientFailsTheCallInSeconds) {
    // The first client has the monitor; QEMU accepts the bridge's connection and says nothing.
    auto connector = SystemConnector();
    auto holder = connector->Connect(QmpAddress{0x7F000001, Port(L"OMB_TEST_ALPHA_PORT")}, Milliseconds(2000));
    ASSERT_TRUE(holder);
    EXPECT_EQ(*bridge->MachineName(kAlpha), L"Альфа");
    const Failure busy = Failing("a busy monitor", [&] { return bridge->Drive(kAlpha, 0); });
    EXPECT_EQ(busy.number, kMachineNotAnswering);
    EXPECT_THAT(Text(busy.description), AllOf(HasSubstr("«Альфа»"), HasSubstr(AlphaPort())));
    holder->reset();
    EXPECT_EQ(bridge->Drive(kAlpha, 0)->attachment, 1);
}

TEST(MachinesFile, TheTemplateIsWrittenWhereNoFileIsAndNeverOverOne) {
    auto files = hostcore::SystemFiles();
    const std::wstring path = Win(L"Новая папка\\machines.txt");
    ASSERT_TRUE(hostcore::WriteTextTemplate(*files, path, MachinesFileTemplate()));
    std::string text = [&] {
        std::ifstream in(std::filesystem::path(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    // For Notepad before Windows 10: the UTF-8 mark, and CR LF line ends.
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        ASSERT_EQ(text[at - 1], '\r') << "a bare line end at " << at;
    auto machines = ParseMachinesFile(text, path);
    ASSERT_TRUE(machines) << Text(machines.failure().description);
    EXPECT_TRUE(machines->empty());

    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << "Мой QEMU = 4444\n";
    ASSERT_TRUE(hostcore::WriteTextTemplate(*files, path, MachinesFileTemplate()));
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "Мой QEMU = 4444\n");
}

TEST_F(Killed, TheKilledMachineFailsNamedWhileTheOthersWork) {
    EXPECT_EQ(*bridge->MachineCount(), 3u);
    EXPECT_EQ(*bridge->MachineName(kAlpha), L"Альфа");
    const Failure gone = Failing("a killed QEMU", [&] { return bridge->Drive(kAlpha, 0); });
    EXPECT_EQ(gone.number, kMachineUnreachable);
    EXPECT_THAT(Text(gone.description), AllOf(HasSubstr("«Альфа»"), HasSubstr(AlphaPort())));
    const std::wstring image = Win(L"Новая дискета.img");
    EXPECT_EQ(Failing("attaching to it", [&] { return bridge->AttachImage(kAlpha, 1, image); }).number,
              kMachineUnreachable);
    EXPECT_EQ(bridge->Drive(kBeta, 0)->imagePath, Win(L"held by beta.img"));
}

TEST_F(Back, ARestartedMachineIsUsedAgain) {
    EXPECT_EQ(*bridge->MachineName(kAlpha), L"Alpha 𝔸 Ω");
    const std::wstring image = Win(L"Новая дискета.img");
    auto attached = bridge->AttachImage(kAlpha, 1, image);
    ASSERT_TRUE(attached) << Text(attached.failure().description);
    EXPECT_EQ(InAlpha("fd1")->file, Unix(L"Новая дискета.img"));
    EXPECT_EQ(bridge->Drive(kAlpha, 1)->imagePath, image);
}

}  // namespace
}  // namespace ombrevale::qemuhost
