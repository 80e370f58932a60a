// What the drive handlers (drives/) touch of the main window: the machine and drive lists
// and the status line. The Win32 shell answers these over real controls; tests answer them
// with fakes that can fail on any call.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

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

class DriveView {
public:
    virtual ~DriveView() = default;
    virtual ListControl& cboVMName() = 0;
    virtual ListControl& cboFloppyDrives() = 0;
    virtual TextLine& txtStatus() = 0;
};

}  // namespace ombrevale
