// Every text that the drive lists, the status line and the two drive commands show.
#pragma once

namespace ombrevale::drive_texts {

inline constexpr wchar_t kDriveItemPrefix[] = L"Флоповод #";

inline constexpr wchar_t kGetObjectFailed[] = L"Не удалось получить объект.";

// Status line.
inline constexpr wchar_t kStatusDetached[] = L"Отключено";
inline constexpr wchar_t kStatusImage[] = L"Подключен образ: ";
inline constexpr wchar_t kStatusHostDrive[] = L"Подключено устройство: ";
inline constexpr wchar_t kStatusUnknown[] = L"Неизвестно";

// Detach.
inline constexpr wchar_t kNothingToDetach[] = L"Отключать нечего.";
inline constexpr wchar_t kReleaseImageFailed[] = L"Не удалось освободить образ.";
inline constexpr wchar_t kImageDetached[] = L"Образ отключен.";
inline constexpr wchar_t kReleaseHostDriveFailed[] = L"Не удалось освободить устройство.";
inline constexpr wchar_t kHostDriveDetached[] = L"Устройство отключено.";
inline constexpr wchar_t kUnclearWhatToDetach[] = L"Не понятно, что отключать.";
inline constexpr wchar_t kDetachFailed[] = L"Отключение не удалось.";

// Attach.
inline constexpr wchar_t kAttachFailed[] = L"Не удалось подключить образ.";
inline constexpr wchar_t kImageAttached[] = L"Образ подключен.";

// The next-disk keys. Those about a file or folder follow its path and an empty line.
inline constexpr wchar_t kNoImageToSwap[] = L"В дисководе нет образа, менять нечего.";
inline constexpr wchar_t kImageUnknown[] = L"Не удалось узнать, какой образ в дисководе.";
inline constexpr wchar_t kNoNumberInName[] = L"В имени образа нет номера диска.";
inline constexpr wchar_t kNoNextDisk[] = L"Следующего диска в папке нет.";
inline constexpr wchar_t kNoPreviousDisk[] = L"Предыдущего диска в папке нет.";
inline constexpr wchar_t kFolderUnreadable[] = L"Не удалось прочитать папку образа.";

}  // namespace ombrevale::drive_texts
