// The conformance check's moves and measurements, made with the program's own
// controller over a recording factory: every figure comes from the recorded calls
// of the program's MoveFocuserTo, WaitWhileMoving and GetFocuserPosition.
#include "checker/conform_run.h"

#include <algorithm>
#include <cstdlib>

#include "checker/form_harness.h"
#include "common/whole_number.h"

namespace qm::check {

namespace {

// Following a focuser that is not at its target after the wait: reads 100 ms apart
// for at most 3 s, done when it reaches the target or stays put this many reads. A
// focuser still on its way after that is reported as it stands.
constexpr int kSettleReads = 30;
constexpr int kStillReads = 5;
constexpr uint32_t kSettleInterval = 100;

class Conform {
  public:
    Conform(ObjectFactory& objects, const CheckServices& services, CallTrace& trace)
        : services_(services),
          trace_(trace),
          h_(objects, services, trace) {}

    ConformOutcome Run(const std::string& progId, const RunSettings& run) {
        ConformOutcome out;
        h_.steps.value = run.steps;
        h_.increment.value = run.increment;
        h_.exposures.value = run.exposures;
        // A named driver is connected as with "Automatic Connection" ticked.
        h_.save.TagString = progId;
        h_.autoConnect.checked = !progId.empty();
        Do(out, Stage::Connect, [&] { h_.form.ButConnectClick(); });
        out.check.driverProgId = h_.DriverCreated();
        out.check.connected = h_.form.HasDriver();
        out.linkAccepted = out.check.connected || !LinkRefused();
        if (!out.check.connected) {
            out.check.cancelled = out.check.problems.empty();
            if (!out.linkAccepted && !out.check.driverProgId.empty())
                out.connectedAccepted = AcceptsConnected(out.check.driverProgId);
            return out;
        }
        out.maxStep = h_.form.FocuserMaxStep();
        bool fine = ReadPosition(out, out.start);
        if (fine) {
            // At rest, as before a run: a focuser that says it moves here never lets a wait end early.
            fine = Do(out, Stage::Wait, [&] { h_.form.WaitWhileMoving(); });
            out.restlessAtStart = fine && h_.status.Text() != "OK";
        }
        if (fine && !out.restlessAtStart) {
            const int32_t first = FirstSweepPosition(run, out.start);
            // The step from where the first move really went: an absolute focuser's row is cut at 0.
            fine = Measure(out, "the first move of a run", first) &&
                   Measure(out, "one Increment", SaturatingAdd(out.moves.back().target, run.increment));
            // Back to where it started, after a timeout or a wrong arrival too; a driver
            // error has ended the moves, as it ends a run.
            if (out.check.problems.empty())
                Measure(out, "the move back to the start", out.start);
        }
        Do(out, Stage::Disconnect, [&] { h_.form.ButDisconnectClick(); });
        if (fine && out.check.absolute == false)
            ProbeRelativePosition(out, out.check.driverProgId);
        return out;
    }

  private:
    template <typename Handler>
    bool Do(ConformOutcome& out, Stage stage, Handler handler) {
        std::optional<Problem> problem = h_.platform.Run(stage, handler);
        if (problem) out.check.problems.push_back(*problem);
        return !problem;
    }

    // The position as the program reads it; notes how the program took Absolute.
    bool ReadPosition(ConformOutcome& out, int32_t& position) {
        const size_t before = trace_.records().size();
        if (!Do(out, Stage::PositionRead, [&] { position = h_.form.GetFocuserPosition(); }))
            return false;
        for (size_t i = before; i < trace_.records().size(); ++i) {
            const CallRecord& r = trace_.records()[i];
            if (r.member == "Absolute" && r.answer)
                out.check.absolute = ToBool(*r.answer);
        }
        out.check.positions.push_back(position);
        return true;
    }

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
        if (!Do(out, Stage::Move, [&] { h_.form.MoveFocuserTo(target); }))
            return false;
        const bool waited = Do(out, Stage::Move, [&] { h_.form.WaitWhileMoving(); });
        for (size_t i = before; i < trace_.records().size(); ++i) {
            const CallRecord& r = trace_.records()[i];
            if (r.member == "Move")
                move.moveMicros = r.micros;
            if (r.member == "IsMoving" && r.answer) {
                ++move.polls;
                move.sawMoving = move.sawMoving || ToBool(*r.answer);
            }
        }
        // Each poll of the wait comes after its pause: the read that said False came this long after Move.
        move.untilIdleMicros = move.moveMicros + int64_t{move.polls} * TFormAFoc::kMovePollInterval * 1000;
        if (!waited) {
            out.moves.push_back(move);
            return false;
        }
        move.timedOut = h_.status.Text() != "OK";
        move.untilRestMicros = move.untilIdleMicros;
        bool fine = true;
        if (absolute) {
            int32_t position = 0;
            fine = ReadPosition(out, position);
            if (fine) {
                move.positionAfterWait = position;
                fine = Settle(out, move, start, position);
                move.restPosition = position;
            }
        }
        out.moves.push_back(move);
        return fine;
    }

    // Follows a focuser that is not at its target after the wait until it arrives,
    // stays put, or the 3 s are over.
    bool Settle(ConformOutcome& out, MeasuredMove& move, int64_t start, int32_t& position) {
        if (position == move.target && !move.timedOut)
            return true;
        int still = 0;
        for (int read = 0; read < kSettleReads && position != move.target && still < kStillReads; ++read) {
            services_.sleep(kSettleInterval);
            const int32_t last = position;
            if (!ReadPosition(out, position))
                return false;
            still = position == last ? still + 1 : 0;
            if (still == 0)
                move.untilRestMicros = trace_.Now() - start;
        }
        if (move.untilRestMicros == 0 || position == move.target)
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


    const CheckServices& services_;
    CallTrace& trace_;
    WindowlessForm h_;
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
