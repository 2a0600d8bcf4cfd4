// What a failing driver member does to the user of the program once it is
// connected: which of the program's focuser actions meet the failure, and how
// often each shows its box. The verdict's explanation is written from this table,
// and a unit test runs the program's controller with each member failing and
// compares what it does with the table, so the advice cannot drift from the
// program.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qm::check {

// The program's actions that call the driver after it is connected.
enum class FocuserAction {
    PositionDisplay,  // the position display's refresh every half second
    StepClick,        // a click on one of the six step buttons
    HostMoveTo,       // the imaging program asks for a move to a position
    HostMoveBy,       // the imaging program asks for a move by an offset
    RunStart,         // an autofocus run's first move and the wait for it
    RunStep,          // a run under way: the focus value that completes a position, its move and wait
    Disconnect,       // Disconnect, or closing the program while connected
};

// How often an action that meets the same failure again shows its box.
enum class Repeats {
    OncePerStreak,     // once, then quiet until a driver call succeeds again
    EveryTime,         // every time
    UnlessStillOpen,   // every time, unless a box with the same failure is still open
};

Repeats RepeatsOf(FocuserAction action);

// The actions that meet a failure of `member` (a member called while connected).
// Nothing for members the program calls only while connecting.
std::optional<std::vector<FocuserAction>> ActionsMeeting(const std::string& member);

// What the failure of `member` means for the user, built from the two above.
// Nothing for members the table does not cover.
std::optional<std::string> ConsequenceText(const std::string& member);

}  // namespace qm::check
