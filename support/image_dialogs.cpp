#include "support/image_dialogs.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace ombrevale {

namespace {

constexpr wchar_t kFilter[] = L"Образы дискет|*.VFD|Все файлы|*.*";
constexpr wchar_t kDefaultExtension[] = L"VFD";
constexpr wchar_t kSection[] = L"OFN Paths";
constexpr wchar_t kKey[] = L"Last open VFD directory";
constexpr std::int32_t kOptions = 0;
constexpr std::int32_t kScope = 0;
constexpr std::int16_t kTrue = -1;  // a 16-bit boolean's true

enum class DialogKind { Open, Save };

void SaveDirectoryOf(SupportLibrary& support, SettingsStore& store, const std::wstring& path, std::int16_t& status) {
    auto directory = support.esGetFilePath(path);
    if (!directory.ok()) return;
    (void)store.SaveSetting(kSection, kKey, kScope, *directory, support.App(), true, status);
}

// Moves the remembered directory to the chosen file's. The user has already chosen, so
// a failure here costs only the remembered directory, never the choice itself.
void RememberDirectory(SupportLibrary& support, FileDialog& dialog, SettingsStore* store, std::int16_t& status) {
    if (store == nullptr) return;
    auto chosen = dialog.FileName();
    if (!chosen.ok()) return;
    SaveDirectoryOf(support, *store, *chosen, status);
}

Result<std::wstring> RunImageDialog(SupportLibrary& support, DialogKind kind) {
    std::unique_ptr<FileDialog> dialog;
    OMB_ASSIGN_OR_RETURN(dialog, support.NewFileDialog());
    if (!dialog) return NoObjectFailure(L"FileDialog");

    OMB_RETURN_IF_FAILED(dialog->SetFilter(kFilter));
    OMB_RETURN_IF_FAILED(dialog->SetOptions(kOptions));
    if (kind == DialogKind::Save) OMB_RETURN_IF_FAILED(dialog->SetDefaultExtension(kDefaultExtension));
    OMB_RETURN_IF_FAILED(dialog->SetOwner(support.GetActiveWindow()));

    // A remembered directory that cannot be read is no reason to withhold the dialog:
    // it then opens with no initial directory.
    std::int16_t status = 0;
    std::unique_ptr<SettingsStore> store;
    std::wstring initialDirectory;
    if (auto created = support.NewSettingsStore(); created.ok() && *created) {
        store = std::move(*created);
        auto remembered = store->GetSetting(kSection, kKey, kScope, support.App(), L"", true, status);
        if (remembered.ok()) initialDirectory = std::move(*remembered);
    }
    OMB_RETURN_IF_FAILED(dialog->SetInitialDirectory(initialDirectory));

    bool confirmed{};
    OMB_ASSIGN_OR_RETURN(confirmed, kind == DialogKind::Save ? dialog->ShowSave() : dialog->ShowOpen());
    // The status word goes on to hold the dialog's answer, as the write hands it over.
    status = confirmed ? kTrue : 0;
    if (!confirmed) return std::wstring();

    std::wstring path;
    OMB_ASSIGN_OR_RETURN(path, dialog->FileName());
    RememberDirectory(support, *dialog, store.get(), status);
    return path;
}

}  // namespace

Result<std::wstring> AskOpenImagePath(SupportLibrary& support) { return RunImageDialog(support, DialogKind::Open); }

Result<std::wstring> AskSaveImagePath(SupportLibrary& support) { return RunImageDialog(support, DialogKind::Save); }

void RememberImageFolder(SupportLibrary& support, const std::wstring& path) {
    auto created = support.NewSettingsStore();
    if (!created.ok() || !*created) return;
    // The status word as a confirmed dialog hands it over: true.
    std::int16_t status = kTrue;
    SaveDirectoryOf(support, **created, path, status);
}

}  // namespace ombrevale
