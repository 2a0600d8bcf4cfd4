// The conformance check: with the user's consent (the option itself), the program's
// own controller moves the focuser as a run would, within the row a run sweeps
// around the current position, and the check measures what the program's waits
// meet: how long Move takes, how many IsMoving polls a move needs, where the
// focuser really stands when IsMoving says it stopped, and how fast it goes. It
// then moves the focuser back to where it started, after a failure on the way out
// too, and says where it is. A focuser that stands outside 0 to MaxStep is not
// moved: the program's clamp would send it outside the row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "com/late_bound.h"
#include "checker/call_trace.h"
#include "checker/check_run.h"
#include "checker/run_settings.h"

namespace qm::check {

struct MeasuredMove {
    std::string name;                          // "the first move of a run", "one Increment"
    int32_t from = 0;                          // the target of the move before (the row's position)
    int32_t startedAt = 0;                     // where the focuser stood when this move began
    int32_t target = 0;                        // as the program sends it (clamped for an absolute focuser)
    int64_t moveMicros = 0;                    // time in Move
    int polls = 0;                             // IsMoving reads of the wait after it
    bool sawMoving = false;                    // one of them said True
    bool timedOut = false;                     // the wait ran out of polls: "Move timeout"
    bool waitFailed = false;                   // an IsMoving read of the wait failed: nothing to judge
    int64_t untilIdleMicros = 0;               // from calling Move to the read that said False
    std::optional<int32_t> positionAfterWait;  // absolute focusers: read right after the wait
    std::optional<int32_t> restPosition;       // where it came to rest, or was last seen
    bool rested = true;                        // false: still moving when the following ended
    int64_t untilRestMicros = 0;               // from calling Move until it came to rest

    int32_t Distance() const;
};

struct ConformOutcome {
    CheckOutcome check;           // connection, the boxes shown and the positions, for the verdict
    int32_t start = 0;
    int32_t maxStep = 0;
    bool restlessAtStart = false;  // IsMoving stayed True before any move
    bool startOutsideRange = false;   // an absolute focuser outside 0 to MaxStep: not moved
    std::vector<MeasuredMove> moves;  // the first move of a run, one Increment
    bool measured = false;            // both moves and the reads after them ended without a box
    std::optional<MovedBack> back;    // where the focuser is after the move back; none when not moved
    bool linkAccepted = false;
    std::optional<bool> connectedAccepted;  // asked only when Link is refused
    // A relative focuser's Position: the error it raised, or the answer it gave.
    std::optional<std::string> relativePositionError;
    std::optional<int32_t> relativePositionAnswer;
};

ConformOutcome RunConform(ObjectFactory& objects, const std::string& progId, const RunSettings& run,
                          const CheckServices& services, CallTrace& trace);

}  // namespace qm::check
