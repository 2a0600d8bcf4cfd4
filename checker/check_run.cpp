// The check's run of the program's controller. The controller is the program's
// own (TFormAFoc): its connection, position read, move and wait are the code the
// user's program runs, so what they call, in which order and with which
// arguments, and which box they lead to, cannot drift from the program.
#include "checker/check_run.h"

#include <algorithm>
#include <limits>

#include "checker/program_calls.h"

namespace qm::check {

namespace {

int32_t Saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

class Check {
  public:
    Check(ObjectFactory& objects, const CheckServices& services, CallTrace& trace)
        : calls_(objects, services, trace, PositionReading::Display) {}

    CheckOutcome Run(const CheckOptions& options) {
        CheckOutcome outcome;
        if (!calls_.Connect(outcome, options.progId))
            return outcome;

        const bool fine = calls_.ReadPosition(outcome) && Wait(outcome, Stage::Wait);
        if (fine && options.moveSteps) {
            const int32_t start = outcome.positions.front();
            const int32_t target = Saturated(int64_t{start} + *options.moveSteps);
            // Out and back, each move waited for and then shown, as the program does. A
            // focuser that was sent out is sent back even when its wait timed out or a read
            // failed on the way out: the user should not be left with it elsewhere.
            WindowlessForm& h = calls_.Harness();
            const bool movedOut = calls_.Do(outcome, Stage::Move, [&] { h.form.MoveFocuserTo(target); });
            const bool outFine = movedOut && Wait(outcome, Stage::Move) && calls_.ReadPosition(outcome);
            if (movedOut) {
                const MovedBack back = calls_.MoveBack(outcome, start, 0);
                if (!outFine)
                    outcome.moveBack = back;
            }
        }
        calls_.Disconnect(outcome);
        return outcome;
    }

  private:
    // The program's wait for the end of a move; a timeout is a problem of its own.
    bool Wait(CheckOutcome& outcome, Stage stage) {
        const WaitResult wait = calls_.Wait(outcome, stage);
        if (!wait.timedOut)
            return wait.answered;
        Problem problem;
        problem.stage = stage;
        problem.moveTimeout = true;
        problem.text = calls_.Harness().status.Text();
        problem.polls = wait.polls;
        problem.callIndex = wait.lastPoll;
        outcome.problems.push_back(problem);
        return false;
    }

    ProgramCalls calls_;
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
