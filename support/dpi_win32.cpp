#include "support/dpi_win32.h"

#include "base/owners_win32.h"

namespace ombrevale::dpi {
namespace {

template <class Fn>
void Lookup(HMODULE user32, const char* name, Fn& function) {
    function = user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

UINT SystemDpi() {
    WindowDC screen(nullptr);
    if (!screen) return kDefault;
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefault;
}

}  // namespace

PerMonitorFunctions SystemFunctions() {
    static const PerMonitorFunctions functions = [] {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        PerMonitorFunctions f;
        Lookup(user32, "GetDpiForWindow", f.getDpiForWindow);
        Lookup(user32, "GetSystemMetricsForDpi", f.getSystemMetricsForDpi);
        Lookup(user32, "AdjustWindowRectExForDpi", f.adjustWindowRectExForDpi);
        return f;
    }();
    return functions;
}

Scaling::Scaling(PerMonitorFunctions functions) : functions_(functions) {
    if (!functions_.getDpiForWindow || !functions_.getSystemMetricsForDpi || !functions_.adjustWindowRectExForDpi)
        functions_ = {};
}

UINT Scaling::ForWindow(HWND window) const {
    if (functions_.getDpiForWindow) {
        const UINT dpi = functions_.getDpiForWindow(window);
        return dpi ? dpi : kDefault;
    }
    return SystemDpi();
}

int Scaling::SystemMetric(int index, UINT dpi) const {
    if (functions_.getSystemMetricsForDpi) return functions_.getSystemMetricsForDpi(index, dpi);
    // Without per-monitor DPI every window is at the system DPI, which is what the plain
    // metrics are measured at.
    return ::GetSystemMetrics(index);
}

BOOL Scaling::AdjustWindowRect(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi) const {
    if (functions_.adjustWindowRectExForDpi)
        return functions_.adjustWindowRectExForDpi(rect, style, menu, exStyle, dpi);
    return ::AdjustWindowRectEx(rect, style, menu, exStyle);
}

}  // namespace ombrevale::dpi
