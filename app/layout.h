// The main window's fixed layout in twips (1/1440 inch), converted to pixels at the
// window's own DPI. Shared by the shell and its tests.
#pragma once

#include <cstdint>

#include "support/application.h"
#include "views/image_menu_view.h"

namespace ombrevale {

enum ControlId : int {
    kCboVMName,
    kCboFloppyDrives,
    kTxtStatus,
    kCmdImageMenu,
    kCmdDetach,
    kCmdAttachImage,
    kControlCount
};

enum class ControlKind { DropDownList, TextBox, Button };

struct ControlLayout {
    ControlId id;
    const wchar_t* name;
    ControlKind kind;
    const wchar_t* caption;
    int left, top, width, height;  // twips
};

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 5655;
inline constexpr int kClientHeightTwips = 1710;

// In tab order.
inline constexpr ControlLayout kLayout[kControlCount] = {
    {kCboVMName, L"cboVMName", ControlKind::DropDownList, L"", 120, 120, 3435, 330},
    {kCboFloppyDrives, L"cboFloppyDrives", ControlKind::DropDownList, L"", 3660, 120, 1875, 330},
    {kTxtStatus, L"txtStatus", ControlKind::TextBox, L"", 120, 600, 5415, 375},
    {kCmdImageMenu, L"cmdImageMenu", ControlKind::Button, L"Образ »", 120, 1140, 975, 435},
    {kCmdDetach, L"cmdDetach", ControlKind::Button, L"Отключить", 1920, 1140, 1335, 435},
    {kCmdAttachImage, L"cmdAttachImage", ControlKind::Button, L"Подключить образ...", 3360, 1140, 2175, 435},
};

// Window messages' control ids: 100 and up, clear of IDOK/IDCANCEL.
inline constexpr int kFirstControlCommand = 101;
inline constexpr int ControlCommand(ControlId id) { return kFirstControlCommand + id; }

// Menu commands carry the mnuImage index.
inline constexpr int kImageMenuCommandBase = 1000;

struct MenuItemLayout {
    std::int16_t index;
    const wchar_t* caption;  // "-" is a separator line
};

inline constexpr const wchar_t* kMainMenuCaption = L"Образ";
inline constexpr MenuItemLayout kImageMenu[] = {
    {kMenuCheck, L"Проверить..."},
    {kMenuSeparator, L"-"},
    {kMenuCreateHighDensity, L"Создать High Density..."},
    {kMenuCreateLowDensity, L"Создать Low Density..."},
};

inline constexpr const wchar_t* kWindowCaption = L"Ombrevale";
inline constexpr int kFontWeight = 400;
inline constexpr int kFontCharset = 204;  // Cyrillic

// Twips to pixels at `dpi`, rounded to the nearest pixel.
inline int TwipsToPixels(double twips, unsigned dpi) {
    const double pixels = twips * dpi / kTwipsPerInch;
    return static_cast<int>(pixels < 0 ? pixels - 0.5 : pixels + 0.5);
}

}  // namespace ombrevale
