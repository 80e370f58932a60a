// Registering an automation server under Virtual PC's host class: the class with its
// local server, the type library and the interfaces, whose calls the proxy/stub DLL
// beside the server carries between 32-bit processes and the system's type library
// marshaller between 64-bit ones. On 64-bit Windows in both registry views, so that
// 32-bit and 64-bit programs alike find the server.
#pragma once

#include <string>

#include "base/result.h"

namespace ombrevale::hostcore {

enum class Scope { CurrentUser, AllUsers };

// Registers `serverPath`. A class registered to another server before is kept aside and
// given back by Unregister.
Status RegisterServer(Scope scope, const std::wstring& serverPath, const std::wstring& name);

// Removes the registration if it is `serverPath`'s (another server's is left alone), and
// gives back the one it replaced.
Status UnregisterServer(Scope scope, const std::wstring& serverPath);

}  // namespace ombrevale::hostcore
