// TFormAFoc: the controller of the main window. It holds every decision of the
// program: start-up and shut-down, the focuser binding over a late-bound driver,
// the manual controls, the host message link and the autofocus run. It reaches the
// world only through the seams it is given (the window's controls, the platform,
// the automation object factory, the settings component), so it runs unchanged in
// the Win32 program and in native tests.
//
// The connection and run state is not held in fields: it is the enabled state of
// ButConnect, ButStart and ButStop, read back by IsConnected and IsRunning.
//
// Handlers let errors escape; the window runs each one inside the general error
// report, which it shows through ShowErrorReport. A driver failure is not raised again
// by the timer while it repeats, nor by any handler while a box showing it is open
// (see reported_failure.h). Everything runs on the user-interface thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form_view.h"
#include "app/platform.h"
#include "app/reported_failure.h"
#include "com/late_bound.h"
#include "focus/curve_analysis.h"
#include "focus/sweep_extension.h"
#include "record/run_options.h"
#include "record/run_recorder.h"
#include "settings/auto_save.h"

namespace qm {

class TFormAFoc {
public:
    static constexpr const char* kTitle = "Quillomar";
    static constexpr const char* kFocuserMessageName = "ZQ_FOCUSER";
    static constexpr const char* kSettingsFileName = "autofocus.ini";
    static constexpr const char* kHelpFileName = "focusers_readme.htm";
    static constexpr const char* kChooserProgId = "DriverHelper.Chooser";

    // Fixed timings of the binding and the run, in milliseconds.
    static constexpr uint32_t kMovePollInterval = 100;
    static constexpr int kMovePollLimit = 100;
    static constexpr uint32_t kAfterMovePause = 50;
    static constexpr uint32_t kBeforeMovePause = 80;
    static constexpr uint32_t kFinalMoveSettle = 500;
    static constexpr uint32_t kIgnoreAfterMove = 200;

    static constexpr int32_t kRelativeStartPosition = 10000;
    static constexpr size_t kSampleSlots = 99;

    using ComponentList = std::function<std::vector<SettingsComponent*>()>;

    TFormAFoc(FormControls& controls, Platform& platform, ObjectFactory& objects, TAutoSave& settings,
              ComponentList components);
    ~TFormAFoc();
    TFormAFoc(const TFormAFoc&) = delete;
    TFormAFoc& operator=(const TFormAFoc&) = delete;

    // Start-up, shut-down and the window's own handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void PGMainChange();
    void ButHelpClick();
    // The general error report for an error that escaped a handler: the box shows the
    // error's description; while it is open, handlers that meet the same failure keep quiet.
    void ShowErrorReport(const std::exception& error);

    bool IsConnected() const;
    bool IsRunning() const;
    void SetRunning(bool run);

    // Host message link: the registered message's number and its dispatch by code.
    uint32_t FocuserMessageId() const { return focuserMessageId_; }
    void HandleFocuserMessage(uint64_t code, intptr_t value);
    uintptr_t HostWindow() const { return hostWindow_; }

    // Autofocus run.
    void ButStartClick();
    void ButStopClick();
    void HandleFocusValue(int32_t value);
    int32_t ComputeBestFocus();
    // The options of "autofocus-options.ini"; the defaults leave the run as it always was.
    void SetRunOptions(const RunOptions& options) { options_ = options; }
    const RunOptions& Options() const { return options_; }
    // Where the record of each run goes when the options ask for it; none by default.
    void SetRunRecorder(RunRecorder* recorder) { runRecorder_ = recorder; }

    // Manual focuser control.
    void ButConnectClick();
    void ButDisconnectClick();
    void ButStepClick(const ButtonView& sender);
    void Timer1Timer();

    // Focuser binding.
    bool ConnectFocuser();
    void MoveFocuserTo(int32_t target);
    int32_t GetFocuserPosition();
    void WaitWhileMoving();
    // The focuser's Temperature in °C for the run record; absent when there is no driver,
    // the driver has no such property, the read fails or the value is not a finite number.
    // A quiet read: it is not one of the driver's uses that the failure rule counts.
    std::optional<double> ReadFocuserTemperature();
    bool HasDriver() const { return focuserDriver_ != nullptr; }

    // State, readable for tests and diagnostics.
    int32_t FocuserMaxStep() const { return focuserMaxStep_; }
    int32_t SoftPosition() const { return softPosition_; }
    int32_t RunStartPosition() const { return runStartPosition_; }
    int32_t SweepFirstPosition() const { return sweepFirstPosition_; }
    uint32_t LastMoveTick() const { return lastMoveTick_; }
    size_t StepSampleCount() const { return stepSampleCount_; }

private:
    // Runs a handler's body; a failure it raises is raised again when the rule of
    // reported_failure.h shows it, and dropped otherwise. A body that used the driver
    // and succeeded ends the failure streak.
    void ReportingDriverFailures(FailureSource source, const std::function<void()>& body);

    // The automatic connection at the first showing.
    void ConnectAutomatically();
    // The host's start command: the "Autofocus" page and Start, when connected and idle.
    void StartForHost();
    void StartRun();
    void FinishRun();
    // A step move of the run: the pause, the move, its wait and the tick that starts the
    // 200 ms during which values are ignored.
    void MoveToNextStep(int32_t position);
    // How far a row that follows an end may go, read now from the edits and the focuser.
    SweepExtension ExtensionLimits();
    static std::vector<CurvePoint> StepPoints(const std::vector<std::string>& lines);
    std::vector<std::string> LogLines() const;
    // Hands the run record, begun when StartRun switched a run on, to the recorder: as
    // stopped unless the run finished. Does nothing when no record is kept.
    void EndRunRecord();
    // Replaces `values` by the first `count` values counted at the position under way.
    void TakeCountedValues(size_t count, std::vector<int32_t>& values) const;
    LateBoundObject& Driver();

    FormControls& c_;
    Platform& platform_;
    ObjectFactory& objects_;
    TAutoSave& settings_;
    ComponentList components_;

    uint32_t focuserMessageId_ = 0;
    uintptr_t hostWindow_ = 0;
    bool connectingAutomatically_ = false;
    bool startHeld_ = false;  // a host's start came while connectingAutomatically_

    std::unique_ptr<LateBoundObject> focuserDriver_;
    uint64_t driverUses_ = 0;  // counts the operations that reached for the driver
    FailureReporting failureReporting_;
    int32_t focuserMaxStep_ = 0;
    int32_t softPosition_ = 0;

    int32_t runStartPosition_ = 0;
    int32_t sweepFirstPosition_ = 0;
    size_t sweepRowLines_ = 0;  // step lines of the row once it went on past an end; 0 before
    uint32_t lastMoveTick_ = 0;
    size_t stepSampleCount_ = 0;
    std::array<int32_t, kSampleSlots> stepSamples_{};

    RunOptions options_;

    RunRecorder* runRecorder_ = nullptr;
    bool recordingRun_ = false;  // a run is switched on and its record not yet handed over
    uint32_t runStartTick_ = 0;
    RunRecord runRecord_;
};

}  // namespace qm
