// The QEMU machines that the bridge serves: a UTF-8 text file that the user writes, one
// line per machine, "<label> = <QMP address>" (the format is described in README.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "hostcore/user_file.h"
#include "qemuhost/errors.h"
#include "qemuhost/qmp.h"

namespace ombrevale::qemuhost {

// The machines file: where it is, how large it may be, how messages name it.
inline constexpr hostcore::UserFile kMachinesFile{
    .name = L"машин QEMU",
    .contents = L"список машин",
    .malformed = kMalformedMachinesFile,
    .largest = 1024 * 1024,
    .variable = L"OMBREVALE_QEMU_MACHINES",
    .folder = L"Ombrevale QEMU Bridge",
    .fileName = L"machines.txt",
};

struct MachineEntry {
    std::wstring label;
    QmpAddress address;
    int line = 0;  // where it was read, for messages

    friend bool operator==(const MachineEntry&, const MachineEntry&) = default;
};

// Reads the text of a machines file. A malformed text fails with kMalformedMachinesFile and
// a description that names `file` and the line.
Result<std::vector<MachineEntry>> ParseMachinesFile(std::string_view utf8, const std::wstring& file);

// "127.0.0.1:4444", "4444" (loopback), or QEMU's -qmp option in either spelling
// ("tcp:127.0.0.1:4444,server=on,wait=off", "tcp::4444,server,nowait"), "-qmp" and quotes
// included. "localhost", and the addresses a monitor listens on to take every one (an
// empty host, 0.0.0.0, ::), stand for 127.0.0.1. An empty problem means the text was fine.
std::wstring ParseQmpAddress(std::wstring_view text, QmpAddress& address);

// A commented file with no machines, that shows the format where the user will look.
std::string MachinesFileTemplate();

}  // namespace ombrevale::qemuhost
