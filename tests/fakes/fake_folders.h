// A fake file system for the next-disk keys: folders by path, each with its file names.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/folder_listing.h"
#include "tests/fakes/call_log.h"

namespace ombrevale::fakes {

class FakeFolders : public FolderListing, public Recorder {
public:
    explicit FakeFolders(CallLog* log) : Recorder(L"folders", log) {}

    // File names by folder (with its closing separator); a folder not listed is unreadable.
    std::map<std::wstring, std::vector<std::wstring>> files;

    Result<std::vector<std::wstring>> FileNames(const std::wstring& folder) override {
        if (auto f = Enter(L"FileNames", folder)) return *f;
        auto it = files.find(folder);
        if (it == files.end()) return Failure{kFakeFailureNumber, L"no folder " + folder};
        return it->second;
    }
};

}  // namespace ombrevale::fakes
