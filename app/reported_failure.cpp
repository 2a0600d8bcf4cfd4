// Which driver failures count as one and the same failure, and which are shown.
#include "app/reported_failure.h"

#include <algorithm>
#include <iterator>

#include "com/late_bound.h"

namespace qm {

namespace {

// Statuses of a call through a proxy whose server process has died, was killed or
// cannot be reached. Which one a call returns depends on how far the call got, so
// one dead driver may answer with several of them in turn.
constexpr uint32_t kProcessGoneStatuses[] = {
    0x800706BA,  // RPC_S_SERVER_UNAVAILABLE
    0x800706BE,  // RPC_S_CALL_FAILED
    0x800706BF,  // RPC_S_CALL_FAILED_DNE
    0x80010007,  // RPC_E_SERVER_DIED
    0x80010012,  // RPC_E_SERVER_DIED_DNE
    0x80010108,  // RPC_E_DISCONNECTED
    0x800401FD,  // CO_E_OBJNOTCONNECTED
};

}  // namespace

FailureIdentity FailureIdentity::Of(const std::exception& error) {
    const auto* automation = dynamic_cast<const AutomationError*>(&error);
    return {automation ? automation->status() : 0, error.what()};
}

bool FailureIdentity::DriverProcessGone() const {
    return std::find(std::begin(kProcessGoneStatuses), std::end(kProcessGoneStatuses),
                     static_cast<uint32_t>(status)) != std::end(kProcessGoneStatuses);
}

bool FailureIdentity::SameAs(const FailureIdentity& other) const {
    if (DriverProcessGone() && other.DriverProcessGone()) return true;
    return status == other.status && message == other.message;
}

bool FailureReporting::BoxOpenFor(const FailureIdentity& failure) const {
    return std::any_of(openBoxes_.begin(), openBoxes_.end(),
                       [&](const FailureIdentity& shown) { return shown.SameAs(failure); });
}

bool FailureReporting::ShouldShow(FailureSource source, const FailureIdentity& failure) {
    const bool repeatsStreak = streak_ && streak_->SameAs(failure);
    streak_ = failure;
    if (BoxOpenFor(failure)) return false;
    return source == FailureSource::Request || !repeatsStreak;
}

}  // namespace qm
