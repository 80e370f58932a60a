// The application support library over Win32: the as*/es* functions, the error
// reporter, the about box, the standard file dialogs and the registry settings store.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/failure_win32.h"
#include "base/owners_win32.h"
#include "base/result.h"
#include "support/application.h"
#include "support/dpi_win32.h"
#include "support/support.h"

namespace ombrevale {

// Window handles across the portable seam.
inline HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline WindowHandle FromHwnd(HWND window) { return reinterpret_cast<WindowHandle>(window); }

// ---------------------------------------------------------------------------------------
// Texts the library builds (exposed so that tests check them byte for byte)

// The error reporter's message: the message, an empty line, then the failure's number
// (0x%08X for HRESULTs, decimal otherwise) and its description.
std::wstring ErrorReportText(const Failure& error, const std::wstring& message);
// The directory part of a path: everything before the last separator, keeping the
// separator of a root ("C:\"); empty when the path has no separator.
std::wstring DirectoryOfPath(const std::wstring& path);
// "description|pattern|..." as the double-NUL list the file dialogs take; a failure when
// a description has no pattern.
Result<std::wstring> FileDialogFilter(const std::wstring& filter);
// Opens a read-me file with its registered program; when that cannot be done, says so in
// a stop message box and still succeeds: asking for help must never end the program.
Status OpenReadMe(const std::wstring& path, MessageBoxes& boxes);

// ---------------------------------------------------------------------------------------
// The library

class Win32MessageBoxes final : public MessageBoxes {
public:
    explicit Win32MessageBoxes(std::wstring caption) : caption_(std::move(caption)) {}
    Result<std::int32_t> Show(const std::wstring& text, std::int32_t style) override;

private:
    std::wstring caption_;
};

class Win32SupportLibrary final : public SupportLibrary {
public:
    // `resources` is the module that holds the icon group "A_MAIN" (the program itself;
    // tests pass their own module). Null means the program's own module. Icons and the
    // about box are sized at their window's DPI as `scaling` tells it.
    Win32SupportLibrary(HINSTANCE resources, Application application, dpi::Scaling scaling = {});
    ~Win32SupportLibrary() override;
    Win32SupportLibrary(const Win32SupportLibrary&) = delete;
    Win32SupportLibrary& operator=(const Win32SupportLibrary&) = delete;

    Status asSetWindowResIconAll(WindowHandle window, const std::wstring& resourceName) override;
    Status asCenterFormEx(WindowHandle window) override;
    Status asFixUserControlsContainerWindow() override;
    Status esRegisterAppPath() override;
    Result<bool> esIsInIDE() override;
    Result<WindowHandle> esGetThunderMainHandle() override;
    Status esOpenReadMeFile(std::int32_t reserved) override;
    Result<std::wstring> esGetFilePath(const std::wstring& path) override;

    Result<std::reference_wrapper<ErrorReporter>> Reporter() override;
    Result<AboutBox*> About() override;
    Result<std::unique_ptr<FileDialog>> NewFileDialog() override;
    Result<std::unique_ptr<SettingsStore>> NewSettingsStore() override;
    MessageBoxes& Boxes() override;
    WindowHandle GetActiveWindow() override;
    const Application& App() override;

    HINSTANCE Resources() const { return resources_; }

private:
    HINSTANCE resources_;
    Application application_;
    dpi::Scaling scaling_;
    Win32MessageBoxes boxes_;
    std::unique_ptr<ErrorReporter> reporter_;
    std::unique_ptr<AboutBox> about_;
    UniqueWindow thunderMain_;
    // Icons handed to windows with WM_SETICON: a window does not free them, so they live
    // as long as the library that loaded them.
    std::vector<UniqueIcon> icons_;
};

// The parts, for the library and for tests that exercise one of them alone.
std::unique_ptr<ErrorReporter> NewWin32ErrorReporter(std::wstring caption);
std::unique_ptr<AboutBox> NewWin32AboutBox(HINSTANCE resources, dpi::Scaling scaling = {});
std::unique_ptr<FileDialog> NewWin32FileDialog();
std::unique_ptr<SettingsStore> NewWin32SettingsStore();

}  // namespace ombrevale
