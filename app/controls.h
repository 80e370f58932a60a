// The controls of the main window as the handlers see them. The Win32 shell answers
// these over real controls; tests answer them with fakes that can fail on any call.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"
#include "support/support.h"

namespace ombrevale {

// A drop-down list that keeps its entries in the order they were added.
class ListControl {
public:
    virtual ~ListControl() = default;
    virtual Status Clear() = 0;
    virtual Result<std::int16_t> Count() = 0;
    // The chosen position, -1 when nothing is chosen.
    virtual Result<std::int16_t> Position() = 0;
    // Appends an entry and gives the position the list reported for it.
    virtual Result<std::int16_t> Append(const std::wstring& text) = 0;
    // Chooses a position from code. Like a choice of the user it runs the list's click
    // handler at once, before Select returns.
    virtual Status Select(std::int16_t position) = 0;
};

class TextLine {
public:
    virtual ~TextLine() = default;
    virtual Status SetText(const std::wstring& text) = 0;
};

// A button's placement in the window's layout units (twips).
struct ButtonPlacement {
    float left = 0;
    float top = 0;
    float width = 0;
};

// What the window's own handlers need of the window beyond its controls.
class FormView {
public:
    virtual ~FormView() = default;
    virtual ListControl& cboVMName() = 0;
    virtual ListControl& cboFloppyDrives() = 0;
    virtual TextLine& txtStatus() = 0;
    virtual Result<WindowHandle> hWnd() = 0;
    // Closes the window exactly as its close button does.
    virtual Status Unload() = 0;
    // Reads cmdImageMenu's Top, then Left, then Width.
    virtual Result<ButtonPlacement> cmdImageMenuPlacement() = 0;
    // Pops up the submenu of mnuMain element `element` with its top-left corner at
    // (x, y) twips from the client area's top-left corner. Modal; a chosen item
    // reaches the window's mnuImage click with its index.
    virtual Status PopupMenu(std::int16_t element, float x, float y, std::int32_t flags) = 0;
};

}  // namespace ombrevale
