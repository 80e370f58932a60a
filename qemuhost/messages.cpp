#include "qemuhost/messages.h"

#include "hostcore/texts.h"

namespace ombrevale::qemuhost {
namespace {

std::wstring Quoted(std::wstring_view text) { return hostcore::ServerText::Quoted(text); }

std::wstring Machine(std::wstring_view machine, std::wstring_view address) {
    return L"машина QEMU " + Quoted(machine) + L" (QMP " + std::wstring(address) + L")";
}

std::wstring Capitalised(std::wstring text) {
    if (!text.empty() && text[0] == L'м') text[0] = L'М';
    return text;
}

}  // namespace

std::wstring MachinesFileText::MissingEquals() {
    return L"ожидалась строка вида «<имя машины> = <адрес QMP>», например «Windows 98 = 127.0.0.1:4444»";
}

std::wstring MachinesFileText::MissingLabel() { return L"перед «=» не указано имя машины"; }

std::wstring MachinesFileText::MissingAddress() { return L"после «=» не указан адрес QMP"; }

std::wstring MachinesFileText::BadAddress(std::wstring_view text) {
    return L"непонятный адрес QMP " + Quoted(text) +
           L": ожидался порт («4444»), адрес и порт («127.0.0.1:4444») или «tcp:127.0.0.1:4444»";
}

std::wstring MachinesFileText::BadPort(std::wstring_view text) {
    return L"порт " + Quoted(text) + L" должен быть целым числом от 1 до 65535";
}

std::wstring MachinesFileText::NotTcp(std::wstring_view text) {
    return L"адрес " + Quoted(text) + L" не подходит: мост подключается к QMP только по TCP";
}

std::wstring MachinesFileText::NotIpv4(std::wstring_view host) {
    return L"адрес IPv6 " + Quoted(host) +
           L" не подходит: мост подключается к QMP по IPv4 (монитор, который слушает «::», он находит "
           L"на 127.0.0.1)";
}

std::wstring MachinesFileText::RepeatedAddress(std::wstring_view address, int line) {
    return L"адрес QMP " + std::wstring(address) + L" уже указан в строке " + std::to_wstring(line);
}

std::wstring QmpText::NoGreeting() { return L"нет приветствия QMP"; }

std::wstring QmpText::NotJson() { return L"сообщение не в формате JSON"; }

std::wstring QmpText::TooLong() { return L"строка сообщения длиннее 1 МБ"; }

std::wstring QmpText::ForeignReply() { return L"ответ на другую команду"; }

std::wstring QmpText::ErrorWithoutText() { return L"ошибка без описания"; }

std::wstring QmpText::NeitherReturnNorError() { return L"ни результата, ни ошибки"; }

std::wstring QmpText::Unexpected(std::wstring_view command) { return L"непонятный ответ на " + Quoted(command); }

std::wstring BridgeText::Unreachable(std::wstring_view machine, std::wstring_view address) {
    return Capitalised(Machine(machine, address)) +
           L" недоступна: по этому адресу никто не принимает подключения (QEMU не запущен или запущен без "
           L"этого монитора QMP).";
}

std::wstring BridgeText::NotAnswering(std::wstring_view machine, std::wstring_view address) {
    return Capitalised(Machine(machine, address)) +
           L" не отвечает. Возможно, к её монитору QMP уже подключена другая программа: QEMU обслуживает "
           L"одно подключение за раз.";
}

std::wstring BridgeText::ConnectionLost(std::wstring_view machine, std::wstring_view address) {
    return L"Связь прервалась: " + Machine(machine, address) + L" закрыла подключение (QEMU завершился?).";
}

std::wstring BridgeText::NotQmp(std::wstring_view machine, std::wstring_view address, std::wstring_view detail) {
    return L"По адресу QMP " + std::wstring(address) + L" машины " + Quoted(machine) +
           L" отвечает не монитор QMP или ответ непонятен (" + std::wstring(detail) + L").";
}

std::wstring BridgeText::QemuRefused(std::wstring_view machine, std::wstring_view address, std::wstring_view qemu) {
    return L"QEMU отказал (" + Machine(machine, address) + L"): " + Quoted(qemu) + L".";
}

std::wstring BridgeText::NoSuchMachine(std::size_t machine, std::size_t count, std::wstring_view file) {
    return L"Машины номер " + std::to_wstring(machine + 1) + L" больше нет: в файле машин QEMU " + Quoted(file) +
           L" их " + std::to_wstring(count) + L". Список машин изменился; обновите его.";
}

std::wstring BridgeText::NoSuchDrive(std::size_t drive, std::size_t count, std::wstring_view machine) {
    return L"Дисковода номер " + std::to_wstring(drive + 1) + L" по порядку у машины QEMU " + Quoted(machine) +
           L" нет: у неё дисководов " + std::to_wstring(count) + L". Обновите список.";
}

std::wstring BridgeText::NotFloppySize(std::wstring_view path, std::uint64_t size) {
    return L"Образ " + Quoted(path) + L" не подключён: его размер (" + std::to_wstring(size) +
           L" байт) не подходит ни к одному формату дискеты, и гостевая система не сможет прочитать такой диск.";
}

std::wstring BridgeText::NoPathMapping(std::wstring_view path) {
    return L"Путь " + Quoted(path) +
           L" нельзя передать QEMU: у него нет соответствия в файловой системе, "
           L"которую видит QEMU.";
}

std::wstring BridgeText::HostDriveNotFloppy(std::wstring_view letter) {
    return L"QEMU может подключить только дисководы хоста A: и B:, а не " + Quoted(letter) + L".";
}

std::wstring BridgeText::ImageMedium(std::wstring_view path) { return L"образ " + Quoted(path); }

std::wstring BridgeText::HostDriveMedium(std::wstring_view letter) { return L"дисковод хоста " + std::wstring(letter); }

std::wstring BridgeText::MediumNotTaken(std::wstring_view medium, std::int32_t drive, std::wstring_view machine,
                                        std::wstring_view qemu) {
    return L"QEMU не подключил " + std::wstring(medium) + L" к дисководу " + std::to_wstring(drive) + L" машины " +
           Quoted(machine) + L": " + Quoted(qemu) + L".";
}

std::wstring BridgeText::MediumNotTakenSilently(std::wstring_view medium, std::int32_t drive, std::wstring_view machine,
                                                std::wstring_view found) {
    return L"QEMU не подключил " + std::wstring(medium) + L" к дисководу " + std::to_wstring(drive) + L" машины " +
           Quoted(machine) + L", хотя не сообщил об ошибке: " +
           (found.empty() ? std::wstring(L"дисковод пуст") : L"в дисководе " + std::wstring(found)) + L".";
}

std::wstring BridgeText::NotEjected(std::int32_t drive, std::wstring_view machine, std::wstring_view qemu) {
    return L"QEMU не освободил дисковод " + std::to_wstring(drive) + L" машины " + Quoted(machine) +
           (qemu.empty() ? std::wstring(L": носитель остался в дисководе.") : L": " + Quoted(qemu) + L".");
}

std::wstring BridgeText::CannotCheckMachine(std::wstring_view path, std::wstring_view machineFailure) {
    return L"Образ " + Quoted(path) + L" не создан: не удалось проверить, не подключён ли этот файл к машине. " +
           std::wstring(machineFailure);
}

std::wstring BridgeText::ReplacesMachinesFile(std::wstring_view path) {
    return L"Нельзя заменить файл " + Quoted(path) + L": это файл машин моста QEMU.";
}

}  // namespace ombrevale::qemuhost
