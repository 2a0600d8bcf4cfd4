// Judging the conformance check's measurements by what the program's waits do with
// them: WaitWhileMoving polls IsMoving every 100 ms, at most 100 times, then shows
// "OK" or "Move timeout" and pauses 50 ms; the run reads the position as soon as it
// logs a step and moves on from there.
#include "checker/conform_report.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/form_afoc.h"
#include "checker/report_text.h"
#include "common/printf_text.h"

namespace qm::check {

namespace {

using Level = Finding::Level;

constexpr int64_t kPollMillis = TFormAFoc::kMovePollInterval;
constexpr int kPollLimit = TFormAFoc::kMovePollLimit;
// Longer than one poll in Move: the driver waits for the end of the move.
constexpr int64_t kBlockingMicros = 100000;

std::string Seconds(int64_t micros) {
    return PrintfText("%.1f", static_cast<double>(micros) / 1e6) + " s";
}

std::string Millis(int64_t micros) {
    return PrintfText("%.1f", static_cast<double>(micros) / 1e3) + " ms";
}

std::string Steps(int64_t steps) { return std::to_string(steps) + (steps == 1 ? " step" : " steps"); }

std::string Direction(const MeasuredMove& m) { return m.target < m.from ? "down" : "up"; }

bool Blocking(const MeasuredMove& m) { return m.moveMicros >= kBlockingMicros && !m.sawMoving; }

// The focuser's speed from the longest measured travel; a move over within the first
// poll gives only a lower bound.
struct Speed {
    double stepsPerSecond = 0;
    bool atLeast = false;
};

std::optional<Speed> MeasuredSpeed(const ConformOutcome& outcome) {
    std::optional<Speed> best;
    int64_t longest = 0;
    for (const MeasuredMove& m : outcome.moves) {
        const int64_t travelled =
            m.restPosition ? std::llabs(int64_t{*m.restPosition} - m.startedAt) : m.Distance();
        // A blocking Move ends with the move; otherwise the move ended before the read that showed it.
        const int64_t micros = Blocking(m) ? m.moveMicros : m.untilRestMicros;
        if (travelled <= longest || micros <= 0 || (m.timedOut && !m.restPosition))
            continue;
        longest = travelled;
        Speed speed;
        speed.stepsPerSecond = static_cast<double>(travelled) * 1e6 / static_cast<double>(micros);
        speed.atLeast = m.polls <= 1 && !Blocking(m) && m.positionAfterWait.value_or(m.target) == m.target;
        best = speed;
    }
    return best;
}

// The program's wait after a move of `distance` at `speed`: the time in Move (for a
// driver that blocks), the polls and the pause after them.
int64_t WaitMillis(int64_t distance, const std::optional<Speed>& speed, bool blocking) {
    if (!speed || speed->stepsPerSecond <= 0)
        return kPollMillis + TFormAFoc::kAfterMovePause;
    const double travelMillis = static_cast<double>(distance) * 1000.0 / speed->stepsPerSecond;
    if (blocking)
        return static_cast<int64_t>(travelMillis) + kPollMillis + TFormAFoc::kAfterMovePause;
    const int64_t polls =
        std::clamp<int64_t>(static_cast<int64_t>(std::ceil(travelMillis / kPollMillis)), 1, kPollLimit);
    return polls * kPollMillis + TFormAFoc::kAfterMovePause;
}

// A measured move's own wait: the time in Move, the polls it took and the pause.
int64_t MeasuredWaitMillis(const MeasuredMove& m) {
    return m.moveMicros / 1000 + m.polls * kPollMillis + TFormAFoc::kAfterMovePause;
}

const MeasuredMove* Named(const ConformOutcome& outcome, size_t index) {
    return index < outcome.moves.size() ? &outcome.moves[index] : nullptr;
}

void Add(std::vector<Finding>& findings, Level level, std::string text) {
    findings.push_back({level, std::move(text)});
}

void JudgeConnection(const ConformOutcome& outcome, std::vector<Finding>& findings) {
    if (outcome.check.connected) {
        Add(findings, Level::Ok, "Link and Connected: the driver accepts Link, which Quillomar connects with.");
    } else if (!outcome.linkAccepted && outcome.connectedAccepted.value_or(false)) {
        Add(findings, Level::Fault,
            "Link and Connected: the driver refuses Link and accepts only Connected. Quillomar connects with Link: "
            "Connect shows the box \"Focuser not recognized.\" and this driver cannot be used.");
    } else if (!outcome.linkAccepted) {
        Add(findings, Level::Fault,
            "Link and Connected: the driver accepts neither. Connect shows the box \"Focuser not recognized.\"");
    }
}

void JudgeMove(const MeasuredMove& m, std::vector<Finding>& findings) {
    if (Blocking(m)) {
        Add(findings, Level::Note,
            "Move returns only when the move is over: " + Seconds(m.moveMicros) + " in Move for " + m.name + " (" +
                Steps(m.Distance()) + "). Quillomar's window does not answer while each move lasts; the wait after "
                "it ends at its first poll, and focus values that came during the move are still left out.");
    } else {
        Add(findings, Level::Ok,
            "Move returns before the move ends: " + Millis(m.moveMicros) + " in Move for " + m.name + " (" +
                Steps(m.Distance()) + ").");
    }
}

void JudgeIsMoving(const MeasuredMove& m, std::vector<Finding>& findings) {
    if (m.waitFailed)
        return;  // the verdict names the failure
    const std::string what = "IsMoving, " + m.name + " (" + Steps(m.Distance()) + " " + Direction(m) + "): ";
    if (m.timedOut) {
        Add(findings, Level::Fault,
            what + "still True after " + std::to_string(m.polls) + " polls. Quillomar's wait gives up after about "
                   "10 s and shows \"Move timeout\"; the run goes on and logs a position short of its row.");
    } else if (!m.sawMoving && !Blocking(m) && m.positionAfterWait && m.restPosition &&
               *m.positionAfterWait != *m.restPosition) {
        Add(findings, Level::Fault,
            what + "never True, although the focuser was still moving. Quillomar's wait ends at its first poll "
                   "while the focuser moves.");
    } else {
        Add(findings, Level::Ok,
            what + (m.sawMoving ? "True, then False after " : "False after ") + std::to_string(m.polls) +
                (m.polls == 1 ? " poll." : " polls."));
    }
}

// "7 steps short" of the target, or "7 steps past" it when the focuser went beyond.
std::string OffTarget(const MeasuredMove& m, int32_t at) {
    const int64_t off = std::llabs(int64_t{at} - m.target);
    const bool beyond = m.target != m.startedAt && (at > m.target) == (m.target > m.startedAt);
    return Steps(off) + (beyond ? " past it" : " short");
}

void JudgeArrival(const MeasuredMove& m, std::vector<Finding>& findings) {
    if (!m.positionAfterWait || !m.restPosition)
        return;
    const std::string what = "Arrival, moving " + Direction(m) + " to " + std::to_string(m.target) + ": ";
    const std::string when = m.timedOut ? "when the wait gave up" : "when IsMoving said False";
    const int64_t off = std::llabs(int64_t{*m.positionAfterWait} - m.target);
    if (off == 0) {
        Add(findings, Level::Ok, what + "Position " + std::to_string(m.target) + " " + when + ".");
    } else if (*m.restPosition == m.target) {
        Add(findings, Level::Fault,
            what + "Position " + std::to_string(*m.positionAfterWait) + ", " + Steps(off) + " away, " + when +
                "; it arrived " + Seconds(m.untilRestMicros - m.untilIdleMicros) + " later. Quillomar takes the "
                "focuser as standing still while it moves: the host's exposures are taken on the way, the log's "
                "positions are wrong, and so is the best focus.");
    } else if (m.timedOut) {
        Add(findings, Level::Fault,
            what + "Position " + std::to_string(*m.positionAfterWait) + ", " + Steps(off) + " away, " + when +
                ". The run logs the position it then reads, short of its row.");
    } else if (!m.rested) {
        Add(findings, Level::Fault,
            what + "Position " + std::to_string(*m.positionAfterWait) + " " + when + ", and the focuser was still "
                "moving 3 s later, at " + std::to_string(*m.restPosition) + ", " + OffTarget(m, *m.restPosition) +
                ". Quillomar takes the focuser as standing still while it moves: the host's exposures are taken on "
                "the way, the log's positions are wrong, and so is the best focus.");
    } else {
        Add(findings, Level::Fault,
            what + "the focuser came to rest at " + std::to_string(*m.restPosition) + ", " +
                OffTarget(m, *m.restPosition) + ". Each step of a run lands off its row, so the log's positions are "
                "wrong and so is the best focus, and the final move misses it too.");
    }
}

}  // namespace

std::vector<Finding> JudgeConformance(const ConformOutcome& outcome, const RunSettings& run) {
    std::vector<Finding> findings;
    JudgeConnection(outcome, findings);
    if (!outcome.check.connected)
        return findings;
    if (outcome.restlessAtStart) {
        Add(findings, Level::Fault,
            "IsMoving: True with the focuser at rest, still after 100 polls. After every move Quillomar waits "
            "about 10 s, then shows \"Move timeout\" and goes on: a run takes minutes longer and may measure while "
            "the focuser moves.");
        return findings;
    }
    if (outcome.startOutsideRange) {
        Add(findings, Level::Fault,
            "Position " + std::to_string(outcome.start) + ", outside 0 to MaxStep (" + std::to_string(outcome.maxStep) +
                "). Quillomar keeps each move of an absolute focuser within 0 to MaxStep, so a run from here does not "
                "sweep the row around this position: its moves stop at " + (outcome.start < 0 ? "0" : "MaxStep") +
                ". The check made no move; check the focuser's MaxStep and position in its driver's settings.");
        return findings;
    }
    const MeasuredMove* first = Named(outcome, 0);
    const MeasuredMove* step = Named(outcome, 1);
    if (first)
        JudgeMove(*first, findings);
    for (const MeasuredMove* m : {first, step}) {
        if (m)
            JudgeIsMoving(*m, findings);
    }
    for (const MeasuredMove* m : {first, step}) {
        if (m)
            JudgeArrival(*m, findings);
    }
    if (const std::optional<Speed> speed = MeasuredSpeed(outcome)) {
        const bool blocking = first && Blocking(*first);
        const int64_t firstDistance = int64_t{run.increment} * (run.steps / 2);
        const std::string figure = (speed->atLeast ? "at least " : "about ") +
                                   PrintfText("%.0f", speed->stepsPerSecond) + " steps per second";
        Add(findings, Level::Ok,
            std::string("Speed: ") + figure + ". Quillomar's wait after the first move of a run (" +
                Steps(firstDistance) + ") lasts about " +
                Seconds(WaitMillis(firstDistance, speed, blocking) * 1000) + ", after each step (" +
                Steps(run.increment) + ") about " + Seconds(WaitMillis(run.increment, speed, blocking) * 1000) +
                "; it gives up after about 10 s.");
    }
    if (outcome.check.absolute == false) {
        Add(findings, Level::Note,
            "Relative focuser: Absolute is False, so Quillomar counts the steps itself from 10000 and never reads "
            "Position.");
        if (outcome.relativePositionError)
            Add(findings, Level::Ok, "Position raises an error as ASCOM requires of a relative focuser.");
        else if (outcome.relativePositionAnswer)
            Add(findings, Level::Note,
                "Position answers " + std::to_string(*outcome.relativePositionAnswer) +
                    " although ASCOM asks a relative focuser to raise an error; Quillomar does not use it.");
    }
    return findings;
}

int64_t RunMovesMillis(const ConformOutcome& outcome, const RunSettings& run) {
    const std::optional<Speed> speed = MeasuredSpeed(outcome);
    const MeasuredMove* first = Named(outcome, 0);
    const MeasuredMove* step = Named(outcome, 1);
    const bool blocking = first && Blocking(*first);
    const int64_t firstWait =
        first ? MeasuredWaitMillis(*first) : WaitMillis(int64_t{run.increment} * (run.steps / 2), speed, blocking);
    const int64_t stepWait = step ? MeasuredWaitMillis(*step) : WaitMillis(run.increment, speed, blocking);
    // The best focus lies near the start, the sweep ends above it.
    const int64_t finalDistance = int64_t{run.increment} * (run.steps - 1 - run.steps / 2);
    int64_t total = firstWait + int64_t{run.steps - 1} * (TFormAFoc::kBeforeMovePause + stepWait);
    int64_t lastDistance = finalDistance;
    if (run.backlash) {
        total += TFormAFoc::kFinalMoveSettle + WaitMillis(finalDistance + run.increment / 2, speed, blocking);
        lastDistance = run.increment / 2;
    }
    total += TFormAFoc::kBeforeMovePause + TFormAFoc::kFinalMoveSettle + WaitMillis(lastDistance, speed, blocking);
    return total;
}

std::string ConformMovesLine(const RunSettings& run) {
    return "Moves: with your consent (--conform), within the row a run with Steps " + std::to_string(run.steps) +
           " and Increment " + std::to_string(run.increment) +
           " sweeps around the current position, never outside 0 to MaxStep, and back to the start, after a failure "
           "too.";
}

Verdict ConformVerdict(Verdict verdict) {
    // The check's own moves stand for the --move that the plain check suggests.
    std::erase_if(verdict.lines, [](const std::string& line) { return line.rfind("No move was tried", 0) == 0; });
    return verdict;
}

bool HasFault(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.level == Level::Fault; });
}

