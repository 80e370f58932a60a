#include "tests/e2e/drag_driver_win32.h"

#include <ole2.h>
#include <shlobj.h>

#include <cstring>

#include "base/com_object_win32.h"

namespace ombrevale::e2e {
namespace {

// The files, offered as CF_HDROP in global memory, the one way every drop target reads.
class FileList final : public ComObject<Uncounted, IDataObject> {
public:
    explicit FileList(const std::vector<std::wstring>& paths) {
        for (const std::wstring& path : paths) names_ += path + L'\0';
        names_ += L'\0';
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr) return E_INVALIDARG;
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        const SIZE_T bytes = sizeof(DROPFILES) + names_.size() * sizeof(wchar_t);
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (memory == nullptr) return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names_.data(), names_.size() * sizeof(wchar_t));
        ::GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        if (format == nullptr) return E_INVALIDARG;
        return format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ~FileList() override = default;
    std::wstring names_;
};

// A hand that lets go after a few moves over the window, whatever the target shows, as a
// user who drops in spite of the cursor does.
class Hand final : public StaticComObject<IDropSource> {
public:
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD) override {
        if (escape || ++asked_ > kPatience) return DRAGDROP_S_CANCEL;
        return feedback_ >= kMoves ? DRAGDROP_S_DROP : S_OK;
    }
    STDMETHODIMP GiveFeedback(DWORD effect) override {
        ++feedback_;
        shown_ = effect;
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

    DWORD shown() const { return shown_; }

private:
    // OLE asks every 50 ms or so: three moves, and never more than five seconds.
    static constexpr int kMoves = 3;
    static constexpr int kPatience = 100;
    int asked_ = 0;
    int feedback_ = 0;
    DWORD shown_ = DROPEFFECT_NONE;
};

}  // namespace

DragOutcome DragFiles(HWND window, const std::vector<std::wstring>& paths) {
    DragOutcome outcome;
    RECT area{};
    if (!::GetWindowRect(window, &area)) return outcome;
    ::SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    auto* files = new FileList(paths);
    Hand hand;
    DWORD effect = DROPEFFECT_NONE;
    outcome.result = ::DoDragDrop(files, &hand, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
    files->Release();
    outcome.shown = hand.shown();
    outcome.dropped = effect;
    return outcome;
}

}  // namespace ombrevale::e2e
