// libFuzzer entry for the numeric edit's reading, clamping, writing and stepping.
// The invariants are in num_edit_check.h; a broken one aborts with its description, so
// libFuzzer keeps the input as a crash.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/num_edit_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string failure = qm::fuzz::CheckNumEdit(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
