#include "images/image_tools.h"

#include <iterator>

#include "images/texts.h"

namespace ombrevale {

namespace texts = image_texts;

Status ShowImageMenu(ImageMenuView& view) {
    ButtonPlacement button;
    OMB_ASSIGN_OR_RETURN(button, view.cmdImageMenuPlacement());
    // The button's top-right corner.
    const float x = button.left + button.width;
    const float y = button.top;
    return view.PopupMenu(kImageMenuElement, x, y, kImageMenuFlags);
}

ImageCommand ImageMenuCommand(std::int16_t index) {
    switch (index) {
    case kMenuCheck: return ImageCommand::Check;
    case kMenuCreateHighDensity: return ImageCommand::CreateHighDensity;
    case kMenuCreateLowDensity: return ImageCommand::CreateLowDensity;
    default: return ImageCommand::None;
    }
}

std::wstring FormatDescription(std::int32_t code) {
    if (code < 0 || code >= static_cast<std::int32_t>(std::size(texts::kFormatDescriptions)))
        return texts::kUnexpectedFormat;
    return texts::kFormatDescriptions[code];
}

Status CheckImageFile(VirtualPCHost& host, SupportLibrary& support, const AskImagePath& getOpenFileName) {
    std::wstring path;
    OMB_ASSIGN_OR_RETURN(path, getOpenFileName());
    if (path.empty()) return Ok();

    Guard guard;
    auto code = guard.step(host.GetFloppyImageType(path));
    if (guard.failed()) {
        ReportFailure(support, guard.failure(), path + kParagraph + texts::kReadImageFailed);
        return Ok();
    }
    (void)support.Boxes().Show(path + kParagraph + FormatDescription(*code), kStyleInformation);
    return Ok();
}

Status CreateImageFile(VirtualPCHost& host, SupportLibrary& support, const AskImagePath& getSaveFileName,
                       std::int32_t density) {
    std::wstring path;
    OMB_ASSIGN_OR_RETURN(path, getSaveFileName());
    if (path.empty()) return Ok();

    Guard guard;
    guard.step(host.CreateFloppyImage(path, density));
    if (guard.failed()) {
        ReportFailure(support, guard.failure(), path + kParagraph + texts::kCreateImageFailed);
        return Ok();
    }
    (void)support.Boxes().Show(path + kParagraph + texts::kImageCreated, kStyleInformation);
    return Ok();
}

void ReportImageMenuFailure(SupportLibrary& support, const Failure& failure) {
    ReportFailure(support, failure, texts::kImageMenuFailed);
}

void ReportFileDialogFailure(SupportLibrary& support, const Failure& failure) {
    ReportFailure(support, failure, texts::kFileDialogFailed);
}

}  // namespace ombrevale
