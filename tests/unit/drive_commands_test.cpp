// The detach and attach commands: every outcome with its boxes, reports, reads and refresh.
#include <functional>

#include "drives/keyed_collection.h"
#include "tests/unit/form_fixture.h"

namespace ombrevale::fakes {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::wstring kImage = L"D:\\disk.vfd";
const std::wstring kChosen = L"E:\\Мои образы\\dos 6.22.vfd";

// What the error reporter's log entry reads for a fake failure of drive0's `op`.
std::wstring Reported(const std::wstring& op, const std::wstring& message) {
    return L"reporter.ReportError([" + std::to_wstring(kFakeFailureNumber) + L" vm0.drive0." + op +
           L" failed], 16, 0, " + message + L", false)";
}
std::wstring Box(const std::wstring& text, int style) {
    return L"boxes.Show(" + text + L", " + std::to_wstring(style) + L")";
}

const wchar_t kAttachment[] = L"vm0.drive0.Attachment()";
const wchar_t kEmptyLine[] = L"txtStatus.SetText()";

// The refresh as it reads for each state the drive ends in.
const std::vector<std::wstring> kRefreshEmpty = {kEmptyLine, kAttachment, L"txtStatus.SetText(Отключено)"};
const std::vector<std::wstring> kRefreshOldImage = {kEmptyLine, kAttachment, L"vm0.drive0.ImagePath()",
                                                    L"txtStatus.SetText(Подключен образ: " + kImage + L")"};
const std::vector<std::wstring> kRefreshChosen = {kEmptyLine, kAttachment, L"vm0.drive0.ImagePath()",
                                                  L"txtStatus.SetText(Подключен образ: " + kChosen + L")"};
const std::vector<std::wstring> kRefreshHost = {kEmptyLine, kAttachment, L"vm0.drive0.HostDriveLetter()",
                                                L"txtStatus.SetText(Подключено устройство: A:)"};
const std::vector<std::wstring> kRefreshUnknown = {kEmptyLine, kAttachment, L"txtStatus.SetText(Неизвестно)"};

std::vector<std::wstring> Then(std::vector<std::wstring> head, const std::vector<std::wstring>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

struct Row {
    const char* name;
    std::int32_t attachment;                  // what the drive holds before the click
    std::function<void(FakeDrive&)> arrange;  // faults and scripted reads
    std::vector<std::wstring> expected;       // drive calls, boxes, reports and status line, in order
};

class DriveCommandTest : public FormTest {
protected:
    void SetUp() override {
        drive = host.AddMachine(L"M")->AddDrive(0);
        Load();
    }
    void Arrange(const Row& row) {
        drive->attachment = row.attachment;
        drive->imagePath = row.attachment == kAttachedImage ? kImage : L"";
        if (row.arrange) row.arrange(*drive);
    }
    // Fails drive0's next reads of Attachment: the first (1) or second (2) of the command.
    static std::function<void(FakeDrive&)> AttachmentFails(std::initializer_list<int> which) {
        return [reads = std::vector<int>(which)](FakeDrive& d) {
            const int before = d.faults.Calls(L"Attachment");
            for (int r : reads) d.faults.FailCall(L"Attachment", before + r);
        };
    }
    static std::function<void(FakeDrive&)> Fails(const wchar_t* op) {
        return [op](FakeDrive& d) { d.faults.Fail(op); };
    }
    static std::function<void(FakeDrive&)> Reads(std::initializer_list<std::int32_t> which) {
        return [values = std::vector<std::int32_t>(which)](FakeDrive& d) {
            d.scriptedAttachment.assign(values.begin(), values.end());
        };
    }
    std::vector<std::wstring> Trace() const {
        return log.Only({L"vm0.drive0.", L"boxes.", L"reporter.", L"txtStatus.", L"folders."});
    }

    std::shared_ptr<FakeDrive> drive;
};

TEST_F(DriveCommandTest, DetachOutcomes) {
    const std::vector<Row> rows = {
        {"nothing attached", 0, nullptr, Then({kAttachment, Box(L"Отключать нечего.", 64)}, kRefreshEmpty)},
        {"image, release fails", 1, Fails(L"ReleaseImage"),
         Then({kAttachment, L"vm0.drive0.ReleaseImage()", Reported(L"ReleaseImage", L"Не удалось освободить образ.")},
              kRefreshOldImage)},
        {"image released", 1, nullptr,
         Then({kAttachment, L"vm0.drive0.ReleaseImage()", Box(L"Образ отключен.", 64), kAttachment}, kRefreshEmpty)},
        {"image released, still attached", 1, Reads({1, 1}),
         Then({kAttachment, L"vm0.drive0.ReleaseImage()", Box(L"Образ отключен.", 64), kAttachment,
               Box(L"Отключение не удалось.", 16)},
              kRefreshEmpty)},
        {"host drive, release fails", 2, Fails(L"ReleaseHostDrive"),
         Then({kAttachment, L"vm0.drive0.ReleaseHostDrive()",
               Reported(L"ReleaseHostDrive", L"Не удалось освободить устройство.")},
              kRefreshHost)},
        {"host drive released", 2, nullptr,
         Then({kAttachment, L"vm0.drive0.ReleaseHostDrive()", Box(L"Устройство отключено.", 64), kAttachment},
              kRefreshEmpty)},
        {"host drive released, still attached", 2, Reads({2, 2}),
         Then({kAttachment, L"vm0.drive0.ReleaseHostDrive()", Box(L"Устройство отключено.", 64), kAttachment,
               Box(L"Отключение не удалось.", 16)},
              kRefreshEmpty)},
        {"unknown code", 3, nullptr,
         Then({kAttachment, Box(L"Не понятно, что отключать.", 64), kAttachment, Box(L"Отключение не удалось.", 16)},
              kRefreshUnknown)},
        {"unknown code, then empty", 0, Reads({3}),
         Then({kAttachment, Box(L"Не понятно, что отключать.", 64), kAttachment}, kRefreshEmpty)},
        {"unreadable, then empty", 0, AttachmentFails({1}), Then({kAttachment, kAttachment}, kRefreshEmpty)},
        {"unreadable, then an image", 1, AttachmentFails({1}),
         Then({kAttachment, kAttachment, Box(L"Отключение не удалось.", 16)}, kRefreshOldImage)},
        {"unreadable twice", 1, AttachmentFails({1, 2}),
         Then({kAttachment, kAttachment, Box(L"Отключение не удалось.", 16)}, kRefreshOldImage)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log.Clear();
        drive->faults = Faults();
        drive->scriptedAttachment.clear();
        Arrange(row);
        form.cmdDetach_Click();
        EXPECT_THAT(Trace(), ElementsAreArray(row.expected));
    }
}

TEST_F(DriveCommandTest, AttachOutcomes) {
    const std::wstring attachFailed = kChosen + L"\r\n\r\nНе удалось подключить образ.";
    const std::vector<Row> rows = {
        {"empty drive, good image", 0, nullptr,
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment, Box(L"Образ подключен.", 64)},
              kRefreshChosen)},
        {"another image, released silently", 1, nullptr,
         Then({kAttachment, L"vm0.drive0.ReleaseImage()", L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment,
               Box(L"Образ подключен.", 64)},
              kRefreshChosen)},
        {"host drive, released silently", 2, nullptr,
         Then({kAttachment, L"vm0.drive0.ReleaseHostDrive()", L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment,
               Box(L"Образ подключен.", 64)},
              kRefreshChosen)},
        {"image release fails",
         1,
         Fails(L"ReleaseImage"),
         {kAttachment, L"vm0.drive0.ReleaseImage()", Reported(L"ReleaseImage", L"Не удалось освободить образ.")}},
        {"host drive release fails",
         2,
         Fails(L"ReleaseHostDrive"),
         {kAttachment, L"vm0.drive0.ReleaseHostDrive()",
          Reported(L"ReleaseHostDrive", L"Не удалось освободить устройство.")}},
        {"drive refuses the image", 0, Fails(L"AttachImage"),
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", Reported(L"AttachImage", attachFailed)},
              kRefreshEmpty)},
        {"attached, drive still empty", 0, Reads({0, 0}),
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment, Box(attachFailed, 16)},
              kRefreshChosen)},
        {"attached, drive reports a host drive", 0, Reads({0, 2}),
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment, Box(L"Образ подключен.", 64)},
              kRefreshChosen)},
        // An unreadable first read releases nothing but no longer condemns the attach.
        {"first read fails, attach works", 1, AttachmentFails({1}),
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment, Box(L"Образ подключен.", 64)},
              kRefreshChosen)},
        {"both reads fail", 1, AttachmentFails({1, 2}),
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", kAttachment, Box(attachFailed, 16)},
              kRefreshChosen)},
        {"first read fails, attach fails", 0,
         [](FakeDrive& d) {
             AttachmentFails({1})(d);
             d.faults.Fail(L"AttachImage");
         },
         Then({kAttachment, L"vm0.drive0.AttachImage(" + kChosen + L")", Reported(L"AttachImage", attachFailed)},
              kRefreshEmpty)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log.Clear();
        drive->faults = Faults();
        drive->scriptedAttachment.clear();
        support.dialogAnswers = {{true, kChosen}};
        Arrange(row);
        form.cmdAttachImage_Click();
        EXPECT_THAT(Trace(), ElementsAreArray(row.expected));
    }
}

