// The image file dialogs and their remembered directory.
#include "tests/unit/form_fixture.h"

namespace ombrevale::fakes {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ImageDialogsTest : public FormTest {
protected:
    const std::pair<std::wstring, std::wstring> kSetting{L"OFN Paths", L"Last open VFD directory"};
};

TEST_F(ImageDialogsTest, OpenOnFirstUseRemembersTheChosenDirectory) {
    support.activeWindow = 0x777;
    support.statusAfterRead = 5;  // the store may leave anything in the word
    support.dialogAnswers = {{true, L"C:\\Диски\\a.vfd"}};

    auto path = form.GetOpenFileName();

    ASSERT_TRUE(path.ok());
    EXPECT_EQ(*path, L"C:\\Диски\\a.vfd");
    EXPECT_THAT(
        log.Entries(),
        ElementsAre(
            L"support.NewFileDialog()", L"dialog1.SetFilter(Образы дискет|*.VFD|Все файлы|*.*)",
            L"dialog1.SetOptions(0)", L"support.GetActiveWindow()", L"dialog1.SetOwner(1911)",
            L"support.NewSettingsStore()",
            L"settings.GetSetting(OFN Paths, Last open VFD directory, 0, Quorvex - Ombrevale, , true, status=0)",
            L"dialog1.SetInitialDirectory()", L"dialog1.ShowOpen()", L"dialog1.FileName()", L"dialog1.FileName()",
            L"support.esGetFilePath(C:\\Диски\\a.vfd)",
            // The value comes before the application object here, and the word holds the dialog's true.
            L"settings.SaveSetting(OFN Paths, Last open VFD directory, 0, C:\\Диски, Quorvex - Ombrevale, true, "
            L"status=-1)"));
    EXPECT_EQ(support.settings[kSetting], L"C:\\Диски");
    EXPECT_EQ(support.liveDialogs, 0);
    EXPECT_EQ(support.liveSettingsStores, 0);
}

TEST_F(ImageDialogsTest, SaveAloneGetsTheDefaultExtension) {
    support.dialogAnswers = {{true, L"C:\\new.vfd"}, {true, L"C:\\old.vfd"}};
    ASSERT_TRUE(form.GetSaveFileName().ok());
    ASSERT_TRUE(form.GetOpenFileName().ok());
    ASSERT_EQ(support.dialogs.size(), 2u);
    EXPECT_EQ(support.dialogs[0]->defaultExtension, L"VFD");
    EXPECT_EQ(support.dialogs[0]->shownAs, L"save");
    EXPECT_EQ(support.dialogs[1]->defaultExtension, std::nullopt);
    EXPECT_EQ(support.dialogs[1]->shownAs, L"open");
    EXPECT_THAT(log.Only({L"dialog1.Set"}), ElementsAre(L"dialog1.SetFilter(Образы дискет|*.VFD|Все файлы|*.*)",
                                                        L"dialog1.SetOptions(0)", L"dialog1.SetDefaultExtension(VFD)",
                                                        L"dialog1.SetOwner(65552)", L"dialog1.SetInitialDirectory()"));
}

TEST_F(ImageDialogsTest, CancelReturnsEmptyTextAndKeepsTheRememberedDirectory) {
    support.settings[kSetting] = L"C:\\kept";
    support.dialogAnswers = {{false, L""}};
    auto open = form.GetOpenFileName();
    auto save = form.GetSaveFileName();  // no answer scripted: cancelled too
    ASSERT_TRUE(open.ok());
    ASSERT_TRUE(save.ok());
    EXPECT_EQ(*open, L"");
    EXPECT_EQ(*save, L"");
    EXPECT_EQ(log.Count(L"settings.SaveSetting"), 0u);
    EXPECT_EQ(log.Count(L"dialog1.FileName"), 0u);
    EXPECT_EQ(support.settings[kSetting], L"C:\\kept");
}

// Each call sets up a new dialog at the moment it runs; the last confirmed directory of
// either dialog is where the next one of either kind opens.
TEST_F(ImageDialogsTest, EachCallStartsAfreshInTheLastDirectory) {
    support.settings[kSetting] = L"C:\\first";
    support.dialogAnswers = {{true, L"D:\\second\\x.vfd"}, {true, L"E:\\third\\y.vfd"}, {false, L""}};
    support.activeWindow = 1;
    ASSERT_TRUE(form.GetOpenFileName().ok());
    support.activeWindow = 2;
    ASSERT_TRUE(form.GetSaveFileName().ok());
    support.activeWindow = 3;
    ASSERT_TRUE(form.GetOpenFileName().ok());

    ASSERT_EQ(support.dialogs.size(), 3u);
    std::vector<std::wstring> initial, filters;
    std::vector<WindowHandle> owners;
    for (const auto& d : support.dialogs) {
        initial.push_back(d->initialDirectory.value_or(L"<unset>"));
        filters.push_back(d->filter.value_or(L"<unset>"));
        owners.push_back(d->owner.value_or(0));
        EXPECT_EQ(d->options, 0);
    }
    EXPECT_THAT(initial, ElementsAre(L"C:\\first", L"D:\\second", L"E:\\third"));
    EXPECT_THAT(owners, ElementsAre(1u, 2u, 3u));
    EXPECT_THAT(filters, ::testing::Each(L"Образы дискет|*.VFD|Все файлы|*.*"));
    EXPECT_EQ(support.settings[kSetting], L"E:\\third");
    EXPECT_EQ(log.Count(L"support.NewSettingsStore"), 3u);
}

TEST_F(ImageDialogsTest, FailureOfTheDialogPassesUpWithNoPath) {
    for (const wchar_t* op : {L"SetFilter", L"SetOptions", L"SetDefaultExtension", L"SetOwner", L"SetInitialDirectory",
                              L"ShowSave", L"FileName"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(op)));
        support.dialogFaults = Faults();
        support.dialogFaults.FailCall(op, 1);
        support.dialogAnswers = {{true, L"C:\\dir\\a.vfd"}};
        support.settings.clear();
        log.Clear();

        auto path = form.GetSaveFileName();

        ASSERT_FALSE(path.ok());
        EXPECT_EQ(path.failure().description.substr(path.failure().description.find(L'.')),
                  std::wstring(L".") + op + L" failed");
        EXPECT_TRUE(support.settings.empty());
        EXPECT_EQ(support.liveDialogs, 0);
        EXPECT_EQ(support.liveSettingsStores, 0);
        // A failure before the show means no dialog for the user.
        const bool shown = std::wstring(op) == L"ShowSave" || std::wstring(op) == L"FileName";
        EXPECT_EQ(log.Count(L"settings.GetSetting"), shown || std::wstring(op) == L"SetInitialDirectory" ? 1u : 0u);
    }
    support.faults.Fail(L"NewFileDialog");
    EXPECT_FALSE(form.GetOpenFileName().ok());
}

