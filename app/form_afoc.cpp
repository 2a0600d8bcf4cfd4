// Start-up, shut-down, the run-state queries, the help button and the general error report.
#include "app/form_afoc.h"

#include <utility>

#include "app/error_report.h"

namespace qm {

TFormAFoc::TFormAFoc(FormControls& controls, Platform& platform, ObjectFactory& objects, TAutoSave& settings,
                     ComponentList components)
    : c_(controls), platform_(platform), objects_(objects), settings_(settings), components_(std::move(components)) {}

TFormAFoc::~TFormAFoc() = default;

void TFormAFoc::FormCreate() {
    focuserMessageId_ = platform_.RegisterMessage(kFocuserMessageName);
    settings_.LoadSettings(kSettingsFileName, components_());
    hostWindow_ = 0;
}

void TFormAFoc::FormShow() {
    if (!platform_.StartedWithParametersOrDebugger()) platform_.CloseMainWindow();
    if (settings_.TagString.size() >= 4 && c_.CBAutoConn.Checked() && c_.ButConnect.Enabled()) ConnectAutomatically();
}

void TFormAFoc::ConnectAutomatically() {
    // Set only for the connection's own time, however it ends.
    struct Connecting {
        bool& flag;
        explicit Connecting(bool& f) : flag(f) { flag = true; }
        ~Connecting() { flag = false; }
    };
    startHeld_ = false;
    {
        Connecting connecting{connectingAutomatically_};
        ButConnectClick();
    }
    // A host's start handled meanwhile starts the run now; without a focuser it is dropped.
    if (std::exchange(startHeld_, false))
        ReportingDriverFailures(FailureSource::Request, [&] { StartForHost(); });
}

void TFormAFoc::FormClose() {
    if (c_.ButDisconnect.Enabled()) ButDisconnectClick();
}

void TFormAFoc::FormDestroy() {
    EndRunRecord();
    settings_.SaveSettings(kSettingsFileName, components_());
}

void TFormAFoc::PGMainChange() {
    if (!IsConnected()) return;
    SetRunning(false);
    EndRunRecord();
}

void TFormAFoc::ButHelpClick() {
    std::string path = platform_.ProgramDirectory() + kHelpFileName;
    if (platform_.FileExists(path))
        platform_.OpenDocument(path);
    else
        platform_.ShowError("File not found:\r" + path);
}

void TFormAFoc::ShowErrorReport(const std::exception& error) {
    // Closed again however the box ends, so that a failure is never kept as on screen.
    struct OpenBox {
        FailureReporting& reporting;
        ~OpenBox() { reporting.BoxClosed(); }
    };
    failureReporting_.BoxOpened(FailureIdentity::Of(error));
    OpenBox box{failureReporting_};
    platform_.ShowErrorReport(ErrorReportText(error.what()));
}

bool TFormAFoc::IsConnected() const {
    return !c_.ButConnect.Enabled();
}

bool TFormAFoc::IsRunning() const {
    return IsConnected() && c_.ButStop.Enabled() && !c_.ButStart.Enabled();
}

void TFormAFoc::SetRunning(bool run) {
    // The position is read before anything changes: a driver that fails here leaves the
    // controller as it was (starting), instead of running with a stale start position
    // that a failed computation would then send the focuser to.
    const int32_t startPosition = run ? GetFocuserPosition() : runStartPosition_;
    c_.ButStop.SetEnabled(run);
    c_.ButStart.SetEnabled(!run);
    if (run) {
        c_.Memo1.Clear();
        stepSampleCount_ = 0;
        runStartPosition_ = startPosition;
    }
}

}  // namespace qm