// The next-disk keys: the attach command with the set's next or previous disk, with no
// box when it works and the remembered folder left alone.
TEST_F(DriveCommandTest, NextDiskKeysWalkTheSetThroughTheAttachCommand) {
    const std::wstring folder = L"D:\\Win95\\";
    folders.files[folder] = {L"disk 01.vfd", L"disk 02.vfd", L"disk 04.vfd", L"disk 05.img"};
    drive->attachment = kAttachedImage;
    drive->imagePath = folder + L"disk 02.vfd";
    const std::wstring status = L"txtStatus.SetText(Подключен образ: ";
    const std::vector<std::pair<std::int16_t, std::wstring>> presses = {
        {0, L"disk 04.vfd"}, {1, L"disk 02.vfd"}, {1, L"disk 01.vfd"}};
    for (const auto& [shift, disk] : presses) {
        SCOPED_TRACE(::testing::Message() << disk);
        log.Clear();
        ASSERT_TRUE(form.Form_KeyDown(114, shift).ok());
        const std::vector<std::wstring> expected = {kAttachment,
                                                    L"vm0.drive0.ImagePath()",
                                                    L"folders.FileNames(" + folder + L")",
                                                    kAttachment,
                                                    L"vm0.drive0.ReleaseImage()",
                                                    L"vm0.drive0.AttachImage(" + folder + disk + L")",
                                                    kAttachment,
                                                    kEmptyLine,
                                                    kAttachment,
                                                    L"vm0.drive0.ImagePath()",
                                                    status + folder + disk + L")"};
        EXPECT_THAT(Trace(), ElementsAreArray(expected));
    }
    EXPECT_EQ(log.Count(L"support.NewFileDialog"), 0u);
    EXPECT_EQ(log.Count(L"support.NewSettingsStore"), 0u);
    // Other keys with F3 do nothing.
    log.Clear();
    for (std::int16_t shift : {2, 3, 4}) ASSERT_TRUE(form.Form_KeyDown(114, shift).ok());
    EXPECT_THAT(Trace(), IsEmpty());
}

