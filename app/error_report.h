// The text of the general error report: an error's description with a full stop
// added when the last character's code is above that of the full stop.
#pragma once

#include <string>

namespace qm {

inline std::string ErrorReportText(const std::string& description) {
    if (!description.empty() && static_cast<unsigned char>(description.back()) > static_cast<unsigned char>('.'))
        return description + ".";
    return description;
}

}  // namespace qm
