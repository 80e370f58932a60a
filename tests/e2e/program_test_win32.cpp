#include "tests/e2e/program_test.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace ombrevale::e2e {
namespace {

namespace fs = std::filesystem;

std::wstring FolderFromEnvironment(const char* variable, const wchar_t* fallback) {
    if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') return FromUnixPath(value);
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = temp;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder + L"\\" + fallback;
}

void PutWord(std::vector<char>& b, std::size_t at, unsigned value) {
    b[at] = static_cast<char>(value & 0xFF);
    b[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

std::string Hex(unsigned value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

::testing::AssertionResult BoxFrame(const MessageBoxView& box, BoxIcon icon) {
    if (box.window == nullptr) return ::testing::AssertionFailure() << "no message box appeared";
    if (box.caption != kAppTitle)
        return ::testing::AssertionFailure()
               << "caption \"" << Shown(box.caption) << "\", text \"" << Shown(box.text) << "\"";
    if (box.buttons.size() != 1 || (box.buttons[0] != IDOK && box.buttons[0] != IDCANCEL))
        return ::testing::AssertionFailure()
               << box.buttons.size() << " buttons in the box \"" << Shown(box.text) << "\"";
    if (box.icon != icon)
        return ::testing::AssertionFailure() << "icon " << Name(box.icon) << " instead of " << Name(icon)
                                             << " in the box \"" << Shown(box.text) << "\"";
    return ::testing::AssertionSuccess();
}

}  // namespace

std::wstring WorkFolder() { return FolderFromEnvironment("OMBREVALE_E2E_WORK", L"ombrevale-e2e"); }
std::wstring ArtifactsFolder() { return FolderFromEnvironment("OMBREVALE_E2E_ARTIFACTS", L"ombrevale-e2e-artifacts"); }

std::string Shown(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'\r')
            escaped += L"\\r";
        else if (c == L'\n')
            escaped += L"\\n";
        else
            escaped.push_back(c);
    }
    return Narrow(escaped);
}

::testing::AssertionResult BoxSays(const MessageBoxView& box, const std::wstring& text, BoxIcon icon) {
    if (auto frame = BoxFrame(box, icon); !frame) return frame;
    if (box.text != text)
        return ::testing::AssertionFailure()
               << "the box says \"" << Shown(box.text) << "\" instead of \"" << Shown(text) << "\"";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult BoxStartsWith(const MessageBoxView& box, const std::wstring& start, BoxIcon icon) {
    if (auto frame = BoxFrame(box, icon); !frame) return frame;
    if (box.text.compare(0, start.size(), start) != 0)
        return ::testing::AssertionFailure()
               << "the box says \"" << Shown(box.text) << "\", which does not start with \"" << Shown(start) << "\"";
    return ::testing::AssertionSuccess();
}

std::string Describe(const Program& program) {
    std::string text;
    for (HWND window : program.Windows()) {
        text += "\n  [" + Narrow(ClassOf(window)) + "] \"" + Shown(TextOf(window)) + "\"";
        if (IsMessageBox(window)) text += ": \"" + Shown(TextOf(::GetDlgItem(window, kBoxText))) + "\"";
        for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            text += "\n    " + Narrow(ClassOf(child)) + " id " + Hex(static_cast<unsigned>(::GetDlgCtrlID(child))) +
                    " style " + Hex(static_cast<unsigned>(::GetWindowLongW(child, GWL_STYLE))) +
                    (::IsWindowVisible(child) ? " visible" : " hidden");
    }
    if (text.empty()) text = program.Running() ? " no visible window" : " the program has ended";
    return text;
}

void ProgramTest::SetUp() {
    // The run's prefix says which Windows it reports (OMBREVALE_E2E_WINDOWS, "5.1" for XP):
    // the test process shares that prefix with the program, so it sees the same.
    if (const char* expected = std::getenv("OMBREVALE_E2E_WINDOWS"); expected != nullptr && *expected != '\0') {
        // ntdll's answer, since GetVersionExW answers a program without a manifest (this
        // test) with at most Windows 8.
        using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
        const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
        ASSERT_NE(rtlGetVersion, nullptr);
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_EQ(rtlGetVersion(&version), 0);
        ASSERT_EQ(std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion), expected)
            << "the prefix does not report the Windows this run is for";
    }
    // A server that an earlier program left running would serve that program's inventory.
    bool ended = false;
    ASSERT_TRUE(EndProcessesOf(kServerProgram, 3s, &ended)) << "a server from an earlier test would not end";
    if (ended) ForgetDeadServers();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = WorkFolder() + L"\\" + Widen(std::string(test->test_suite_name()) + "." + test->name());
    std::error_code error;
    fs::remove_all(fs::path(folder_), error);
    fs::create_directories(fs::path(folder_), error);
    ASSERT_TRUE(fs::is_directory(fs::path(folder_))) << Narrow(folder_) << ": " << error.message();
    inventory_ = PathOf(L"inventory.txt");
}

void ProgramTest::WriteInventory(const std::wstring& text) {
    std::ofstream out(fs::path(inventory_), std::ios::binary);
    const std::string utf8 = Narrow(text);
    out.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
    ASSERT_TRUE(out.good()) << Narrow(inventory_);
}

void ProgramTest::MakeFile(const std::wstring& path, std::uint64_t size) {
    const fs::path file(path);
    fs::create_directories(file.parent_path());
    { std::ofstream out(file, std::ios::binary); }
    std::error_code error;
    fs::resize_file(file, size, error);
    ASSERT_EQ(FileSize(path), size) << Narrow(path) << ": " << error.message();
}

void ProgramTest::MakeFloppy(const std::wstring& path, int density) {
    struct Layout {
        unsigned sectors, sectorsPerCluster, rootEntries, media, sectorsPerFat, sectorsPerTrack;
    };
    const Layout layout = density == 1 ? Layout{1440, 2, 112, 0xF9, 3, 9} : Layout{2880, 1, 224, 0xF0, 9, 18};
    std::vector<char> image(std::size_t{layout.sectors} * 512, 0);
    const char jump[] = {'\xEB', '\x3C', '\x90', 'M', 'S', 'D', 'O', 'S', '5', '.', '0'};
    std::copy(std::begin(jump), std::end(jump), image.begin());
    PutWord(image, 11, 512);
    image[13] = static_cast<char>(layout.sectorsPerCluster);
    PutWord(image, 14, 1);  // reserved: the boot sector
    image[16] = 2;          // FATs
    PutWord(image, 17, layout.rootEntries);
    PutWord(image, 19, layout.sectors);
    image[21] = static_cast<char>(layout.media);
    PutWord(image, 22, layout.sectorsPerFat);
    PutWord(image, 24, layout.sectorsPerTrack);
    PutWord(image, 26, 2);  // heads
    image[510] = '\x55', image[511] = '\xAA';
    for (unsigned fat = 0; fat < 2; ++fat) {
        const std::size_t at = (1 + std::size_t{layout.sectorsPerFat} * fat) * 512;
        image[at] = static_cast<char>(layout.media), image[at + 1] = '\xFF', image[at + 2] = '\xFF';
    }
    const fs::path file(path);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    ASSERT_TRUE(out.good()) << Narrow(path);
}

std::uint64_t ProgramTest::FileSize(const std::wstring& path) {
    std::error_code error;
    const auto size = fs::file_size(fs::path(path), error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

std::unique_ptr<Program> ProgramTest::Launch() {
    auto program = Program::Start(inventory_, ProgramFolder());
    if (!program) {
        ADD_FAILURE() << "Ombrevale.exe did not start: error " << ::GetLastError();
        return nullptr;
    }
    if (program->WaitForMainWindow() == nullptr) {
        const auto code = program->Running() ? std::nullopt : program->WaitForExit(0ms);
        ADD_FAILURE() << "no main window; the program shows:" << Describe(*program)
                      << (code ? ", exit code " + Hex(*code) : std::string());
        return nullptr;
    }
    return program;
}

::testing::AssertionResult ProgramTest::CloseNormally(Program& program) {
    HWND main = program.MainWindow();
    if (main == nullptr) return ::testing::AssertionFailure() << "no main window to close:" << Describe(program);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    return EndsNormally(program);
}

::testing::AssertionResult ProgramTest::EscEndsNormally(Program& program) {
    PostKey(program.MainWindow(), VK_ESCAPE);
    return EndsNormally(program);
}

::testing::AssertionResult ProgramTest::EndsNormally(Program& program) {
    const auto code = program.WaitForExit();
    if (!code) return ::testing::AssertionFailure() << "the program did not end:" << Describe(program);
    if (*code != 0) return ::testing::AssertionFailure() << "exit code " << Hex(*code);
    return ::testing::AssertionSuccess();
}

MessageBoxView ProgramTest::Attach(const Program& program, const std::wstring& path, const char* timed) {
    ClickButton(program, kCmdAttachImage);
    if (!ChooseFile(program, path)) {
        ADD_FAILURE() << "the open dialog did not take " << Narrow(path) << ":" << Describe(program);
        return {};
    }
    if (timed != nullptr) Timed(timed, [&] { return program.WaitForMessageBox(); });
    return TakeMessageBox(program);
}

MessageBoxView ProgramTest::Run(const Program& program, int command, const std::wstring& path, bool replace) {
    ChooseMenuItem(program, command);
    if (!ChooseFile(program, path, replace)) {
        ADD_FAILURE() << "the file dialog did not take " << Narrow(path) << ":" << Describe(program);
        return {};
    }
    return TakeMessageBox(program);
}

}  // namespace ombrevale::e2e
