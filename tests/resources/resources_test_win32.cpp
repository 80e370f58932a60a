// The program's resources as Windows reads them: the icon group "A_MAIN" and its six
// images, the version record, the manifest; and the read-me copied beside the program.
// Without arguments the test reads its own module (it links the same resource objects
// as the program); with --module=FILE it reads FILE, a module beside this test.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::wstring g_moduleName;  // empty: this test's own module

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring ModulePath() { return g_moduleName.empty() ? OwnPath() : Folder(OwnPath()) + g_moduleName; }

std::string Narrow(const std::wstring& s) { return ::testing::PrintToString(s); }

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        if (g_moduleName.empty()) {
            module_ = GetModuleHandleW(nullptr);
        } else {
            loaded_ = LoadLibraryExW(ModulePath().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
            ASSERT_NE(loaded_, nullptr) << "cannot load " << Narrow(ModulePath()) << ", error " << GetLastError();
            module_ = loaded_;
        }
    }
    void TearDown() override {
        if (loaded_) FreeLibrary(loaded_);
    }

    // The bytes of one resource, or empty when it is missing.
    std::vector<BYTE> Resource(const wchar_t* name, const wchar_t* type) const {
        HRSRC found = FindResourceW(module_, name, type);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const auto* data = static_cast<const BYTE*>(LockResource(loaded));
        if (!data) return {};
        return std::vector<BYTE>(data, data + SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
    HMODULE loaded_ = nullptr;
};

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14);

using ImageKind = std::tuple<int, int, int>;  // width, height, bits per pixel

TEST_F(ProgramResources, IconGroupAMainHoldsSixFloppyImages) {
    const std::vector<BYTE> group = Resource(L"A_MAIN", RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader)) << "no icon group named A_MAIN";
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 6);
    ASSERT_EQ(group.size(), sizeof header + header.count * sizeof(GroupIconEntry));

    std::multiset<ImageKind> listed, stored;
    for (WORD i = 0; i < header.count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
        listed.insert({entry.width, entry.height, entry.bitCount});
        EXPECT_EQ(entry.colorCount, entry.bitCount == 4 ? 16 : 0);

        const std::vector<BYTE> image = Resource(MAKEINTRESOURCEW(entry.id), RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << "image " << entry.id << " missing";
        EXPECT_EQ(image.size(), entry.bytesInRes);
        BITMAPINFOHEADER bih;
        std::memcpy(&bih, image.data(), sizeof bih);
        ASSERT_EQ(bih.biSize, sizeof bih);
        EXPECT_EQ(bih.biPlanes, 1);
        EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
        stored.insert({bih.biWidth, bih.biHeight / 2, bih.biBitCount});

        // Palette, colour bitmap and mask fill the image exactly.
        const int side = bih.biWidth;
        const size_t colours = size_t{1} << bih.biBitCount;
        const size_t xorStride = ((side * bih.biBitCount + 31) / 32) * 4;
        const size_t andStride = ((side + 31) / 32) * 4;
        const size_t paletteAt = sizeof bih, xorAt = paletteAt + colours * 4, andAt = xorAt + xorStride * side;
        ASSERT_EQ(image.size(), andAt + andStride * side);

        if (bih.biBitCount == 4) {
            // The sixteen standard colours, in their usual order.
            static const BYTE vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
            for (int c = 0; c < 16; ++c) {
                const BYTE* q = &image[paletteAt + c * 4];  // blue, green, red, 0
                EXPECT_EQ(std::make_tuple(q[2], q[1], q[0]), std::make_tuple(vga[c][0], vga[c][1], vga[c][2]))
                    << "colour " << c;
            }
        }

        // A drawing, not a blank: several colours, and both opaque and clear pixels (the
        // cut corner of the disk is clear).
        std::set<int> used;
        int clear = 0, opaque = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const BYTE* row = &image[xorAt + y * xorStride];
                used.insert(bih.biBitCount == 8 ? row[x] : (x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4));
                const bool isClear = image[andAt + y * andStride + x / 8] & (0x80 >> (x % 8));
                (isClear ? clear : opaque)++;
            }
        }
        EXPECT_GE(used.size(), 5u) << side << "x" << side << " at " << bih.biBitCount << " bits";
        EXPECT_GT(clear, 0);
        EXPECT_GT(opaque, side * side / 2);

        // Windows can make an icon of it.
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data()), static_cast<DWORD>(image.size()), TRUE,
                                              0x00030000, side, side, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr);
        if (icon) DestroyIcon(icon);
    }
    const std::multiset<ImageKind> expected{{48, 48, 4}, {32, 32, 4}, {16, 16, 4},
                                            {48, 48, 8}, {32, 32, 8}, {16, 16, 8}};
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(stored, expected);
}

