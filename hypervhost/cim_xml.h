// An instance as text for WMI methods that take embedded instances (AddResourceSettings,
// ModifyResourceSettings): CIM-XML, the DMTF's representation of an INSTANCE element.
#pragma once

#include <string>
#include <vector>

#include "hypervhost/hyperv.h"

namespace ombrevale::hypervhost {

std::wstring EmbeddedInstance(const std::wstring& className, const std::vector<CimProperty>& properties);

}  // namespace ombrevale::hypervhost