TEST_F(ImageDialogsTest, UnreadableRememberedDirectoryStillShowsTheDialog) {
    support.settings[kSetting] = L"C:\\unreachable";
    support.settingsFaults.Fail(L"GetSetting");
    support.dialogAnswers = {{true, L"D:\\x\\a.vfd"}};
    auto path = form.GetOpenFileName();
    ASSERT_TRUE(path.ok());
    EXPECT_EQ(*path, L"D:\\x\\a.vfd");
    EXPECT_EQ(support.dialogs[0]->initialDirectory, L"");
    EXPECT_EQ(support.settings[kSetting], L"D:\\x");

    // No store at all: the dialog opens all the same, the choice stands, nothing is remembered.
    support.faults.Fail(L"NewSettingsStore");
    support.dialogAnswers = {{true, L"E:\\y\\b.vfd"}};
    path = form.GetSaveFileName();
    ASSERT_TRUE(path.ok());
    EXPECT_EQ(*path, L"E:\\y\\b.vfd");
    EXPECT_EQ(support.dialogs[1]->initialDirectory, L"");
    EXPECT_EQ(support.settings[kSetting], L"D:\\x");
}

TEST_F(ImageDialogsTest, ChoiceStandsWhenTheDirectoryCannotBeRemembered) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"write fails", [&] { support.settingsFaults.Fail(L"SaveSetting"); }},
        {"directory part fails", [&] { support.faults.Fail(L"esGetFilePath"); }},
        {"second read of the name fails", [&] { support.dialogFaults.FailCall(L"FileName", 2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support.settings[kSetting] = L"C:\\before";
        support.dialogAnswers = {{true, L"D:\\after\\a.vfd"}};
        support.dialogFaults = Faults();
        support.settingsFaults = Faults();
        support.faults = Faults();
        c.arrange();
        auto path = form.GetOpenFileName();
        ASSERT_TRUE(path.ok());
        EXPECT_EQ(*path, L"D:\\after\\a.vfd");
        EXPECT_EQ(support.settings[kSetting], L"C:\\before");
    }
}

}  // namespace
}  // namespace ombrevale::fakes
