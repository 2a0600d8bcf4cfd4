// The host message link: the imaging host's commands arrive as one registered
// message whose first parameter is a command code and whose second is a value.
// Each test is made on its own, in a fixed order; a message carries one code, so at
// most one acts. Nothing is answered: the message result is always 0.
#include "app/form_afoc.h"
#include "app/host_protocol.h"
#include "common/whole_number.h"

namespace qm {

void TFormAFoc::HandleFocuserMessage(uint64_t code, intptr_t lParam) {
    // Values travel as signed 32-bit numbers; a 64-bit lParam carries one sign-extended.
    const auto value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uintptr_t>(lParam)));

    // A focus value is the host's data, sent after every exposure: a failure it meets is
    // shown once per streak, as the timer's are. Every other command is a new request: a
    // failure it meets is shown, unless a box showing that failure is already open (the
    // host goes on sending while the user reads it).
    ReportingDriverFailures(code == host::kFocusValue ? FailureSource::Recurring : FailureSource::Request, [&] {
        if (code == host::kFocusValue) HandleFocusValue(value);
        if (code == host::kMinimise && value == host::kMinimiseValue) platform_.MinimiseMainWindow();
        if (code == host::kStartRun && value == host::kStartRunValue) {
            // Handled inside the automatic connection (the creation of an out-of-process
            // driver lets sent messages through), the start waits for its outcome.
            if (connectingAutomatically_)
                startHeld_ = true;
            else
                StartForHost();
        }
        if (code == host::kHostWindow) hostWindow_ = static_cast<uintptr_t>(lParam);
        if (IsConnected() && code == host::kMoveTo) MoveFocuserTo(value);
        if (IsConnected() && code == host::kMoveBy) MoveFocuserTo(SaturatingAdd(GetFocuserPosition(), value));
    });
}

void TFormAFoc::StartForHost() {
    if (!IsConnected() || !c_.ButStart.Enabled()) return;
    c_.PGMain.SetActivePage(PageControlView::kAutofocusPage);
    StartRun();
}

}  // namespace qm
