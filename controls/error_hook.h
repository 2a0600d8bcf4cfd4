// Where errors that reach a window procedure go. An exception must never unwind
// through a Win32 callback, so each window procedure of the controls catches what
// its handlers throw and hands it to ReportError. The main window installs its own
// report with SetErrorHook; until then a plain message box shows the error text.
#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace qm {

using ErrorHook = std::function<void(const std::exception&)>;

// The installed report; empty means the default message box.
inline ErrorHook& CurrentErrorHook() {
    static ErrorHook hook;
    return hook;
}

inline void SetErrorHook(ErrorHook hook) {
    CurrentErrorHook() = std::move(hook);
}

// Reports an error through the installed hook, or with a message box. Never throws:
// an exception raised by the hook itself is shown with the default box.
// Defined in the Windows layer (error_hook_win.cpp).
void ReportError(const std::exception& error) noexcept;

// For catch (...): reports an exception that is not a std::exception.
void ReportUnknownError() noexcept;

// Runs handler and returns its result. An exception is reported and onError returned
// instead, so that no exception unwinds through a Win32 callback.
template <typename Result, typename Handler>
Result CallReportingErrors(Handler&& handler, Result onError) noexcept {
    try {
        return handler();
    } catch (const std::exception& error) {
        ReportError(error);
    } catch (...) {
        ReportUnknownError();
    }
    return onError;
}

}  // namespace qm
