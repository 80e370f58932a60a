#include "hostcore/texts.h"

#include "hostcore/errors.h"
#include "hostcore/user_file.h"

namespace ombrevale::hostcore {

std::wstring ServerText::Quoted(std::wstring_view text) { return L"«" + std::wstring(text) + L"»"; }

std::wstring ServerText::Drive(std::int32_t drive, std::wstring_view machine) {
    return L"дисковод " + std::to_wstring(drive) + L" машины " + Quoted(machine);
}

std::wstring ServerText::Hex(std::int32_t number) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    auto value = static_cast<std::uint32_t>(number);
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return L"0x" + text;
}

std::wstring ServerText::Malformed(const UserFile& file, std::wstring_view path, int line, std::wstring_view problem) {
    return L"Ошибка в файле " + std::wstring(file.name) + L" " + Quoted(path) + L", строка " + std::to_wstring(line) +
           L": " + std::wstring(problem) + L".";
}

std::wstring ServerText::TooLarge(const UserFile& file, std::wstring_view path) {
    return L"Файл " + std::wstring(file.name) + L" " + Quoted(path) + L" слишком велик: это не " +
           std::wstring(file.contents) + L".";
}

std::wstring ServerText::SavedAsUtf16(const UserFile& file, std::wstring_view path) {
    return L"Файл " + std::wstring(file.name) + L" " + Quoted(path) +
           L" сохранён в кодировке UTF-16; сохраните его в кодировке UTF-8.";
}

std::wstring ServerText::Unreadable(const UserFile& file, std::wstring_view path, std::int32_t number) {
    return L"Не удалось прочитать файл " + std::wstring(file.name) + L" " + Quoted(path) + Reason(number) + L".";
}

std::wstring ServerText::Problem(LineFault fault) {
    switch (fault) {
    case LineFault::None: break;
    case LineFault::NotUtf8: return L"текст не в кодировке UTF-8";
    case LineFault::LoneCarriageReturn:
        return L"строки разделены одиночными символами CR (возврат каретки), а допустимы только концы строк LF "
               L"и CR LF";
    case LineFault::ControlCharacter: return L"в строке недопустимый управляющий символ";
    }
    return {};
}

std::wstring ServerText::Reason(std::int32_t number) {
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

std::wstring ServerText::BridgeSwitches(std::wstring_view program) {
    const std::wstring file(program);
    return L"Регистрация для текущего пользователя (мост заменит сервер, который был зарегистрирован до него): " +
           file + L" /RegServer\r\nОтмена регистрации (вернётся прежний сервер): " + file +
           L" /UnregServer\r\nДля всех пользователей компьютера (нужны права администратора) добавьте /AllUsers.";
}

std::wstring ServerText::NoDataFolder(std::int32_t number) {
    return L"Не удалось найти папку данных приложений пользователя" + Reason(number) + L".";
}

std::wstring ServerText::MissingImagePath() { return L"Не указан путь к файлу образа."; }

std::wstring ServerText::BlankImagePath() { return L"Не указан путь к файлу образа: в нём одни пробелы."; }

std::wstring ServerText::BadImagePath(std::wstring_view path) {
    return L"В пути к файлу образа недопустимые символы: " + std::wstring(path);
}

std::wstring ServerText::LoneSurrogatePath(std::wstring_view path) {
    return L"Недопустимый путь к файлу образа " + Quoted(path) +
           L": в нём непарный суррогатный символ UTF-16, который нельзя записать в кодировке UTF-8 "
           L"без искажения пути.";
}

std::wstring ServerText::MisplacedColon(std::wstring_view path) {
    return L"Недопустимый путь к файлу образа " + Quoted(path) + L": двоеточие может стоять только после буквы диска.";
}

std::wstring ServerText::ImageIsDevice(std::wstring_view path) {
    return L"Это не файл образа, а имя устройства: " + std::wstring(path);
}

std::wstring ServerText::ImageNotFound(std::wstring_view path) {
    return L"Файл образа не найден: " + std::wstring(path);
}

std::wstring ServerText::ImageNotRegular(std::wstring_view path) {
    return L"Это не файл образа, а папка или устройство: " + std::wstring(path);
}

std::wstring ServerText::ImageUnreadable(std::wstring_view path, std::int32_t number) {
    return L"Не удалось прочитать файл образа" + Reason(number) + L": " + std::wstring(path);
}

std::wstring ServerText::DriveHoldsImage(std::int32_t drive, std::wstring_view machine, std::wstring_view image) {
    std::wstring text = Drive(drive, machine);
    text[0] = L'Д';
    return text + L" занят: в нём образ " + Quoted(image) + L". Сначала освободите дисковод.";
}

std::wstring ServerText::DriveHoldsHostDrive(std::int32_t drive, std::wstring_view machine, std::wstring_view letter) {
    std::wstring text = Drive(drive, machine);
    text[0] = L'Д';
    return text + L" занят: к нему подключено устройство " + std::wstring(letter) + L". Сначала освободите дисковод.";
}

std::wstring ServerText::ImageHeld(std::wstring_view path, std::int32_t drive, std::wstring_view machine) {
    return L"Образ " + Quoted(path) + L" уже подключён: " + Drive(drive, machine) + L".";
}

std::wstring ServerText::NoImage(std::int32_t drive, std::wstring_view machine) {
    return L"Освобождать нечего: в дисководе " + std::to_wstring(drive) + L" машины " + Quoted(machine) +
           L" нет образа.";
}

std::wstring ServerText::NoHostDrive(std::int32_t drive, std::wstring_view machine) {
    return L"Освобождать нечего: " + Drive(drive, machine) + L" не подключён к устройству хоста.";
}

std::wstring ServerText::BadHostDriveLetter(std::wstring_view text) {
    return L"Буква дисковода хоста должна иметь вид «A:», а не " + Quoted(text) + L".";
}

std::wstring ServerText::UnknownDensity(std::wstring_view path, std::int32_t density) {
    return L"Не удалось создать образ " + Quoted(path) + L": неизвестный код плотности " + std::to_wstring(density) +
           L" (допустимы 1 — 720 КБ и 2 — 1,44 МБ).";
}

std::wstring ServerText::ReplacesHeldImage(std::wstring_view path, std::int32_t drive, std::wstring_view machine) {
    return L"Нельзя заменить файл " + Quoted(path) + L": это образ, подключённый к дисководу " +
           std::to_wstring(drive) + L" машины " + Quoted(machine) + L".";
}

std::wstring ServerText::NotAFileToReplace(std::wstring_view path) {
    return L"Нельзя создать образ " + Quoted(path) + L": по этому пути находится папка или устройство.";
}

std::wstring ServerText::DeviceNotReplaced(std::wstring_view path) {
    return L"Нельзя создать образ " + Quoted(path) + L": это имя устройства, а не файла.";
}

std::wstring ServerText::ImageNotWritten(std::wstring_view path, std::int32_t number) {
    return L"Не удалось записать файл образа " + Quoted(path) + Reason(number) + L".";
}

}  // namespace ombrevale::hostcore
