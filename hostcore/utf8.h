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

// Whether a text file was saved as UTF-16 (Notepad's "Unicode"), in either byte order, with
// or without its byte order mark. Read as UTF-8 it would show only as stray control
// characters, which would name the wrong cause.
bool LooksLikeUtf16(std::string_view bytes);

// What can be wrong with one line of a text file that a person writes.
enum class LineFault { None, NotUtf8, LoneCarriageReturn, ControlCharacter };
// Decodes a line that TakeLine cut off into `line`. A CR left in it ended a line for some
// editor (old Mac OS), and control characters other than tab belong in no such file.
LineFault DecodeLine(std::string_view raw, std::wstring& line);

// Whether wide text holds what UTF-8 cannot carry: a UTF-16 surrogate without its partner
// (where wchar_t is 32 bits, any surrogate, or a value past U+10FFFF). WideToUtf8 writes
// U+FFFD in its place, so such a text, once saved, would read back as another.
bool HasLoneSurrogate(std::wstring_view wide);

// Unpaired UTF-16 surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// Appends one code point (up to U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace ombrevale::hostcore
