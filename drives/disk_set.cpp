#include "drives/disk_set.h"

#include <cstddef>
#include <map>
#include <string_view>

namespace ombrevale {
namespace {

// Upper case as Windows folds file names, for the scripts that names are written in here:
// Latin (with Latin-1 and Latin Extended-A), Greek and Cyrillic.
wchar_t Fold(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return static_cast<wchar_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
    // Pairs of capital and small letter side by side: which of the two comes first
    // changes from block to block.
    const bool odd = (c & 1) != 0;
    if ((c >= 0x100 && c <= 0x12F && odd) || (c >= 0x132 && c <= 0x137 && odd) || (c >= 0x139 && c <= 0x148 && !odd) ||
        (c >= 0x14A && c <= 0x177 && odd) || (c >= 0x179 && c <= 0x17E && !odd) || (c >= 0x460 && c <= 0x481 && odd) ||
        (c >= 0x48A && c <= 0x4BF && odd))
        return static_cast<wchar_t>(c - 1);
    return c;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A name without its extension, cut into runs of digits and the text between them.
struct Name {
    std::vector<std::wstring> runs;  // alternating text and digits, starting with text (maybe empty)
    std::wstring extension;          // from the last dot on, or empty

    bool HasDigits() const { return runs.size() > 1; }
};

Name Parse(const std::wstring& name) {
    Name parsed;
    std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) dot = name.size();
    parsed.extension = name.substr(dot);
    parsed.runs.emplace_back();
    for (std::size_t i = 0; i < dot; ++i) {
        // Odd positions hold digits, even ones the text between them.
        const bool digitRun = parsed.runs.size() % 2 == 0;
        if (IsDigit(name[i]) != digitRun) parsed.runs.emplace_back();
        parsed.runs.back().push_back(name[i]);
    }
    return parsed;
}

// The position of the one run of digits in which `other` differs from `image`, or nothing
// when they differ anywhere else, or nowhere.
std::optional<std::size_t> DifferingRun(const Name& image, const Name& other) {
    if (other.runs.size() != image.runs.size() || !SameText(other.extension, image.extension)) return std::nullopt;
    std::optional<std::size_t> differing;
    for (std::size_t i = 0; i < image.runs.size(); ++i) {
        const bool digits = i % 2 == 1;
        if (digits ? image.runs[i] == other.runs[i] : SameText(image.runs[i], other.runs[i])) continue;
        if (!digits || differing) return std::nullopt;
        differing = i;
    }
    return differing;
}

// Compares two runs of digits as numbers of any length: negative, zero or positive.
int CompareNumbers(const std::wstring& a, const std::wstring& b) {
    const std::size_t aStart = a.find_first_not_of(L'0'), bStart = b.find_first_not_of(L'0');
    const std::wstring_view x =
        aStart == std::wstring::npos ? std::wstring_view() : std::wstring_view(a).substr(aStart);
    const std::wstring_view y =
        bStart == std::wstring::npos ? std::wstring_view() : std::wstring_view(b).substr(bStart);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

struct Candidate {
    const std::wstring* name;
    std::wstring number;
};

}  // namespace

SetNeighbour FindNeighbour(const std::wstring& image, const std::vector<std::wstring>& names, Neighbour which) {
    const Name own = Parse(image);
    if (!own.HasDigits()) return {SetNeighbour::Outcome::NoNumber, {}};

    std::map<std::size_t, std::vector<Candidate>> byRun;
    for (const std::wstring& name : names) {
        if (SameText(name, image)) continue;
        const Name other = Parse(name);
        if (auto run = DifferingRun(own, other)) byRun[*run].push_back({&name, other.runs[*run]});
    }
    // The run in which most names differ; the map's order makes the earlier run win a tie.
    const std::vector<Candidate>* set = nullptr;
    std::size_t run = 0;
    for (const auto& [position, candidates] : byRun)
        if (!set || candidates.size() > set->size()) set = &candidates, run = position;
    if (!set) return {SetNeighbour::Outcome::NoneThatWay, {}};

    const std::wstring& current = own.runs[run];
    const int way = which == Neighbour::Next ? 1 : -1;
    const Candidate* best = nullptr;
    for (const Candidate& c : *set) {
        if (CompareNumbers(c.number, current) * way <= 0) continue;
        if (best) {
            const int closer = CompareNumbers(c.number, best->number) * way;
            if (closer > 0) continue;
            // The same number written twice ("disk4", "disk04"): the one written as the
            // image's is, else the first by name, so that the answer never depends on the
            // folder's order.
            if (closer == 0) {
                const bool cLikeImage = c.number.size() == current.size();
                const bool bestLikeImage = best->number.size() == current.size();
                if (bestLikeImage && !cLikeImage) continue;
                if (bestLikeImage == cLikeImage && *best->name < *c.name) continue;
            }
        }
        best = &c;
    }
    if (!best) return {SetNeighbour::Outcome::NoneThatWay, {}};
    return {SetNeighbour::Outcome::Found, *best->name};
}

std::optional<PathParts> SplitImagePath(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut + 1 == path.size()) return std::nullopt;
    return PathParts{path.substr(0, cut + 1), path.substr(cut + 1)};
}

}  // namespace ombrevale
