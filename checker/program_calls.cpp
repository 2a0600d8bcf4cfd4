// The checks' calls of the program's controller: connection, position, wait,
// following a focuser by its position, and the move back to the start.
#include "checker/program_calls.h"

#include <exception>
#include <string>

namespace qm::check {

namespace {

// An answer as the program takes a Boolean; nothing for one it cannot take (a box said so).
std::optional<bool> TakenAsBool(const std::optional<AutoValue>& answer) {
    if (!answer)
        return std::nullopt;
    try {
        return ToBool(*answer);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

bool ProgramCalls::Connect(CheckOutcome& outcome, const std::string& progId) {
    h_.save.TagString = progId;
    h_.autoConnect.checked = !progId.empty();
    Do(outcome, Stage::Connect, [&] { h_.form.ButConnectClick(); });
    outcome.driverProgId = h_.DriverCreated();
    outcome.connected = h_.form.HasDriver();
    if (!outcome.connected)
        outcome.cancelled = outcome.problems.empty();
    return outcome.connected;
}

void ProgramCalls::Disconnect(CheckOutcome& outcome) {
    Do(outcome, Stage::Disconnect, [&] { h_.form.ButDisconnectClick(); });
}

std::optional<int32_t> ProgramCalls::ReadPosition(CheckOutcome& outcome) {
    const size_t before = trace_.records().size();
    int32_t position = 0;
    const bool shown = Do(outcome, Stage::PositionRead, [&] {
        if (reading_ == PositionReading::Run) {
            position = h_.form.GetFocuserPosition();
        } else {
            h_.form.Timer1Timer();
            position = static_cast<int32_t>(std::stoll(h_.position.Text()));
        }
    });
    bool failed = !shown;
    for (size_t i = before; i < trace_.records().size(); ++i) {
        const CallRecord& r = trace_.records()[i];
        // The display's failure rule shows one box a streak: a later failure leaves the display as it was.
        failed = failed || r.failed;
        if (r.member == "Absolute" && TakenAsBool(r.answer))
            outcome.absolute = TakenAsBool(r.answer);
    }
    if (failed)
        return std::nullopt;
    outcome.positions.push_back(position);
    return position;
}

WaitResult ProgramCalls::Wait(CheckOutcome& outcome, Stage stage) {
    const size_t before = trace_.records().size();
    WaitResult wait;
    wait.answered = Do(outcome, stage, [&] { h_.form.WaitWhileMoving(); });
    isMovingFailed_ = isMovingFailed_ || !wait.answered;
    for (size_t i = before; i < trace_.records().size(); ++i) {
        const CallRecord& r = trace_.records()[i];
        if (r.member != "IsMoving")
            continue;
        wait.lastPoll = static_cast<int>(i);
        if (r.answer) {
            ++wait.polls;
            wait.sawMoving = wait.sawMoving || TakenAsBool(r.answer).value_or(false);
        }
    }
    wait.timedOut = wait.answered && h_.status.Text() != "OK";
    return wait;
}

Following ProgramCalls::Follow(CheckOutcome& outcome, int32_t from, int32_t target, int reads) {
    Following f;
    f.position = from;
    int still = 0;
    for (int read = 0; read < reads && f.position != target && still < kStillReads; ++read) {
        services_.sleep(TFormAFoc::kMovePollInterval);
        const int32_t last = f.position;
        const std::optional<int32_t> position = ReadPosition(outcome);
        if (!position)
            return f;
        f.position = *position;
        still = f.position == last ? still + 1 : 0;
        if (still == 0)
            f.lastChange = trace_.Now();
    }
    f.read = true;
    f.rested = f.position == target || still >= kStillReads;
    return f;
}

MovedBack ProgramCalls::MoveBack(CheckOutcome& outcome, int32_t start, int settleReads) {
    using Result = MovedBack::Result;
    MovedBack back;
    back.target = start;
    const bool sent = Do(outcome, Stage::MoveBack, [&] { h_.form.MoveFocuserTo(start); });
    std::optional<int32_t> position;
    if (sent && isMovingFailed_) {
        // IsMoving has failed before: the position alone tells when the focuser is back.
        position = ReadPosition(outcome);
        if (position) {
            const Following f = Follow(outcome, *position, start, TFormAFoc::kMovePollLimit);
            position = f.read ? std::optional<int32_t>(f.position) : std::nullopt;
        }
    } else {
        back.moveFailed = !sent || !Wait(outcome, Stage::MoveBack).answered;
        position = ReadPosition(outcome);
        if (position && *position != start && settleReads > 0 && outcome.absolute != false) {
            const Following f = Follow(outcome, *position, start, settleReads);
            position = f.read ? std::optional<int32_t>(f.position) : std::nullopt;
        }
    }
    back.moveFailed = back.moveFailed || !sent;
    if (!position || (outcome.absolute == false && back.moveFailed)) {
        back.result = Result::NotKnown;
    } else if (outcome.absolute == false) {
        back.result = Result::Counted;
    } else {
        back.reported = *position;
        back.result = back.reported == start ? Result::Arrived : Result::Elsewhere;
    }
    return back;
}

}  // namespace qm::check
