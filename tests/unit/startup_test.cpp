// Main, the window's load step and its key handler.
#include "app/mod_main.h"
#include "tests/unit/form_fixture.h"

namespace ombrevale::fakes {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FakePlatform : public StartupPlatform, public Recorder {
public:
    explicit FakePlatform(CallLog* log) : Recorder(L"platform", log) {}
    bool giveNoHost = false;
    VirtualPCHost* shownWith = nullptr;

    void InitCommonControls() override { (void)Enter(L"InitCommonControls"); }
    Result<std::unique_ptr<VirtualPCHost>> CreateVirtualPC() override {
        if (auto f = Enter(L"CreateVirtualPC")) return *f;
        if (giveNoHost) return std::unique_ptr<VirtualPCHost>();
        return std::unique_ptr<VirtualPCHost>(std::make_unique<FakeHost>(log()));
    }
    Status ShowMainWindow(VirtualPCHost& host) override {
        if (auto f = Enter(L"ShowMainWindow")) return *f;
        shownWith = &host;
        return Ok();
    }
};

class MainTest : public ::testing::Test {
protected:
    Result<StartupOutcome> Run() { return Main(support, platform, host); }

    CallLog log;
    FakeSupport support{&log};
    FakePlatform platform{&log};
    std::unique_ptr<VirtualPCHost> host;
};

TEST_F(MainTest, PreparesConnectsAndShowsTheWindow) {
    auto outcome = Run();
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, StartupOutcome::Running);
    EXPECT_THAT(log.Entries(),
                ElementsAre(L"support.esRegisterAppPath()", L"platform.InitCommonControls()", L"support.esIsInIDE()",
                            L"support.esGetThunderMainHandle()", L"support.asSetWindowResIconAll(131104, A_MAIN)",
                            L"platform.CreateVirtualPC()", L"platform.ShowMainWindow()"));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(platform.shownWith, host.get());
}

TEST_F(MainTest, InsideTheIDETheApplicationWindowGetsNoIcon) {
    support.inIDE = true;
    ASSERT_TRUE(Run().ok());
    EXPECT_EQ(log.Count(L"support.esGetThunderMainHandle"), 0u);
    EXPECT_EQ(log.Count(L"support.asSetWindowResIconAll"), 0u);
    EXPECT_EQ(log.Count(L"platform.ShowMainWindow"), 1u);
}

TEST_F(MainTest, MissingVirtualPCIsReportedAndNoWindowOpens) {
    platform.faults.Fail(L"CreateVirtualPC",
                         Failure{static_cast<std::int32_t>(0x80040154u), L"Класс не зарегистрирован"});
    auto outcome = Run();
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, StartupOutcome::Ended);
    ASSERT_THAT(support.reporter.reports,
                OnlyReport(Failure{static_cast<std::int32_t>(0x80040154u), L"Класс не зарегистрирован"},
                           L"Не удалось создать объект VirtualPC. Возможно, VirtualPC не установлена в системе."));
    EXPECT_EQ(support.reporter.reports[0].style, 16);
    EXPECT_EQ(log.Count(L"platform.ShowMainWindow"), 0u);
    EXPECT_EQ(host, nullptr);
}

TEST_F(MainTest, ProgramEndsEvenWhenTheReportFails) {
    for (bool reporterMissing : {true, false}) {
        CallLog runLog;
        FakeSupport s(&runLog);
        FakePlatform p(&runLog);
        p.faults.Fail(L"CreateVirtualPC");
        if (reporterMissing)
            s.faults.Fail(L"Reporter");
        else
            s.reporter.faults.Fail(L"ReportError");
        std::unique_ptr<VirtualPCHost> h;
        auto outcome = Main(s, p, h);
        ASSERT_TRUE(outcome.ok());
        EXPECT_EQ(*outcome, StartupOutcome::Ended);
        EXPECT_EQ(runLog.Count(L"platform.ShowMainWindow"), 0u);
    }
}

TEST_F(MainTest, HostCreatedEmptyCountsAsAFailure) {
    platform.giveNoHost = true;
    auto outcome = Run();
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, StartupOutcome::Ended);
    EXPECT_EQ(support.reporter.reports.size(), 1u);
    EXPECT_EQ(log.Count(L"platform.ShowMainWindow"), 0u);
}

TEST_F(MainTest, UntrappedStepsPassTheirFailureUp) {
    struct Case {
        const wchar_t* who;
        const wchar_t* op;
    };
    for (const Case& c : {Case{L"support", L"esRegisterAppPath"}, Case{L"support", L"esIsInIDE"},
                          Case{L"support", L"esGetThunderMainHandle"}, Case{L"support", L"asSetWindowResIconAll"},
                          Case{L"platform", L"ShowMainWindow"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.op)));
        CallLog runLog;
        FakeSupport s(&runLog);
        FakePlatform p(&runLog);
        (std::wstring(c.who) == L"support" ? s.faults : p.faults).Fail(c.op);
        std::unique_ptr<VirtualPCHost> h;
        auto outcome = Main(s, p, h);
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.failure(), FakeFailure(c.who, c.op));
        EXPECT_THAT(s.reporter.reports, IsEmpty());
        // Only the showing of the window comes after the host's creation.
        EXPECT_EQ(runLog.Count(L"platform.CreateVirtualPC"), std::wstring(c.op) == L"ShowMainWindow" ? 1u : 0u);
    }
}

