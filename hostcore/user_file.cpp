#include "hostcore/user_file.h"

#include <cstdint>
#include <vector>

#include "hostcore/errors.h"
#include "hostcore/texts.h"
#include "hostcore/utf8.h"

namespace ombrevale::hostcore {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool StartsWithKeyword(std::wstring_view text, std::wstring_view keyword) {
    if (text.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != keyword[i]) return false;
    }
    return true;
}

Status ReadLines(std::string_view text, const UserFile& file, const std::wstring& path, const LineReader& read) {
    // Read as UTF-8, UTF-16 would show only as stray control characters: the wrong cause.
    if (LooksLikeUtf16(text)) return Failure{file.malformed, ServerText::SavedAsUtf16(file, path)};
    text = WithoutByteOrderMark(text);
    int number = 0;
    while (!text.empty()) {
        ++number;
        std::wstring decoded;
        std::wstring problem = ServerText::Problem(DecodeLine(TakeLine(text), decoded));
        const std::wstring_view line = TrimBlanks(decoded);
        if (problem.empty() && (line.empty() || line.front() == L'#')) continue;
        if (problem.empty()) problem = read(line, number);
        if (!problem.empty()) return Failure{file.malformed, ServerText::Malformed(file, path, number, problem)};
    }
    return Ok();
}

Result<std::string> ReadUserFile(Files& files, const std::wstring& path, const UserFile& file) {
    auto opened = files.OpenForReading(path);
    if (!opened) return Failure{opened.failure().number, ServerText::Unreadable(file, path, opened.failure().number)};
    if ((*opened)->Size() > file.largest) return Failure{kFileTooLarge, ServerText::TooLarge(file, path)};
    auto bytes = (*opened)->ReadHead(static_cast<std::size_t>((*opened)->Size()));
    if (!bytes) return Failure{bytes.failure().number, ServerText::Unreadable(file, path, bytes.failure().number)};
    return std::string(bytes->begin(), bytes->end());
}

Result<std::optional<std::string>> ReadUserFileIfThere(Files& files, const std::wstring& path, const UserFile& file) {
    auto facts = files.Examine(path);
    if (!facts) return Failure{facts.failure().number, ServerText::Unreadable(file, path, facts.failure().number)};
    if (facts->kind == PathKind::Missing) return std::optional<std::string>();
    std::string text;
    OMB_ASSIGN_OR_RETURN(text, ReadUserFile(files, path, file));
    return std::optional<std::string>(std::move(text));
}

Status WriteTextTemplate(Files& files, const std::wstring& path, std::string_view utf8) {
    OMB_RETURN_IF_FAILED(files.CreateFolders(files.Parent(path)));
    std::vector<std::uint8_t> bytes{0xEF, 0xBB, 0xBF};
    for (char c : utf8) {
        if (c == '\n') bytes.push_back('\r');
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    // Whole or not at all: half a template would only puzzle its reader.
    Status written = files.WriteAtomically(path, bytes, WriteMode::CreateOnly);
    if (!written && written.failure().number == kFileExists) return Ok();
    return written;
}

}  // namespace ombrevale::hostcore
