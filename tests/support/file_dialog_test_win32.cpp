// The standard open and save dialogs, driven to a file as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/support_win32.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/test_window.h"

namespace ombrevale {
namespace {

using driver::TestWindow;
using driver::WindowQuery;

const std::wstring kFilter = L"Образы дискет|*.VFD|Все файлы|*.*";

// Extended-length form, so that trees deeper than MAX_PATH can be made and removed.
std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(Extended(path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                RemoveTree(child);
            else
                ::DeleteFileW(Extended(child).c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(Extended(path).c_str());
}

bool MakeFile(const std::wstring& path) {
    HANDLE file =
        ::CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        root = std::wstring(temp) + L"Омбревейл тест " + std::to_wstring(::GetCurrentProcessId());
        RemoveTree(root);
        ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
        // The dialogs answer with long names; compare with the same.
        std::wstring longRoot(32768, L'\0');
        longRoot.resize(::GetLongPathNameW(root.c_str(), longRoot.data(), static_cast<DWORD>(longRoot.size())));
        ASSERT_FALSE(longRoot.empty());
        root = longRoot;
        folder = root + L"\\папка с пробелами";
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        existing = folder + L"\\диск один.vfd";
        ASSERT_TRUE(MakeFile(existing));
    }
    void TearDown() override { RemoveTree(root); }

    std::unique_ptr<FileDialog> NewDialog(const std::wstring& initialDirectory, bool save) {
        auto dialog = NewWin32FileDialog();
        EXPECT_TRUE(dialog->SetFilter(kFilter).ok());
        EXPECT_TRUE(dialog->SetOptions(0).ok());
        if (save) {
            EXPECT_TRUE(dialog->SetDefaultExtension(L"VFD").ok());
        }
        EXPECT_TRUE(dialog->SetOwner(FromHwnd(main.hwnd())).ok());
        EXPECT_TRUE(dialog->SetInitialDirectory(initialDirectory).ok());
        return dialog;
    }

    // Makes `deep`: folders nested in `folder` to a path of over 300 characters.
    ::testing::AssertionResult MakeDeepFolder(std::wstring& deep) const {
        deep = folder;
        while (deep.size() < 300) {
            deep += L"\\Вложенная папка номер " + std::to_wstring(deep.size());
            if (!::CreateDirectoryW(Extended(deep).c_str(), nullptr))
                return ::testing::AssertionFailure() << "error " << ::GetLastError() << " making a folder";
        }
        return ::testing::AssertionSuccess();
    }

    // The file dialog of this thread once it is shown; null if none appears.
    static HWND WaitForDialog(DWORD thread) { return driver::WaitForWindow(WindowQuery{L"#32770", {}, thread}); }
    // A message box that the file dialog raised over itself.
    static HWND WaitForBoxOver(HWND dialog, DWORD thread) {
        return driver::WaitForWindow(WindowQuery{L"#32770", {}, thread, dialog});
    }

    // Shows `dialog`, the save dialog or the open one, while `drive(d, thread)` works it
    // from the driver's thread once it shows; `shown` tells whether it did.
    template <class Drive>
    static Result<bool> Show(FileDialog& dialog, bool save, bool& shown, Drive drive) {
        shown = false;
        return driver::WithDriver([&] { return save ? dialog.ShowSave() : dialog.ShowOpen(); },
                                  [&](DWORD thread) {
                                      HWND d = WaitForDialog(thread);
                                      if (d == nullptr) return;
                                      shown = true;
                                      drive(d, thread);
                                  });
    }

    // What one showing of a dialog came to: `name` chosen in it, the box that it raised
    // over itself answered with `answer` (its first button if it has no such one), and
    // the dialog cancelled if it stayed open.
    struct Choice {
        Result<bool> confirmed = false;
        std::vector<int> buttons;  // the box's; none when no box came
        bool stillOpen = false;    // after the box
    };
    Choice ChooseAndAnswer(FileDialog& dialog, bool save, const std::wstring& name, int answer) {
        Choice choice;
        bool shown = false;
        choice.confirmed = Show(dialog, save, shown, [&](HWND d, DWORD thread) {
            driver::ChooseFile(d, name);
            HWND box = WaitForBoxOver(d, thread);
            if (box == nullptr) return;
            auto& buttons = choice.buttons = driver::ReadMessageBox(box).buttons;
            if (!buttons.empty() && std::count(buttons.begin(), buttons.end(), answer) == 0) answer = buttons.front();
            driver::Click(box, answer);
            driver::WaitUntilGone(box);
            choice.stillOpen = ::IsWindowVisible(d) != FALSE;
            if (choice.stillOpen) driver::Click(d, IDCANCEL);
        });
        return choice;
    }

    TestWindow main{L"Ombrevale"};
    std::wstring root;
    std::wstring folder;
    std::wstring existing;
};

std::wstring CurrentDirectory() {
    std::wstring directory(32768, L'\0');
    directory.resize(::GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}

TEST_F(FileDialogTest, OpenShowsTheFilterStartsInTheInitialDirectoryAndGivesTheChosenFile) {
    const std::wstring currentBefore = CurrentDirectory();
    auto dialog = NewDialog(folder, false);
    bool shown = false;
    HWND owner = nullptr;
    std::vector<std::wstring> types;
    std::wstring startFolder;
    auto confirmed = Show(*dialog, false, shown, [&](HWND d, DWORD) {
        owner = ::GetWindow(d, GW_OWNER);
        types = driver::FileTypes(d);
        startFolder = driver::CurrentFolder(d);
        driver::ChooseFile(d, L"диск один.vfd");
    });
    ASSERT_TRUE(shown) << "no open dialog appeared";
    EXPECT_EQ(owner, main.hwnd());
    EXPECT_EQ(types, (std::vector<std::wstring>{L"Образы дискет", L"Все файлы"}));
    EXPECT_EQ(startFolder, folder);
    ASSERT_TRUE(confirmed.ok()) << confirmed.failure().description;
    EXPECT_TRUE(*confirmed);
    EXPECT_EQ(*dialog->FileName(), existing);
    // The folder chosen from is not left as the process's current directory, where it
    // could be neither removed nor renamed.
    EXPECT_EQ(CurrentDirectory(), currentBefore);
}

TEST_F(FileDialogTest, SaveAddsTheDefaultExtensionToANameTypedWithoutOne) {
    // With the program's filter the extension may come from the chosen pattern, so its
    // case is the dialog's affair; with "*.*" chosen only the default extension can give it.
    struct Case {
        std::wstring filter;
        std::wstring typed;
    };
    for (const Case& c : {Case{kFilter, L"новый образ"}, Case{L"Все файлы|*.*", L"ещё один"}}) {
        auto dialog = NewDialog(folder, true);
        ASSERT_TRUE(dialog->SetFilter(c.filter).ok());
        bool shown = false;
        std::wstring startFolder;
        auto confirmed = Show(*dialog, true, shown, [&](HWND d, DWORD) {
            startFolder = driver::CurrentFolder(d);
            driver::ChooseFile(d, c.typed);
        });
        ASSERT_TRUE(shown) << "no save dialog appeared";
        EXPECT_EQ(startFolder, folder);
        ASSERT_TRUE(confirmed.ok()) << confirmed.failure().description;
        EXPECT_TRUE(*confirmed);
        const std::wstring chosen = *dialog->FileName();
        const std::wstring expected = folder + L"\\" + c.typed + L".VFD";
        if (c.filter == kFilter)
            EXPECT_EQ(::lstrcmpiW(chosen.c_str(), expected.c_str()), 0) << chosen;
        else
            EXPECT_EQ(chosen, expected);
    }
}

TEST_F(FileDialogTest, CancelIsNoFailureAndGivesNoFile) {
    for (bool save : {false, true}) {
        auto dialog = NewDialog(folder, save);
        bool shown = false;
        auto confirmed = Show(*dialog, save, shown, [&](HWND d, DWORD) {
            driver::TypeFileName(d, L"диск один.vfd");
            driver::Click(d, IDCANCEL);
        });
        ASSERT_TRUE(shown) << (save ? "save" : "open");
        ASSERT_TRUE(confirmed.ok()) << confirmed.failure().description;
        EXPECT_FALSE(*confirmed);
        EXPECT_EQ(*dialog->FileName(), L"");
    }
}

TEST_F(FileDialogTest, OpenRefusesAFileThatDoesNotExist) {
    auto dialog = NewDialog(folder, false);
    const Choice choice = ChooseAndAnswer(*dialog, false, L"нет такого.vfd", IDOK);
    EXPECT_FALSE(choice.buttons.empty()) << "the open dialog took a file that does not exist";
    EXPECT_TRUE(choice.stillOpen);
    ASSERT_TRUE(choice.confirmed.ok());
    EXPECT_FALSE(*choice.confirmed);
    EXPECT_FALSE(Exists(folder + L"\\нет такого.vfd"));
}

TEST_F(FileDialogTest, SaveAsksBeforeReplacingAnExistingFile) {
    auto dialog = NewDialog(folder, true);
    // "No" keeps the dialog open for another name...
    const Choice no = ChooseAndAnswer(*dialog, true, L"диск один.vfd", IDNO);
    EXPECT_EQ(no.buttons, (std::vector<int>{IDYES, IDNO})) << "the save dialog replaced a file without asking";
    EXPECT_TRUE(no.stillOpen);
    // ...and "Yes" takes the file.
    const Choice yes = ChooseAndAnswer(*dialog, true, L"диск один.vfd", IDYES);
    EXPECT_EQ(yes.buttons, (std::vector<int>{IDYES, IDNO}));
    ASSERT_TRUE(yes.confirmed.ok());
    EXPECT_TRUE(*yes.confirmed);
    EXPECT_EQ(*dialog->FileName(), existing);
}

// A read-only file is not offered for replacing: whoever writes it next would fail. Names
// longer than the dialog can hold are checked by our own code, which must refuse it as
// Windows' dialog does. (Wine's dialog ignores the flag and asks to replace.)
TEST_F(FileDialogTest, SaveRefusesAReadOnlyFileOfALongName) {
    std::wstring deep;
    ASSERT_TRUE(MakeDeepFolder(deep));
    const std::wstring file = deep + L"\\только чтение.vfd";
    ASSERT_TRUE(MakeFile(file));
    ASSERT_TRUE(::SetFileAttributesW(Extended(file).c_str(), FILE_ATTRIBUTE_READONLY));
    auto dialog = NewDialog(folder, true);
    const Choice choice = ChooseAndAnswer(*dialog, true, file, IDOK);
    ::SetFileAttributesW(Extended(file).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(choice.buttons, std::vector<int>{IDOK}) << "asked to replace a read-only file, not refused";
    EXPECT_TRUE(choice.stillOpen);
    ASSERT_TRUE(choice.confirmed.ok());
    EXPECT_FALSE(*choice.confirmed);
}

TEST_F(FileDialogTest, PathsWithCyrillicBlanksAndOver260CharactersComeBackIntact) {
    std::wstring deep;
    ASSERT_TRUE(MakeDeepFolder(deep));
    const std::wstring file = deep + L"\\образ с длинным путём.vfd";
    ASSERT_GT(file.size(), 260u);
    ASSERT_TRUE(MakeFile(file));

    // Open: the long name typed in full comes back as typed.
    auto open = NewDialog(folder, false);
    bool shown = false;
    auto confirmed = Show(*open, false, shown, [&](HWND d, DWORD) { driver::ChooseFile(d, file); });
    ASSERT_TRUE(shown);
    ASSERT_TRUE(confirmed.ok()) << confirmed.failure().description;
    EXPECT_TRUE(*confirmed);
    EXPECT_EQ(*open->FileName(), file);

    // Open: a long name of a file that is not there is refused, as a short one is.
    const Choice missing = ChooseAndAnswer(*open, false, deep + L"\\нет такого.vfd", IDOK);
    EXPECT_FALSE(missing.buttons.empty());
    ASSERT_TRUE(missing.confirmed.ok());
    EXPECT_FALSE(*missing.confirmed);

    // Save: a new long name gets the default extension; replacing a long one is asked.
    auto save = NewDialog(folder, true);
    confirmed = Show(*save, true, shown, [&](HWND d, DWORD) { driver::ChooseFile(d, deep + L"\\новый образ"); });
    ASSERT_TRUE(confirmed.ok());
    EXPECT_TRUE(*confirmed);
    EXPECT_EQ(*save->FileName(), deep + L"\\новый образ.VFD");

    const Choice replaced = ChooseAndAnswer(*save, true, file, IDYES);
    EXPECT_EQ(replaced.buttons, (std::vector<int>{IDYES, IDNO}));
    ASSERT_TRUE(replaced.confirmed.ok());
    EXPECT_TRUE(*replaced.confirmed);
    EXPECT_EQ(*save->FileName(), file);
}

TEST(FileDialogFilter, BarsBecomeTheDoubleNulListAndAPatternlessDescriptionIsRefused) {
    using namespace std::string_literals;
    auto list = FileDialogFilter(kFilter);
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(*list, L"Образы дискет\0*.VFD\0Все файлы\0*.*\0\0"s);

    auto trailing = FileDialogFilter(L"Образы дискет|*.VFD|");
    ASSERT_TRUE(trailing.ok());
    EXPECT_EQ(*trailing, L"Образы дискет\0*.VFD\0\0"s);

    auto odd = FileDialogFilter(L"Образы дискет|*.VFD|Все файлы");
    ASSERT_FALSE(odd.ok());
    EXPECT_EQ(odd.failure().number, static_cast<std::int32_t>(E_INVALIDARG));
    EXPECT_FALSE(NewWin32FileDialog()->SetFilter(L"Только описание").ok());
}

}  // namespace
}  // namespace ombrevale
