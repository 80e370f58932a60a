// Files dragged onto the main window from Explorer (or any source of CF_HDROP), through
// OLE drag and drop. The target only reads what is dropped; the window decides whether it
// takes a drop, and runs it as an event of its own once the drop is over.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "app/frm_main.h"
#include "base/com_object_win32.h"

namespace ombrevale {

// What the drop target asks of the window.
class DropSite {
public:
    virtual ~DropSite() = default;
    // Whether a drop of files would be taken now: no command runs, no box of the program
    // is open, and a drive is chosen.
    virtual bool TakesDrop() = 0;
    // A drop that was taken. Called inside the drop, while the source waits: the window
    // only keeps the files here. False when it cannot run the drop after all.
    virtual bool Dropped(std::vector<DroppedFile> files) = 0;
};

class DropTarget final : public ComObject<Uncounted, IDropTarget> {
public:
    explicit DropTarget(DropSite* site) : site_(site) {}

    // The window is going: every later call is refused.
    void Detach() { site_ = nullptr; }

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL at, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

private:
    ~DropTarget() override = default;
    // The effect to show for what the source allows.
    DWORD Effect(DWORD allowed);

    DropSite* site_;
    bool holdsFiles_ = false;
};

// The files of a CF_HDROP drop, each with whether it is a folder; empty when the data
// holds no files.
std::vector<DroppedFile> DroppedFiles(IDataObject* data);

}  // namespace ombrevale
