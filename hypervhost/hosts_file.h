// The remote Hyper-V hosts that the bridge serves besides this computer: a UTF-8 text file
// that the user writes, one host name per line (the format is described in README.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace ombrevale::hypervhost {

struct HostEntry {
    std::wstring name;  // as the user wrote it, without a leading "\\"
    int line = 0;       // where it was read, for messages

    friend bool operator==(const HostEntry&, const HostEntry&) = default;
};

// Reads the text of a hosts file. A malformed text fails with kMalformedHostsFile and a
// description that names `file` and the line.
Result<std::vector<HostEntry>> ParseHostsFile(std::string_view utf8, const std::wstring& file);

// A commented file with no hosts, that shows the format where the user will look.
std::string HostsFileTemplate();

}  // namespace ombrevale::hypervhost
