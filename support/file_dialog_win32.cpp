// The file dialog: the platform's standard open and save dialogs.
#include <windows.h>
#include <cderr.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "support/support_win32.h"

namespace ombrevale {

namespace {

// Room for the longest path Windows can name (\\?\ paths of 32767 characters).
constexpr DWORD kPathCapacity = 32768;

// Flags that would make the dialog read pointers we never give it, or hand back more
// than the one file the program asks for.
constexpr DWORD kRefusedFlags =
    OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_ENABLETEMPLATEHANDLE | OFN_ALLOWMULTISELECT | OFN_ENABLEINCLUDENOTIFY;

std::wstring CommonDialogErrorText(DWORD code) {
    switch (code) {
    case CDERR_DIALOGFAILURE: return L"окно не удалось создать";
    case CDERR_FINDRESFAILURE: return L"не найден ресурс окна";
    case CDERR_INITIALIZATION: return L"не удалось подготовить окно (не хватает памяти)";
    case CDERR_LOADRESFAILURE: return L"не удалось загрузить ресурс окна";
    case CDERR_LOADSTRFAILURE: return L"не удалось загрузить строку";
    case CDERR_LOCKRESFAILURE: return L"не удалось захватить ресурс окна";
    case CDERR_MEMALLOCFAILURE: return L"не хватает памяти";
    case CDERR_MEMLOCKFAILURE: return L"не удалось захватить память";
    case CDERR_NOHINSTANCE: return L"не задан модуль шаблона";
    case CDERR_NOHOOK: return L"не задана процедура перехвата";
    case CDERR_NOTEMPLATE: return L"не задан шаблон окна";
    case CDERR_REGISTERMSGFAIL: return L"не удалось зарегистрировать сообщение";
    case CDERR_STRUCTSIZE: return L"неверный размер структуры";
    case FNERR_BUFFERTOOSMALL: return L"имя файла не помещается в буфер";
    case FNERR_INVALIDFILENAME: return L"недопустимое имя файла";
    case FNERR_SUBCLASSFAILURE: return L"не хватает памяти для списка файлов";
    default: return L"неизвестная ошибка";
    }
}

class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper() {
        DWORD length = ::GetCurrentDirectoryW(0, nullptr);
        if (length == 0) return;
        directory_.resize(length);
        directory_.resize(::GetCurrentDirectoryW(length, directory_.data()));
    }
    void Restore() {
        if (!directory_.empty()) ::SetCurrentDirectoryW(directory_.c_str());
    }

private:
    std::wstring directory_;
};

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The form of a path that file functions take at any length.
std::wstring Extended(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(Extended(path).c_str()); }

Result<std::wstring> FullPath(const std::wstring& path) {
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return LastErrorFailure(L"Недопустимое имя файла");
    std::wstring full(size, L'\0');
    DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return LastErrorFailure(L"Недопустимое имя файла");
    full.resize(length);
    return full;
}

// Some implementations of the standard dialogs (Wine's among them) copy the typed name
// into MAX_PATH buffers and overrun them when it is longer. Such names are taken here
// before the dialog sees them, checked as the dialog checks names (the file exists, its
// folder exists, replace it?), and handed back whole. Shorter names go to the dialog.
class LongNameGuard {
public:
    LongNameGuard(bool save, DWORD flags, std::wstring defaultExtension)
        : save_(save), flags_(flags), defaultExtension_(std::move(defaultExtension)) {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CBT, CbtProc, nullptr, ::GetCurrentThreadId());
    }
    ~LongNameGuard() {
        if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
        if (dialog_ != nullptr && ::IsWindow(dialog_))
            ::SetWindowLongPtrW(dialog_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        current_ = nullptr;
    }
    LongNameGuard(const LongNameGuard&) = delete;
    LongNameGuard& operator=(const LongNameGuard&) = delete;

    bool Accepted() const { return accepted_; }
    const std::wstring& Path() const { return path_; }

private:
    // The first top-level dialog created during the call is the file dialog itself.
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
        LongNameGuard* self = current_;
        if (code == HCBT_CREATEWND && self != nullptr && self->dialog_ == nullptr) {
            auto window = reinterpret_cast<HWND>(wParam);
            auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
            wchar_t className[16] = {};
            ::GetClassNameW(window, className, 16);
            if ((create->lpcs->style & WS_CHILD) == 0 && std::wstring(className) == L"#32770") {
                self->dialog_ = window;
                self->original_ = reinterpret_cast<WNDPROC>(
                    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DialogProc)));
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        LongNameGuard* self = current_;
        if (self == nullptr || window != self->dialog_) return ::DefDlgProcW(window, message, wParam, lParam);
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && self->TakeLongName(window)) return 0;
        return ::CallWindowProcW(self->original_, window, message, wParam, lParam);
    }

    int Say(HWND dialog, const std::wstring& text, UINT style) {
        return ::MessageBoxW(dialog, text.c_str(), WindowText(dialog).c_str(), style);
    }

    // True when the name was too long for the dialog and has been dealt with here.
    bool TakeLongName(HWND dialog) {
        const std::wstring name = TypedName(dialog);
        if (name.empty() || name.find_first_of(L"*?\"<>|") != std::wstring::npos) return false;
        const std::wstring combined = InFolderShown(dialog, name);
        const std::size_t extension = save_ && !defaultExtension_.empty() ? defaultExtension_.size() + 1 : 0;
        if (std::max(combined.size(), name.size()) + extension + 1 < MAX_PATH) return false;

        std::wstring path;
        if (Checked(dialog, name, combined, path)) {
            accepted_ = true;
            path_ = path;
            // The dialog ends as if cancelled; Show reports the name taken here.
            ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDCANCEL)));
        }
        return true;
    }

    // The name in the dialog's name field, without blanks or quotes around it.
    static std::wstring TypedName(HWND dialog) {
        HWND box = ::GetDlgItem(dialog, cmb13);
        if (box == nullptr) box = ::GetDlgItem(dialog, edt1);
        if (box == nullptr) return {};
        std::wstring name = WindowText(box);
        while (!name.empty() && name.back() == L' ') name.pop_back();
        while (!name.empty() && name.front() == L' ') name.erase(0, 1);
        if (name.size() >= 2 && name.front() == L'"' && name.back() == L'"') name = name.substr(1, name.size() - 2);
        return name;
    }

    // A relative name in the folder that the dialog shows.
    static std::wstring InFolderShown(HWND dialog, const std::wstring& name) {
        std::wstring folder(kPathCapacity, L'\0');
        LRESULT length =
            ::SendMessageW(dialog, CDM_GETFOLDERPATH, folder.size(), reinterpret_cast<LPARAM>(folder.data()));
        folder.resize(length > 0 ? std::wcslen(folder.c_str()) : 0);
        const bool absolute = (name.size() >= 2 && name[1] == L':') || name[0] == L'\\' || name[0] == L'/';
        if (absolute || folder.empty()) return name;
        return folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
    }

    // The full path of a long name, checked as the dialog checks names (the file exists,
    // its folder exists, replace it?). False, once the user has been told why, when refused.
    bool Checked(HWND dialog, const std::wstring& name, const std::wstring& combined, std::wstring& path) {
        auto full = FullPath(combined);
        if (!full.ok()) return Refuse(dialog, name + kParagraph + L"Недопустимое имя файла.");
        path = *full;
        if (IsFolder(Attributes(path))) return Refuse(dialog, path + kParagraph + L"Это папка, а не файл.");
        if (save_ && !defaultExtension_.empty()) {
            std::size_t leaf = path.find_last_of(L"\\/");
            if (path.find(L'.', leaf == std::wstring::npos ? 0 : leaf) == std::wstring::npos)
                path += L"." + defaultExtension_;
        }
        const DWORD attributes = Attributes(path);
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        if ((flags_ & OFN_PATHMUSTEXIST) != 0 && !IsFolder(Attributes(DirectoryOfPath(path))))
            return Refuse(dialog, path + kParagraph + L"Папка не найдена. Проверьте путь.");
        if (!save_ && (flags_ & OFN_FILEMUSTEXIST) != 0 && !exists)
            return Refuse(dialog, path + kParagraph + L"Файл не найден. Проверьте имя файла.");
        if (save_ && (flags_ & OFN_NOREADONLYRETURN) != 0 && exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            return Refuse(dialog, path + L"\r\n\r\nЭтот файл только для чтения. Выберите другое имя файла.");
        if (save_ && (flags_ & OFN_OVERWRITEPROMPT) != 0 && exists)
            return Say(dialog, path + kParagraph + L"Этот файл уже существует. Заменить его?",
                       MB_YESNO | MB_ICONWARNING) == IDYES;
        return true;
    }

    bool Refuse(HWND dialog, const std::wstring& why) {
        Say(dialog, why, MB_OK | MB_ICONWARNING);
        return false;
    }

    static bool IsFolder(DWORD attributes) {
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    static thread_local LongNameGuard* current_;
    bool save_;
    DWORD flags_;
    std::wstring defaultExtension_;
    HHOOK hook_ = nullptr;
    HWND dialog_ = nullptr;
    WNDPROC original_ = nullptr;
    bool accepted_ = false;
    std::wstring path_;
};

thread_local LongNameGuard* LongNameGuard::current_ = nullptr;

class Win32FileDialog final : public FileDialog {
public:
    Result<std::wstring> FileName() override { return fileName_; }
    Status SetOwner(WindowHandle owner) override {
        owner_ = ToHwnd(owner);
        return Ok();
    }
    Status SetFilter(const std::wstring& filter) override {
        std::wstring list;
        OMB_ASSIGN_OR_RETURN(list, FileDialogFilter(filter));
        filter_ = std::move(list);
        return Ok();
    }
    Status SetOptions(std::int32_t options) override {
        options_ = static_cast<DWORD>(options);
        return Ok();
    }
    Status SetInitialDirectory(const std::wstring& directory) override {
        initialDirectory_ = directory;
        return Ok();
    }
    Status SetDefaultExtension(const std::wstring& extension) override {
        // The dialogs want the extension without its dot.
        defaultExtension_ = extension;
        while (!defaultExtension_.empty() && defaultExtension_.front() == L'.') defaultExtension_.erase(0, 1);
        return Ok();
    }
    Result<bool> ShowOpen() override { return Show(false, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY); }
    Result<bool> ShowSave() override {
        // A read-only file is not offered for replacing: whoever writes it next would fail.
        return Show(true, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN);
    }

private:
    Result<bool> Show(bool save, DWORD defaults) {
        std::vector<wchar_t> file(kPathCapacity, L'\0');
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof(ofn);
        // A stale owner (a window closed meanwhile) would make the dialog fail outright.
        ofn.hwndOwner = (owner_ != nullptr && ::IsWindow(owner_)) ? owner_ : nullptr;
        ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = kPathCapacity;  // in characters
        ofn.lpstrInitialDir = initialDirectory_.empty() ? nullptr : initialDirectory_.c_str();
        ofn.lpstrDefExt = defaultExtension_.empty() ? nullptr : defaultExtension_.c_str();
        ofn.Flags = OFN_EXPLORER | ((options_ == 0 ? defaults : options_) & ~kRefusedFlags);

        // The dialogs move the process's current directory to the folder browsed (the
        // open dialog even despite OFN_NOCHANGEDIR), and a current directory cannot be
        // removed or renamed: give the old one back.
        CurrentDirectoryKeeper keeper;
        LongNameGuard guard(save, ofn.Flags, defaultExtension_);
        BOOL confirmed = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
        DWORD code = confirmed ? 0 : ::CommDlgExtendedError();
        keeper.Restore();
        if (guard.Accepted()) {
            fileName_ = guard.Path();
            return true;
        }
        if (!confirmed) {
            if (code == 0) return false;  // cancelled
            return Failure{static_cast<std::int32_t>(code), (save ? L"Не удалось показать окно сохранения файла: "
                                                                  : L"Не удалось показать окно открытия файла: ") +
                                                                CommonDialogErrorText(code)};
        }
        fileName_.assign(file.data());
        return true;
    }

    std::wstring fileName_;
    HWND owner_ = nullptr;
    std::wstring filter_;
    DWORD options_ = 0;
    std::wstring initialDirectory_;
    std::wstring defaultExtension_;
};

}  // namespace

Result<std::wstring> FileDialogFilter(const std::wstring& filter) {
    if (filter.empty()) return std::wstring();
    std::wstring list;
    std::size_t parts = 1;
    for (wchar_t c : filter) {
        if (c == L'|') {
            list.push_back(L'\0');
            ++parts;
        } else {
            list.push_back(c);
        }
    }
    // A trailing bar is a common way to end such a list.
    if (filter.back() == L'|')
        --parts;
    else
        list.push_back(L'\0');
    if (parts % 2 != 0)
        return Failure{static_cast<std::int32_t>(E_INVALIDARG),
                       L"Неверный фильтр файлов «" + filter + L"»: у описания нет шаблона"};
    list.push_back(L'\0');
    return list;
}

std::unique_ptr<FileDialog> NewWin32FileDialog() { return std::make_unique<Win32FileDialog>(); }

}  // namespace ombrevale
