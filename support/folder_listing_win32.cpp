#include "support/folder_listing_win32.h"

#include <windows.h>

#include "base/failure_win32.h"

namespace ombrevale {
namespace {

constexpr wchar_t kListFolderFailed[] = L"Не удалось прочитать папку";

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

// One pass of FindFirstFileW/FindNextFileW: a folder of 10,000 files is read in
// milliseconds, so the key needs no thread of its own.
Result<std::vector<std::wstring>> Win32FolderListing::FileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    FindHandle find(::FindFirstFileW((folder + L"*").c_str(), &found));
    if (find.get() == INVALID_HANDLE_VALUE) {
        // A root folder with nothing in it has no "." either.
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return names;
        return Win32Failure(error, kListFolderFailed);
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
        return Win32Failure(error, kListFolderFailed);
    return names;
}

}  // namespace ombrevale
