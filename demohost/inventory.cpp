#include "demohost/inventory.h"

#include <map>
#include <optional>
#include <utility>

#include "demohost/messages.h"
#include "hostcore/backend.h"
#include "hostcore/errors.h"
#include "hostcore/utf8.h"

namespace ombrevale::demohost {

// The demo server builds on what both servers share.
using namespace hostcore;

namespace {

// Splits off the first word; the rest starts at the next non-blank character.
std::pair<std::wstring_view, std::wstring_view> SplitWord(std::wstring_view s) {
    std::size_t end = 0;
    while (end < s.size() && !IsBlank(s[end])) ++end;
    return {s.substr(0, end), TrimBlanks(s.substr(end))};
}

// Keywords are plain ASCII; people type them in either case.
bool IsKeyword(std::wstring_view word, std::wstring_view keyword) {
    return word.size() == keyword.size() && StartsWithKeyword(word, keyword);
}

std::optional<std::int32_t> ParseDriveNumber(std::wstring_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value > 2147483647) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

class Parser {
public:
    // A line that is neither blank nor a comment; an empty problem means it was fine.
    std::wstring Line(std::wstring_view line, int number) {
        const auto [keyword, rest] = SplitWord(line);
        if (IsKeyword(keyword, L"machine")) {
            if (rest.empty()) return InventoryText::MissingMachineName();
            inventory_.machines.push_back(MachineEntry{std::wstring(rest), {}, number});
            numbers_.clear();
            return {};
        }
        if (IsKeyword(keyword, L"drive")) return Drive(rest, number);
        return InventoryText::UnknownKeyword(keyword);
    }

    Inventory Take() { return std::move(inventory_); }

private:
    std::wstring Drive(std::wstring_view rest, int line) {
        if (inventory_.machines.empty()) return InventoryText::DriveBeforeMachine();
        MachineEntry& machine = inventory_.machines.back();
        const auto [numberText, afterNumber] = SplitWord(rest);
        if (numberText.empty()) return InventoryText::MissingDriveNumber();
        const auto number = ParseDriveNumber(numberText);
        if (!number) return InventoryText::BadDriveNumber(numberText);
        // A machine may have many thousands of drives: the numbers seen are looked up, not
        // searched, and in a tree, which no choice of numbers can make slow.
        if (const auto seen = numbers_.find(*number); seen != numbers_.end())
            return InventoryText::RepeatedDriveNumber(*number, machine.name, seen->second);
        const auto [kind, value] = SplitWord(afterNumber);
        DriveEntry drive{*number, Media::Nothing, {}, line};
        if (kind.empty()) {
            return InventoryText::MissingMedia();
        } else if (IsKeyword(kind, L"empty")) {
            if (!value.empty()) return InventoryText::TextAfterEmpty(value);
        } else if (IsKeyword(kind, L"image")) {
            if (value.empty()) return InventoryText::MissingImagePath();
            drive.media = Media::Image;
            drive.source = value;
        } else if (IsKeyword(kind, L"host")) {
            drive.media = Media::HostDrive;
            drive.source = NormalHostDriveLetter(value);
            if (drive.source.empty()) return InventoryText::BadHostDriveLetter(value);
        } else {
            return InventoryText::UnknownMedia(kind);
        }
        numbers_.emplace(*number, line);
        machine.drives.push_back(std::move(drive));
        return {};
    }

    Inventory inventory_;
    std::map<std::int32_t, int> numbers_;  // of the current machine's drives: their lines
};

std::wstring DriveLine(const DriveEntry& drive) {
    std::wstring text = L"drive " + std::to_wstring(drive.number);
    switch (drive.media) {
    case Media::Nothing: return text + L" empty";
    case Media::Image: return text + L" image " + drive.source;
    case Media::HostDrive: return text + L" host " + drive.source;
    }
    return text;
}

}  // namespace

Result<Inventory> ParseInventory(std::string_view utf8, const std::wstring& file) {
    Parser parser;
    OMB_RETURN_IF_FAILED(ReadLines(utf8, kInventoryFile, file,
                                   [&](std::wstring_view line, int number) { return parser.Line(line, number); }));
    return parser.Take();
}

std::string FormatInventory(const Inventory& inventory) {
    std::wstring text = InventoryText::FileHeader();
    for (const MachineEntry& machine : inventory.machines) {
        text += L"\nmachine " + machine.name + L"\n";
        for (const DriveEntry& drive : machine.drives) text += L"    " + DriveLine(drive) + L"\n";
    }
    return WideToUtf8(text);
}

std::optional<std::string> ReplaceDriveLine(std::string_view utf8, const DriveEntry& drive) {
    if (drive.line < 1) return std::nullopt;
    std::size_t start = 0;
    for (int line = 1; line < drive.line; ++line) {
        start = utf8.find('\n', start);
        if (start == std::string_view::npos) return std::nullopt;
        ++start;
    }
    std::size_t end = std::min(utf8.find('\n', start), utf8.size());
    if (end > start && utf8[end - 1] == '\r') --end;  // the line keeps its own line end
    std::size_t indent = start;
    if (start == 0 && utf8.substr(0, 3) == "\xEF\xBB\xBF") indent += 3;
    while (indent < end && (utf8[indent] == ' ' || utf8[indent] == '\t')) ++indent;
    const auto current = Utf8ToWide(utf8.substr(indent, end - indent));
    if (!current || !IsKeyword(SplitWord(*current).first, L"drive")) return std::nullopt;
    std::string text(utf8.substr(0, indent));  // up to the line's own indentation
    text += WideToUtf8(DriveLine(drive));
    text += utf8.substr(end);
    return text;
}

}  // namespace ombrevale::demohost
