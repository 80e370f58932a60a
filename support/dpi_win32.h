// The DPI a window is drawn at. Windows 10 (1607 and later) tells each window its
// monitor's DPI; earlier systems, back to Windows XP, have one DPI for the whole screen.
// The newer functions are looked up when the program runs, so that it starts everywhere,
// and handed to what lays windows out, so that either way can be tried on one system.
#pragma once

#include <windows.h>

namespace ombrevale::dpi {

inline constexpr UINT kDefault = 96;
// Sent by Windows 8.1 and later when a window moves to a monitor of another DPI.
inline constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED

// The per-monitor functions: all three, or none (a window laid out at one monitor's DPI
// with another DPI's metrics would come out wrong).
struct PerMonitorFunctions {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    int(WINAPI* getSystemMetricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
};

// The system's own, where it has all three; none elsewhere.
PerMonitorFunctions SystemFunctions();

// A window's DPI and what follows from it: through the per-monitor functions where there
// are any, else at the system DPI, as on Windows XP to 8.1.
class Scaling {
public:
    Scaling() : Scaling(SystemFunctions()) {}
    explicit Scaling(PerMonitorFunctions functions);

    // The window's DPI: its monitor's where the functions tell it, else the system DPI.
    UINT ForWindow(HWND window) const;
    // A system metric (icon sizes, for one) at `dpi`.
    int SystemMetric(int index, UINT dpi) const;
    // The window rectangle that holds `rect` as its client area at `dpi`.
    BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi) const;

private:
    PerMonitorFunctions functions_;
};

}  // namespace ombrevale::dpi
