// Reads a driver's registration from both views of the class registry.
#pragma once

#include <string>

#include "checker/registration.h"

namespace qm::check::win {

// The identifier resolved to its class in each view (following CurVer to the
// current version when the identifier names no class itself), and the class's
// InprocServer32 and LocalServer32 entries in that view.
Registration ProbeRegistration(const std::string& progId);

}  // namespace qm::check::win
