// The numbered set of disks that an image file belongs to: the other files of its folder
// with the same extension whose names differ from its own in one run of digits only
// ("Win95 disk 03.vfd", "Win95 disk 04.vfd", ...). Names compare as Windows compares file
// names, without regard to case; the numbers compare as numbers.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ombrevale {

enum class Neighbour { Next, Previous };

struct SetNeighbour {
    enum class Outcome {
        Found,        // `name` is the neighbour
        NoNumber,     // the image's name holds no digits
        NoneThatWay,  // no disk of the set lies that way (or there is no set at all)
    };
    Outcome outcome = Outcome::NoneThatWay;
    std::wstring name;
};

// The next disk is the one with the smallest number above the image's, the previous one
// the one with the largest number below it; gaps are skipped. Where names differ in
// several runs of digits across the folder, the run in which most of them differ is the
// set's number (the earlier run when as many differ in two). `names` are the file names of
// the folder and may hold the image's own.
SetNeighbour FindNeighbour(const std::wstring& image, const std::vector<std::wstring>& names, Neighbour which);

struct PathParts {
    std::wstring folder;  // up to and including the last separator
    std::wstring name;
};

// Splits a full path at its last "\" or "/"; nothing when it has neither or ends in one.
std::optional<PathParts> SplitImagePath(const std::wstring& path);

}  // namespace ombrevale
