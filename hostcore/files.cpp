// The parts of the file layer that are the same on every platform.
#include "hostcore/files.h"

#include <functional>

namespace ombrevale::hostcore {
namespace {

constexpr std::wstring_view kTemporaryEnd = L".omb.tmp";
constexpr std::size_t kTokenDigits = 8;
// A name's own length limit is 255; the temporary name adds 18 characters to the stem.
constexpr std::size_t kLongestStem = 100;

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool EndsWith(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Removes ".<digits>" from the end of `text`; false if it is not there.
bool DropNumber(std::wstring_view& text) {
    std::size_t digits = 0;
    while (digits < text.size() && IsDigit(text[text.size() - 1 - digits])) ++digits;
    if (digits == 0 || digits > 10 || digits + 1 > text.size() || text[text.size() - 1 - digits] != L'.') return false;
    text.remove_suffix(digits + 1);
    return true;
}

}  // namespace

std::size_t FileIdHash::operator()(const FileId& id) const {
    std::size_t hash = std::hash<std::wstring>()(id.name);
    for (const std::uint64_t part : {static_cast<std::uint64_t>(id.kind), id.volume, id.index})
        hash = (hash ^ std::hash<std::uint64_t>()(part)) * 0x100000001B3ull;
    return hash;
}

std::vector<FileId> Files::IdentifyAll(const std::vector<std::wstring>& fullPaths) {
    std::vector<FileId> ids;
    ids.reserve(fullPaths.size());
    for (const std::wstring& path : fullPaths) ids.push_back(Identify(path));
    return ids;
}

std::wstring TemporaryStem(std::wstring_view name) {
    if (name.size() <= kLongestStem) return std::wstring(name);
    std::size_t keep = kLongestStem;
    // Never half of a UTF-16 surrogate pair.
    if (sizeof(wchar_t) == 2 && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
    return std::wstring(name.substr(0, keep));
}

std::wstring TemporaryName(std::wstring_view name, std::uint32_t token) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring hex(kTokenDigits, L'0');
    for (std::size_t i = kTokenDigits; i-- > 0; token >>= 4) hex[i] = kDigits[token & 0xF];
    return L"~" + TemporaryStem(name) + L"." + hex + std::wstring(kTemporaryEnd);
}

std::optional<std::wstring> TemporaryOwner(std::wstring_view candidate) {
    if (candidate.size() < 2 || candidate.front() != L'~') return std::nullopt;
    std::wstring_view rest = candidate.substr(1);
    if (EndsWith(rest, kTemporaryEnd)) {
        rest.remove_suffix(kTemporaryEnd.size());
        if (rest.size() < kTokenDigits + 2 || rest[rest.size() - kTokenDigits - 1] != L'.') return std::nullopt;
        for (std::size_t i = rest.size() - kTokenDigits; i < rest.size(); ++i) {
            if (!IsHexDigit(rest[i])) return std::nullopt;
        }
        rest.remove_suffix(kTokenDigits + 1);
    } else if (EndsWith(rest, L".tmp")) {
        // "~<name>.<process id>.<count>.tmp", as versions before this one named them.
        rest.remove_suffix(4);
        if (!DropNumber(rest) || !DropNumber(rest)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (rest.empty()) return std::nullopt;
    return std::wstring(rest);
}

}  // namespace ombrevale::hostcore
