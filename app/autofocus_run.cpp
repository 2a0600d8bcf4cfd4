// The autofocus run: a sweep through Steps positions Increment apart around the
// position at Start, Expo/Step focus values counted at each, the largest logged per
// position, the best focus interpolated from the log, the final move (optionally
// from below, to take up backlash) and the report to the host. With "sweep = extend"
// a row whose best line is an end goes on past that end (focus/sweep_extension.h).
//
// The run parameters are read from their edits at each use, so a change made during
// a run takes effect at its next use.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "focus/best_focus.h"
#include "focus/sweep_extension.h"
#include "app/form_afoc.h"
#include "app/host_protocol.h"
#include "common/whole_number.h"

namespace qm {

void TFormAFoc::ButStartClick() {
    ReportingDriverFailures(FailureSource::Request, [&] { StartRun(); });
}

void TFormAFoc::StartRun() {
    // The record's clock starts with the click; it is read only when a record is kept.
    const bool keepRecord = options_.runRecord && runRecorder_;
    const uint32_t startTick = keepRecord ? platform_.TickCount() : 0;
    std::string startTime = keepRecord ? runRecorder_->UtcTimeNow() : std::string();
    c_.ButStart.SetEnabled(false);
    // Read before the first move, while the focuser still stands where the user left it,
    // and once Start is off: a call to a driver in another process lets sent messages
    // through, and a host's start handled meanwhile must find the run already starting.
    const std::optional<double> startTemperature = keepRecord ? ReadFocuserTemperature() : std::nullopt;
    const int64_t below = static_cast<int64_t>(c_.EdInc.AsInteger()) * (c_.EdSteps.AsInteger() / 2);
    sweepFirstPosition_ = SaturatingAdd(GetFocuserPosition(), -below);
    MoveFocuserTo(sweepFirstPosition_);
    WaitWhileMoving();
    platform_.ProcessWaitingMessages();
    // The messages just handled may have disconnected the focuser (a click on Disconnect,
    // the window closing), or the user may have switched pages, which ends a run and
    // enables Start again: either way the run is not switched on.
    if (!HasDriver() || c_.ButStart.Enabled()) return;
    sweepRowLines_ = 0;
    SetRunning(true);
    if (!keepRecord) return;

    // A run left running by a driver failure is over once another is switched on.
    EndRunRecord();
    runRecord_ = RunRecord{};
    runRecord_.timeUtc = std::move(startTime);
    runRecord_.temperatureAtStart = startTemperature;
    runStartTick_ = startTick;
    recordingRun_ = true;
}

void TFormAFoc::ButStopClick() {
    SetRunning(false);
    EndRunRecord();
}

void TFormAFoc::HandleFocusValue(int32_t value) {
    if (IsConnected()) {
        c_.LabStatus.SetText("Focus = " + std::to_string(value));
        c_.LabStatus.RepaintNow();
    }
    if (!IsRunning()) return;

    // Values that arrived while the focuser moved are handled right after the move and
    // fall in this window. The difference is taken as signed 32 bits so that a tick count
    // that wrapped around still measures the short time since the move.
    const int32_t sinceMove = static_cast<int32_t>(platform_.TickCount() - lastMoveTick_);
    if (std::llabs(static_cast<int64_t>(sinceMove)) < kIgnoreAfterMove) return;

    stepSamples_[stepSampleCount_] = value;
    ++stepSampleCount_;
    if (static_cast<int64_t>(stepSampleCount_) < c_.EdExpo.AsInteger() && stepSampleCount_ < kSampleSlots) return;

    const int32_t stepValue =
        std::max(0, *std::max_element(stepSamples_.begin(), stepSamples_.begin() + stepSampleCount_));
    const size_t counted = stepSampleCount_;
    stepSampleCount_ = 0;
    const int32_t position = GetFocuserPosition();
    c_.Memo1.AppendLine(FormatStepLine(position, stepValue));
    if (recordingRun_) {
        runRecord_.points.push_back({position, stepValue, {}});
        TakeCountedValues(counted, runRecord_.points.back().values);
    }

    if (sweepRowLines_ == 0 && c_.Memo1.LineCount() < c_.EdSteps.AsInteger()) {
        MoveToNextStep(SaturatingAdd(GetFocuserPosition(), c_.EdInc.AsInteger()));
        return;
    }
    if (options_.sweep == SweepMode::Extend) {
        // The row is complete. When its best line is an end, the added positions follow
        // that end; otherwise the run finishes as a fixed row's does.
        const std::vector<CurvePoint> points = StepPoints(LogLines());
        if (sweepRowLines_ == 0 && SweepExtensionDirection(points, points.size()) != 0)
            sweepRowLines_ = points.size();
        if (sweepRowLines_ != 0) {
            if (const std::optional<int32_t> next = NextExtensionPosition(points, ExtensionLimits())) {
                MoveToNextStep(*next);
                return;
            }
        }
    }
    FinishRun();
}

void TFormAFoc::MoveToNextStep(int32_t position) {
    c_.LabStatus.RepaintNow();
    platform_.Sleep(kBeforeMovePause);
    MoveFocuserTo(position);
    WaitWhileMoving();
    lastMoveTick_ = platform_.TickCount();
}

SweepExtension TFormAFoc::ExtensionLimits() {
    SweepExtension sweep;
    sweep.rowLines = sweepRowLines_;
    sweep.increment = c_.EdInc.AsInteger();
    sweep.maxAdded = c_.EdSteps.AsInteger();
    // An absolute focuser's travel ends at 0 and MaxStep; a step line at position 0
    // reads as a failed line, so the lowest added position is 1. A relative focuser has
    // no ends to keep to: only the count limits it.
    if (ToBool(Driver().Read("Absolute"))) {
        sweep.lowest = 1;
        sweep.highest = focuserMaxStep_;
    } else {
        sweep.lowest = INT32_MIN;
        sweep.highest = INT32_MAX;
    }
    return sweep;
}

std::vector<CurvePoint> TFormAFoc::StepPoints(const std::vector<std::string>& lines) {
    std::vector<CurvePoint> points(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) ReadStepLine(lines[i], points[i].position, points[i].value);
    return points;
}

void TFormAFoc::FinishRun() {
    SetRunning(false);
    // A row that followed an end is read in the order of positions, the added lines
    // beside their neighbours; a curve that never turned there has no focus in it.
    bool curveTurned = true;
    std::vector<std::string> lines = LogLines();
    if (sweepRowLines_ != 0) {
        curveTurned = SweepCurveTurned(StepPoints(lines), sweepRowLines_);
        lines = StepLinesByPosition(lines);
    }
    int32_t best = sweepRowLines_ == 0 ? ComputeBestFocus() : ComputeBestFocusFromLines(lines, c_.EdInc.AsInteger());
    if (!curveTurned) best = 0;
    if (!options_.AllDefault()) {
        CurveAnalysis analysis = AnalyseCurve(StepPoints(lines), c_.EdInc.AsInteger(), best,
                                              CurveRequest{options_.bestFocus == BestFocusMethod::Fit, options_.curveCheck});
        if (!curveTurned) analysis.chosen = 0;
        best = analysis.chosen;
        if (recordingRun_)
            runRecord_.verdict = std::move(analysis);
    }
    const RunOutcome outcome = best == 0 ? RunOutcome::Error : RunOutcome::Focus;
    if (best == 0) {
        best = runStartPosition_;
        c_.LabStatus.SetText("Error");
    } else {
        c_.LabStatus.SetText("Best Focus = " + std::to_string(best));
        c_.Memo1.AppendLine(FormatResultLine(best));
    }
    c_.LabStatus.RepaintNow();

    // The record is complete before the final moves and handed over however they end: a
    // driver that fails in them ends the run all the same, and the failure goes on to the
    // error report afterwards. Until here a failure leaves the record open, to be handed
    // over as stopped (with the analysis, once it was made).
    if (recordingRun_) {
        runRecord_.outcome = outcome;
        runRecord_.movedTo = best;
    }
    struct RecordHandedOver {
        TFormAFoc& form;
        ~RecordHandedOver() { form.EndRunRecord(); }
    } recordHandedOver{*this};

    if (c_.CBBacklash.Checked() && best != sweepFirstPosition_) {
        MoveFocuserTo(SaturatingAdd(best, -(c_.EdInc.AsInteger() / 2)));
        platform_.Sleep(kFinalMoveSettle);
        WaitWhileMoving();
    }
    platform_.Sleep(kBeforeMovePause);
    MoveFocuserTo(best);
    platform_.Sleep(kFinalMoveSettle);
    WaitWhileMoving();

    if (hostWindow_ != 0) platform_.PostToWindow(hostWindow_, focuserMessageId_, host::kRunReport, host::kRunReportValue);
    hostWindow_ = 0;
}

void TFormAFoc::EndRunRecord() {
    if (!recordingRun_) return;
    recordingRun_ = false;
    if (!runRecorder_) return;
    try {
        // The record is taken out of the controller and completed before the temperature
        // is read: the read lets sent messages through (see StartRun), and a run that a
        // host's start begins meanwhile starts a record of its own in runRecord_.
        RunRecord record = std::move(runRecord_);
        runRecord_ = RunRecord{};
        // Values counted for a position the run never completed; none when it completed.
        TakeCountedValues(stepSampleCount_, record.pendingValues);
        record.driverId = settings_.TagString;
        record.steps = c_.EdSteps.AsInteger();
        record.increment = c_.EdInc.AsInteger();
        record.exposuresPerStep = c_.EdExpo.AsInteger();
        record.durationMs = platform_.TickCount() - runStartTick_;
        // After the final move, or when the run was stopped. A disconnection reads it
        // before it releases the driver (ButDisconnectClick); without a driver it stays so.
        if (focuserDriver_) record.temperatureAtEnd = ReadFocuserTemperature();
        runRecorder_->RunEnded(record);
    } catch (...) {
        // Nothing about the record may disturb the program; this one is lost.
    }
}

void TFormAFoc::TakeCountedValues(size_t count, std::vector<int32_t>& values) const {
    values.assign(stepSamples_.begin(), stepSamples_.begin() + std::min(count, kSampleSlots));
}

std::vector<std::string> TFormAFoc::LogLines() const {
    std::vector<std::string> lines;
    const int count = c_.Memo1.LineCount();
    lines.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) lines.push_back(c_.Memo1.Line(i));
    return lines;
}

int32_t TFormAFoc::ComputeBestFocus() {
    return ComputeBestFocusFromLines(LogLines(), c_.EdInc.AsInteger());
}

}  // namespace qm
