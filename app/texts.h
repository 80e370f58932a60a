// Texts and fixed values of start-up and of the main window as a whole, including the
// window shell's descriptions of its own failures. Those that a system text follows
// ("<text>: <why>") have no closing full stop.
#pragma once

#include <cstdint>

namespace ombrevale::app_texts {

inline constexpr wchar_t kCreateVirtualPCFailed[] =
    L"Не удалось создать объект VirtualPC. "
    L"Возможно, VirtualPC не установлена в системе.";

inline constexpr wchar_t kDedication[] = L"Посвящается всем, кто до сих пор хранит свои дискеты.";

// Shown with the failure's details when a failure reaches the top of an event that has no
// handling of its own; the program then ends.
inline constexpr wchar_t kUnhandledFailure[] = L"Непредвиденная ошибка. Программа будет закрыта.";
// An exception that reached the top of an event.
inline constexpr wchar_t kOutOfMemory[] = L"Недостаточно памяти.";
inline constexpr wchar_t kInternalError[] = L"Внутренняя ошибка программы.";

// A call to the automation server that has had no answer for a while.
inline constexpr wchar_t kServerNotAnswering[] =
    L"Сервер Virtual PC не отвечает.\r\n\r\n"
    L"Подождать ещё? Если не ждать, операция будет прервана.";
inline constexpr wchar_t kServerCallFilterFailed[] = L"Не удалось настроить ожидание ответов сервера Virtual PC";

// The main window.
inline constexpr wchar_t kRegisterWindowClassFailed[] = L"Не удалось зарегистрировать класс главного окна";
inline constexpr wchar_t kCreateWindowFailed[] = L"Не удалось создать главное окно";
inline constexpr wchar_t kCreateControlFailed[] = L"Не удалось создать элемент главного окна";
inline constexpr wchar_t kWindowClosed[] = L"Главное окно закрыто.";
inline constexpr wchar_t kCloseWindowFailed[] = L"Не удалось закрыть главное окно";

// Files dropped on the window. The second follows the folder's path and an empty line.
inline constexpr wchar_t kDropSeveralFiles[] = L"Подключить можно только один образ: перетащите в окно один файл.";
inline constexpr wchar_t kDropFolder[] = L"Это папка, а не файл образа.";

// Names of the controls for screen readers, where no caption names them.
inline constexpr wchar_t kAccessibleMachineList[] = L"Виртуальная машина";
inline constexpr wchar_t kAccessibleDriveList[] = L"Дисковод";
inline constexpr wchar_t kAccessibleStatus[] = L"Состояние дисковода";
inline constexpr wchar_t kAccessibleImageMenu[] = L"Меню образов";

// The lists and the status line.
inline constexpr wchar_t kListNotCreated[] = L"Список не создан.";
inline constexpr wchar_t kListCountFailed[] = L"Не удалось узнать число строк списка.";
inline constexpr wchar_t kListTooLong[] = L"В списке слишком много строк.";
inline constexpr wchar_t kBadListPosition[] = L"Недопустимая позиция в списке.";
inline constexpr wchar_t kListAppendFailed[] = L"Не удалось добавить строку в список.";
inline constexpr wchar_t kFieldNotCreated[] = L"Поле не создано.";
inline constexpr wchar_t kSetFieldTextFailed[] = L"Не удалось изменить текст поля";

// The image menu.
inline constexpr wchar_t kCreateMenuFailed[] = L"Не удалось создать меню";
inline constexpr wchar_t kMenuNotCreated[] = L"Меню не создано.";
inline constexpr wchar_t kNoSuchMenuElement[] = L"Нет такого элемента меню.";
inline constexpr wchar_t kShowMenuFailed[] = L"Не удалось показать меню";

}  // namespace ombrevale::app_texts

namespace ombrevale {

// Virtual-key codes and shift-state bits that the key handler knows.
inline constexpr std::int16_t kKeyEscape = 27;
inline constexpr std::int16_t kKeyF1 = 112;
inline constexpr std::int16_t kKeyF3 = 114;
inline constexpr std::int16_t kShiftNone = 0;
inline constexpr std::int16_t kShiftShift = 1;

}  // namespace ombrevale