TEST_F(DriveCommandTest, NextDiskKeysSayWhyThereIsNothingToSwapTo) {
    const std::wstring folder = L"D:\\Win95\\", first = folder + L"disk 1.vfd", last = folder + L"disk 2.vfd";
    const std::vector<std::wstring> empty = {kAttachment, Box(L"В дисководе нет образа, менять нечего.", 64)};
    const std::wstring unknown = L"Не удалось узнать, какой образ в дисководе.";
    // The image read, its folder listed, and a box about it.
    auto told = [&](const std::wstring& image, const std::wstring& listing, const std::wstring& text) {
        return std::vector<std::wstring>{kAttachment, L"vm0.drive0.ImagePath()", L"folders.FileNames(" + listing + L")",
                                         Box(image + L"\r\n\r\n" + text, 64)};
    };
    struct Case {
        const char* name;
        std::int32_t attachment;
        std::wstring image;
        std::int16_t shift;
        std::vector<std::wstring> expected;
        const wchar_t* fails = nullptr;  // Attachment or ImagePath
    };
    const std::vector<Case> cases = {
        {"empty drive", 0, L"", 0, empty},
        {"host drive", 2, L"", 1, empty},
        {"the last disk", 1, last, 0, told(last, folder, L"Следующего диска в папке нет.")},
        {"the first disk", 1, first, 1, told(first, folder, L"Предыдущего диска в папке нет.")},
        {"no number", 1, folder + L"boot.vfd", 0,
         told(folder + L"boot.vfd", folder, L"В имени образа нет номера диска.")},
        {"folder unreadable", 1, L"E:\\gone\\disk 1.vfd", 0,
         told(L"E:\\gone\\", L"E:\\gone\\", L"Не удалось прочитать папку образа.")},
        {"Attachment unreadable", 1, last, 0, {kAttachment, Reported(L"Attachment", unknown)}, L"Attachment"},
        {"ImagePath unreadable",
         1,
         last,
         0,
         {kAttachment, L"vm0.drive0.ImagePath()", Reported(L"ImagePath", unknown)},
         L"ImagePath"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        folders.files = {{folder, {L"disk 1.vfd", L"disk 2.vfd", L"boot.vfd"}}};
        drive->faults = Faults();
        drive->attachment = c.attachment;
        drive->imagePath = c.image;
        if (c.fails) drive->faults.Fail(c.fails);
        log.Clear();
        ASSERT_TRUE(form.Form_KeyDown(114, c.shift).ok());
        EXPECT_THAT(Trace(), ElementsAreArray(c.expected));
        EXPECT_EQ(log.Count(L"vm0.drive0.AttachImage"), 0u);
    }

    // The drive refuses the next disk: the attach command's report, then the refresh.
    drive->faults = Faults();
    drive->faults.Fail(L"AttachImage");
    drive->attachment = kAttachedImage;
    drive->imagePath = first;
    log.Clear();
    ASSERT_TRUE(form.Form_KeyDown(114, 0).ok());
    EXPECT_EQ(ReportMessages().back(), last + L"\r\n\r\nНе удалось подключить образ.");
    EXPECT_EQ(view.status.text, L"Отключено");
}

// A file dropped on the window takes the dialog's place in the attach command: the same
// calls, box and refresh, with the folder remembered as the dialog remembers it.
TEST_F(DriveCommandTest, DroppedFileIsAttachedAsTheDialogsChoice) {
    support.dialogAnswers = {{true, kChosen}};
    form.cmdAttachImage_Click();
    const std::vector<std::wstring> byDialog = Trace();
    const std::wstring remember =
        L"settings.SaveSetting(OFN Paths, Last open VFD directory, 0, E:\\Мои образы, "
        L"Quorvex - Ombrevale, true, status=-1)";
    EXPECT_EQ(log.Count(remember), 1u);

    drive->attachment = kAttachedNothing;
    support.settings.clear();
    log.Clear();
    ASSERT_TRUE(form.Form_OLEDragOver());
    form.Form_OLEDragDrop({{kChosen, false}});
    EXPECT_THAT(Trace(), ElementsAreArray(byDialog));
    EXPECT_THAT(log.Only({L"settings.", L"support.NewFileDialog"}), ElementsAre(remember));

    // Several files or a folder: one box, nothing attached, nothing remembered.
    const std::vector<std::pair<std::vector<DroppedFile>, std::wstring>> refused = {
        {{{kChosen, false}, {kImage, false}}, L"Подключить можно только один образ: перетащите в окно один файл."},
        {{{L"E:\\Образы", true}}, L"E:\\Образы\r\n\r\nЭто папка, а не файл образа."},
    };
    for (const auto& [files, text] : refused) {
        log.Clear();
        form.Form_OLEDragDrop(files);
        EXPECT_THAT(Trace(), ElementsAre(Box(text, 64)));
        EXPECT_EQ(log.Count(L"settings."), 0u);
    }

    // No drive chosen: the cursor refuses, and a drop that comes all the same stops where
    // the command stops without a drive.
    view.driveList.position = -1;
    EXPECT_FALSE(form.Form_OLEDragOver());
    log.Clear();
    form.Form_OLEDragDrop({{kChosen, false}});
    EXPECT_THAT(Trace(), IsEmpty());
    EXPECT_EQ(log.Count(L"settings."), 0u);
}

// Both commands stop before touching the drive when the list has nothing chosen.
TEST_F(DriveCommandTest, NothingToWorkOnDoesNothingAtAll) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"no entries", [&] { view.driveList.items.clear(); }},
        {"nothing chosen", [&] { view.driveList.position = -1; }},
        {"count unreadable", [&] { view.driveList.faults.Fail(L"Count"); }},
        {"position unreadable", [&] { view.driveList.faults.Fail(L"Position"); }},
    };
    for (const Case& c : cases) {
        for (bool attach : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (attach ? " (attach)" : " (detach)"));
            view.driveList.items = {L"Флоповод #0"};
            view.driveList.position = 0;
            view.driveList.faults = Faults();
            support.dialogAnswers = {{true, kChosen}};
            log.Clear();
            c.arrange();
            attach ? form.cmdAttachImage_Click() : form.cmdDetach_Click();
            EXPECT_THAT(Trace(), IsEmpty());
            EXPECT_EQ(log.Count(L"support.NewFileDialog"), 0u);
        }
    }
}

