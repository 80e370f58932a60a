#include "hypervhost/messages.h"

#include "hostcore/texts.h"
#include "hypervhost/errors.h"

namespace ombrevale::hypervhost {
namespace {

std::wstring Quoted(std::wstring_view text) { return hostcore::ServerText::Quoted(text); }

bool IsAccessDenied(std::int32_t number) { return number == kWbemAccessDenied || number == hostcore::kAccessDenied; }

bool IsUnreachable(std::int32_t number) {
    return number == kHostNotAnswering || number == kRpcServerUnavailable || number == kRpcCallFailed;
}

// AddResourceSettings and its kin: the return codes that the documentation names.
std::wstring ReturnCode(std::uint32_t code) {
    switch (code) {
    case 1: return L"не поддерживается";
    case 2: return L"сбой";
    case 3: return L"истекло время ожидания";
    case 4: return L"неверный параметр";
    case 5: return L"недопустимое состояние машины";
    case 6: return L"несовместимые параметры";
    default: return L"код " + std::to_wstring(code);
    }
}

}  // namespace

std::wstring HostsFileText::BadName(std::wstring_view text) {
    return L"непонятное имя хоста " + Quoted(text) +
           L": ожидалось имя компьютера («hv-01»), полное имя («hv-01.example.local») или адрес IPv4";
}

std::wstring HostsFileText::ThisComputer(std::wstring_view text) {
    return Quoted(text) + L" — это сам этот компьютер: он обслуживается всегда, указывать его не нужно";
}

std::wstring HostsFileText::Repeated(std::wstring_view name, int line) {
    return L"хост " + Quoted(name) + L" уже указан в строке " + std::to_wstring(line);
}

std::wstring HyperVText::HostFailure(std::wstring_view host, std::int32_t number, std::wstring_view detail) {
    const std::wstring where = host.empty() ? L"на этом компьютере" : L"на хосте " + Quoted(host);
    if (number == kWbemInvalidNamespace)
        return L"Hyper-V не установлен " + where +
               L": в WMI нет пространства имён root\\virtualization\\v2. Hyper-V входит в Windows 8 и новее "
               L"(выпуски Pro и Enterprise) и в Windows Server 2012 и новее; его включают в компонентах Windows.";
    if (IsAccessDenied(number))
        return L"Нет доступа к Hyper-V " + where +
               L": пользователь, от имени которого работает Ombrevale, должен входить в группу "
               L"«Администраторы Hyper-V» (Hyper-V Administrators) или «Администраторы» " +
               (host.empty() ? std::wstring(L"этого компьютера") : L"хоста " + Quoted(host)) +
               L". Добавьте его в группу и войдите в систему заново.";
    if (IsUnreachable(number))
        return host.empty() ? std::wstring(
                                  L"Hyper-V на этом компьютере не отвечает: служба управления виртуальными "
                                  L"машинами (vmms) остановлена или занята.")
                            : L"Хост Hyper-V " + Quoted(host) +
                                  L" не отвечает: он выключен, недоступен по сети или не пускает к WMI.";
    std::wstring text = L"Hyper-V " + where + L" ответил ошибкой " + hostcore::ServerText::Hex(number);
    return detail.empty() ? text + L"." : text + L": " + std::wstring(detail);
}

std::wstring HyperVText::HostEntry(std::wstring_view host, std::int32_t number) {
    std::wstring reason;
    if (number == kWbemInvalidNamespace || number == kNoHyperVHere)
        reason = L"Hyper-V не установлен";
    else if (IsAccessDenied(number))
        reason = L"нет доступа к Hyper-V";
    else if (IsUnreachable(number))
        reason = L"хост не отвечает";
    else
        reason = L"ошибка " + hostcore::ServerText::Hex(number);
    return (host.empty() ? std::wstring(L"Этот компьютер") : std::wstring(host)) + L": " + reason;
}

std::wstring HyperVText::OldWindows(unsigned major, unsigned minor) {
    return L"На этом компьютере нет Hyper-V, с которым работает мост: он есть в Windows 8 и Windows Server 2012 "
           L"и новее, а здесь Windows версии " +
           std::to_wstring(major) + L"." + std::to_wstring(minor) +
           L". Машины Hyper-V на других компьютерах можно перечислить в файле хостов моста.";
}

std::wstring HyperVText::MachineName(std::wstring_view host, std::wstring_view machine) {
    return host.empty() ? std::wstring(machine) : std::wstring(host) + L": " + std::wstring(machine);
}

std::wstring HyperVText::MachineGone(std::wstring_view machine) {
    return L"Машины " + Quoted(machine) +
           L" больше нет в Hyper-V: её удалили. Перезапустите Ombrevale, чтобы обновить список машин.";
}

std::wstring HyperVText::NoSuchDrive(std::size_t drive, std::wstring_view machine) {
    return L"У машины " + Quoted(machine) + L" нет дисковода номер " + std::to_wstring(drive) +
           L": у машин Hyper-V поколения 1 один дисковод, у машин поколения 2 их нет. Обновите список.";
}

std::wstring HyperVText::NoHostDrives() {
    return L"Hyper-V не подключает к машинам дисководы хоста: в дисковод машины можно вставить только файл "
           L"образа дискеты (.vfd).";
}

std::wstring HyperVText::NotFullPath(std::wstring_view path) {
    return L"Для машины на другом хосте нужен полный путь к образу на том хосте («C:\\…» или «\\\\сервер\\папка\\…»), "
           L"а не " +
           Quoted(path) + L".";
}

std::wstring HyperVText::Insert(std::wstring_view image) { return L"вставить образ " + Quoted(image); }

std::wstring HyperVText::Change(std::wstring_view image) { return L"заменить образ на " + Quoted(image); }

std::wstring HyperVText::Remove() { return L"извлечь образ"; }

std::wstring HyperVText::Refused(std::wstring_view change, std::wstring_view machine, std::uint32_t code) {
    return L"Hyper-V отказался " + std::wstring(change) + L" в дисковод машины " + Quoted(machine) + L": " +
           ReturnCode(code) + L".";
}

std::wstring HyperVText::JobFailed(std::wstring_view change, std::wstring_view machine, std::wstring_view error,
                                   std::uint16_t code) {
    return L"Hyper-V не смог " + std::wstring(change) + L" (машина " + Quoted(machine) + L"): " +
           (error.empty() ? L"задание завершилось с ошибкой " + std::to_wstring(code) + L"." : Quoted(error) + L".");
}

std::wstring HyperVText::JobTooLong(std::wstring_view change, std::wstring_view machine) {
    return L"Hyper-V не успел " + std::wstring(change) + L" (машина " + Quoted(machine) +
           L"): задание не завершилось за отведённое время. Возможно, оно ещё выполняется; обновите сведения о "
           L"дисководе позже.";
}

std::wstring HyperVText::NotSeen(std::wstring_view change, std::wstring_view machine, std::wstring_view image) {
    return L"Hyper-V сообщил, что удалось " + std::wstring(change) + L" (машина " + Quoted(machine) +
           L"), но в дисководе " + (image.empty() ? std::wstring(L"пусто") : L"образ " + Quoted(image)) + L".";
}

std::wstring HyperVText::CannotCheckHost(std::wstring_view path, std::wstring_view hostFailure) {
    return L"Образ " + Quoted(path) +
           L" не создан: не удалось проверить, не вставлен ли этот файл в дисковод машины. " +
           std::wstring(hostFailure);
}

std::wstring HyperVText::ReplacesHostsFile(std::wstring_view path) {
    return L"Нельзя заменить файл " + Quoted(path) + L": это файл хостов моста Hyper-V.";
}

}  // namespace ombrevale::hypervhost
