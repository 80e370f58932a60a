// UTF-8 <-> wide text for the files a person writes and for QMP's JSON. wchar_t is UTF-16 on Windows and UTF-32
// natively; both are handled so that the portable logic is tested as it runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ombrevale::hostcore {

// Nothing when the bytes are not well-formed UTF-8 (overlong forms, surrogates and
// values past U+10FFFF included), so a damaged file is refused rather than misread.
std::optional<std::wstring> Utf8ToWide(std::string_view utf8);

// The length of the well-formed UTF-8 sequence that `utf8` starts with (as Utf8ToWide
// judges it), or 0; `utf8` is not empty.
std::size_t Utf8SequenceLength(std::string_view utf8);

// A text file a person writes: without the byte order mark an editor may put first.
std::string_view WithoutByteOrderMark(std::string_view utf8);
// Cuts the first line off `rest` and returns it, without its LF or CRLF.
std::string_view TakeLine(std::string_view& rest);

// Unpaired UTF-16 surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// Appends one code point (up to U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace ombrevale::hostcore
