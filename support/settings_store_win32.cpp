// The settings store: text values in the user's part of the registry, under
// HKEY_CURRENT_USER\Software\<company>\<product>\<section>.
#include <windows.h>

#include <string>
#include <vector>

#include "support/support_win32.h"

namespace ombrevale {

namespace {

std::wstring KeyPath(const Application& application, const std::wstring& section) {
    std::wstring path = L"Software\\" + application.companyName + L"\\" + application.productName;
    if (!section.empty()) path += L"\\" + section;
    return path;
}

std::wstring Where(const std::wstring& path, const std::wstring& key) {
    return L"HKEY_CURRENT_USER\\" + path + L", «" + key + L"»";
}

// `scope` and `perUser` are taken for the callers' argument order: settings are always
// the user's own, and `status` is left as the caller set it.
class Win32SettingsStore final : public SettingsStore {
public:
    Result<std::wstring> GetSetting(const std::wstring& section, const std::wstring& key, std::int32_t /*scope*/,
                                    const Application& application, const std::wstring& defaultValue, bool /*perUser*/,
                                    std::int16_t& /*status*/) override {
        const std::wstring path = KeyPath(application, section);
        UniqueKey hkey;
        LSTATUS opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, hkey.put());
        if (opened == ERROR_FILE_NOT_FOUND) return defaultValue;
        if (opened != ERROR_SUCCESS)
            return Win32Failure(static_cast<DWORD>(opened), L"Не удалось открыть раздел реестра " + Where(path, key));

        // The value may grow between asking its size and reading it: ask again then.
        std::vector<wchar_t> buffer(256);
        for (int attempt = 0; attempt < 8; ++attempt) {
            DWORD type = 0;
            DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
            LSTATUS read = ::RegQueryValueExW(hkey.get(), key.c_str(), nullptr, &type,
                                              reinterpret_cast<BYTE*>(buffer.data()), &bytes);
            if (read == ERROR_FILE_NOT_FOUND) return defaultValue;
            if (read == ERROR_MORE_DATA) {
                buffer.assign(bytes / sizeof(wchar_t) + 2, L'\0');
                continue;
            }
            if (read != ERROR_SUCCESS)
                return Win32Failure(static_cast<DWORD>(read),
                                    L"Не удалось прочитать параметр реестра " + Where(path, key));
            // A value of another type was not written by this store: the default stands
            // in for it, as for a missing one, so that one stray value cannot lock the
            // user out of a dialog.
            if (type != REG_SZ && type != REG_EXPAND_SZ) return defaultValue;
            // The stored text need not end in a NUL, and may hold one early.
            std::size_t length = bytes / sizeof(wchar_t);
            std::wstring value(buffer.data(), length);
            if (auto end = value.find(L'\0'); end != std::wstring::npos) value.resize(end);
            return value;
        }
        return Win32Failure(ERROR_MORE_DATA, L"Не удалось прочитать параметр реестра " + Where(path, key));
    }

    Status SaveSetting(const std::wstring& section, const std::wstring& key, std::int32_t /*scope*/,
                       const std::wstring& value, const Application& application, bool /*perUser*/,
                       std::int16_t& /*status*/) override {
        const std::wstring path = KeyPath(application, section);
        UniqueKey hkey;
        LSTATUS created = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_SET_VALUE, nullptr, hkey.put(), nullptr);
        if (created != ERROR_SUCCESS)
            return Win32Failure(static_cast<DWORD>(created), L"Не удалось создать раздел реестра " + Where(path, key));
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        LSTATUS written =
            ::RegSetValueExW(hkey.get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
        if (written != ERROR_SUCCESS)
            return Win32Failure(static_cast<DWORD>(written),
                                L"Не удалось записать параметр реестра " + Where(path, key));
        return Ok();
    }
};

}  // namespace

std::unique_ptr<SettingsStore> NewWin32SettingsStore() { return std::make_unique<Win32SettingsStore>(); }

}  // namespace ombrevale
