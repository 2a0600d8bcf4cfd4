// One check of a focuser driver: the program's own window controller, with
// controls that only keep their state and a platform that writes boxes down
// instead of showing them, connects to the driver, reads its position, waits as
// after a move, optionally moves it out and back, and disconnects, exactly as the
// program does. Every automation call goes through a recording factory; every box
// the program would show is kept with the call that led to it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "com/late_bound.h"
#include "checker/call_trace.h"

namespace qm::check {

// The part of the program's work in which a problem showed.
enum class Stage { Connect, PositionRead, Wait, Move, MoveBack, Disconnect };
const char* StageName(Stage stage);

struct Problem {
    Stage stage = Stage::Connect;
    bool moveTimeout = false;  // the wait gave up with the focuser still moving; no box
    std::string caption;       // the box the program shows: "Error" or "Quillomar"
    std::string text;
    int callIndex = -1;        // the record of the call that led to it, -1 when none
    int polls = 0;             // IsMoving reads of the wait that timed out
};

struct CheckOptions {
    std::string progId;                 // empty: the chooser is shown
    std::optional<int32_t> moveSteps;   // moves only with the user's consent
};

// What the system gives the check: pauses and the millisecond tick for the
// program's waits, and the clock the calls are timed with.
struct CheckServices {
    std::function<void(uint32_t)> sleep;
    std::function<uint32_t()> tickCount;
    MicroClock clock;
};

// Where the focuser stands after the check moved it back to its start position: the
// plain check says it after a problem on the way out of --move, --conform always.
struct MovedBack {
    enum class Result {
        Arrived,        // an absolute focuser reported the start position afterwards
        Elsewhere,      // an absolute focuser reported another position afterwards
        Counted,        // a relative focuser: only Quillomar's own count says it is back
        NotKnown,       // the position read afterwards failed, or a relative focuser's move back did
    };
    int32_t target = 0;
    Result result = Result::NotKnown;
    int32_t reported = 0;     // the position reported afterwards (Arrived, Elsewhere)
    bool moveFailed = false;  // the move back or its wait ended in a box
};

struct CheckOutcome {
    std::string driverProgId;        // the driver that was created or tried; empty after a cancel
    bool cancelled = false;          // the chooser returned no driver
    bool connected = false;          // created, linked and MaxStep read
    std::optional<bool> absolute;    // as the program took the last answer of Absolute
    std::vector<int32_t> positions;  // positions shown, in order (start, after each move)
    std::vector<Problem> problems;   // in the order they showed; the check stops at the first
    std::optional<MovedBack> moveBack;  // only after a problem on the way out
};

CheckOutcome RunCheck(ObjectFactory& objects, const CheckOptions& options, const CheckServices& services,
                      CallTrace& trace);

}  // namespace qm::check
