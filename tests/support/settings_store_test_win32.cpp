// The settings store against the real registry of the test prefix.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "support/support_win32.h"

namespace ombrevale {
namespace {

const std::wstring kSection = L"Тест раздел";
const std::wstring kSectionPath = L"Software\\Quorvex\\Ombrevale\\" + kSection;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ::SHDeleteKeyW(HKEY_CURRENT_USER, kSectionPath.c_str()); }
    void TearDown() override { ::SHDeleteKeyW(HKEY_CURRENT_USER, kSectionPath.c_str()); }

    Result<std::wstring> Get(const std::wstring& key, const std::wstring& defaultValue = L"") {
        std::int16_t status = 0;
        return store->GetSetting(kSection, key, 0, app, defaultValue, true, status);
    }
    Status Save(const std::wstring& key, const std::wstring& value) {
        std::int16_t status = -1;
        return store->SaveSetting(kSection, key, 0, value, app, true, status);
    }

    Application app = OmbrevaleApplication();
    std::unique_ptr<SettingsStore> store = NewWin32SettingsStore();
};

TEST_F(SettingsStoreTest, NothingStoredReadsAsTheDefault) {
    auto missingSection = Get(L"Last open VFD directory", L"по умолчанию");
    ASSERT_TRUE(missingSection.ok()) << missingSection.failure().description;
    EXPECT_EQ(*missingSection, L"по умолчанию");

    ASSERT_TRUE(Save(L"другой", L"x").ok());
    auto missingValue = Get(L"Last open VFD directory");
    ASSERT_TRUE(missingValue.ok());
    EXPECT_EQ(*missingValue, L"");
}

TEST_F(SettingsStoreTest, CyrillicTextRoundTripsAsTextUnderTheApplicationsKey) {
    const std::wstring value = L"C:\\Документы и настройки\\Образы дискет";
    ASSERT_TRUE(Save(L"Last open VFD directory", value).ok());

    // A new store, as each dialog call makes one.
    auto fresh = NewWin32SettingsStore();
    std::int16_t status = 0;
    auto read = fresh->GetSetting(kSection, L"Last open VFD directory", 0, app, L"", true, status);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(*read, value);

    // Where and how it is kept: HKCU\Software\Quorvex\Ombrevale\<section>, REG_SZ.
    wchar_t raw[512] = {};
    DWORD bytes = sizeof(raw);
    DWORD type = 0;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kSectionPath.c_str(), L"Last open VFD directory", RRF_RT_ANY, &type,
                             raw, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(raw), value);

    // Writing again replaces the value.
    ASSERT_TRUE(Save(L"Last open VFD directory", L"D:\\").ok());
    EXPECT_EQ(*Get(L"Last open VFD directory"), L"D:\\");
}

TEST_F(SettingsStoreTest, LongValuesAndEmptyTextRoundTrip) {
    std::wstring longValue;
    while (longValue.size() < 40000) longValue += L"\\очень длинная папка";
    ASSERT_TRUE(Save(L"длинный", longValue).ok());
    EXPECT_EQ(*Get(L"длинный"), longValue);

    // A stored empty text is a value, not a missing one.
    ASSERT_TRUE(Save(L"пустой", L"").ok());
    EXPECT_EQ(*Get(L"пустой", L"по умолчанию"), L"");
}

TEST_F(SettingsStoreTest, AValueOfAnotherTypeReadsAsTheDefault) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kSectionPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    DWORD number = 7;
    ::RegSetValueExW(key, L"Last open VFD directory", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof(number));
    ::RegCloseKey(key);

    auto read = Get(L"Last open VFD directory", L"по умолчанию");
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(*read, L"по умолчанию");
}

}  // namespace
}  // namespace ombrevale
