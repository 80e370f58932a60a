#include "demohost/messages.h"

#include "demohost/errors.h"

namespace ombrevale::demohost {
namespace {

std::wstring Quoted(std::wstring_view text) { return L"«" + std::wstring(text) + L"»"; }

std::wstring Drive(std::int32_t drive, std::wstring_view machine) {
    return L"дисковод " + std::to_wstring(drive) + L" машины " + Quoted(machine);
}

std::wstring Hex(std::int32_t number) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    auto value = static_cast<std::uint32_t>(number);
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return L"0x" + text;
}

}  // namespace

std::wstring InventoryText::FileHeader() {
    return L"# Виртуальные машины демонстрационного узла Ombrevale (формат описан в README.md).\n"
           L"# «machine <имя>», под ней её дисководы по порядку: «drive <номер> empty»,\n"
           L"# «drive <номер> image <путь к образу>» или «drive <номер> host <буква>:».\n";
}

std::wstring InventoryText::Malformed(std::wstring_view file, int line, std::wstring_view problem) {
    return L"Ошибка в файле инвентаря " + Quoted(file) + L", строка " + std::to_wstring(line) +
           L": " + std::wstring(problem) + L".";
}

std::wstring InventoryText::TooLarge(std::wstring_view file) {
    return L"Файл инвентаря " + Quoted(file) + L" слишком велик: это не инвентарь.";
}

std::wstring InventoryText::NotUtf8() { return L"текст не в кодировке UTF-8"; }

std::wstring InventoryText::ControlCharacter() { return L"в строке недопустимый управляющий символ"; }

std::wstring InventoryText::LoneCarriageReturns() {
    return L"строки разделены одиночными символами CR (возврат каретки), а допустимы только концы строк LF "
           L"и CR LF";
}

std::wstring InventoryText::UnknownKeyword(std::wstring_view word) {
    return L"непонятное слово " + Quoted(word) + L": строка должна начинаться с «machine» или «drive»";
}

std::wstring InventoryText::MissingMachineName() { return L"после «machine» не указано имя машины"; }

std::wstring InventoryText::DriveBeforeMachine() {
    return L"строка «drive» стоит раньше первой строки «machine»";
}

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

std::wstring InventoryText::ImageHeldTwice(std::wstring_view path, std::int32_t drive,
                                           std::wstring_view machine, int line) {
    return L"образ " + Quoted(path) + L" уже подключён: " + Drive(drive, machine) + L", строка " +
           std::to_wstring(line);
}

std::wstring InventoryText::ImageIsInventory(std::wstring_view path) {
    return L"образ " + Quoted(path) + L" — это сам файл инвентаря";
}

std::wstring HostText::Reason(std::int32_t number) {
    switch (number) {
        case kFileNotFound: return L" (файл не найден)";
        case kPathNotFound: return L" (папка не найдена)";
        case kAccessDenied: return L" (нет доступа)";
        case kWriteProtected: return L" (диск защищён от записи)";
        case kSharingViolation: return L" (файл занят другой программой)";
        case kDiskFull: return L" (на диске нет места)";
        case kNotRegularFile: return L" (это папка или устройство, а не файл)";
        case kFileTooLarge: return L" (файл слишком велик)";
        case kFileExists: return L" (файл с таким именем уже есть)";
        case kReadOnlyFile: return L" (файл только для чтения)";
        case kBrokenLink: return L" (это ссылка на несуществующий файл)";
        default: return L" (код ошибки " + Hex(number) + L")";
    }
}

std::wstring HostText::InventoryUnreadable(std::wstring_view file, std::int32_t number) {
    return L"Не удалось прочитать файл инвентаря " + Quoted(file) + Reason(number) + L".";
}

std::wstring HostText::InventoryBrokenLink(std::wstring_view file) {
    return L"Файл инвентаря " + Quoted(file) + L" — ссылка на файл, которого нет. Исправьте ссылку или удалите её: "
           L"тогда будет создан новый инвентарь с примерами.";
}

std::wstring HostText::InventoryNotSaved(std::wstring_view file, std::int32_t number) {
    return L"Не удалось сохранить файл инвентаря " + Quoted(file) + Reason(number) +
           L", поэтому изменение не выполнено.";
}

std::wstring HostText::InventoryChangedMeanwhile(std::wstring_view file) {
    return L"Файл инвентаря " + Quoted(file) + L" изменён вручную, пока сервер работал, поэтому изменение "
           L"не выполнено: сервер прочтёт файл заново. Повторите операцию.";
}

std::wstring HostText::InventoryNotCreated(std::wstring_view file, std::int32_t number) {
    return L"Не удалось создать файл инвентаря " + Quoted(file) + Reason(number) + L".";
}

