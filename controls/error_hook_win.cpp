// The Windows side of the error hook: the default report is a message box with the
// error text.
#include <windows.h>

#include <stdexcept>

#include "controls/error_hook.h"

namespace qm {

namespace {

void ShowDefaultErrorBox(const char* text) noexcept {
    MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace

void ReportError(const std::exception& error) noexcept {
    const ErrorHook& hook = CurrentErrorHook();
    if (!hook) {
        ShowDefaultErrorBox(error.what());
        return;
    }
    try {
        hook(error);
    } catch (const std::exception& hookError) {
        ShowDefaultErrorBox(hookError.what());
    } catch (...) {
        ShowDefaultErrorBox(error.what());
    }
}

void ReportUnknownError() noexcept {
    try {
        ReportError(std::runtime_error("Unknown error"));
    } catch (...) {
        // Constructing the message failed (out of memory): nothing more can be done.
    }
}

}  // namespace qm
