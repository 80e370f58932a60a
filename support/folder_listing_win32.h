// The folder listing over the file system.
#pragma once

#include "support/folder_listing.h"

namespace ombrevale {

class Win32FolderListing final : public FolderListing {
public:
    Result<std::vector<std::wstring>> FileNames(const std::wstring& folder) override;
};

}  // namespace ombrevale
