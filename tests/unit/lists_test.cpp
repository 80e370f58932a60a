// Machine and drive lists, and the drive status line.
#include "drives/keyed_collection.h"
#include "tests/unit/form_fixture.h"

namespace ombrevale::fakes {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(KeyedCollectionTest, RefusesADuplicateKeyAndAMissingOne) {
    KeyedCollection<int> c;
    auto one = std::make_shared<int>(1);
    ASSERT_TRUE(c.Add(L"0", one).ok());
    Status again = c.Add(L"0", std::make_shared<int>(2));
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.failure().number, kKeyAlreadyUsed);
    EXPECT_EQ(*c.Item(L"0").value(), 1);  // the first object keeps its key

    auto missing = c.Item(L"1");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure().number, kNoItemWithKey);
    EXPECT_NE(missing.failure().description.find(L"1"), std::wstring::npos);
    EXPECT_FALSE(c.Add(L"2", nullptr).ok());
}

class ListsTest : public FormTest {};

TEST_F(ListsTest, LoadNestsDriveListAndStatusInsideTheChoices) {
    auto vm = host.AddMachine(L"Windows XP");
    auto drive = vm->AddDrive(0);
    drive->attachment = kAttachedImage;
    drive->imagePath = L"C:\\Образы\\boot disk.vfd";

    ASSERT_TRUE(form.FillMachineList().ok());

    EXPECT_THAT(
        log.Entries(),
        ElementsAre(L"cboVMName.Clear()", L"host.Machines()", L"host.Machines.Next()", L"vm0.Name()",
                    L"cboVMName.Append(Windows XP)", L"host.Machines.Next()", L"cboVMName.Count()",
                    L"cboVMName.Select(0)",
                    // FillDriveList, nested in the choice of machine 0
                    L"cboFloppyDrives.Clear()", L"cboVMName.Count()", L"cboVMName.Position()", L"vm0.FloppyDrives()",
                    L"vm0.FloppyDrives.Next()", L"vm0.drive0.DriveNumber()", L"cboFloppyDrives.Append(Флоповод #0)",
                    L"vm0.FloppyDrives.Next()", L"cboFloppyDrives.Count()", L"cboFloppyDrives.Select(0)",
                    // RefreshDriveStatus, nested in the choice of drive 0
                    L"txtStatus.SetText()", L"cboFloppyDrives.Count()", L"cboFloppyDrives.Position()",
                    L"vm0.drive0.Attachment()", L"vm0.drive0.ImagePath()",
                    L"txtStatus.SetText(Подключен образ: C:\\Образы\\boot disk.vfd)"));
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(ListsTest, NoMachinesLeavesBothListsAndTheStatusEmpty) {
    ASSERT_TRUE(form.FillMachineList().ok());
    EXPECT_THAT(view.vmList.items, IsEmpty());
    EXPECT_EQ(view.vmList.position, -1);
    EXPECT_EQ(log.Count(L"cboVMName.Select"), 0u);
    EXPECT_EQ(log.Count(L"cboFloppyDrives."), 0u);
    EXPECT_EQ(log.Count(L"txtStatus."), 0u);
}

TEST_F(ListsTest, ChoosingAnotherMachineRebuildsItsDrivesAndChoosesTheFirst) {
    auto a = host.AddMachine(L"Same");
    a->AddDrive(0);
    a->AddDrive(1);
    auto b = host.AddMachine(L"Same");  // same name: the keys keep them apart
    b->AddDrive(7)->attachment = kAttachedHostDrive;
    Load();
    ASSERT_TRUE(view.driveList.Select(1).ok());
    EXPECT_EQ(view.status.text, L"Отключено");

    ASSERT_TRUE(view.vmList.Select(1).ok());

    EXPECT_THAT(view.vmList.items, ElementsAre(L"Same", L"Same"));
    EXPECT_EQ(log.Count(L"vm0.FloppyDrives"), 0u);
    EXPECT_THAT(view.driveList.items, ElementsAre(L"Флоповод #7"));
    EXPECT_EQ(view.driveList.position, 0);
    EXPECT_EQ(view.status.text, L"Подключено устройство: A:");
}

TEST_F(ListsTest, MachineWithoutDrivesKeepsTheEarlierStatusText) {
    host.AddMachine(L"With")->AddDrive(0);
    host.AddMachine(L"Without");
    Load();
    ASSERT_EQ(view.status.text, L"Отключено");

    ASSERT_TRUE(view.vmList.Select(1).ok());

    EXPECT_THAT(view.driveList.items, IsEmpty());
    EXPECT_EQ(log.Count(L"cboFloppyDrives.Select"), 0u);
    EXPECT_EQ(log.Count(L"txtStatus."), 0u);
    EXPECT_EQ(view.status.text, L"Отключено");
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

// A drive whose number or item fails is left out, the next takes the free position, and
// every listed position still finds its own drive.
TEST_F(ListsTest, DriveThatCannotBeListedIsSkipped) {
    for (const wchar_t* op : {L"DriveNumber", L"Append"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(op)));
        FakeForm run;
        auto vm = run.host.AddMachine(L"M");
        vm->AddDrive(0);
        vm->AddDrive(1);
        vm->AddDrive(2)->attachment = kAttachedHostDrive;
        if (std::wstring(op) == L"DriveNumber")
            vm->drives[1]->faults.Fail(L"DriveNumber");
        else
            run.view.driveList.faults.FailCall(L"Append", 2);

        ASSERT_TRUE(run.form.FillMachineList().ok());
        EXPECT_THAT(run.view.driveList.items, ElementsAre(L"Флоповод #0", L"Флоповод #2"));
        EXPECT_THAT(run.support.reporter.reports, IsEmpty());

        ASSERT_TRUE(run.view.driveList.Select(1).ok());
        EXPECT_EQ(run.view.status.text, L"Подключено устройство: A:");
        EXPECT_EQ(run.log.Count(L"vm0.drive1.Attachment"), 0u);
    }
}

TEST_F(ListsTest, DrivesThatCannotBeObtainedAreNotListedAndNotReported) {
    host.AddMachine(L"Good")->AddDrive(0)->attachment = kAttachedImage;
    auto bad = host.AddMachine(L"Bad");
    bad->AddDrive(0);
    bad->faults.Fail(L"FloppyDrives");
    Load();
    const std::wstring before = view.status.text;

    ASSERT_TRUE(view.vmList.Select(1).ok());

    EXPECT_THAT(view.driveList.items, IsEmpty());
    EXPECT_EQ(log.Count(L"cboFloppyDrives.Select"), 0u);
    EXPECT_EQ(view.status.text, before);
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(ListsTest, WalkThatBreaksOffKeepsTheDrivesListedSoFar) {
    auto vm = host.AddMachine(L"M");
    vm->AddDrive(3);
    vm->AddDrive(4);
    vm->faults.FailCall(L"FloppyDrives.Next", 2);
    ASSERT_TRUE(form.FillMachineList().ok());
    EXPECT_THAT(view.driveList.items, ElementsAre(L"Флоповод #3"));
    EXPECT_EQ(view.status.text, L"Отключено");
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(ListsTest, MachineMissingUnderTheChosenPositionIsReported) {
    host.AddMachine(L"M")->AddDrive(0);
    Load();
    view.vmList.items.push_back(L"stray");  // an item no key leads to
    view.vmList.position = 1;

    form.FillDriveList();

    ASSERT_THAT(support.reporter.reports, OnlyReport(FailureNumber(kNoItemWithKey), kGetObjectFailed));
    EXPECT_EQ(support.reporter.reports[0].style, 16);
    EXPECT_THAT(view.driveList.items, IsEmpty());
    EXPECT_EQ(log.Count(L"vm0.FloppyDrives"), 0u);
}

TEST_F(ListsTest, FailureToEmptyTheDriveListIsReportedAtTheLookUp) {
    host.AddMachine(L"M")->AddDrive(0);
    Load();
    view.driveList.faults.Fail(L"Clear");
    form.FillDriveList();
    EXPECT_THAT(support.reporter.reports, OnlyReport(FakeFailure(L"cboFloppyDrives", L"Clear"), kGetObjectFailed));
    EXPECT_EQ(log.Count(L"vm0.FloppyDrives"), 0u);
}

TEST_F(ListsTest, UnreadableMachineCountStopsSilently) {
    host.AddMachine(L"M")->AddDrive(0);
    Load();
    view.vmList.faults.Fail(L"Count");
    form.FillDriveList();
    EXPECT_EQ(log.Count(L"cboVMName.Position"), 0u);
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

// An unreadable drive count acts as if drives were listed: the first is chosen.
TEST_F(ListsTest, UnreadableDriveCountStillChoosesTheFirstDrive) {
    host.AddMachine(L"M")->AddDrive(0);
    view.driveList.faults.FailCall(L"Count", 1);
    ASSERT_TRUE(form.FillMachineList().ok());
    EXPECT_EQ(view.driveList.position, 0);
    EXPECT_EQ(view.status.text, L"Отключено");
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(ListsTest, FillMachineListPassesItsFirstFailureUp) {
    struct Case {
        const wchar_t* who;
        const wchar_t* op;
    };
    for (const Case& c : {Case{L"cboVMName", L"Clear"}, Case{L"host", L"Machines"}, Case{L"host", L"Machines.Next"},
                          Case{L"vm0", L"Name"}, Case{L"cboVMName", L"Append"}, Case{L"cboVMName", L"Count"},
                          Case{L"cboVMName", L"Select"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.who) + L"." + c.op));
        FakeForm run;
        auto vm = run.host.AddMachine(L"M");
        vm->AddDrive(0);
        run.host.AddMachine(L"N");
        Faults& faults = std::wstring(c.who) == L"host"  ? run.host.faults
                         : std::wstring(c.who) == L"vm0" ? vm->faults
                                                         : run.view.vmList.faults;
        faults.Fail(c.op);

        Status done = run.form.FillMachineList();

        ASSERT_FALSE(done.ok());
        EXPECT_EQ(done.failure(), FakeFailure(c.who, c.op));
        // Abandoned at the first failure: it is the last call made.
        EXPECT_EQ(run.log.Entries().back().rfind(std::wstring(c.who) + L"." + c.op + L"(", 0), 0u);
        EXPECT_EQ(run.log.Count(L"cboFloppyDrives."), 0u);
        EXPECT_THAT(run.support.reporter.reports, IsEmpty());
    }
}

struct StatusCase {
    std::int32_t attachment;
    const wchar_t* text;
    std::size_t imagePathReads;
    std::size_t hostLetterReads;
};

class StatusTest : public FormTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTest, TextFollowsTheAttachmentCode) {
    auto drive = host.AddMachine(L"M")->AddDrive(0);
    drive->imagePath = L"D:\\disk.vfd";
    drive->hostDriveLetter = L"B:";
    Load();
    drive->attachment = GetParam().attachment;

    form.RefreshDriveStatus();

    EXPECT_EQ(view.status.text, GetParam().text);
    EXPECT_EQ(log.Count(L"txtStatus.SetText"), 2u);  // emptied, then the whole text in one step
    EXPECT_EQ(log.Count(L"vm0.drive0.Attachment"), 1u);
    EXPECT_EQ(log.Count(L"vm0.drive0.ImagePath"), GetParam().imagePathReads);
    EXPECT_EQ(log.Count(L"vm0.drive0.HostDriveLetter"), GetParam().hostLetterReads);
}

INSTANTIATE_TEST_SUITE_P(Codes, StatusTest,
                         ::testing::Values(StatusCase{0, L"Отключено", 0, 0},
                                           StatusCase{1, L"Подключен образ: D:\\disk.vfd", 1, 0},
                                           StatusCase{2, L"Подключено устройство: B:", 0, 1},
                                           StatusCase{3, L"Неизвестно", 0, 0}, StatusCase{-1, L"Неизвестно", 0, 0}));

class RefreshTest : public FormTest {
protected:
    void SetUp() override {
        drive = host.AddMachine(L"M")->AddDrive(0);
        drive->attachment = kAttachedImage;
        drive->imagePath = L"D:\\disk.vfd";
        Load();
    }
    std::shared_ptr<FakeDrive> drive;
};

TEST_F(RefreshTest, EmptyImagePathShowsThePrefixAlone) {
    drive->imagePath = L"";
    form.RefreshDriveStatus();
    EXPECT_EQ(view.status.text, L"Подключен образ: ");
}

TEST_F(RefreshTest, UnreadableValuesLeaveTheLineEmptyWithoutAReport) {
    for (const wchar_t* op : {L"Attachment", L"ImagePath"}) {
        drive->faults.Fail(op);
        form.RefreshDriveStatus();
        EXPECT_EQ(view.status.text, L"");
        drive->faults.Heal(op);
    }
    drive->attachment = kAttachedHostDrive;
    drive->faults.Fail(L"HostDriveLetter");
    form.RefreshDriveStatus();
    EXPECT_EQ(view.status.text, L"");
    EXPECT_THAT(support.reporter.reports, IsEmpty());
}

TEST_F(RefreshTest, EmptyDriveListEmptiesTheLineAndNothingElse) {
    view.driveList.items.clear();
    view.driveList.position = -1;
    form.RefreshDriveStatus();
    EXPECT_THAT(log.Entries(), ElementsAre(L"txtStatus.SetText()", L"cboFloppyDrives.Count()"));
    EXPECT_EQ(view.status.text, L"");
}

TEST_F(RefreshTest, MissingDriveIsReportedAndTheLineStaysEmpty) {
    view.driveList.items.push_back(L"stray");
    view.driveList.position = 1;
    form.RefreshDriveStatus();
    EXPECT_THAT(support.reporter.reports, OnlyReport(FailureNumber(kNoItemWithKey), kGetObjectFailed));
    EXPECT_EQ(view.status.text, L"");
    EXPECT_EQ(log.Count(L"vm0.drive0."), 0u);
}

TEST_F(RefreshTest, FailureToEmptyTheLineIsReportedAtTheLookUp) {
    view.status.faults.FailCall(L"SetText", view.status.faults.Calls(L"SetText") + 1);
    form.RefreshDriveStatus();
    EXPECT_THAT(support.reporter.reports, OnlyReport(FakeFailure(L"txtStatus", L"SetText"), kGetObjectFailed));
    EXPECT_EQ(log.Count(L"vm0.drive0.Attachment"), 0u);
}

TEST_F(RefreshTest, ReporterThatFailsIsIgnored) {
    support.faults.Fail(L"Reporter");
    view.driveList.position = 5;
    form.RefreshDriveStatus();  // must simply return
    EXPECT_EQ(view.status.text, L"");
}

}  // namespace
}  // namespace ombrevale::fakes
