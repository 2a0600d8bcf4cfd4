// libFuzzer entry for the settings file loader: load, save and load again.
// The invariants are in settings_load_check.h; a broken one aborts with its description, so
// libFuzzer keeps the input as a crash.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/settings_load_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string failure = qm::fuzz::CheckSettingsLoad(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
