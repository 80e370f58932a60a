// The DPI a window is drawn at. Windows 10 (1607 and later) tells each window its
// monitor's DPI; earlier systems, back to Windows XP, have one DPI for the whole screen.
// The newer functions are looked up when the program runs, so that it starts everywhere.
#pragma once

#include <windows.h>

namespace ombrevale::dpi {

inline constexpr UINT kDefault = 96;
// Sent by Windows 8.1 and later when a window moves to a monitor of another DPI.
inline constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED

// The window's DPI: its monitor's where the system knows it, else the system DPI.
UINT ForWindow(HWND window);
// A system metric (icon sizes, for one) at `dpi`.
int SystemMetric(int index, UINT dpi);
// The window rectangle that holds `rect` as its client area at `dpi`.
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi);

// For tests: act as a system without per-monitor DPI (Windows XP to 8.1) would, although
// the functions are there.
void UseSystemDpiOnly(bool on);

}  // namespace ombrevale::dpi
