// Scratch folders and plain file access for the demo host's tests, on either platform.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demohost/utf8.h"

namespace ombrevale::demohost::testing {

inline std::filesystem::path ToPath(const std::wstring& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    return std::filesystem::path(WideToUtf8(path));
#endif
}

inline std::wstring FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return *Utf8ToWide(path.string());
#endif
}

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("omb-demohost-" + std::to_string(stamp) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::wstring Folder() const { return FromPath(path_); }
    std::wstring File(const std::wstring& name) const { return FromPath(path_ / ToPath(name)); }
    const std::filesystem::path& path() const { return path_; }

    // Names in the folder, to see that no temporary file was left behind.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(FromPath(entry.path().filename()));
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(ToPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::wstring& path) { return std::filesystem::exists(ToPath(path)); }

}  // namespace ombrevale::demohost::testing
