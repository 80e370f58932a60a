// The demo server as its process runs it: its name in the registry, what it says when
// started by hand, and its machines from the inventory file.
#pragma once

#include "hostcore/local_server_win32.h"

namespace ombrevale::demohost {

// The demo automation server: the inventory that OMBREVALE_DEMO_INVENTORY names, else the
// one in the user's roaming application data, with a default inventory and its sample
// images made beside it on first use.
hostcore::ServerDescription DemoServer();

}  // namespace ombrevale::demohost
