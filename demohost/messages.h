// Every text that the demo host shows of its own: Russian, like the program it serves.
// Problems in the inventory are sentence fragments that ServerText::Malformed puts after
// the file and line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostcore/texts.h"

namespace ombrevale::demohost {

struct InventoryText {
    static std::wstring FileHeader();

    static std::wstring UnknownKeyword(std::wstring_view word);
    static std::wstring MissingMachineName();
    static std::wstring DriveBeforeMachine();
    static std::wstring MissingDriveNumber();
    static std::wstring BadDriveNumber(std::wstring_view text);
    static std::wstring RepeatedDriveNumber(std::int32_t number, std::wstring_view machine, int line);
    static std::wstring MissingMedia();
    static std::wstring UnknownMedia(std::wstring_view word);
    static std::wstring TextAfterEmpty(std::wstring_view text);
    static std::wstring MissingImagePath();
    static std::wstring BadHostDriveLetter(std::wstring_view text);
    static std::wstring ImageHeldTwice(std::wstring_view path, std::int32_t drive, std::wstring_view machine, int line);
    static std::wstring ImageIsInventory(std::wstring_view path);
};

struct HostText {
    static std::wstring InventoryBrokenLink(std::wstring_view file);
    static std::wstring InventoryNotSaved(std::wstring_view file, std::int32_t number);
    static std::wstring InventoryChangedMeanwhile(std::wstring_view file);
    static std::wstring InventoryNotCreated(std::wstring_view file, std::int32_t number);
    static std::wstring FolderNotCreated(std::wstring_view folder, std::int32_t number);
    static std::wstring SampleImageNotCreated(std::wstring_view path, std::int32_t number);

    static std::wstring AttachesInventory(std::wstring_view path);

    static std::wstring ReplacesInventory(std::wstring_view path);
};

}  // namespace ombrevale::demohost
