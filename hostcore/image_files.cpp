#include "hostcore/image_files.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "hostcore/errors.h"
#include "hostcore/floppy_image.h"
#include "hostcore/texts.h"

namespace ombrevale::hostcore {
namespace {

// Like DOS FORMAT: the serial number follows the moment the disk was made.
std::uint32_t SerialFromClock() {
    static std::uint32_t counter = 0;
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    const auto mixed = static_cast<std::uint64_t>(ticks) * 0x9E3779B97F4A7C15ull + ++counter;
    return static_cast<std::uint32_t>(mixed >> 32) ^ static_cast<std::uint32_t>(mixed);
}

// A path is kept as one line (the demo inventory, QEMU's command): no line break or other
// control character may come with it.
bool HasControlCharacter(const std::wstring& text) {
    return std::any_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; });
}

bool IsOnlyBlanks(const std::wstring& text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c == L' '; });
}

// "x.vfd:stream" names a stream inside x.vfd, not a file: a colon belongs only after a
// drive letter (C:\..., \\?\C:\..., \\.\C:\...).
bool HasMisplacedColon(const std::wstring& fullPath) {
    std::size_t at = 0;
    if (fullPath.rfind(L"\\\\?\\", 0) == 0 || fullPath.rfind(L"\\\\.\\", 0) == 0) at = 4;
    if (fullPath.size() >= at + 2 && fullPath[at + 1] == L':' &&
        ((fullPath[at] >= L'A' && fullPath[at] <= L'Z') || (fullPath[at] >= L'a' && fullPath[at] <= L'z')))
        at += 2;
    return fullPath.find(L':', at) != std::wstring::npos;
}

}  // namespace

std::int32_t OutwardNumber(std::int32_t number) {
    if (number == kReadOnlyFile) return kAccessDenied;
    if (number == kBrokenLink) return kFileNotFound;
    return number;
}

bool IsNotFound(std::int32_t number) { return number == kFileNotFound || number == kPathNotFound; }

ImageFiles::ImageFiles(std::shared_ptr<Files> files, SerialSource volumeSerial)
    : files_(std::move(files)), volumeSerial_(volumeSerial ? std::move(volumeSerial) : SerialSource(SerialFromClock)) {}

Result<std::wstring> ImageFiles::FullPath(const std::wstring& path, bool creating) const {
    if (path.empty()) return Failure{kInvalidArgument, ServerText::MissingImagePath()};
    if (IsOnlyBlanks(path)) return Failure{kInvalidArgument, ServerText::BlankImagePath()};
    if (HasControlCharacter(path)) return Failure{kInvalidArgument, ServerText::BadImagePath(path)};
    auto full = files_->FullPath(path);
    if (!full) {
        const std::int32_t number = full.failure().number;
        return Failure{number, creating ? ServerText::ImageNotWritten(path, number) : ServerText::ImageNotFound(path)};
    }
    if (HasMisplacedColon(*full)) return Failure{kInvalidArgument, ServerText::MisplacedColon(path)};
    if (auto facts = files_->Examine(*full); facts && facts->kind == PathKind::Device)
        return Failure{kNotRegularFile,
                       creating ? ServerText::DeviceNotReplaced(path) : ServerText::ImageIsDevice(path)};
    return full;
}

Result<std::unique_ptr<ReadableFile>> ImageFiles::Open(const std::wstring& fullPath) const {
    auto file = files_->OpenForReading(fullPath);
    if (file) return file;
    const std::int32_t number = file.failure().number;
    if (IsNotFound(number)) return Failure{number, ServerText::ImageNotFound(fullPath)};
    if (number == kNotRegularFile) return Failure{number, ServerText::ImageNotRegular(fullPath)};
    return Failure{number, ServerText::ImageUnreadable(fullPath, number)};
}

Result<std::int32_t> ImageFiles::Classify(const std::wstring& fullPath) const {
    std::unique_ptr<ReadableFile> file;
    OMB_ASSIGN_OR_RETURN(file, Open(fullPath));
    const std::uint64_t size = file->Size();
    if (FormatForSize(size) == kUnknownFormat) return kUnknownFormat;
    auto head = file->ReadHead(kBootSectorSize);
    if (!head) {
        const std::int32_t number = head.failure().number;
        return Failure{number, ServerText::ImageUnreadable(fullPath, number)};
    }
    return ClassifyFloppyImage(size, *head);
}

Result<std::vector<std::uint8_t>> ImageFiles::NewImage(const std::wstring& fullPath, std::int32_t density) const {
    auto image = BuildEmptyFloppyImage(density, volumeSerial_());
    if (!image) return Failure{kUnknownDensity, ServerText::UnknownDensity(fullPath, density)};
    return std::move(*image);
}

Status ImageFiles::Write(const std::wstring& fullPath, std::span<const std::uint8_t> image) const {
    auto facts = files_->Examine(fullPath);
    if (facts && (facts->kind == PathKind::Folder || facts->kind == PathKind::Device))
        return Failure{kNotRegularFile, ServerText::NotAFileToReplace(fullPath)};
    if (auto written = files_->WriteAtomically(fullPath, image, WriteMode::Replace); !written) {
        const std::int32_t number = written.failure().number;
        return Failure{OutwardNumber(number), ServerText::ImageNotWritten(fullPath, number)};
    }
    return Ok();
}

}  // namespace ombrevale::hostcore
