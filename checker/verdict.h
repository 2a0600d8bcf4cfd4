// The verdict of a check: whether the driver works with the program, and if not,
// which call fails, the box the program shows for it and what that means for the
// user, in plain words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checker/call_trace.h"
#include "checker/check_run.h"
#include "checker/registration.h"

namespace qm::check {

constexpr int kExitCancelled = 3;

struct Verdict {
    // 0: every call the program needs works; 1: one fails; 3: the chooser was
    // cancelled, so nothing was checked (2 is bad usage, decided before a check).
    int exitCode = 0;
    std::vector<std::string> lines;
};

// `bits` is the build of the program the check stands for (its own build).
Verdict Judge(const CheckOutcome& outcome, const std::vector<CallRecord>& calls,
              const std::optional<Registration>& registration, int bits, std::optional<int32_t> moveSteps);

// How the program takes a member's answer, and the error when it cannot: the
// conversion the binding applies to that member. Nothing for members whose answer
// the program does not use.
std::optional<std::string> ConversionError(const std::string& member, const AutoValue& answer);
// "Quillomar takes it as 124" for an answer of another type than the member's own
// that still converts; nothing when the type is the expected one or it does not convert.
std::optional<std::string> ConversionNote(const std::string& member, const AutoValue& answer);

}  // namespace qm::check
