// Which driver failures reach the general error report, so that a driver that keeps
// failing (a process that has died, say) neither floods the user with boxes nor hides
// a failure from a user or host who has just asked for something.
//
// The rule:
// - What comes again and again by itself, the timer's reads and the host's focus
//   values, reports a failure once per streak: the first tick or value that meets it
//   shows it; later ones stay silent while the same failure repeats, until a driver
//   call succeeds (which ends the streak). A failure met by a request also counts for
//   the streak, so ticks after a click that showed it stay silent too. (A host sends a
//   value after every exposure: counted as requests, a dead driver met by a run would
//   open a new box as soon as the last one was closed.)
// - A request (a user's click, a host command to start a run or move the focuser)
//   that meets a driver failure always shows it, unless a box showing the same
//   failure is open at that moment: then it is dropped, since the user is looking at
//   it. (A message box runs its own message loop, so host messages and clicks on
//   other windows are handled while it is open.) After the box is closed, the next
//   request that meets the failure shows it again.
// - Anything meeting a failure different from the streak's and from every open box's
//   shows it.
//
// Two failures are the same when both say that the driver's process is gone or
// cannot be reached (the RPC and COM statuses listed in the .cpp, whatever their
// text), or else when both have the same status code and the same message.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct FailureIdentity {
    int32_t status = 0;  // the automation status; 0 for errors of the program itself
    std::string message;

    static FailureIdentity Of(const std::exception& error);
    // The driver's process is gone or unreachable: calls through its proxy fail.
    bool DriverProcessGone() const;
    bool SameAs(const FailureIdentity& other) const;
};

// Who met a failure: what recurs by itself (the timer's reads, the host's focus
// values), or a request of the user or the host.
enum class FailureSource { Recurring, Request };

class FailureReporting {
public:
    // Whether a failure just met is to be shown; it becomes the streak's failure either way.
    bool ShouldShow(FailureSource source, const FailureIdentity& failure);
    // A driver call succeeded, or the driver was let go: the streak is over.
    void EndStreak() { streak_.reset(); }

    // A box showing this failure is on the screen until the matching BoxClosed.
    void BoxOpened(FailureIdentity failure) { openBoxes_.push_back(std::move(failure)); }
    void BoxClosed() {
        if (!openBoxes_.empty()) openBoxes_.pop_back();
    }
    bool BoxOpenFor(const FailureIdentity& failure) const;

private:
    std::optional<FailureIdentity> streak_;
    std::vector<FailureIdentity> openBoxes_;  // boxes open over one another, innermost last
};

}  // namespace qm
