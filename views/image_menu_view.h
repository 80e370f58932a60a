// What the image menu's handler (images/) touches of the main window: the placement of the
// button that opens the menu, and the popup menu itself, whose element and item indices
// are named here for the shell that builds the menu and for the handler alike.
#pragma once

#include <cstdint>

#include "base/result.h"

namespace ombrevale {

// mnuMain's element whose submenu is the image menu, and the popup flags: left-aligned,
// items answer the right mouse button too (TPM_LEFTALIGN | TPM_RIGHTBUTTON).
inline constexpr std::int16_t kImageMenuElement = 100;
inline constexpr std::int32_t kImageMenuFlags = 2;

// mnuImage indices.
inline constexpr std::int16_t kMenuCheck = 1;
inline constexpr std::int16_t kMenuSeparator = 10;
inline constexpr std::int16_t kMenuCreateHighDensity = 11;
inline constexpr std::int16_t kMenuCreateLowDensity = 12;

// A button's placement in the window's layout units (twips).
struct ButtonPlacement {
    float left = 0;
    float top = 0;
    float width = 0;
};

class ImageMenuView {
public:
    virtual ~ImageMenuView() = default;
    // Reads cmdImageMenu's Top, then Left, then Width.
    virtual Result<ButtonPlacement> cmdImageMenuPlacement() = 0;
    // Pops up the submenu of mnuMain element `element` with its top-left corner at
    // (x, y) twips from the client area's top-left corner. Modal; a chosen item
    // reaches the window's mnuImage click with its index.
    virtual Status PopupMenu(std::int16_t element, float x, float y, std::int32_t flags) = 0;
};

}  // namespace ombrevale