class LoadAndKeysTest : public FormTest {};

TEST_F(LoadAndKeysTest, LoadCentresSetsTheIconAndFillsTheLists) {
    host.AddMachine(L"M");
    ASSERT_TRUE(form.Form_Load().ok());
    EXPECT_THAT(log.Only({L"support.", L"frmMain.", L"cboVMName.Clear"}),
                ElementsAre(L"frmMain.hWnd()", L"support.asCenterFormEx(65552)", L"support.esIsInIDE()",
                            L"frmMain.hWnd()", L"support.asSetWindowResIconAll(65552, A_MAIN)",
                            L"support.asFixUserControlsContainerWindow()", L"cboVMName.Clear()"));
    EXPECT_THAT(view.vmList.items, ElementsAre(L"M"));
}

TEST_F(LoadAndKeysTest, LoadInsideTheIDELeavesTheWindowWithoutIcon) {
    support.inIDE = true;
    ASSERT_TRUE(form.Form_Load().ok());
    EXPECT_EQ(log.Count(L"frmMain.hWnd"), 1u);
    EXPECT_EQ(log.Count(L"support.asSetWindowResIconAll"), 0u);
    EXPECT_EQ(log.Count(L"support.asFixUserControlsContainerWindow"), 1u);
}

TEST_F(LoadAndKeysTest, LoadPassesItsFirstFailureUp) {
    for (const wchar_t* op :
         {L"asCenterFormEx", L"esIsInIDE", L"asSetWindowResIconAll", L"asFixUserControlsContainerWindow"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(op)));
        support.faults = Faults();
        support.faults.Fail(op);
        log.Clear();
        Status loaded = form.Form_Load();
        ASSERT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.failure(), FakeFailure(L"support", op));
        EXPECT_EQ(log.Count(L"cboVMName."), 0u);
    }
    support.faults = Faults();
    view.faults.Fail(L"hWnd");
    EXPECT_FALSE(form.Form_Load().ok());
    view.faults = Faults();
    host.faults.Fail(L"Machines");
    Status loaded = form.Form_Load();
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.failure(), FakeFailure(L"host", L"Machines"));
}

TEST_F(LoadAndKeysTest, KeyTable) {
    struct Case {
        std::int16_t key;
        std::int16_t shift;
        std::vector<std::wstring> calls;
    };
    const std::vector<Case> cases = {
        {112,
         1,
         {L"about.ShowAbout(65552, Quorvex - Ombrevale, , null, Посвящается всем, кто до сих пор хранит свои "
          L"дискеты.)"}},
        {112, 0, {L"support.esOpenReadMeFile(0)"}},
        {27, 0, {L"frmMain.Unload()"}},
        {112, 2, {}},
        {112, 4, {}},
        {112, 3, {}},
        {112, 5, {}},
        {27, 1, {}},
        {27, 2, {}},
        {113, 0, {}},
        {13, 0, {}},
        {0, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.key) + "/" + std::to_string(c.shift));
        log.Clear();
        ASSERT_TRUE(form.Form_KeyDown(c.key, c.shift).ok());
        // What each key does; how the about box and the owner are got is the code's affair.
        EXPECT_THAT(log.Only({L"about.", L"support.esOpenReadMeFile", L"frmMain.Unload"}),
                    ::testing::ElementsAreArray(c.calls));
    }
    EXPECT_TRUE(view.unloaded);
}

TEST_F(LoadAndKeysTest, KeyHandlerPassesFailuresUp) {
    support.about.faults.Fail(L"ShowAbout");
    support.faults.Fail(L"esOpenReadMeFile");
    view.faults.Fail(L"Unload");
    Status about = form.Form_KeyDown(112, 1);
    Status readMe = form.Form_KeyDown(112, 0);
    Status unload = form.Form_KeyDown(27, 0);
    ASSERT_FALSE(about.ok());
    ASSERT_FALSE(readMe.ok());
    ASSERT_FALSE(unload.ok());
    EXPECT_EQ(about.failure(), FakeFailure(L"about", L"ShowAbout"));
    EXPECT_EQ(readMe.failure(), FakeFailure(L"support", L"esOpenReadMeFile"));
    EXPECT_EQ(unload.failure(), FakeFailure(L"frmMain", L"Unload"));
    support.faults.Fail(L"About");
    EXPECT_FALSE(form.Form_KeyDown(112, 1).ok());
}

}  // namespace
}  // namespace ombrevale::fakes