std::vector<std::string> ConformLines(const std::vector<Finding>& findings, const RunSettings& run) {
    std::vector<std::string> lines{"", "Conformance, with Steps " + std::to_string(run.steps) + ", Increment " +
                                           std::to_string(run.increment) + ", Expo/Step " +
                                           std::to_string(run.exposures) + " (" + run.source + "):"};
    for (const Finding& f : findings) {
        const char* mark = f.level == Level::Ok ? "  ok    " : f.level == Level::Note ? "  note  " : "  FAULT ";
        for (auto& l : WrapWords(f.text, kReportWidth, mark, "        "))
            lines.push_back(l);
    }
    if (HasFault(findings))
        lines.push_back("Runs with this driver go wrong: see the lines marked FAULT.");
    return lines;
}

std::vector<std::string> RunTimeLines(const ConformOutcome& outcome, const RunSettings& run) {
    // The figure stands on the measured moves: without both of them it would be a guess.
    std::vector<std::string> lines;
    if (outcome.measured) {
        lines.push_back("");
        const int64_t seconds = (RunMovesMillis(outcome, run) + 500) / 1000;
        for (auto& l : WrapWords("A run with Steps " + std::to_string(run.steps) + ", Increment " +
                                     std::to_string(run.increment) + ", Expo/Step " + std::to_string(run.exposures) +
                                     " takes about " + std::to_string(seconds) +
                                     " s of focuser moves and waits, plus the host's exposures",
                                 kReportWidth, "", ""))
            lines.push_back(l);
    }
    return lines;
}

std::vector<std::string> FocuserPlaceLines(const ConformOutcome& outcome) {
    using Result = MovedBack::Result;
    if (!outcome.check.connected)
        return {};
    std::string text;
    if (!outcome.back) {
        text = "The check did not move the focuser.";
    } else {
        const MovedBack& back = *outcome.back;
        const std::string start = std::to_string(back.target);
        switch (back.result) {
            case Result::Arrived: text = "The focuser is back at its start, " + start + "."; break;
            case Result::Elsewhere:
                text = "The focuser is not back at its start, " + start + ": it is at " +
                       std::to_string(back.reported) + ".";
                break;
            case Result::Counted:
                text = "The focuser was moved back by the steps it had moved out; a relative focuser cannot tell "
                       "whether it is at its start.";
                break;
            case Result::NotKnown:
                text = "The focuser's position is not known: the move back to its start, " + start +
                       ", or the position read after it failed.";
                break;
        }
    }
    std::vector<std::string> lines{""};
    for (auto& l : WrapWords(text, kReportWidth, "", ""))
        lines.push_back(l);
    return lines;
}

}  // namespace qm::check
