#include "hostcore/utf8.h"

#include <cstdint>
#include <utility>

namespace ombrevale::hostcore {
namespace {

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if (kWideIsUtf16 && cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(cp));
    }
}

// The code point that `utf8` (not empty) starts with and its length in bytes, or a
// length of 0 when the sequence is not well-formed.
std::pair<char32_t, std::size_t> DecodeFirst(std::string_view utf8) {
    const auto lead = static_cast<std::uint8_t>(utf8[0]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return {0, 0};
    }
    if (utf8.size() < length) return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(utf8[k]);
        if ((next & 0xC0) != 0x80) return {0, 0};
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {0, 0};
    return {cp, length};
}

// The code point that `wide` (not empty) starts with and its length in units: U+FFFD for
// a surrogate without its partner, or for a value that is no code point.
std::pair<char32_t, std::size_t> WideFirst(std::wstring_view wide) {
    auto cp = static_cast<char32_t>(wide[0]);
    if (kWideIsUtf16) cp &= 0xFFFF;
    if (kWideIsUtf16 && cp >= 0xD800 && cp <= 0xDBFF && wide.size() > 1) {
        const auto low = static_cast<char32_t>(wide[1]) & 0xFFFF;
        if (low >= 0xDC00 && low <= 0xDFFF) return {0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), 2};
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return {0xFFFD, 1};
    return {cp, 1};
}

}  // namespace

std::optional<std::wstring> Utf8ToWide(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const auto [cp, length] = DecodeFirst(utf8);
        if (length == 0) return std::nullopt;
        AppendCodePoint(out, cp);
        utf8.remove_prefix(length);
    }
    return out;
}

std::size_t Utf8SequenceLength(std::string_view utf8) { return DecodeFirst(utf8).second; }

std::string_view WithoutByteOrderMark(std::string_view utf8) {
    if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
    return utf8;
}

std::string_view TakeLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool LooksLikeUtf16(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") return true;
    // Every ASCII character (a blank, a digit, a line end) brings a zero byte at one parity
    // of the positions, the high byte's; even Russian prose has more than one in eight. In
    // UTF-8 a zero byte is damage, and rare.
    std::size_t zeros[2] = {0, 0};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0') ++zeros[i % 2];
    }
    const std::size_t units = bytes.size() / 2;
    for (int order = 0; order < 2; ++order) {
        if (zeros[order] > 0 && zeros[order] * 8 >= units && zeros[1 - order] * 8 <= zeros[order]) return true;
    }
    return false;
}

LineFault DecodeLine(std::string_view raw, std::wstring& line) {
    if (raw.find('\r') != std::string_view::npos) return LineFault::LoneCarriageReturn;
    auto wide = Utf8ToWide(raw);
    if (!wide) return LineFault::NotUtf8;
    for (wchar_t c : *wide) {
        if ((c < 0x20 && c != L'\t') || c == 0x7F) return LineFault::ControlCharacter;
    }
    line = std::move(*wide);
    return LineFault::None;
}

std::string WideToUtf8(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size();) {
        const auto [cp, length] = WideFirst(wide.substr(i));
        AppendUtf8(out, cp);
        i += length;
    }
    return out;
}

bool HasLoneSurrogate(std::wstring_view wide) {
    for (std::size_t i = 0; i < wide.size();) {
        const auto [cp, length] = WideFirst(wide.substr(i));
        if (cp == 0xFFFD && static_cast<char32_t>(wide[i]) != 0xFFFD) return true;
        i += length;
    }
    return false;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace ombrevale::hostcore
