#include "app/run_options.h"

namespace qm {

ParsedRunOptions ParseRunOptions(const std::string& /*fileText*/) {
    return {};
}

}  // namespace qm
