// The file dialog: the platform's standard open and save dialogs.
#include <windows.h>
#include <commdlg.h>
#include <cderr.h>

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

class Win32FileDialog final : public FileDialog {
public:
    Result<std::wstring> FileName() override { return fileName_; }
    Status SetOwner(WindowHandle owner) override {
        owner_ = ToHwnd(owner);
        return Ok();
    }
    Status SetFilter(const std::wstring& filter) override {
        ASSIGN_OR_RETURN(std::wstring list, FileDialogFilter(filter));
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
    Result<bool> ShowOpen() override {
        return Show(false, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
    }
    Result<bool> ShowSave() override {
        return Show(true, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
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

        BOOL confirmed = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
        if (!confirmed) {
            DWORD code = ::CommDlgExtendedError();
            if (code == 0) return false;  // cancelled
            return Failure{static_cast<std::int32_t>(code),
                           (save ? L"Не удалось показать окно сохранения файла: "
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
    if (filter.back() == L'|') --parts;
    else list.push_back(L'\0');
    if (parts % 2 != 0)
        return Failure{static_cast<std::int32_t>(E_INVALIDARG),
                       L"Неверный фильтр файлов «" + filter + L"»: у описания нет шаблона"};
    list.push_back(L'\0');
    return list;
}

std::unique_ptr<FileDialog> NewWin32FileDialog() { return std::make_unique<Win32FileDialog>(); }

}  // namespace ombrevale
