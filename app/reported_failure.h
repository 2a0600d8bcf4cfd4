// The driver failure most recently shown to the user, so that a failure which only
// repeats itself is not shown again by the timer or by the host's messages: a driver
// whose process has died would otherwise bring a new box with every tick.
//
// Two failures are the same when both say that the driver's process is gone or
// cannot be reached (the RPC and COM statuses listed in the .cpp, whatever their
// text), or else when both have the same status code and the same message.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace qm {

struct FailureIdentity {
    int32_t status = 0;  // the automation status; 0 for errors of the program itself
    std::string message;

    static FailureIdentity Of(const std::exception& error);
    // The driver's process is gone or unreachable: calls through its proxy fail.
    bool DriverProcessGone() const;
    bool SameAs(const FailureIdentity& other) const;
};

class ReportedFailure {
public:
    bool IsRepeatedBy(const FailureIdentity& failure) const { return last_ && last_->SameAs(failure); }
    void Remember(FailureIdentity failure) { last_ = std::move(failure); }
    void Forget() { last_.reset(); }

private:
    std::optional<FailureIdentity> last_;
};

}  // namespace qm