std::wstring HostText::FolderNotCreated(std::wstring_view folder, std::int32_t number) {
    return L"Не удалось создать папку " + Quoted(folder) + Reason(number) + L".";
}

std::wstring HostText::SampleImageNotCreated(std::wstring_view path, std::int32_t number) {
    return L"Не удалось создать образ-пример " + Quoted(path) + Reason(number) + L".";
}

std::wstring HostText::NoDataFolder(std::int32_t number) {
    return L"Не удалось найти папку данных приложений пользователя" + Reason(number) + L".";
}

std::wstring HostText::MissingImagePath() { return L"Не указан путь к файлу образа."; }

std::wstring HostText::BlankImagePath() { return L"Не указан путь к файлу образа: в нём одни пробелы."; }

std::wstring HostText::BadImagePath(std::wstring_view path) {
    return L"В пути к файлу образа недопустимые символы: " + std::wstring(path);
}

std::wstring HostText::MisplacedColon(std::wstring_view path) {
    return L"Недопустимый путь к файлу образа " + Quoted(path) +
           L": двоеточие может стоять только после буквы диска.";
}

std::wstring HostText::ImageIsDevice(std::wstring_view path) {
    return L"Это не файл образа, а имя устройства: " + std::wstring(path);
}

std::wstring HostText::ImageNotFound(std::wstring_view path) {
    return L"Файл образа не найден: " + std::wstring(path);
}

std::wstring HostText::ImageNotRegular(std::wstring_view path) {
    return L"Это не файл образа, а папка или устройство: " + std::wstring(path);
}

std::wstring HostText::ImageUnreadable(std::wstring_view path, std::int32_t number) {
    return L"Не удалось прочитать файл образа" + Reason(number) + L": " + std::wstring(path);
}

std::wstring HostText::DriveHoldsImage(std::int32_t drive, std::wstring_view machine,
                                       std::wstring_view image) {
    std::wstring text = Drive(drive, machine);
    text[0] = L'Д';
    return text + L" занят: в нём образ " + Quoted(image) + L". Сначала освободите дисковод.";
}

std::wstring HostText::DriveHoldsHostDrive(std::int32_t drive, std::wstring_view machine,
                                           std::wstring_view letter) {
    std::wstring text = Drive(drive, machine);
    text[0] = L'Д';
    return text + L" занят: к нему подключено устройство " + std::wstring(letter) +
           L". Сначала освободите дисковод.";
}

std::wstring HostText::ImageHeld(std::wstring_view path, std::int32_t drive, std::wstring_view machine) {
    return L"Образ " + Quoted(path) + L" уже подключён: " + Drive(drive, machine) + L".";
}

std::wstring HostText::AttachesInventory(std::wstring_view path) {
    return L"Нельзя подключить файл " + Quoted(path) + L" как образ: это файл инвентаря демонстрационного узла.";
}

std::wstring HostText::NoImage(std::int32_t drive, std::wstring_view machine) {
    return L"Освобождать нечего: в дисководе " + std::to_wstring(drive) + L" машины " + Quoted(machine) +
           L" нет образа.";
}

std::wstring HostText::NoHostDrive(std::int32_t drive, std::wstring_view machine) {
    return L"Освобождать нечего: " + Drive(drive, machine) + L" не подключён к устройству хоста.";
}

std::wstring HostText::BadHostDriveLetter(std::wstring_view text) {
    return L"Буква дисковода хоста должна иметь вид «A:», а не " + Quoted(text) + L".";
}

std::wstring HostText::UnknownDensity(std::wstring_view path, std::int32_t density) {
    return L"Не удалось создать образ " + Quoted(path) + L": неизвестный код плотности " +
           std::to_wstring(density) + L" (допустимы 1 — 720 КБ и 2 — 1,44 МБ).";
}

std::wstring HostText::ReplacesHeldImage(std::wstring_view path, std::int32_t drive,
                                         std::wstring_view machine) {
    return L"Нельзя заменить файл " + Quoted(path) + L": это образ, подключённый к дисководу " +
           std::to_wstring(drive) + L" машины " + Quoted(machine) + L".";
}

std::wstring HostText::NotAFileToReplace(std::wstring_view path) {
    return L"Нельзя создать образ " + Quoted(path) + L": по этому пути находится папка или устройство.";
}

std::wstring HostText::DeviceNotReplaced(std::wstring_view path) {
    return L"Нельзя создать образ " + Quoted(path) + L": это имя устройства, а не файла.";
}

std::wstring HostText::ReplacesInventory(std::wstring_view path) {
    return L"Нельзя заменить файл " + Quoted(path) + L": это файл инвентаря демонстрационного узла.";
}

std::wstring HostText::ImageNotWritten(std::wstring_view path, std::int32_t number) {
    return L"Не удалось записать файл образа " + Quoted(path) + Reason(number) + L".";
}

}  // namespace ombrevale::demohost
