// The check's run of the program's controller. The controller is the program's
// own (TFormAFoc): its connection, position read, move and wait are the code the
// user's program runs, so what they call, in which order and with which
// arguments, and which box they lead to, cannot drift from the program.
#include "checker/check_run.h"

#include <algorithm>
#include <limits>

#include "app/form_afoc.h"
#include "checker/form_harness.h"

namespace qm::check {

namespace {

int32_t Saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

class Check {
  public:
    Check(ObjectFactory& objects, const CheckServices& services, CallTrace& trace)
        : trace_(trace),
          h_(objects, services, trace) {}

    CheckOutcome Run(const CheckOptions& options) {
        CheckOutcome outcome;
        // A named driver is connected as with "Automatic Connection" ticked: the chooser
        // is created and told the device type, but not shown.
        h_.save.TagString = options.progId;
        h_.autoConnect.checked = !options.progId.empty();
        Do(outcome, Stage::Connect, [&] { h_.form.ButConnectClick(); });
        outcome.driverProgId = h_.DriverCreated();
        outcome.connected = h_.form.HasDriver();
        if (!outcome.connected) {
            outcome.cancelled = outcome.problems.empty();
            return outcome;
        }

        const bool fine = ReadPosition(outcome) && Wait(outcome, Stage::Wait);
        if (fine && options.moveSteps) {
            const int32_t start = outcome.positions.front();
            const int32_t target = Saturated(int64_t{start} + *options.moveSteps);
            // Out and back, each move waited for and then shown, as the program does. A
            // focuser that was sent out is sent back even when its wait timed out or a read
            // failed on the way out: the user should not be left with it elsewhere.
            const bool movedOut = Do(outcome, Stage::Move, [&] { h_.form.MoveFocuserTo(target); });
            const bool outFine = movedOut && Wait(outcome, Stage::Move) && ReadPosition(outcome);
            if (movedOut) {
                const bool backFine = Do(outcome, Stage::MoveBack, [&] { h_.form.MoveFocuserTo(start); }) &&
                                      Wait(outcome, Stage::MoveBack) && ReadPosition(outcome);
                if (!outFine)
                    outcome.moveBack = MovedBack(outcome, start, backFine);
            }
        }
        // After a problem too: a linked driver is unlinked and released, as Disconnect does.
        Do(outcome, Stage::Disconnect, [&] { h_.form.ButDisconnectClick(); });
        return outcome;
    }

  private:
    // Runs one of the program's handlers as its window does. True when no box showed.
    template <typename Handler>
    bool Do(CheckOutcome& outcome, Stage stage, Handler handler) {
        std::optional<Problem> problem = h_.platform.Run(stage, handler);
        if (problem) outcome.problems.push_back(*problem);
        return !problem;
    }

    // As the position display refreshes on the "Control" page.
    bool ReadPosition(CheckOutcome& outcome) {
        const size_t before = trace_.records().size();
        if (!Do(outcome, Stage::PositionRead, [&] { h_.form.Timer1Timer(); }))
            return false;
        for (size_t i = before; i < trace_.records().size(); ++i) {
            const CallRecord& r = trace_.records()[i];
            if (r.member == "Absolute" && r.answer)
                outcome.absolute = ToBool(*r.answer);
        }
        outcome.positions.push_back(static_cast<int32_t>(std::stoll(h_.position.Text())));
        return true;
    }

    // The program's wait for the end of a move.
    bool Wait(CheckOutcome& outcome, Stage stage) {
        const size_t before = trace_.records().size();
        if (!Do(outcome, stage, [&] { h_.form.WaitWhileMoving(); }))
            return false;
        if (h_.status.Text() != "Move timeout")
            return true;
        Problem problem;
        problem.stage = stage;
        problem.moveTimeout = true;
        problem.text = h_.status.Text();
        for (size_t i = before; i < trace_.records().size(); ++i) {
            if (trace_.records()[i].member == "IsMoving") {
                ++problem.polls;
                problem.callIndex = static_cast<int>(i);
            }
        }
        outcome.problems.push_back(problem);
        return false;
    }

    static MoveBackAfterProblem MovedBack(const CheckOutcome& outcome, int32_t start, bool backFine) {
        using Result = MoveBackAfterProblem::Result;
        MoveBackAfterProblem back;
        back.target = start;
        if (!backFine) {
            back.result = Result::NotKnown;
        } else if (outcome.absolute == false) {
            back.result = Result::Counted;
        } else {
            back.reported = outcome.positions.back();
            back.result = back.reported == start ? Result::Arrived : Result::Elsewhere;
        }
        return back;
    }

    // The driver's identifier: the first object created that is not the chooser.

    CallTrace& trace_;
    WindowlessForm h_;
};

}  // namespace

const char* StageName(Stage stage) {
    switch (stage) {
        case Stage::Connect: return "connecting";
        case Stage::PositionRead: return "reading the position";
        case Stage::Wait: return "waiting for the focuser to stand still";
        case Stage::Move: return "moving";
        case Stage::MoveBack: return "moving back";
        case Stage::Disconnect: return "disconnecting";
    }
    return "";
}

CheckOutcome RunCheck(ObjectFactory& objects, const CheckOptions& options, const CheckServices& services,
                      CallTrace& trace) {
    CheckOutcome outcome;
    {
        // The controller goes before the outcome is handed back: a driver it still holds
        // (after a failed disconnection) is released, and the release is recorded.
        Check check(objects, services, trace);
        outcome = check.Run(options);
    }
    return outcome;
}

}  // namespace qm::check
