// Where the users' files of the servers live.
#include <windows.h>
#include <shlobj.h>

#include "hostcore/texts.h"
#include "hostcore/user_file.h"

namespace ombrevale::hostcore {

Result<std::wstring> UserFileLocation(Files& files, const UserFile& file) {
    const DWORD needed = GetEnvironmentVariableW(file.variable, nullptr, 0);
    if (needed > 1) {
        std::wstring named(needed, L'\0');
        named.resize(GetEnvironmentVariableW(file.variable, named.data(), needed));
        auto full = files.FullPath(named);
        return full ? *full : named;
    }
    // SHGetFolderPathW rather than SHGetKnownFolderPath: the servers start on Windows XP.
    // S_FALSE would be a folder that does not exist, and leave no path to build on.
    wchar_t roaming[MAX_PATH] = L"";
    const HRESULT hr =
        SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, roaming);
    if (hr != S_OK) {
        const HRESULT number = FAILED(hr) ? hr : E_FAIL;
        return Failure{number, ServerText::NoDataFolder(number)};
    }
    return files.Join(files.Join(roaming, file.folder), file.fileName);
}

std::wstring UserFileShown(const UserFile& file) {
    if (auto path = UserFileLocation(*SystemFiles(), file)) return *path;
    return std::wstring(L"%APPDATA%\\") + file.folder + L"\\" + file.fileName;
}

void OfferTextTemplate(const UserFile& file, std::string_view utf8) {
    if (GetEnvironmentVariableW(file.variable, nullptr, 0) > 1) return;
    auto files = SystemFiles();
    if (auto path = UserFileLocation(*files, file)) (void)WriteTextTemplate(*files, *path, utf8);
}

}  // namespace ombrevale::hostcore
