// The main window as its own handlers see it: the controls that the drive and image
// handlers use (views/), and what the window's own events need beyond them.
#pragma once

#include "base/result.h"
#include "support/support.h"
#include "views/drive_view.h"
#include "views/image_menu_view.h"

namespace ombrevale {

class FormView : public DriveView, public ImageMenuView {
public:
    ~FormView() override = default;
    virtual Result<WindowHandle> hWnd() = 0;
    // Closes the window exactly as its close button does.
    virtual Status Unload() = 0;
};

}  // namespace ombrevale
