#include "qemuhost/machines_file.h"

#include <map>
#include <optional>

#include "hostcore/utf8.h"
#include "qemuhost/messages.h"

namespace ombrevale::qemuhost {
namespace {

using hostcore::StartsWithKeyword;

// A decimal number up to `limit`, digits only.
std::optional<std::uint32_t> Decimal(std::wstring_view text, std::uint32_t limit) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    if (value > limit) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> Ipv4(std::wstring_view text) {
    if (StartsWithKeyword(text, L"localhost") && text.size() == 9) return 0x7F000001u;
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find(L'.');
        if ((part < 3) == (dot == std::wstring_view::npos)) return std::nullopt;
        const std::wstring_view digits = text.substr(0, dot);
        if (digits.size() > 3) return std::nullopt;
        const auto value = Decimal(digits, 255);
        if (!value) return std::nullopt;
        address = (address << 8) | *value;
        text = part < 3 ? text.substr(dot + 1) : std::wstring_view();
    }
    return address;
}

// The option as a command line or a script holds it: "-qmp tcp:…", "--qmp=tcp:…", quoted.
std::wstring_view WithoutOptionName(std::wstring_view text) {
    for (std::wstring_view name : {L"--qmp", L"-qmp"}) {
        if (!StartsWithKeyword(text, name) || text.size() == name.size()) continue;
        const wchar_t next = text[name.size()];
        if (next != L'=' && next != L' ' && next != L'\t') continue;
        text.remove_prefix(name.size() + 1);
        while (!text.empty() && hostcore::IsBlank(text.front())) text.remove_prefix(1);
        break;
    }
    if (text.size() >= 2 && (text.front() == L'"' || text.front() == L'\'') && text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    return text;
}

}  // namespace

std::wstring ParseQmpAddress(std::wstring_view text, QmpAddress& address) {
    std::wstring_view rest = WithoutOptionName(text);
    if (StartsWithKeyword(rest, L"tcp:")) {
        rest.remove_prefix(4);
    } else if (StartsWithKeyword(rest, L"unix:") || StartsWithKeyword(rest, L"vsock:") ||
               StartsWithKeyword(rest, L"fd:")) {
        return MachinesFileText::NotTcp(text);
    }
    // QEMU's own option may be pasted whole, in its old spelling too: "tcp::4444,server,nowait".
    if (const std::size_t options = rest.find(L','); options != std::wstring_view::npos) rest = rest.substr(0, options);
    const std::size_t colon = rest.rfind(L':');
    const std::wstring_view portText = colon == std::wstring_view::npos ? rest : rest.substr(colon + 1);
    QmpAddress parsed;
    if (colon != std::wstring_view::npos) {
        const std::wstring_view host = rest.substr(0, colon);
        if (host.find(L':') != std::wstring_view::npos || host.starts_with(L'[')) {
            if (host != L"::" && host != L"[::]") return MachinesFileText::NotIpv4(host);
        } else if (!host.empty()) {
            const auto ipv4 = Ipv4(host);
            if (!ipv4) return MachinesFileText::BadAddress(text);
            parsed.ipv4 = *ipv4;
        }
        // A monitor that listens on every address (QEMU's empty host, 0.0.0.0 or ::) is
        // dialled on loopback, as "localhost" and a port alone are.
        if (parsed.ipv4 == 0) parsed.ipv4 = QmpAddress{}.ipv4;
    } else if (portText.empty() || portText.find_first_not_of(L"0123456789") != std::wstring_view::npos) {
        return MachinesFileText::BadAddress(text);
    }
    const auto port = Decimal(portText, 65535);
    if (!port || *port == 0) return MachinesFileText::BadPort(portText);
    parsed.port = static_cast<std::uint16_t>(*port);
    address = parsed;
    return {};
}

namespace {

// "<label> = <address>"; an empty problem means the line was fine.
std::wstring ReadEntry(std::wstring_view line, MachineEntry& entry) {
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) return MachinesFileText::MissingEquals();
    // The first "=" ends the label: QEMU's own option, pasted as the address, has more.
    const std::wstring_view label = hostcore::TrimBlanks(line.substr(0, equals));
    const std::wstring_view address = hostcore::TrimBlanks(line.substr(equals + 1));
    if (label.empty()) return MachinesFileText::MissingLabel();
    if (address.empty()) return MachinesFileText::MissingAddress();
    entry.label = label;
    return ParseQmpAddress(address, entry.address);
}

}  // namespace

Result<std::vector<MachineEntry>> ParseMachinesFile(std::string_view utf8, const std::wstring& file) {
    std::vector<MachineEntry> machines;
    // The line of each address listed, in a tree: a file of any length is checked in n log n.
    std::map<std::pair<std::uint32_t, std::uint16_t>, int> listed;
    OMB_RETURN_IF_FAILED(hostcore::ReadLines(utf8, kMachinesFile, file, [&](std::wstring_view line, int number) {
        MachineEntry entry{{}, {}, number};
        std::wstring problem = ReadEntry(line, entry);
        // One QEMU listed twice is a slip of copy and paste, not a second machine.
        if (problem.empty()) {
            const auto [seen, added] = listed.emplace(std::pair(entry.address.ipv4, entry.address.port), number);
            if (!added) problem = MachinesFileText::RepeatedAddress(entry.address.Text(), seen->second);
        }
        if (problem.empty()) machines.push_back(std::move(entry));
        return problem;
    }));
    return machines;
}

std::string MachinesFileTemplate() {
    return hostcore::WideToUtf8(
        L"# Машины QEMU, дисководы которых обслуживает мост Ombrevale.\n"
        L"# Одна строка на машину: «<имя машины> = <адрес QMP>». Адрес — порт монитора QMP на этом\n"
        L"# компьютере («4444»), адрес и порт («127.0.0.1:4444») или параметр QEMU «-qmp» целиком\n"
        L"# («tcp:127.0.0.1:4444,server=on,wait=off»). Машину запускают с этим монитором, например:\n"
        L"#     qemu-system-x86_64 ... -qmp tcp:127.0.0.1:4444,server=on,wait=off\n"
        L"# Строки, которые начинаются с «#», — комментарии: уберите «#» перед строкой примера, и\n"
        L"# машина появится в списке. Мост читает файл при каждом обращении, перезапуск не нужен.\n"
        L"#\n"
        L"# Windows 98 = 127.0.0.1:4444\n"
        L"# MS-DOS 6.22 = 4445\n");
}

}  // namespace ombrevale::qemuhost
