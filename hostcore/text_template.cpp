#include "hostcore/text_template.h"

#include <cstdint>
#include <vector>

#include "hostcore/errors.h"

namespace ombrevale::hostcore {

Status WriteTextTemplate(Files& files, const std::wstring& path, std::string_view utf8) {
    OMB_RETURN_IF_FAILED(files.CreateFolders(files.Parent(path)));
    std::vector<std::uint8_t> bytes{0xEF, 0xBB, 0xBF};
    for (char c : utf8) {
        if (c == '\n') bytes.push_back('\r');
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    // Whole or not at all: half a template would only puzzle its reader.
    Status written = files.WriteAtomically(path, bytes, WriteMode::CreateOnly);
    if (!written && written.failure().number == kFileExists) return Ok();
    return written;
}

}  // namespace ombrevale::hostcore
