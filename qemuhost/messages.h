// Every text that the QEMU bridge shows of its own: Russian, like the program it serves.
// Texts that the other servers share (a missing image, a drive that is not empty, a fault
// of the machines file as a text file) come from hostcore/texts.h, so that all servers
// word them alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ombrevale::qemuhost {

// Problems in the machines file: sentence fragments that ServerText::Malformed puts after
// the file and line.
struct MachinesFileText {
    static std::wstring MissingEquals();
    static std::wstring MissingLabel();
    static std::wstring MissingAddress();
    static std::wstring BadAddress(std::wstring_view text);
    static std::wstring BadPort(std::wstring_view text);
    static std::wstring NotTcp(std::wstring_view text);
    static std::wstring NotIpv4(std::wstring_view host);
    static std::wstring RepeatedAddress(std::wstring_view address, int line);
};

// Why what came back is not QMP as the bridge knows it: the detail in BridgeText::NotQmp.
struct QmpText {
    static std::wstring NoGreeting();
    static std::wstring NotJson();
    static std::wstring TooLong();
    static std::wstring ForeignReply();
    static std::wstring ErrorWithoutText();
    static std::wstring NeitherReturnNorError();
    static std::wstring Unexpected(std::wstring_view command);
};

// What went wrong with one machine; `machine` is its label, `address` its QMP address.
struct BridgeText {
    static std::wstring Unreachable(std::wstring_view machine, std::wstring_view address);
    static std::wstring NotAnswering(std::wstring_view machine, std::wstring_view address);
    static std::wstring ConnectionLost(std::wstring_view machine, std::wstring_view address);
    static std::wstring NotQmp(std::wstring_view machine, std::wstring_view address, std::wstring_view detail);
    static std::wstring QemuRefused(std::wstring_view machine, std::wstring_view address, std::wstring_view qemu);

    static std::wstring NoSuchMachine(std::size_t machine, std::size_t count, std::wstring_view file);
    static std::wstring NoSuchDrive(std::size_t drive, std::size_t count, std::wstring_view machine);

    static std::wstring NotFloppySize(std::wstring_view path, std::uint64_t size);
    static std::wstring NoPathMapping(std::wstring_view path);
    static std::wstring HostDriveNotFloppy(std::wstring_view letter);

    // What a drive was to take, or holds: an image file or a host drive.
    static std::wstring ImageMedium(std::wstring_view path);
    static std::wstring HostDriveMedium(std::wstring_view letter);
    static std::wstring MediumNotTaken(std::wstring_view medium, std::int32_t drive, std::wstring_view machine,
                                       std::wstring_view qemu);
    // QEMU reported success, yet the drive holds `found` (empty: nothing).
    static std::wstring MediumNotTakenSilently(std::wstring_view medium, std::int32_t drive, std::wstring_view machine,
                                               std::wstring_view found);
    static std::wstring NotEjected(std::int32_t drive, std::wstring_view machine, std::wstring_view qemu);

    static std::wstring CannotCheckMachine(std::wstring_view path, std::wstring_view machineFailure);
    static std::wstring ReplacesMachinesFile(std::wstring_view path);
};

}  // namespace ombrevale::qemuhost
