// The automation server as a process of its own: shared by the program and a script at
// once, dying under the program, and not answering it.
#include "tests/e2e/program_test.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/run_program_win32.h"

namespace ombrevale::e2e {
namespace {

constexpr wchar_t kServerGone[] = L"Сервер Virtual PC недоступен";
constexpr wchar_t kNotAnswering[] = L"Сервер Virtual PC не отвечает.";
// The demo server's test build, which stalls or dies where this variable says.
constexpr wchar_t kServerWithFaults[] = L"demo_host_with_faults.exe";
constexpr wchar_t kFaultVariable[] = L"OMBREVALE_SERVER_FAULT";

// Runs a program of the test folder to its end; its exit code, or -1.
DWORD RunBesideTheProgram(const std::wstring& program, const std::wstring& arguments) {
    return tests::RunProgram(ProgramFolder() + L"\\" + program, arguments);
}

// A script beside the program: a 64-bit late-bound client that attaches an image to a
// drive (positions from 1). Its exit code: 0 done, 1 refused, 2 server unreachable.
DWORD ScriptAttaches(int machine, int drive, const std::wstring& path) {
    return RunBesideTheProgram(L"host_client64.exe", L"attach " + std::to_wstring(machine) + L" " +
                                                         std::to_wstring(drive) + L" \"" + path + L"\"");
}

std::string FileText(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The boxes of the program's commands and the program's question, while a server fault
// is set for the server that the next program starts. The server is the demo server's
// test build, registered in the shipped one's place for these tests; unregistering it
// gives the shipped one back.
class ServerProcess : public ProgramTest {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunBesideTheProgram(kServerWithFaults, L"/RegServer /s"), 0u); }
    static void TearDownTestSuite() { EXPECT_EQ(RunBesideTheProgram(kServerWithFaults, L"/UnregServer /s"), 0u); }

    void SetUp() override {
        ProgramTest::SetUp();
        image_ = PathOf(L"образ.vfd");
        other_ = PathOf(L"другой образ.vfd");
        MakeFloppy(image_, 2);
        MakeFloppy(other_, 1);
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(kFaultVariable, nullptr);
        // A server stalled on purpose would outlive the test; one that died, or was ended,
        // must not stay registered with Wine's RPC service.
        EndProcessesOf(kServerWithFaults, 1s);
        ForgetDeadServers();
    }
    void Fault(const wchar_t* fault) { ::SetEnvironmentVariableW(kFaultVariable, fault); }

    // The program started on one machine whose drive holds image_, with `fault` set for
    // its server; null (and a failure recorded) unless it shows the image.
    std::unique_ptr<Program> LaunchShowingImage(const wchar_t* fault) {
        WriteInventory(L"machine Машина\n    drive 0 image " + image_ + L"\n");
        Fault(fault);
        auto program = Launch();
        if (!program) return nullptr;
        const std::wstring status = WaitForStatus(*program, kAttached + image_);
        if (status != kAttached + image_) {
            ADD_FAILURE() << "the status reads \"" << Shown(status) << "\", not the image";
            return nullptr;
        }
        return program;
    }

    static bool Contains(const MessageBoxView& box, const std::wstring& part) {
        return box.text.find(part) != std::wstring::npos;
    }

    // The program's question about a server that does not answer, answered with `button`.
    ::testing::AssertionResult AnswerQuestion(const Program& program, int button) {
        const MessageBoxView box = TakeMessageBox(program, 15s, button);
        if (box.window == nullptr) return ::testing::AssertionFailure() << "no question came:" << Describe(program);
        if (box.caption != kAppTitle || box.icon != BoxIcon::Warning || box.buttons != std::vector<int>{IDYES, IDNO} ||
            box.text.rfind(kNotAnswering, 0) != 0)
            return ::testing::AssertionFailure() << "not the question: \"" << Shown(box.text) << "\", icon "
                                                 << Name(box.icon) << ", " << box.buttons.size() << " buttons";
        return ::testing::AssertionSuccess();
    }

