// The application support library as the program's logic sees it: the as*/es* functions,
// the error reporter, the about box, the file dialog and the settings store. The Win32
// implementations live in *_win32.cpp files; tests use fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"

namespace ombrevale {

// A window handle as the support library passes it (0 is no window).
using WindowHandle = std::uintptr_t;

// The program-wide object that identifies the running application.
struct Application {
    std::wstring title;        // "Quorvex - Ombrevale"
    std::wstring companyName;  // settings are kept under Software\<companyName>\<productName>
    std::wstring productName;
};

// Message box styles used by the program (MB_OK with one icon).
inline constexpr std::int32_t kStyleCritical = 16;     // MB_ICONSTOP
inline constexpr std::int32_t kStyleInformation = 64;  // MB_ICONINFORMATION

// Messages about a file: the path, one empty line, the sentence.
inline constexpr wchar_t kParagraph[] = L"\r\n\r\n";

// The as*/es* functions of the two function libraries.
class SupportFunctions {
public:
    virtual ~SupportFunctions() = default;
    virtual Status asSetWindowResIconAll(WindowHandle window, const std::wstring& resourceName) = 0;
    virtual Status asCenterFormEx(WindowHandle window) = 0;
    virtual Status asFixUserControlsContainerWindow() = 0;
    virtual Status esRegisterAppPath() = 0;
    virtual Result<bool> esIsInIDE() = 0;
    virtual Result<WindowHandle> esGetThunderMainHandle() = 0;
    virtual Status esOpenReadMeFile(std::int32_t reserved) = 0;
    virtual Result<std::wstring> esGetFilePath(const std::wstring& path) = 0;
};

class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    // Shows `message` with the failure's number and description in one modal stop box
    // and returns after the user dismissed it. `reserved` and `silent` are kept for the
    // callers' argument order; the result is never used by the program.
    virtual Result<std::int32_t> ReportError(const Failure& error, std::int32_t style, std::int32_t reserved,
                                             const std::wstring& message, bool silent) = 0;
};

class AboutBox {
public:
    virtual ~AboutBox() = default;
    // `picture` stands for an optional picture object; the program passes none.
    virtual Status ShowAbout(WindowHandle owner, const Application& application, const std::wstring& text,
                             const void* picture, const std::wstring& dedication) = 0;
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual Result<std::wstring> FileName() = 0;
    virtual Status SetOwner(WindowHandle owner) = 0;
    // "description|pattern|description|pattern..."
    virtual Status SetFilter(const std::wstring& filter) = 0;
    virtual Status SetOptions(std::int32_t options) = 0;
    virtual Status SetInitialDirectory(const std::wstring& directory) = 0;
    virtual Status SetDefaultExtension(const std::wstring& extension) = 0;
    // True when the user confirmed a file.
    virtual Result<bool> ShowOpen() = 0;
    virtual Result<bool> ShowSave() = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `defaultValue` when nothing is stored. `scope` and
    // `perUser` are kept for the callers' argument order; `status` is a by-reference
    // word the store may set.
    virtual Result<std::wstring> GetSetting(const std::wstring& section, const std::wstring& key, std::int32_t scope,
                                            const Application& application, const std::wstring& defaultValue,
                                            bool perUser, std::int16_t& status) = 0;
    virtual Status SaveSetting(const std::wstring& section, const std::wstring& key, std::int32_t scope,
                               const std::wstring& value, const Application& application, bool perUser,
                               std::int16_t& status) = 0;
};

// Plain modal message box owned by the main window, captioned with the application title.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Result<std::int32_t> Show(const std::wstring& text, std::int32_t style) = 0;
};

// Everything of the support library that the program's logic reaches, with the single
// instances (error reporter, about box) created at first use and the per-call objects
// (file dialog, settings store) created anew for each call.
class SupportLibrary : public SupportFunctions {
public:
    // The error reporter, or the failure to create it: never an empty one.
    virtual Result<std::reference_wrapper<ErrorReporter>> Reporter() = 0;
    virtual Result<AboutBox*> About() = 0;
    virtual Result<std::unique_ptr<FileDialog>> NewFileDialog() = 0;
    virtual Result<std::unique_ptr<SettingsStore>> NewSettingsStore() = 0;
    virtual MessageBoxes& Boxes() = 0;
    virtual WindowHandle GetActiveWindow() = 0;
    virtual const Application& App() = 0;
};

// Shows `failure` with `message` in the error reporter's stop box: the one way every
// handler reports a failure. A failure of the reporter itself goes no further, since
// nothing is left to show it with.
void ReportFailure(SupportLibrary& support, const Failure& failure, const std::wstring& message);

// Gives a window the program's icon, unless the program runs in the IDE, whose own icon
// stays then: start-up gives it to the application window, the main window's load to
// itself. `window` is asked for its handle only when the icon is set. Unguarded: the
// first failure passes up.
Status SetProgramIcon(SupportLibrary& support, const std::function<Result<WindowHandle>()>& window);

}  // namespace ombrevale
