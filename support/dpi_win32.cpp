#include "support/dpi_win32.h"

#include "base/owners_win32.h"

namespace ombrevale::dpi {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

struct PerMonitorFunctions {
    GetDpiForWindowFn getDpiForWindow = nullptr;
    GetSystemMetricsForDpiFn getSystemMetricsForDpi = nullptr;
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi = nullptr;
};

bool g_systemDpiOnly = false;

template <class Fn>
Fn Lookup(HMODULE user32, const char* name) {
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

// All three or none: a window laid out at one monitor's DPI with another DPI's metrics
// would come out wrong.
const PerMonitorFunctions& Functions() {
    static const PerMonitorFunctions functions = [] {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        PerMonitorFunctions f;
        f.getDpiForWindow = Lookup<GetDpiForWindowFn>(user32, "GetDpiForWindow");
        f.getSystemMetricsForDpi = Lookup<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi");
        f.adjustWindowRectExForDpi = Lookup<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
        if (!f.getDpiForWindow || !f.getSystemMetricsForDpi || !f.adjustWindowRectExForDpi) f = {};
        return f;
    }();
    static const PerMonitorFunctions none;
    return g_systemDpiOnly ? none : functions;
}

UINT SystemDpi() {
    WindowDC screen(nullptr);
    if (!screen) return kDefault;
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefault;
}

}  // namespace

UINT ForWindow(HWND window) {
    if (const auto getDpiForWindow = Functions().getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        return dpi ? dpi : kDefault;
    }
    return SystemDpi();
}

int SystemMetric(int index, UINT dpi) {
    if (const auto forDpi = Functions().getSystemMetricsForDpi) return forDpi(index, dpi);
    // Without per-monitor DPI every window is at the system DPI, which is what the plain
    // metrics are measured at.
    return ::GetSystemMetrics(index);
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi) {
    if (const auto forDpi = Functions().adjustWindowRectExForDpi) return forDpi(rect, style, menu, exStyle, dpi);
    return ::AdjustWindowRectEx(rect, style, menu, exStyle);
}

void UseSystemDpiOnly(bool on) { g_systemDpiOnly = on; }

}  // namespace ombrevale::dpi