    std::wstring image_, other_;
};

TEST_F(ServerProcess, TheProgramAndAScriptShareOneStateAndLoseNoChange) {
    WriteInventory(L"machine Общая\n    drive 0 empty\n    drive 1 empty\nmachine Вторая\n    drive 0 empty\n");
    auto program = Launch();
    ASSERT_TRUE(program);
    ASSERT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    EXPECT_EQ(ProcessesOf(kServerWithFaults).size(), 1u);

    // The script puts an image into the second drive; the program attaches to the first.
    EXPECT_EQ(ScriptAttaches(1, 2, other_), 0u);
    EXPECT_EQ(ProcessesOf(kServerWithFaults).size(), 1u) << "one server serves both";
    EXPECT_TRUE(BoxSays(Attach(*program, image_), L"Образ подключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + image_)), Shown(kAttached + image_));

    // The program sees the script's change, and the script the program's.
    ASSERT_TRUE(ChooseEntry(*program, kCboFloppyDrives, 1));
    EXPECT_EQ(Shown(WaitForStatus(*program, kAttached + other_)), Shown(kAttached + other_));
    EXPECT_EQ(ScriptAttaches(2, 1, image_), 1u) << "one image is in one drive, whoever asks";

    ASSERT_TRUE(CloseNormally(*program));
    const std::string saved = FileText(inventory_);
    EXPECT_NE(saved.find(Narrow(image_)), std::string::npos) << saved;
    EXPECT_NE(saved.find(Narrow(other_)), std::string::npos) << saved;
}

TEST_F(ServerProcess, ADeadServerFailsEachCommandTheUsualWayAndTheWindowStaysUsable) {
    // The server dies in the middle of the release.
    auto program = LaunchShowingImage(L"ReleaseImage:die");
    ASSERT_TRUE(program);

    ClickButton(*program, kCmdDetach);
    MessageBoxView release = TakeMessageBox(*program);
    EXPECT_TRUE(BoxStartsWith(release, L"Не удалось освободить образ.", BoxIcon::Stop));
    EXPECT_TRUE(Contains(release, kServerGone)) << Shown(release.text);
    EXPECT_EQ(Shown(WaitForStatus(*program, L"")), "") << "the refresh finds nothing to show";
    ASSERT_TRUE(program->WaitUntilIdle()) << Describe(*program);
    EXPECT_TRUE(ProcessesOf(kServerWithFaults).empty());

    // Every later command meets the server gone.
    const auto saysServerGone = [&](const MessageBoxView& box, const std::wstring& start) {
        EXPECT_TRUE(BoxStartsWith(box, start, BoxIcon::Stop));
        EXPECT_TRUE(Contains(box, kServerGone)) << Shown(box.text);
        return program->WaitUntilIdle();
    };
    ASSERT_TRUE(saysServerGone(Attach(*program, other_), other_ + L"\r\n\r\nНе удалось подключить образ."))
        << Describe(*program);
    ASSERT_TRUE(saysServerGone(Run(*program, kMenuCheck, other_), other_ + L"\r\n\r\nНе удалось прочитать образ."))
        << Describe(*program);
    const std::wstring created = PathOf(L"новый.vfd");
    ASSERT_TRUE(saysServerGone(Run(*program, kMenuCreateHighDensity, created),
                               created + L"\r\n\r\nНе удалось создать образ дискеты."))
        << Describe(*program);

    // Choosing the machine again lists no drive and says nothing.
    ASSERT_TRUE(ChooseEntry(*program, kCboVMName, 0));
    ASSERT_TRUE(program->WaitUntilIdle()) << "a message:" << Describe(*program);
    EXPECT_TRUE(ComboItems(program->Control(kCboFloppyDrives)).empty());

    // Esc still closes the window, and the program ends normally.
    EXPECT_TRUE(EscEndsNormally(*program));
}

// The release takes eight seconds; after five the user is asked. Waiting on ends well.
TEST_F(ServerProcess, AServerThatStopsAnsweringLeavesTheWindowPaintingAndTheUserTheChoice) {
    auto program = LaunchShowingImage(L"ReleaseImage:stall:8");
    ASSERT_TRUE(program);

    ClickButton(*program, kCmdDetach);
    ::Sleep(1000);
    EXPECT_TRUE(Repaints(program->MainWindow())) << "the window does not repaint while the call waits";
    EXPECT_TRUE(AnswerQuestion(*program, IDYES));
    EXPECT_TRUE(BoxSays(TakeMessageBox(*program), L"Образ отключен.", BoxIcon::Information));
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    ASSERT_TRUE(CloseNormally(*program));
}

// Giving up fails the call the usual way. (Wine ends the wait only when the server
// answers at last; Windows ends it at once.) The release went through in the end, and
// the refresh shows it.
TEST_F(ServerProcess, GivingUpOnAServerThatDoesNotAnswerFailsTheCallTheUsualWay) {
    auto program = LaunchShowingImage(L"ReleaseImage:stall:8");
    ASSERT_TRUE(program);

    ClickButton(*program, kCmdDetach);
    EXPECT_TRUE(AnswerQuestion(*program, IDNO));
    MessageBoxView failed = TakeMessageBox(*program);
    EXPECT_TRUE(BoxStartsWith(failed, L"Не удалось освободить образ.", BoxIcon::Stop));
    EXPECT_TRUE(Contains(failed, L"Сервер Virtual PC не отвечает: вызов прерван.")) << Shown(failed.text);
    EXPECT_EQ(Shown(WaitForStatus(*program, kDetached)), Shown(kDetached));
    ASSERT_TRUE(program->WaitUntilIdle()) << "no other box:" << Describe(*program);

    EXPECT_TRUE(EscEndsNormally(*program));
}

}  // namespace
}  // namespace ombrevale::e2e
