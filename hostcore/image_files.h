// What both servers do with floppy image files, apart from their machines: a path that a
// client gives, checked and made full; an image classified; a new empty one written. What
// each server's drives hold is the server's own to guard.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "hostcore/files.h"

namespace ombrevale::hostcore {

// The file layer's own conditions leave a server as the numbers Windows gives for them.
std::int32_t OutwardNumber(std::int32_t number);
bool IsNotFound(std::int32_t number);

class ImageFiles {
public:
    using SerialSource = std::function<std::uint32_t()>;

    // `volumeSerial` numbers new images; by default it follows the clock, as DOS FORMAT did.
    explicit ImageFiles(std::shared_ptr<Files> files, SerialSource volumeSerial = {});

    Files& files() const { return *files_; }

    // The full form of a path given for an image, or why it names none: nothing or only
    // blanks, a control character, a colon that names a stream, a device.
    Result<std::wstring> FullPath(const std::wstring& path, bool creating) const;
    // An image opened for reading, or the failure worded with its path.
    Result<std::unique_ptr<ReadableFile>> Open(const std::wstring& fullPath) const;
    // The format code of the image (0 for none): only a size that some format has is
    // worth reading the boot sector for.
    Result<std::int32_t> Classify(const std::wstring& fullPath) const;
    // An empty, formatted image of `density` (2 high, 1 low); refused for any other.
    Result<std::vector<std::uint8_t>> NewImage(const std::wstring& fullPath, std::int32_t density) const;
    // Writes `image` whole or not at all, replacing a file of that name, but never a folder,
    // a device or a read-only file.
    Status Write(const std::wstring& fullPath, std::span<const std::uint8_t> image) const;

private:
    std::shared_ptr<Files> files_;
    SerialSource volumeSerial_;
};

}  // namespace ombrevale::hostcore
