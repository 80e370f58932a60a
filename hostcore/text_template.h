// A commented template of a file that the user writes by hand (a bridge's list of machines
// or hosts), left where the user will look for that file.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "hostcore/files.h"

namespace ombrevale::hostcore {

// Writes `utf8` (with LF line ends) at `path`, making its folders, unless something has that
// name already: a file that is there is the user's and is never replaced. The file gets the
// UTF-8 mark and CR LF line ends, since Notepad before Windows 10 shows UTF-8 only with its
// mark and lines only with CR LF.
Status WriteTextTemplate(Files& files, const std::wstring& path, std::string_view utf8);

}  // namespace ombrevale::hostcore
