// The image menu, image inspection and image creation.
#include <algorithm>
#include <climits>
#include <set>

#include "tests/unit/form_fixture.h"

namespace ombrevale::fakes {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::wstring kPath = L"C:\\Мои документы\\floppy images\\boot.vfd";

class ImagesTest : public FormTest {
protected:
    std::vector<std::wstring> HostCalls() const { return log.Only({L"host."}); }
};

TEST_F(ImagesTest, MenuDispatchesOnlyItsThreeItems) {
    struct Case {
        std::int16_t index;
        const wchar_t* shown;            // which dialog runs, if any
        std::vector<std::wstring> host;  // what reaches the host
    };
    const std::vector<Case> cases = {
        {1, L"open", {L"host.GetFloppyImageType(" + kPath + L")"}},
        {11, L"save", {L"host.CreateFloppyImage(" + kPath + L", 2)"}},
        {12, L"save", {L"host.CreateFloppyImage(" + kPath + L", 1)"}},
        {10, nullptr, {}},
        {0, nullptr, {}},
        {2, nullptr, {}},
        {13, nullptr, {}},
        {100, nullptr, {}},
        {-1, nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        log.Clear();
        support.dialogs.clear();
        support.dialogAnswers = {{true, kPath}};
        form.mnuImage_Click(c.index);
        if (c.shown) {
            ASSERT_EQ(support.dialogs.size(), 1u);
            EXPECT_EQ(support.dialogs[0]->shownAs, c.shown);
        } else {
            EXPECT_THAT(support.dialogs, IsEmpty());
        }
        EXPECT_THAT(HostCalls(), ::testing::ElementsAreArray(c.host));
    }
}

TEST_F(ImagesTest, MenuPopsUpAtTheButtonsTopRightCorner) {
    form.cmdImageMenu_Click();
    view.placement = {10.5f, 20.25f, 30.25f};
    form.cmdImageMenu_Click();
    EXPECT_THAT(log.Entries(),
                ElementsAre(L"frmMain.cmdImageMenuPlacement()", L"frmMain.PopupMenu(100, 1095.000000, 1140.000000, 2)",
                            L"frmMain.cmdImageMenuPlacement()", L"frmMain.PopupMenu(100, 40.750000, 20.250000, 2)"));
}

TEST_F(ImagesTest, ItemChosenInThePopupRunsItsCommand) {
    view.onPopup = [this] { form.mnuImage_Click(12); };
    support.dialogAnswers = {{true, kPath}};
    form.cmdImageMenu_Click();
    EXPECT_THAT(host.created, ElementsAre(std::make_pair(kPath, kLowDensity)));
}

// Each known code has words of its own; any other code, whatever its size or sign, is
// unexpected.
TEST_F(ImagesTest, InspectionNamesEveryFormat) {
    const auto inspected = [this](std::int32_t code) {
        support.boxes.shown.clear();
        host.imageTypes[kPath] = code;
        support.dialogAnswers = {{true, kPath}};
        EXPECT_TRUE(form.CheckImageFile().ok());
        EXPECT_EQ(support.boxes.shown.size(), 1u);
        if (support.boxes.shown.empty()) return std::wstring();
        const BoxRecord& box = support.boxes.shown[0];
        EXPECT_EQ(box.style, 64);
        EXPECT_EQ(box.text.rfind(kPath + L"\r\n\r\n", 0), 0u) << "the path and an empty line first";
        return box.text.substr(std::min(box.text.size(), kPath.size() + 4));
    };
    std::set<std::wstring> known;
    for (std::int32_t code = 0; code <= 6; ++code) known.insert(inspected(code));
    EXPECT_EQ(known.size(), 7u);
    EXPECT_EQ(known.count(L"Unexpected format."), 0u);
    EXPECT_EQ(inspected(1), L"A low density format (720K).");
    EXPECT_EQ(inspected(2), L"A high density format (1.44Mb).");
    for (std::int32_t code : {7, 1000000, INT32_MAX, -1, INT32_MIN}) EXPECT_EQ(inspected(code), L"Unexpected format.");
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(ImagesTest, ImageTheHostRefusesIsReportedWithItsPath) {
    host.faults.Fail(L"GetFloppyImageType");
    support.dialogAnswers = {{true, kPath}};
    ASSERT_TRUE(form.CheckImageFile().ok());
    ASSERT_THAT(support.reporter.reports,
                OnlyReport(FakeFailure(L"host", L"GetFloppyImageType"),
                           kPath + L"\r\n\r\nНе удалось прочитать образ. Возможно, он повреждён или вообще не является "
                                   L"образом."));
    EXPECT_EQ(support.reporter.reports[0].style, 16);
    EXPECT_THAT(support.boxes.shown, IsEmpty());
}

TEST_F(ImagesTest, CreationTellsSuccessAndLeavesTheDriveControlsAlone) {
    support.dialogAnswers = {{true, kPath}};
    ASSERT_TRUE(form.CreateImageFile(kHighDensity).ok());
    EXPECT_THAT(host.created, ElementsAre(std::make_pair(kPath, kHighDensity)));
    EXPECT_THAT(support.boxes.shown, ElementsAre(BoxRecord{kPath + L"\r\n\r\nОбраз дискеты успешно создан.", 64}));
    EXPECT_EQ(log.Count(L"txtStatus."), 0u);
    EXPECT_EQ(log.Count(L"cbo"), 0u);
}

TEST_F(ImagesTest, CreationFailureIsReportedWithItsPathAndNoSuccessBox) {
    host.faults.Fail(L"CreateFloppyImage");
    support.dialogAnswers = {{true, kPath}};
    ASSERT_TRUE(form.CreateImageFile(kLowDensity).ok());
    EXPECT_THAT(support.reporter.reports, OnlyReport(FakeFailure(L"host", L"CreateFloppyImage"),
                                                     kPath + L"\r\n\r\nНе удалось создать образ дискеты."));
    EXPECT_THAT(support.boxes.shown, IsEmpty());
}

TEST_F(ImagesTest, CancelledDialogMakesNoHostCallAndShowsNothing) {
    ASSERT_TRUE(form.CheckImageFile().ok());
    ASSERT_TRUE(form.CreateImageFile(kHighDensity).ok());
    EXPECT_THAT(HostCalls(), IsEmpty());
    EXPECT_THAT(support.boxes.shown, IsEmpty());
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(ImagesTest, BoxOrReporterFailureEndsTheCommandQuietly) {
    support.boxes.faults.Fail(L"Show");
    support.reporter.faults.Fail(L"ReportError");
    host.faults.Fail(L"CreateFloppyImage");
    support.dialogAnswers = {{true, kPath}, {true, kPath}};
    EXPECT_TRUE(form.CheckImageFile().ok());
    EXPECT_TRUE(form.CreateImageFile(kHighDensity).ok());
}

// The dialog step's failure passes out of the command itself ...
TEST_F(ImagesTest, DialogFailurePassesOutOfTheCommands) {
    support.dialogFaults.Fail(L"ShowOpen");
    support.dialogFaults.Fail(L"ShowSave");
    Status check = form.CheckImageFile();
    Status create = form.CreateImageFile(kHighDensity);
    ASSERT_FALSE(check.ok());
    ASSERT_FALSE(create.ok());
    EXPECT_EQ(check.failure(), FakeFailure(L"dialog1", L"ShowOpen"));
    EXPECT_EQ(create.failure(), FakeFailure(L"dialog2", L"ShowSave"));
    EXPECT_THAT(HostCalls(), IsEmpty());
}

// ... and the menu tells it, and its own failures, to the user and lets the program go on.
TEST_F(ImagesTest, MenuReportsFailuresAndGoesOn) {
    support.dialogFaults.Fail(L"ShowOpen");
    support.dialogFaults.Fail(L"ShowSave");
    form.mnuImage_Click(1);
    form.mnuImage_Click(11);
    view.faults.Fail(L"cmdImageMenuPlacement");
    form.cmdImageMenu_Click();
    view.faults = Faults();
    view.faults.Fail(L"PopupMenu");
    form.cmdImageMenu_Click();

    EXPECT_THAT(ReportMessages(),
                ElementsAre(L"Не удалось открыть окно выбора файла.", L"Не удалось открыть окно выбора файла.",
                            L"Не удалось показать меню образов.", L"Не удалось показать меню образов."));
    std::vector<Failure> failures;
    for (const auto& r : support.reporter.reports) failures.push_back(r.error);
    EXPECT_THAT(failures,
                ElementsAre(FakeFailure(L"dialog1", L"ShowOpen"), FakeFailure(L"dialog2", L"ShowSave"),
                            FakeFailure(L"frmMain", L"cmdImageMenuPlacement"), FakeFailure(L"frmMain", L"PopupMenu")));
    EXPECT_EQ(log.Count(L"frmMain.PopupMenu"), 1u);  // not shown without its placement

    // Without a reporter the failures go untold, and the window still goes on.
    support.faults.Fail(L"Reporter");
    form.cmdImageMenu_Click();
    form.mnuImage_Click(12);
}

}  // namespace
}  // namespace ombrevale::fakes
