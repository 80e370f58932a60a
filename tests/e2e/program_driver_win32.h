// Drives the real Ombrevale.exe from another process, as a user would: starts it with an
// inventory of its own, finds its windows, reads its controls, clicks its buttons, types
// into its file dialogs and answers its message boxes. Every wait is bounded, and a
// program left running when a test ends is killed, so a failing test never hangs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/dialog_driver.h"

namespace ombrevale::e2e {

// The duration literals, without the rest of their namespace.
using std::chrono_literals::operator""ms;
using std::chrono_literals::operator""s;
using Clock = std::chrono::steady_clock;
using Duration = std::chrono::milliseconds;

inline constexpr Duration kWait = 15s;

// ---- controls of the main window and of the standard boxes ------------------------------

inline constexpr wchar_t kMainWindowClass[] = L"OmbrevaleMainWindow";
inline constexpr wchar_t kDialogClass[] = L"#32770";
inline constexpr int kCboVMName = 101;
inline constexpr int kCboFloppyDrives = 102;
inline constexpr int kTxtStatus = 103;
inline constexpr int kCmdImageMenu = 104;
inline constexpr int kCmdDetach = 105;
inline constexpr int kCmdAttachImage = 106;
inline constexpr int kMenuCheck = 1001;
inline constexpr int kMenuCreateHighDensity = 1011;
inline constexpr int kMenuCreateLowDensity = 1012;
inline constexpr int kBoxText = 0xFFFF;
inline constexpr int kFileNameBox = 0x47C;  // cmb13

// ---- plain helpers ----------------------------------------------------------------------

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// A Unix path as Windows programs under Wine see it (through the Z: drive).
std::wstring FromUnixPath(const std::string& unixPath);

// The folder of this test program (and of Ombrevale.exe beside it), without a trailing
// separator.
std::wstring ProgramFolder();

// SendMessage that gives up on a window whose thread does not answer.
std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
std::vector<std::wstring> ComboItems(HWND combo);
int ComboSelection(HWND combo);

// Polls `condition` every 20 ms until it holds or `timeout` has passed.
template <class Condition>
bool WaitFor(Condition condition, Duration timeout = kWait) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        ::Sleep(20);
    }
}

// ---- message boxes ----------------------------------------------------------------------

// The icons that a box can show, as the window tests tell them apart.
using driver::BoxIcon;
using driver::Name;

struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
    std::vector<int> buttons;  // ids of the visible push buttons
};

bool IsMessageBox(HWND window);
bool IsFileDialog(HWND window);

// Reads a box; its icon is told from the pixels the box shows on the screen.
MessageBoxView ReadMessageBox(HWND box);

// Presses a dialog's button the way the button reports a click.
void PressButton(HWND dialog, int id);

// ---- the running program ----------------------------------------------------------------

class Program {
public:
    // Starts Ombrevale.exe with OMBREVALE_DEMO_INVENTORY naming `inventory` (not set when
    // empty), in `currentFolder`. Null when the process could not be created.
    static std::unique_ptr<Program> Start(const std::wstring& inventory, const std::wstring& currentFolder);
    ~Program();  // kills the program if it still runs

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD processId() const { return info_.dwProcessId; }
    DWORD threadId() const { return info_.dwThreadId; }
    bool Running() const;
    // The exit code once the program has ended within `timeout`.
    std::optional<DWORD> WaitForExit(Duration timeout = kWait);
    void Kill();

    // The program's visible top-level windows.
    std::vector<HWND> Windows() const;
    HWND MainWindow() const;  // null when it has none
    HWND WaitForMainWindow(Duration timeout = kWait) const;
    HWND Control(int id) const;

    // The first message box or file dialog that the program shows within `timeout`.
    HWND WaitForMessageBox(Duration timeout = kWait) const;
    HWND WaitForFileDialog(Duration timeout = kWait) const;
    std::vector<HWND> Dialogs() const;  // every visible "#32770" window of the program

    // True when no dialog of the program shows and its main window takes input, and so
    // for `settle` in a row.
    bool WaitUntilIdle(Duration settle = 300ms, Duration timeout = kWait) const;

    // Reads a buffer of the program's own memory that a message filled in: a message
    // whose pointer Windows does not carry between processes.
    std::optional<std::wstring> SendForText(HWND window, UINT message, std::size_t capacity) const;

private:
    Program() = default;
    // The first of the program's dialogs of a kind (IsMessageBox, IsFileDialog) to show.
    HWND WaitForDialog(bool (*kind)(HWND), Duration timeout) const;

    PROCESS_INFORMATION info_{};
};

// ---- a user's actions -------------------------------------------------------------------

// Clicks one of the main window's buttons (posted: the click may open a modal box).
void ClickButton(const Program& program, int id);
// Chooses a list entry as a user does: selection, then the list's change notice.
bool ChooseEntry(const Program& program, int listId, int position);
// Chooses an item of the image menu.
void ChooseMenuItem(const Program& program, int command);

// A key press as the keyboard delivers it to the control that has the focus in `window`
// (or, when the focus is elsewhere, to its first tab stop): through its thread's message
// loop. Modifier keys held meanwhile are not seen this way.
void PostKey(HWND window, UINT virtualKey);
// Types keys through the system's input, the first ones held down while the last one is
// pressed (Shift+F1: {VK_SHIFT, VK_F1}), with the program's main window in front. False
// when the window could not be brought to the front.
bool TypeKeys(const Program& program, const std::vector<WORD>& keys);

// Waits for the next message box, reads it and presses `button` (OK, or a question's Yes or
// No); empty `window` when none came.
MessageBoxView TakeMessageBox(const Program& program, Duration timeout = kWait, int button = IDOK);

// Types `path` into the file dialog that the program shows and confirms it. Answers a
// replace question with Yes when `replace` is set. False when no dialog came or it did
// not close.
bool ChooseFile(const Program& program, const std::wstring& path, bool replace = false);

// The folder that the file dialog shows.
std::optional<std::wstring> DialogFolder(const Program& program, HWND dialog);

// Waits until the status line reads `expected`; returns what it read last.
std::wstring WaitForStatus(const Program& program, const std::wstring& expected, Duration timeout = kWait);

// ---- the automation server's process ----------------------------------------------------

inline constexpr wchar_t kServerProgram[] = L"OmbrevaleDemoHost.exe";

// The processes that run `program` (a file name such as "OmbrevaleDemoHost.exe").
std::vector<DWORD> ProcessesOf(const wchar_t* program);
// Waits up to `grace` for them to end, then ends those left; false when one would not go.
// `ended`, when given, tells whether any had to be ended.
bool EndProcessesOf(const wchar_t* program, Duration grace, bool* ended = nullptr);
// Wine's RPC service keeps the class object of a server that died registered, and so
// starts no new server for the class, until the service itself starts anew: after a test
// has a server die, it ends the service (Wine starts it again when it is needed).
void ForgetDeadServers();

// Whether `window`'s thread repaints it within `timeout` after it has been invalidated.
bool Repaints(HWND window, Duration timeout = 2s);

// Saves a picture of `window` as it is on the screen to a 24-bit .bmp file.
bool SaveScreenshot(HWND window, const std::wstring& file);

}  // namespace ombrevale::e2e
