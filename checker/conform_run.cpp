// The conformance check's moves and measurements, made with the program's own
// controller over a recording factory: every figure comes from the recorded calls
// of the program's MoveFocuserTo, WaitWhileMoving and GetFocuserPosition.
#include "checker/conform_run.h"

#include <algorithm>
#include <cstdlib>

#include "checker/program_calls.h"
#include "common/whole_number.h"

namespace qm::check {

namespace {

// Following a focuser that is not at its target after the wait: reads 100 ms apart
// for at most 3 s, done when it reaches the target or comes to rest. A focuser still
// on its way after that is reported as it stands.
constexpr int kSettleReads = 30;

class Conform {
  public:
    Conform(ObjectFactory& objects, const CheckServices& services, CallTrace& trace)
        : trace_(trace),
          calls_(objects, services, trace, PositionReading::Run),
          h_(calls_.Harness()) {}

    ConformOutcome Run(const std::string& progId, const RunSettings& run) {
        ConformOutcome out;
        h_.steps.value = run.steps;
        h_.increment.value = run.increment;
        h_.exposures.value = run.exposures;
        out.linkAccepted = calls_.Connect(out.check, progId) || !LinkRefused();
        if (!out.check.connected) {
            if (!out.linkAccepted && !out.check.driverProgId.empty())
                out.connectedAccepted = AcceptsConnected(out.check.driverProgId);
            return out;
        }
        out.maxStep = h_.form.FocuserMaxStep();
        const std::optional<int32_t> start = calls_.ReadPosition(out.check);
        bool fine = start.has_value();
        if (fine) {
            out.start = *start;
            // At rest, as before a run: a focuser that says it moves here never lets a wait end early.
            const WaitResult wait = calls_.Wait(out.check, Stage::Wait);
            fine = wait.answered;
            out.restlessAtStart = wait.timedOut;
        }
        // The program keeps an absolute focuser's moves within 0 to MaxStep: from a start
        // outside, its first move would leave the row the user consented to.
        out.startOutsideRange = fine && out.check.absolute != false && (out.start < 0 || out.start > out.maxStep);
        if (fine && !out.restlessAtStart && !out.startOutsideRange) {
            const int32_t first = FirstSweepPosition(run, out.start);
            // The step from where the first move really went: an absolute focuser's row is cut at 0.
            out.measured = Measure(out, "the first move of a run", first) &&
                           Measure(out, "one Increment", SaturatingAdd(out.moves.back().target, run.increment));
            // Back to where it started after whatever happened on the way out.
            out.back = calls_.MoveBack(out.check, out.start, kSettleReads);
        }
        calls_.Disconnect(out.check);
        if (out.measured && out.check.absolute == false)
            ProbeRelativePosition(out, out.check.driverProgId);
        return out;
    }

  private:
    // One move as a run makes it: MoveFocuserTo, WaitWhileMoving, then the position.
    bool Measure(ConformOutcome& out, const std::string& name, int32_t target) {
        MeasuredMove move;
        move.name = name;
        move.startedAt = out.check.positions.back();
        move.from = out.moves.empty() ? move.startedAt : out.moves.back().target;
        const bool absolute = out.check.absolute.value_or(true);
        move.target = absolute ? std::clamp(target, 0, std::max(out.maxStep, 0)) : target;
        const int64_t start = trace_.Now();
        const size_t before = trace_.records().size();
        if (!calls_.Do(out.check, Stage::Move, [&] { h_.form.MoveFocuserTo(target); }))
            return false;
        for (size_t i = before; i < trace_.records().size(); ++i) {
            if (trace_.records()[i].member == "Move")
                move.moveMicros = trace_.records()[i].micros;
        }
        const WaitResult wait = calls_.Wait(out.check, Stage::Move);
        move.polls = wait.polls;
        move.sawMoving = wait.sawMoving;
        // Each poll of the wait comes after its pause: the read that said False came this long after Move.
        move.untilIdleMicros = move.moveMicros + int64_t{move.polls} * TFormAFoc::kMovePollInterval * 1000;
        if (!wait.answered) {
            move.waitFailed = true;
            out.moves.push_back(move);
            return false;
        }
        move.timedOut = wait.timedOut;
        move.untilRestMicros = move.untilIdleMicros;
        bool fine = true;
        if (absolute) {
            const std::optional<int32_t> position = calls_.ReadPosition(out.check);
            fine = position && Settle(out, move, start, *position);
        }
        out.moves.push_back(move);
        return fine;
    }

    // Follows a focuser that is not at its target after the wait until it arrives,
    // comes to rest, or the 3 s are over.
    bool Settle(ConformOutcome& out, MeasuredMove& move, int64_t start, int32_t position) {
        move.positionAfterWait = position;
        move.restPosition = position;
        if (position == move.target && !move.timedOut)
            return true;
        const Following f = calls_.Follow(out.check, position, move.target, kSettleReads);
        if (!f.read) {
            move.restPosition.reset();  // not seen to the end
            return false;
        }
        move.restPosition = f.position;
        move.rested = f.rested;
        if (f.lastChange >= 0)
            move.untilRestMicros = f.lastChange - start;
        if (f.position == move.target)
            move.untilRestMicros = trace_.Now() - start;
        return true;
    }

    bool LinkRefused() const {
        for (const CallRecord& r : trace_.records()) {
            if (r.access == CallRecord::Access::Put && r.member == "Link" && r.failed)
                return true;
        }
        return false;
    }

    // Calls the program never makes, asked only to tell the user why it fails: newer
    // drivers take Connected where older ones took Link.
    bool AcceptsConnected(const std::string& progId) {
        try {
            std::unique_ptr<LateBoundObject> driver = h_.tracing.Create(progId);
            driver->PutProperty("Connected", AutoValue::Bool(true));
            try {
                driver->PutProperty("Connected", AutoValue::Bool(false));
            } catch (const std::exception&) {
                // Accepted all the same: it took the connection.
            }
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    // ASCOM asks a relative focuser to raise an error for Position; the program never
    // reads it, so this only tells the user whether the driver keeps to that.
    void ProbeRelativePosition(ConformOutcome& out, const std::string& progId) {
        try {
            std::unique_ptr<LateBoundObject> driver = h_.tracing.Create(progId);
            driver->PutProperty("Link", AutoValue::Bool(true));
            try {
                out.relativePositionAnswer = ToInt32(driver->Read("Position"));
            } catch (const std::exception& error) {
                out.relativePositionError = error.what();
            }
            driver->PutProperty("Link", AutoValue::Bool(false));
        } catch (const std::exception&) {
            // The program's own calls have shown the driver works; this extra one is a courtesy.
        }
    }

    CallTrace& trace_;
    ProgramCalls calls_;
    WindowlessForm& h_;
};

}  // namespace

int32_t MeasuredMove::Distance() const {
    return static_cast<int32_t>(std::min<int64_t>(std::llabs(int64_t{target} - from), INT32_MAX));
}

ConformOutcome RunConform(ObjectFactory& objects, const std::string& progId, const RunSettings& run,
                          const CheckServices& services, CallTrace& trace) {
    ConformOutcome outcome;
    {
        Conform conform(objects, services, trace);
        outcome = conform.Run(progId, run);
    }
    return outcome;
}

}  // namespace qm::check
