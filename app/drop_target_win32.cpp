#include "app/drop_target_win32.h"

#include <shellapi.h>

namespace ombrevale {
namespace {

FORMATETC FilesFormat() { return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

}  // namespace

std::vector<DroppedFile> DroppedFiles(IDataObject* data) {
    std::vector<DroppedFile> files;
    FORMATETC format = FilesFormat();
    STGMEDIUM medium{};
    if (data == nullptr || FAILED(data->GetData(&format, &medium))) return files;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
        if (auto drop = static_cast<HDROP>(::GlobalLock(medium.hGlobal))) {
            // The same list that Explorer's own handlers read, through the same function.
            const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                std::wstring path(::DragQueryFileW(drop, i, nullptr, 0), L'\0');
                if (path.empty()) continue;
                ::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
                const DWORD attributes = ::GetFileAttributesW(path.c_str());
                files.push_back(
                    {path, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
            }
            ::GlobalUnlock(medium.hGlobal);
        }
    }
    ::ReleaseStgMedium(&medium);
    return files;
}

// Attaching uses the file where it lies, and the source keeps it: a copy or a link to
// the source, never a move, after which a source may delete its file.
DWORD DropTarget::Effect(DWORD allowed) {
    if (!holdsFiles_ || site_ == nullptr || !site_->TakesDrop()) return DROPEFFECT_NONE;
    if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    if (allowed & DROPEFFECT_LINK) return DROPEFFECT_LINK;
    return DROPEFFECT_NONE;
}

STDMETHODIMP DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (effect == nullptr) return E_INVALIDARG;
    FORMATETC format = FilesFormat();
    holdsFiles_ = data != nullptr && data->QueryGetData(&format) == S_OK;
    *effect = Effect(*effect);
    return S_OK;
}

STDMETHODIMP DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (effect == nullptr) return E_INVALIDARG;
    // A box may have opened since the last move.
    *effect = Effect(*effect);
    return S_OK;
}

STDMETHODIMP DropTarget::DragLeave() {
    holdsFiles_ = false;
    return S_OK;
}

STDMETHODIMP DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (effect == nullptr) return E_INVALIDARG;
    FORMATETC format = FilesFormat();
    holdsFiles_ = data != nullptr && data->QueryGetData(&format) == S_OK;
    *effect = Effect(*effect);
    holdsFiles_ = false;
    if (*effect == DROPEFFECT_NONE) return S_OK;
    std::vector<DroppedFile> files = DroppedFiles(data);
    if (files.empty()) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    if (!site_->Dropped(std::move(files))) *effect = DROPEFFECT_NONE;
    return S_OK;
}

}  // namespace ombrevale
