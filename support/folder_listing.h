// The files of a folder, as the next-disk keys read them to find an image's set.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace ombrevale {

class FolderListing {
public:
    virtual ~FolderListing() = default;
    // The names (without the folder) of the files in `folder`, which ends in a path
    // separator; folders inside it are left out. A failure when the folder cannot be read.
    virtual Result<std::vector<std::wstring>> FileNames(const std::wstring& folder) = 0;
};

}  // namespace ombrevale
