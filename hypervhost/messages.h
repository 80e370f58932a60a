// Every text that the Hyper-V bridge shows of its own: Russian, like the program it serves.
// Texts that the other servers share (a missing image, a drive that holds nothing, a fault
// of the hosts file as a text file) come from hostcore/texts.h, so that all servers word
// them alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ombrevale::hypervhost {

// Problems in the hosts file: sentence fragments that ServerText::Malformed puts after the
// file and line.
struct HostsFileText {
    static std::wstring BadName(std::wstring_view text);
    static std::wstring ThisComputer(std::wstring_view text);
    static std::wstring Repeated(std::wstring_view name, int line);
};

// `host` is a host's name as the hosts file gives it, "" for this computer; `machine` a
// machine's name as the list shows it.
struct HyperVText {
    // What a host failed with, in words: a missing Hyper-V, a user outside its group, a host
    // that does not answer, or WMI's own number and text.
    static std::wstring HostFailure(std::wstring_view host, std::int32_t number, std::wstring_view detail);
    // The same in a few words, for the list entry that stands for a host that failed.
    static std::wstring HostEntry(std::wstring_view host, std::int32_t number);
    static std::wstring OldWindows(unsigned major, unsigned minor);

    static std::wstring MachineName(std::wstring_view host, std::wstring_view machine);
    static std::wstring MachineGone(std::wstring_view machine);
    static std::wstring NoSuchDrive(std::size_t drive, std::wstring_view machine);
    static std::wstring NoHostDrives();
    static std::wstring NotFullPath(std::wstring_view path);

    // The change that Hyper-V was asked for.
    static std::wstring Insert(std::wstring_view image);
    static std::wstring Change(std::wstring_view image);
    static std::wstring Remove();
    static std::wstring Refused(std::wstring_view change, std::wstring_view machine, std::uint32_t code);
    static std::wstring JobFailed(std::wstring_view change, std::wstring_view machine, std::wstring_view error,
                                  std::uint16_t code);
    static std::wstring JobTooLong(std::wstring_view change, std::wstring_view machine);
    // Hyper-V said it was done, yet the drive holds `image` (empty: nothing).
    static std::wstring NotSeen(std::wstring_view change, std::wstring_view machine, std::wstring_view image);

    static std::wstring CannotCheckHost(std::wstring_view path, std::wstring_view hostFailure);
    static std::wstring ReplacesHostsFile(std::wstring_view path);
};

}  // namespace ombrevale::hypervhost
