// What the automation servers' COM objects ask of the machines they serve. The demo
// server answers from its inventory file, the QEMU bridge from running QEMU machines;
// the COM objects around either are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace ombrevale::hostcore {

// A floppy drive as the server sees it at one moment.
struct DriveState {
    std::int32_t number = 0;       // DriveNumber
    std::int32_t attachment = 0;   // Attachment: 0 nothing, 1 an image file, 2 a host floppy drive
    std::wstring imagePath;        // ImagePath: the image file; empty unless attachment is 1
    std::wstring hostDriveLetter;  // HostDriveLetter, such as "A:"; empty unless attachment is 2
};

// "A:" for a letter followed by a colon, in either case; nothing otherwise.
inline std::wstring NormalHostDriveLetter(std::wstring_view text) {
    if (text.size() != 2 || text[1] != L':') return {};
    wchar_t letter = text[0];
    if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
    if (letter < L'A' || letter > L'Z') return {};
    return std::wstring{letter, L':'};
}

// Machines and drives are addressed by position, counted from 0: a machine in the
// server's list, a drive in its machine's list. A position that no longer exists (the
// list changed under a client that still holds an object) fails with a description.
// Every failure carries an HRESULT-style number and a Russian description that names
// what failed. A backend that cannot serve at all (its file is malformed, say) fails each
// call with the reason: a client learns it from the first call it makes, with the whole
// description, which a failed creation across processes would not carry.
class Backend {
public:
    virtual ~Backend() = default;

    // The file that lists the machines (the demo inventory, the bridge's machine list).
    virtual std::wstring SourcePath() = 0;

    virtual Result<std::size_t> MachineCount() = 0;
    virtual Result<std::wstring> MachineName(std::size_t machine) = 0;
    virtual Result<std::size_t> DriveCount(std::size_t machine) = 0;
    virtual Result<DriveState> Drive(std::size_t machine, std::size_t drive) = 0;

    virtual Status AttachImage(std::size_t machine, std::size_t drive, const std::wstring& path) = 0;
    virtual Status AttachHostDrive(std::size_t machine, std::size_t drive, const std::wstring& letter) = 0;
    virtual Status ReleaseImage(std::size_t machine, std::size_t drive) = 0;
    virtual Status ReleaseHostDrive(std::size_t machine, std::size_t drive) = 0;

    virtual Result<std::int32_t> GetFloppyImageType(const std::wstring& path) = 0;
    virtual Status CreateFloppyImage(const std::wstring& path, std::int32_t density) = 0;
};

}  // namespace ombrevale::hostcore
