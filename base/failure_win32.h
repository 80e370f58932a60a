// Failures from Win32 and COM calls, built one way for the whole program and its servers:
// the HRESULT, and what the program was doing followed by the system's own text; and the
// path of the running program, which both ask the system for.
#pragma once

#include <windows.h>

#include <string>

#include "base/result.h"

namespace ombrevale {

// The text without the blanks, tabs and line breaks at either end (the system's messages
// end in a line break, and servers' descriptions often do).
std::wstring Trimmed(const std::wstring& text);

// A failure the program describes in its own words (no system call to ask).
Failure FailureOf(HRESULT hr, std::wstring description);

// The system's words for an HRESULT or a Win32 code, without the closing line break; for
// the COM failures a user meets when a server is missing or broken, the program's own
// words where the system has none (Wine has none for most), and always for a server that
// has gone or does not answer. Empty when neither has any.
std::wstring SystemMessage(HRESULT hr);
// The same, or the number itself ("Ошибка 0x80040154.") where there are no words.
std::wstring SystemMessageOrNumber(HRESULT hr);

// "<what>: <the system's words or the number>" under the HRESULT; `what` may be empty.
Failure HResultFailure(HRESULT hr, const std::wstring& what);
// The same for a Win32 error code (E_FAIL when the failing call left none).
Failure Win32Failure(DWORD error, const std::wstring& what);
// The same for GetLastError().
Failure LastErrorFailure(const std::wstring& what);

// The full path of the running program's file, of any length.
Result<std::wstring> ProgramPath();

}  // namespace ombrevale