TEST_F(DriveCommandTest, MissingDriveIsReportedWithoutARefresh) {
    view.driveList.items.push_back(L"Флоповод #9");
    view.driveList.position = 1;
    for (bool attach : {false, true}) {
        support.dialogAnswers = {{true, kChosen}};
        support.reporter.reports.clear();
        log.Clear();
        attach ? form.cmdAttachImage_Click() : form.cmdDetach_Click();
        EXPECT_THAT(support.reporter.reports, OnlyReport(FailureNumber(kNoItemWithKey), kGetObjectFailed));
        EXPECT_EQ(log.Count(L"vm0.drive0."), 0u);
        EXPECT_EQ(log.Count(L"txtStatus."), 0u);
    }
}

TEST_F(DriveCommandTest, PositionUnreadableAtTheLookUpIsReported) {
    view.driveList.faults.FailCall(L"Position", view.driveList.faults.Calls(L"Position") + 2);
    form.cmdDetach_Click();
    EXPECT_THAT(support.reporter.reports, OnlyReport(FakeFailure(L"cboFloppyDrives", L"Position"), kGetObjectFailed));
    EXPECT_EQ(log.Count(L"txtStatus."), 0u);
}

TEST_F(DriveCommandTest, AttachLooksTheDriveUpOnlyAfterTheDialogCloses) {
    support.dialogAnswers = {{true, kChosen}};
    form.cmdAttachImage_Click();
    const auto& e = log.Entries();
    auto shown = std::find(e.begin(), e.end(), L"dialog1.ShowOpen()");
    ASSERT_NE(shown, e.end());
    EXPECT_EQ(std::count(e.begin(), shown, L"cboFloppyDrives.Position()"), 1);  // the check of step 2 only
    EXPECT_EQ(std::count(shown, e.end(), L"cboFloppyDrives.Position()"), 2);    // the look-up, the refresh
}

