// The remote Hyper-V hosts that the bridge serves besides this computer: a UTF-8 text file
// that the user writes, one host name per line (the format is described in README.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "hostcore/user_file.h"
#include "hypervhost/errors.h"

namespace ombrevale::hypervhost {

// The hosts file: where it is, how large it may be, how messages name it.
inline constexpr hostcore::UserFile kHostsFile{
    .name = L"хостов Hyper-V",
    .contents = L"список хостов",
    .malformed = kMalformedHostsFile,
    .largest = 1024 * 1024,
    .variable = L"OMBREVALE_HYPERV_HOSTS",
    .folder = L"Ombrevale Hyper-V Bridge",
    .fileName = L"hosts.txt",
};

struct HostEntry {
    std::wstring name;  // as the user wrote it, without a leading "\\"
    int line = 0;       // where it was read, for messages

    friend bool operator==(const HostEntry&, const HostEntry&) = default;
};

// Reads the text of a hosts file. A malformed text fails with kMalformedHostsFile and a
// description that names `file` and the line.
Result<std::vector<HostEntry>> ParseHostsFile(std::string_view utf8, const std::wstring& file);

// A host's name, a path or a machine's name as Windows compares them: without regard to
// the case of Latin and Cyrillic letters.
std::wstring WindowsFolded(std::wstring_view text);

// A commented file with no hosts, that shows the format where the user will look.
std::string HostsFileTemplate();

}  // namespace ombrevale::hypervhost
