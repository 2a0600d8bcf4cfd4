// The one way both checks work the program's controller: each of its handlers run
// as the window runs it, with the box it leads to kept as a problem; the connection
// as Connect makes it; the position read as the program reads it, noting how it took
// Absolute; the wait for the end of a move with what its IsMoving polls said; and the
// move back to the start that ends the moves, which follows the position instead of
// waiting on IsMoving once IsMoving has failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "checker/call_trace.h"
#include "checker/check_run.h"
#include "checker/form_harness.h"

namespace qm::check {

// Where the position comes from: the "Control" page's display, as its timer
// refreshes it (the plain check), or the program's own read, as a run makes it
// (--conform). Either way the same calls reach the driver.
enum class PositionReading { Display, Run };

// The program's wait for the end of a move, as its IsMoving reads answered.
struct WaitResult {
    bool answered = false;   // no box: every IsMoving read was taken
    bool timedOut = false;   // still True after the wait's last poll: "Move timeout"
    int polls = 0;           // IsMoving reads that answered
    bool sawMoving = false;  // one of them said True
    int lastPoll = -1;       // the record of the last IsMoving read, -1 when none
};

// A focuser followed by its position, reads 100 ms apart.
struct Following {
    bool read = false;          // every read answered
    int32_t position = 0;       // the last one
    bool rested = false;        // it reached the target or stayed put for kStillReads reads
    int64_t lastChange = -1;    // the trace's time of the last read that showed it moving, -1 when none
};

class ProgramCalls {
  public:
    // A focuser that stays put this many reads in a row has come to rest.
    static constexpr int kStillReads = 5;

    ProgramCalls(ObjectFactory& objects, const CheckServices& services, CallTrace& trace, PositionReading reading)
        : services_(services),
          trace_(trace),
          reading_(reading),
          h_(objects, services, trace) {}

    WindowlessForm& Harness() { return h_; }

    // Runs one of the program's handlers as its window does. True when no box showed.
    template <typename Handler>
    bool Do(CheckOutcome& outcome, Stage stage, Handler handler) {
        std::optional<Problem> problem = h_.platform.Run(stage, handler);
        if (problem) outcome.problems.push_back(*problem);
        return !problem;
    }

    // Connects as Connect does, a named driver as with "Automatic Connection" ticked
    // (the chooser is created and told the device type, but not shown), and notes the
    // driver tried. True when the controller holds the driver.
    bool Connect(CheckOutcome& outcome, const std::string& progId);
    // As Disconnect does, after a problem too: a linked driver is unlinked and released.
    void Disconnect(CheckOutcome& outcome);

    // The position as the program reads it, added to the outcome's positions; nothing
    // when a call of the read failed.
    std::optional<int32_t> ReadPosition(CheckOutcome& outcome);

    // The program's wait for the end of a move. A timeout is no box: the caller says
    // what it means.
    WaitResult Wait(CheckOutcome& outcome, Stage stage);

    // Reads the position every 100 ms, at most `reads` times, until the focuser
    // reaches `target` or has come to rest; `from` is the position last read.
    Following Follow(CheckOutcome& outcome, int32_t from, int32_t target, int reads);

    // Moves the focuser back to `start` and says where it is afterwards: after the
    // program's wait, or, once IsMoving has failed, by following its position for as
    // long as the program's wait lasts. With `settleReads`, a focuser not at its start
    // after the wait is followed that many reads more. The position is read even when
    // the move back failed: the focuser may still have come back, or never have left.
    MovedBack MoveBack(CheckOutcome& outcome, int32_t start, int settleReads);

  private:
    const CheckServices& services_;
    CallTrace& trace_;
    PositionReading reading_;
    bool isMovingFailed_ = false;
    WindowlessForm h_;
};

}  // namespace qm::check
