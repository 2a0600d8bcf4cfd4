// The host message link: the imaging host's commands arrive as one registered
// message whose first parameter is a command code and whose second is a value.
// Each test is made on its own, in a fixed order; a message carries one code, so at
// most one acts. Nothing is answered: the message result is always 0.
#include "app/form_afoc.h"
#include "common/whole_number.h"

namespace qm {

void TFormAFoc::HandleFocuserMessage(uint64_t code, intptr_t lParam) {
    // Values travel as signed 32-bit numbers; a 64-bit lParam carries one sign-extended.
    const auto value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uintptr_t>(lParam)));

    // Each command is a new request: a failure it meets is shown, unless a box showing
    // that failure is already open (the host goes on sending while the user reads it).
    ReportingDriverFailures(FailureSource::Action, [&] {
        if (code == 0) HandleFocusValue(value);
        if (code == 1 && value == 0) platform_.MinimiseMainWindow();
        if (code == 2 && value == 22 && IsConnected() && c_.ButStart.Enabled()) {
            c_.PGMain.SetActivePage(PageControlView::kAutofocusPage);
            StartRun();
        }
        if (code == 3) hostWindow_ = static_cast<uintptr_t>(lParam);
        if (IsConnected() && code == 5) MoveFocuserTo(value);
        if (IsConnected() && code == 6) MoveFocuserTo(SaturatingAdd(GetFocuserPosition(), value));
    });
}

}  // namespace qm
