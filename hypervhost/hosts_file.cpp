#include "hypervhost/hosts_file.h"

#include <map>

#include "hostcore/utf8.h"
#include "hypervhost/messages.h"

namespace ombrevale::hypervhost {
namespace {

// Names as DNS, NetBIOS and IPv4 write them: letters of any script, digits, "-", "_", ".".
bool IsNameCharacter(wchar_t c) {
    if (c >= L'0' && c <= L'9') return true;
    if (c == L'-' || c == L'_' || c == L'.') return true;
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z')) return true;
    return c >= 0xC0 && c != 0xD7 && c != 0xF7 && c != 0x2028 && c != 0x2029 && c != 0xFEFF;
}

}  // namespace

std::wstring WindowsFolded(std::wstring_view text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c >= 0x430 && c <= 0x44F) c = static_cast<wchar_t>(c - 0x20);  // Cyrillic small letters
    }
    return folded;
}

Result<std::vector<HostEntry>> ParseHostsFile(std::string_view utf8, const std::wstring& file) {
    std::vector<HostEntry> hosts;
    // The line of each host listed, by its folded name: a file of any length is checked in
    // n log n.
    std::map<std::wstring, int> listed;
    OMB_RETURN_IF_FAILED(hostcore::ReadLines(utf8, kHostsFile, file, [&](std::wstring_view line, int number) {
        // "\\server", as Windows writes a computer's name in paths, is the same host.
        if (line.size() > 2 && line[0] == L'\\' && line[1] == L'\\') line.remove_prefix(2);
        bool wellFormed = line.size() <= 255;
        for (wchar_t c : line) wellFormed = wellFormed && IsNameCharacter(c);
        if (!wellFormed) return HostsFileText::BadName(line);
        const std::wstring folded = WindowsFolded(line);
        if (folded == L"." || folded == L"LOCALHOST") return HostsFileText::ThisComputer(line);
        const auto [seen, added] = listed.emplace(folded, number);
        if (!added) return HostsFileText::Repeated(line, seen->second);
        hosts.push_back(HostEntry{std::wstring(line), number});
        return std::wstring();
    }));
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