TEST_F(ProgramResources, BigAndSmallIconsLoadByName) {
    for (int side : {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON)}) {
        HICON icon = static_cast<HICON>(LoadImageW(module_, L"A_MAIN", IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << side;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, side);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST_F(ProgramResources, VersionRecordNamesTheProgramExactly) {
    const std::wstring path = ModulePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version record, error " << GetLastError();
    std::vector<BYTE> record(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, record.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000003u);  // .0.3
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000003u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0419) << "Russian";
    EXPECT_EQ(translation[1], 1200) << "Unicode";

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {
        {L"FileVersion", L"1.00.0003"},
        {L"ProductVersion", L"1.00.0003"},
        {L"FileDescription", L"Quorvex - Ombrevale 1.00"},
        {L"Comments", L"Quorvex - Ombrevale 1.00"},
        {L"ProductName", L"Quorvex"},
        {L"InternalName", L"Ombrevale"},
        {L"OriginalFilename", L"Ombrevale.EXE"},
        {L"CompanyName", L"Quorvex"},
        {L"LegalCopyright", L"© Quorvex, 2026. Все права защищены."},
    };
    for (const auto& s : strings) {
        // Looked up under the block that Translation names.
        const std::wstring key = std::wstring(L"\\StringFileInfo\\041904B0\\") + s.name;
        wchar_t* value = nullptr;
        ASSERT_TRUE(VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
            << Narrow(s.name);
        EXPECT_EQ(std::wstring(value), s.value) << Narrow(s.name);
    }
}

TEST_F(ProgramResources, ManifestAsksForCommonControls6AndPerMonitorDpi) {
    const std::vector<BYTE> bytes = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_FALSE(bytes.empty()) << "no manifest";
    const std::string manifest(bytes.begin(), bytes.end());
    for (const char* needed : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                               "PerMonitorV2, PerMonitor</dpiAwareness>",
                               ">true/pm</dpiAware>", "level=\"asInvoker\"",
                               // the program is 32-bit: Windows refuses to start it under another architecture
                               "name=\"Quorvex.Ombrevale\" version=\"1.0.0.3\" processorArchitecture=\"x86\"",
                               "{e2011457-1546-43c5-a5fe-008deee3d3f0}",   // Vista
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})  // 10 and 11
        EXPECT_NE(manifest.find(needed), std::string::npos) << needed;

    // Windows accepts it as an activation context.
    const std::wstring path = ModulePath();
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&context);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (handle != INVALID_HANDLE_VALUE) ReleaseActCtx(handle);
}

TEST_F(ProgramResources, TheManifestGivesThisProcessCommonControls6) {
    if (!g_moduleName.empty()) GTEST_SKIP() << "only the running module's manifest applies to its process";
    // Version 6 is a side-by-side assembly: with the manifest in force, comctl32 comes
    // from its folder in WinSxS rather than from the system folder (Wine's copy there
    // still calls itself 5.81, so its path is what tells).
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(comctl, path.data(), static_cast<DWORD>(path.size())));
    FreeLibrary(comctl);
    std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return towlower(c); });
    EXPECT_NE(path.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."), std::wstring::npos) << Narrow(path);
}

// The read-me ships beside the program: UTF-8 with a byte-order mark, CRLF line ends,
// Russian, and it covers what the window offers.
TEST(ReadMe, ShipsBesideTheProgramAsUtf8WithCrLf) {
    if (!g_moduleName.empty()) GTEST_SKIP() << "checked once, with the test's own module";
    std::ifstream file(std::filesystem::path(Folder(OwnPath()) + L"ReadMe.txt"), std::ios::binary);
    ASSERT_TRUE(file) << "ReadMe.txt is not beside the program";
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
        }
        if (text[i] == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    // Valid UTF-8 throughout.
    ASSERT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + 3, static_cast<int>(text.size() - 3),
                                  nullptr, 0),
              0);
    for (const char* topic :
         {"Отключить", "Подключить образ...", "Образ »", "Проверить...", "Создать High Density...",
          "Создать Low Density...", "F1", "Shift+F1", "Esc", "Last open VFD directory", "Virtual PC",
          "OmbrevaleDemoHost.exe /RegServer", "OmbrevaleDemoHost.exe /UnregServer", "Версия 1.00.0003", "LICENSE.txt"})
        EXPECT_NE(text.find(topic), std::string::npos) << topic;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string option = "--module=";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(option, 0) == 0) {
            const std::string name = arg.substr(option.size());
            g_moduleName.assign(name.begin(), name.end());
        }
    }
    return RUN_ALL_TESTS();
}
