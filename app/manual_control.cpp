// The focuser side of the "Control" page: Connect and Disconnect, the six step
// buttons and the position display refreshed by Timer1.
#include <exception>
#include <string>

#include "app/form_afoc.h"
#include "common/whole_number.h"

namespace qm {

void TFormAFoc::ButConnectClick() {
    if (!ConnectFocuser()) return;
    softPosition_ = kRelativeStartPosition;
    c_.ButConnect.SetEnabled(false);
    c_.ButDisconnect.SetEnabled(true);
    c_.ButStart.SetEnabled(true);
    c_.Timer1.SetEnabled(true);
    c_.LabStatus.SetText("Waiting for exposure");
    SetRunning(false);
}

void TFormAFoc::ButDisconnectClick() {
    c_.Timer1.SetEnabled(false);
    // A driver that fails to unlink (its process may have died) is released all the
    // same, so the user can always reach a driver again through Connect. The failure is
    // shown once the controls show the disconnection, unless a box showing it is open.
    std::exception_ptr unlinkFailure;
    // The run that the disconnection ends gets its last temperature while the driver is linked.
    if (recordingRun_ && runRecorder_) runRecord_.temperatureAtEnd = ReadFocuserTemperature();
    try {
        Driver().PutProperty("Link", AutoValue::Bool(false));
    } catch (const std::exception& error) {
        if (failureReporting_.ShouldShow(FailureSource::Request, FailureIdentity::Of(error)))
            unlinkFailure = std::current_exception();
    }
    failureReporting_.EndStreak();
    focuserDriver_.reset();
    c_.ButDisconnect.SetEnabled(false);
    c_.ButConnect.SetEnabled(true);
    c_.ButStart.SetEnabled(false);
    // Stop is normally off already (leaving the Autofocus page stops a run), but a page
    // switch handled while Start waits for its first move is followed by the run being
    // switched on, on the Control page: Stop must not stay on while disconnected.
    c_.ButStop.SetEnabled(false);
    c_.LabPos.SetText("00000");
    c_.LabStatus.SetText("Disconnected");
    EndRunRecord();
    if (unlinkFailure) std::rethrow_exception(unlinkFailure);
}

void TFormAFoc::ButStepClick(const ButtonView& sender) {
    ReportingDriverFailures(FailureSource::Request, [&] {
        const int32_t step = WholeNumberOrZero(sender.Caption());
        MoveFocuserTo(SaturatingAdd(GetFocuserPosition(), step));
    });
}

// While a tick fails as the one before it did, the display keeps its last text.
void TFormAFoc::Timer1Timer() {
    ReportingDriverFailures(FailureSource::Recurring, [&] {
        if (focuserDriver_ && c_.PGMain.ActivePage() == PageControlView::kControlPage)
            c_.LabPos.SetText(std::to_string(GetFocuserPosition()));
    });
}

}  // namespace qm
