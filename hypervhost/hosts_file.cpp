#include "hypervhost/hosts_file.h"

#include "hostcore/texts.h"
#include "hostcore/utf8.h"
#include "hypervhost/errors.h"
#include "hypervhost/messages.h"

namespace ombrevale::hypervhost {
namespace {

using hostcore::ServerText;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool HasControlCharacter(std::wstring_view line) {
    for (wchar_t c : line) {
        if ((c < 0x20 && c != L'\t') || c == 0x7F) return true;
    }
    return false;
}

// Names as DNS, NetBIOS and IPv4 write them: letters of any script, digits, "-", "_", ".".
bool IsNameCharacter(wchar_t c) {
    if (c >= L'0' && c <= L'9') return true;
    if (c == L'-' || c == L'_' || c == L'.') return true;
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z')) return true;
    return c >= 0xC0 && c != 0xD7 && c != 0xF7 && c != 0x2028 && c != 0x2029 && c != 0xFEFF;
}

wchar_t Folded(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
    if (c >= 0x410 && c <= 0x42F) return static_cast<wchar_t>(c + 0x20);  // Cyrillic capitals
    return c;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

}  // namespace

Result<std::vector<HostEntry>> ParseHostsFile(std::string_view utf8, const std::wstring& file) {
    utf8 = hostcore::WithoutByteOrderMark(utf8);
    std::vector<HostEntry> hosts;
    int number = 0;
    while (!utf8.empty()) {
        ++number;
        const std::string_view raw = hostcore::TakeLine(utf8);
        std::wstring problem;
        const auto wide = hostcore::Utf8ToWide(raw);
        std::wstring_view line = wide ? Trim(*wide) : std::wstring_view();
        if (!wide) {
            problem = ServerText::NotUtf8();
        } else if (HasControlCharacter(line)) {
            problem = ServerText::ControlCharacter();
        } else if (line.empty() || line.front() == L'#') {
            continue;
        } else {
            // "\\server", as Windows writes a computer's name in paths, is the same host.
            if (line.size() > 2 && line[0] == L'\\' && line[1] == L'\\') line.remove_prefix(2);
            bool wellFormed = line.size() <= 255;
            for (wchar_t c : line) wellFormed = wellFormed && IsNameCharacter(c);
            if (!wellFormed) {
                problem = HostsFileText::BadName(line);
            } else if (line == L"." || SameName(line, L"localhost")) {
                problem = HostsFileText::ThisComputer(line);
            } else {
                for (const HostEntry& other : hosts) {
                    if (problem.empty() && SameName(other.name, line))
                        problem = HostsFileText::Repeated(line, other.line);
                }
                if (problem.empty()) hosts.push_back(HostEntry{std::wstring(line), number});
            }
        }
        if (!problem.empty()) return Failure{kMalformedHostsFile, HostsFileText::Malformed(file, number, problem)};
    }
    return hosts;
}

std::string HostsFileTemplate() {
    return hostcore::WideToUtf8(
        L"# Хосты Hyper-V, дисководы машин которых обслуживает мост Ombrevale, кроме этого компьютера.\n"
        L"# Одна строка — одно имя хоста: имя компьютера в сети («hv-01»), полное имя («hv-01.example.local»)\n"
        L"# или адрес IPv4 («192.168.1.20»). Этот компьютер обслуживается всегда, его указывать не нужно.\n"
        L"# Строки, которые начинаются с «#», — комментарии: уберите «#» перед строкой примера, и машины\n"
        L"# хоста появятся в списке при следующем запуске Ombrevale.\n"
        L"#\n"
        L"# hv-01\n"
        L"# hv-02.example.local\n");
}

}  // namespace ombrevale::hypervhost
