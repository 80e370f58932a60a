#include "demohost/messages.h"

#include "hostcore/errors.h"
#include "hostcore/texts.h"

namespace ombrevale::demohost {

// The demo server builds on what both servers share.
using namespace hostcore;

namespace {

using hostcore::ServerText;

std::wstring Quoted(std::wstring_view text) { return ServerText::Quoted(text); }
std::wstring Drive(std::int32_t drive, std::wstring_view machine) { return ServerText::Drive(drive, machine); }

}  // namespace

std::wstring InventoryText::FileHeader() {
    return L"# Виртуальные машины демонстрационного узла Ombrevale (формат описан в README.md).\n"
           L"# «machine <имя>», под ней её дисководы по порядку: «drive <номер> empty»,\n"
           L"# «drive <номер> image <путь к образу>» или «drive <номер> host <буква>:».\n";
}

std::wstring InventoryText::UnknownKeyword(std::wstring_view word) {
    return L"непонятное слово " + Quoted(word) + L": строка должна начинаться с «machine» или «drive»";
}

std::wstring InventoryText::MissingMachineName() { return L"после «machine» не указано имя машины"; }

std::wstring InventoryText::DriveBeforeMachine() { return L"строка «drive» стоит раньше первой строки «machine»"; }

std::wstring InventoryText::MissingDriveNumber() { return L"после «drive» не указан номер дисковода"; }

std::wstring InventoryText::BadDriveNumber(std::wstring_view text) {
    return L"номер дисковода " + Quoted(text) + L" должен быть целым числом от 0 до 2147483647";
}

std::wstring InventoryText::RepeatedDriveNumber(std::int32_t number, std::wstring_view machine, int line) {
    return Drive(number, machine) + L" уже описан в строке " + std::to_wstring(line);
}

std::wstring InventoryText::MissingMedia() {
    return L"не указано, что в дисководе: «empty», «image <путь>» или «host <буква>:»";
}

std::wstring InventoryText::UnknownMedia(std::wstring_view word) {
    return L"непонятное содержимое дисковода " + Quoted(word) + L": ожидалось «empty», «image» или «host»";
}

std::wstring InventoryText::TextAfterEmpty(std::wstring_view text) {
    return L"после «empty» лишний текст " + Quoted(text);
}

std::wstring InventoryText::MissingImagePath() { return L"после «image» не указан путь к файлу образа"; }

std::wstring InventoryText::BadHostDriveLetter(std::wstring_view text) {
    return L"после «host» ожидалась буква дисковода вида «A:», а не " + Quoted(text);
}

std::wstring InventoryText::ImageHeldTwice(std::wstring_view path, std::int32_t drive, std::wstring_view machine,
                                           int line) {
    return L"образ " + Quoted(path) + L" уже подключён: " + Drive(drive, machine) + L", строка " +
           std::to_wstring(line);
}

std::wstring InventoryText::ImageIsInventory(std::wstring_view path) {
    return L"образ " + Quoted(path) + L" — это сам файл инвентаря";
}

std::wstring HostText::InventoryBrokenLink(std::wstring_view file) {
    return L"Файл инвентаря " + Quoted(file) +
           L" — ссылка на файл, которого нет. Исправьте ссылку или удалите её: "
           L"тогда будет создан новый инвентарь с примерами.";
}

std::wstring HostText::InventoryNotSaved(std::wstring_view file, std::int32_t number) {
    return L"Не удалось сохранить файл инвентаря " + Quoted(file) + ServerText::Reason(number) +
           L", поэтому изменение не выполнено.";
}

std::wstring HostText::InventoryChangedMeanwhile(std::wstring_view file) {
    return L"Файл инвентаря " + Quoted(file) +
           L" изменён вручную, пока сервер работал, поэтому изменение "
           L"не выполнено: сервер прочтёт файл заново. Повторите операцию.";
}

std::wstring HostText::InventoryNotCreated(std::wstring_view file, std::int32_t number) {
    return L"Не удалось создать файл инвентаря " + Quoted(file) + ServerText::Reason(number) + L".";
}

std::wstring HostText::FolderNotCreated(std::wstring_view folder, std::int32_t number) {
    return L"Не удалось создать папку " + Quoted(folder) + ServerText::Reason(number) + L".";
}

std::wstring HostText::SampleImageNotCreated(std::wstring_view path, std::int32_t number) {
    return L"Не удалось создать образ-пример " + Quoted(path) + ServerText::Reason(number) + L".";
}

std::wstring HostText::AttachesInventory(std::wstring_view path) {
    return L"Нельзя подключить файл " + Quoted(path) + L" как образ: это файл инвентаря демонстрационного узла.";
}

std::wstring HostText::ReplacesInventory(std::wstring_view path) {
    return L"Нельзя заменить файл " + Quoted(path) + L": это файл инвентаря демонстрационного узла.";
}

}  // namespace ombrevale::demohost
