// The texts that every automation server shows about image files, drives and the text
// files that people write: Russian, like the program they serve.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostcore/utf8.h"

namespace ombrevale::hostcore {

struct UserFile;

struct ServerText {
    // «text», as every message quotes a name.
    static std::wstring Quoted(std::wstring_view text);
    // "дисковод 0 машины «…»", as messages name a drive.
    static std::wstring Drive(std::int32_t drive, std::wstring_view machine);
    // " (нет доступа)" and the like, for a failure number from the file system.
    static std::wstring Reason(std::int32_t number);
    // "0x8004100E": a failure number that has no words of ours.
    static std::wstring Hex(std::int32_t number);

    // A text file that a person writes (UserFile), named the same way by every server.
    static std::wstring Malformed(const UserFile& file, std::wstring_view path, int line, std::wstring_view problem);
    static std::wstring TooLarge(const UserFile& file, std::wstring_view path);
    static std::wstring SavedAsUtf16(const UserFile& file, std::wstring_view path);
    static std::wstring Unreadable(const UserFile& file, std::wstring_view path, std::int32_t number);
    // The fragment for a line's fault, which follows the file and line; empty for
    // LineFault::None.
    static std::wstring Problem(LineFault fault);

    // How a bridge is registered by hand (`program`: its file's name), for the text that it
    // shows when started without a switch.
    static std::wstring BridgeSwitches(std::wstring_view program);

    static std::wstring NoDataFolder(std::int32_t number);
    static std::wstring MissingImagePath();
    static std::wstring BlankImagePath();
    static std::wstring BadImagePath(std::wstring_view path);
    static std::wstring LoneSurrogatePath(std::wstring_view path);
    static std::wstring MisplacedColon(std::wstring_view path);
    static std::wstring ImageIsDevice(std::wstring_view path);
    static std::wstring ImageNotFound(std::wstring_view path);
    static std::wstring ImageNotRegular(std::wstring_view path);
    static std::wstring ImageUnreadable(std::wstring_view path, std::int32_t number);
    static std::wstring DriveHoldsImage(std::int32_t drive, std::wstring_view machine, std::wstring_view image);
    static std::wstring DriveHoldsHostDrive(std::int32_t drive, std::wstring_view machine, std::wstring_view letter);
    static std::wstring ImageHeld(std::wstring_view path, std::int32_t drive, std::wstring_view machine);
    static std::wstring NoImage(std::int32_t drive, std::wstring_view machine);
    static std::wstring NoHostDrive(std::int32_t drive, std::wstring_view machine);
    static std::wstring BadHostDriveLetter(std::wstring_view text);
    static std::wstring UnknownDensity(std::wstring_view path, std::int32_t density);
    static std::wstring ReplacesHeldImage(std::wstring_view path, std::int32_t drive, std::wstring_view machine);
    static std::wstring NotAFileToReplace(std::wstring_view path);
    static std::wstring DeviceNotReplaced(std::wstring_view path);
    static std::wstring ImageNotWritten(std::wstring_view path, std::int32_t number);
};

}  // namespace ombrevale::hostcore
