// Every text that the image menu, inspection and creation show.
#pragma once

namespace ombrevale::image_texts {

// Descriptions of the format codes 0 to 6; they stay in English as Virtual PC names them.
inline constexpr const wchar_t* kFormatDescriptions[] = {
    L"Unknown format.",
    L"A low density format (720K).",
    L"A high density format (1.44Mb).",
    L"A distribution media format (1.68Mb).",
    L"A single-sided low density format.",
    L"A medium density format (1.2Mb).",
    L"A high-density Multiple Sector Size (MSS), used by eXtended Distribution Format (XDF).",
};
inline constexpr wchar_t kUnexpectedFormat[] = L"Unexpected format.";

inline constexpr wchar_t kReadImageFailed[] =
    L"Не удалось прочитать образ. Возможно, он "
    L"повреждён или вообще не является образом.";

inline constexpr wchar_t kCreateImageFailed[] = L"Не удалось создать образ дискеты.";
inline constexpr wchar_t kImageCreated[] = L"Образ дискеты успешно создан.";

// Failures of the menu itself and of the file dialog behind its items.
inline constexpr wchar_t kImageMenuFailed[] = L"Не удалось показать меню образов.";
inline constexpr wchar_t kFileDialogFailed[] = L"Не удалось открыть окно выбора файла.";

}  // namespace ombrevale::image_texts
