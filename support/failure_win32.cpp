// Failures from Win32 and COM calls: the HRESULT and the system's own text, prefixed
// with what the program was doing.
#include <windows.h>

#include <string>

#include "support/support_win32.h"

namespace ombrevale {

namespace {

void TrimRight(std::wstring& text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'\t'))
        text.pop_back();
}

std::wstring Join(const std::wstring& what, const std::wstring& why) {
    if (what.empty()) return why;
    if (why.empty()) return what;
    return what + L": " + why;
}

}  // namespace

std::wstring SystemMessage(HRESULT hr) {
    // Win32 codes wrapped in an HRESULT are found under their plain number.
    DWORD code = static_cast<DWORD>(hr);
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32 && (code & 0x80000000u) != 0) code = HRESULT_CODE(hr);

    UniqueHandle<HLOCAL, detail::FreeLocal> buffer;
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    if (length == 0 && code != static_cast<DWORD>(hr)) {
        length = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
            static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    }
    if (length == 0 || !buffer) return {};
    std::wstring text(static_cast<const wchar_t*>(buffer.get()), length);
    TrimRight(text);
    return text;
}

Failure Win32Failure(DWORD error, const std::wstring& what) {
    if (error == ERROR_SUCCESS) return HResultFailure(E_FAIL, what);
    HRESULT hr = HRESULT_FROM_WIN32(error);
    return Failure{static_cast<std::int32_t>(hr), Join(what, SystemMessage(hr))};
}

Failure LastErrorFailure(const std::wstring& what) { return Win32Failure(::GetLastError(), what); }

Failure HResultFailure(HRESULT hr, const std::wstring& what) {
    return Failure{static_cast<std::int32_t>(hr), Join(what, SystemMessage(hr))};
}

}  // namespace ombrevale