TEST_F(DriveCommandTest, CancelledOrFailedDialogEndsTheAttachSilently) {
    support.dialogAnswers = {{false, L""}};
    form.cmdAttachImage_Click();
    support.dialogFaults.Fail(L"ShowOpen");
    form.cmdAttachImage_Click();
    EXPECT_EQ(log.Count(L"dialog1.ShowOpen"), 1u);  // both dialogs really ran up to their show
    EXPECT_EQ(log.Count(L"dialog2.ShowOpen"), 1u);
    EXPECT_THAT(Trace(), IsEmpty());
}

TEST_F(DriveCommandTest, FailingBoxesAndReporterChangeNothingElse) {
    support.boxes.faults.Fail(L"Show");
    drive->attachment = kAttachedImage;
    drive->imagePath = kImage;
    drive->scriptedAttachment = {1, 1};
    form.cmdDetach_Click();
    EXPECT_EQ(log.Count(L"boxes.Show"), 2u);  // "Образ отключен." then the failed check
    EXPECT_EQ(view.status.text, L"Отключено");

    support.faults.Fail(L"Reporter");
    log.Clear();
    drive->attachment = kAttachedImage;
    drive->faults.Fail(L"AttachImage");
    support.dialogAnswers = {{true, kChosen}};
    form.cmdAttachImage_Click();
    EXPECT_EQ(view.status.text, L"Отключено");  // refreshed all the same
    EXPECT_EQ(log.Count(L"vm0.drive0.ReleaseImage"), 1u);
}

}  // namespace
}  // namespace ombrevale::fakes
