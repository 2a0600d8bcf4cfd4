// libFuzzer entry for the page made from any record text, and a record written and read back.
// The invariants are in run_record_check.h; a broken one aborts with its description.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/run_record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string failure = qm::fuzz::CheckRunPage(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
