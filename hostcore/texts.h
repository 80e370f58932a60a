// The texts that both automation servers show about image files, drives and text files:
// Russian, like the program they serve.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostcore/utf8.h"

namespace ombrevale::hostcore {

struct ServerText {
    // «text», as every message quotes a name.
    static std::wstring Quoted(std::wstring_view text);
    // "дисковод 0 машины «…»", as messages name a drive.
    static std::wstring Drive(std::int32_t drive, std::wstring_view machine);
    // " (нет доступа)" and the like, for a failure number from the file system.
    static std::wstring Reason(std::int32_t number);
    // Problems in a text file that a person writes (the inventory, the bridge's machine
    // list): sentence fragments that follow the file and line.
    static std::wstring NotUtf8();
    static std::wstring ControlCharacter();
    static std::wstring LoneCarriageReturns();
    // The fragment for a line's fault; empty for LineFault::None.
    static std::wstring Problem(LineFault fault);
    // Follows "Файл … «file» ", for a file saved as UTF-16.
    static std::wstring SavedAsUtf16();

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
