// A text file that a person writes for a server: the demo host's inventory, a bridge's list
// of machines or of hosts. Every server places it, reads it and names its faults alike:
// UTF-8 (a byte order mark allowed), a line an entry, LF or CR LF, "#" for a comment.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "hostcore/files.h"

namespace ombrevale::hostcore {

struct UserFile {
    // How messages name it: "файл <name> «…»", "…: это не <contents>".
    std::wstring_view name;
    std::wstring_view contents;
    std::int32_t malformed = 0;  // the failure number of a text that breaks the file's rules
    std::uint64_t largest = 0;   // in bytes: anything larger is some other file
    // Where it is: the file that the environment variable names, else `fileName` in the
    // folder `folder` of the user's roaming application data.
    const wchar_t* variable = nullptr;
    const wchar_t* folder = nullptr;
    const wchar_t* fileName = nullptr;
};

bool IsBlank(wchar_t c);
// `text` without the blanks (spaces and tabs) around it.
std::wstring_view TrimBlanks(std::wstring_view text);
// Whether `text` starts with `keyword` (plain lower-case ASCII), typed in either case.
bool StartsWithKeyword(std::wstring_view text, std::wstring_view keyword);

// What a line says: empty when it is fine, else its problem, a fragment of a sentence that
// follows the file and the line.
using LineReader = std::function<std::wstring(std::wstring_view line, int number)>;

// Reads the text of a user's file line by line. A file saved as UTF-16 is refused whole; a
// line that is not UTF-8, holds a control character or a lone CR is refused for that; each
// other line that is neither blank nor a comment goes to `read` without the blanks around
// it. The first refusal fails with `file.malformed`, naming `path` and the line.
Status ReadLines(std::string_view text, const UserFile& file, const std::wstring& path, const LineReader& read);

// The whole text of the file at `path`: one larger than `file.largest` is refused.
Result<std::string> ReadUserFile(Files& files, const std::wstring& path, const UserFile& file);
// The same, or nothing where no file has the name.
Result<std::optional<std::string>> ReadUserFileIfThere(Files& files, const std::wstring& path, const UserFile& file);

// A list that a person writes, read on every call, so that an edit is seen at once, and
// parsed again only when its text changed.
template <class Entry>
class UserList {
public:
    using Parser = Result<std::vector<Entry>> (*)(std::string_view text, const std::wstring& path);
    UserList(const UserFile& file, Parser parse) : file_(file), parse_(parse) {}

    // The entries: none while no file has the name.
    Result<std::vector<Entry>> Read(Files& files, const std::wstring& path) {
        std::optional<std::string> text;
        OMB_ASSIGN_OR_RETURN(text, ReadUserFileIfThere(files, path, file_));
        if (!text) return std::vector<Entry>{};
        if (!parsed_ || *text != text_) {
            OMB_ASSIGN_OR_RETURN(entries_, parse_(*text, path));
            text_ = std::move(*text);
            parsed_ = true;
        }
        return entries_;
    }

private:
    UserFile file_;
    Parser parse_;
    std::string text_;
    std::vector<Entry> entries_;
    bool parsed_ = false;
};

// Writes `utf8` (with LF line ends) at `path`, making its folders, unless something has that
// name already: a file that is there is the user's and is never replaced. The file gets the
// UTF-8 mark and CR LF line ends, since Notepad before Windows 10 shows UTF-8 only with its
// mark and lines only with CR LF.
Status WriteTextTemplate(Files& files, const std::wstring& path, std::string_view utf8);

// Windows only. Where the file is: the full form of the path that its variable names, else
// its place in the user's roaming application data.
Result<std::wstring> UserFileLocation(Files& files, const UserFile& file);
// The same for the user to read: "%APPDATA%\<folder>\<name>" where it cannot be found.
std::wstring UserFileShown(const UserFile& file);
// The commented template (WriteTextTemplate) in the user's own file, where none is there
// and no variable names another file (a file so named stays as its author made it). Best
// effort: without it the server serves as it would with the template.
void OfferTextTemplate(const UserFile& file, std::string_view utf8);

}  // namespace ombrevale::hostcore
