// An automation server process (a COM local server) under Virtual PC's host class: one
// process and one Backend serve every client. It registers itself per user (or for all
// users) and gives the class back to the server that held it before when it unregisters.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "hostcore/backend.h"
#include "hostcore/user_file.h"

namespace ombrevale::hostcore {

struct ServerDescription {
    std::wstring name;   // the class's name in the registry, e.g. "Ombrevale Demo Host"
    std::wstring usage;  // shown when the file is started without a switch
    // Makes the backend when the first client comes; a backend that cannot serve says why.
    std::function<Result<std::shared_ptr<Backend>>()> openBackend;
    // A bridge's list that the user writes, with its commented template: left where the
    // user will look for the file (OfferTextTemplate) once the server is registered for the
    // current user, and when the first client comes.
    const UserFile* userFile = nullptr;
    std::string userFileTemplate;
};

// A backend that a server opened, as the server holds it.
template <class Concrete>
Result<std::shared_ptr<Backend>> SharedBackend(Result<std::unique_ptr<Concrete>> opened) {
    if (!opened) return opened.failure();
    return std::shared_ptr<Backend>(std::move(opened).value());
}

// The whole server that `describe` gives: /RegServer and /UnregServer (with /AllUsers for
// every user of the computer, which needs an administrator), -Embedding when COM starts it.
// The process's exit code; an exception ends it with 1, never with a crash.
int RunLocalServer(const std::function<ServerDescription()>& describe, const wchar_t* commandLine);

}  // namespace ombrevale::hostcore
