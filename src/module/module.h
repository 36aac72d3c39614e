// What the module knows about itself once a host has loaded it.
#pragma once

#include <string>

namespace orvane {

// File-system path of the loaded module, recorded at the first ModuleEntry;
// empty before.
const std::string& modulePath();

}  // namespace orvane
