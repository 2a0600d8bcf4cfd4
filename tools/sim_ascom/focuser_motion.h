// The simulated focuser's motion: where a move starts and ends and how the
// position changes with time, kept in the FocuserState that is also written to the
// state file. Absolute moves go to the target clamped to 0..MaxStep, as a real
// focuser refuses to run past its ends; relative moves go by the step count.
// Times are tick counts in milliseconds passed in by the caller.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "tools/sim_ascom/focuser_state.h"

namespace qm::sim {

class FocuserMotion {
  public:
    // Puts the focuser at rest at `position`.
    void Place(int32_t position, uint32_t now) {
        state_.startPosition = position;
        state_.target = position;
        state_.moveStartTick = now;
    }
    // Continues from a state read back from the state file.
    void Restore(const FocuserState& saved) { state_ = saved; }

    // A focuser that gets stuck stays where it stands now; one that gets free again
    // goes on from there towards its target.
    void SetStuck(bool stuck, uint32_t now) {
        if (stuck == state_.stuck)
            return;
        state_.startPosition = Position(now);
        state_.moveStartTick = now;
        state_.stuck = stuck;
    }

    int32_t Position(uint32_t now) const { return state_.PositionAt(now); }
    bool IsMoving(uint32_t now) const { return state_.MovingAt(now); }

    // Starts a move to `target`, clamped to 0..maxStep; returns the clamped target.
    int32_t MoveTo(int64_t target, int32_t maxStep, double stepsPerSecond, uint32_t now) {
        int64_t upper = std::max<int32_t>(maxStep, 0);
        return Start(std::clamp<int64_t>(target, 0, upper), stepsPerSecond, now);
    }
    // Starts a move by `steps` from where the focuser stands now; the end point
    // sticks at the limits of a 32-bit position instead of overflowing.
    int32_t MoveBy(int64_t steps, double stepsPerSecond, uint32_t now) {
        int64_t target = static_cast<int64_t>(Position(now)) + steps;
        target = std::clamp<int64_t>(target, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        return Start(target, stepsPerSecond, now);
    }
    // Stops where the focuser stands now.
    void Halt(uint32_t now) { Place(Position(now), now); }

    const FocuserState& state() const { return state_; }

  private:
    int32_t Start(int64_t target, double stepsPerSecond, uint32_t now) {
        state_.startPosition = Position(now);
        state_.target = static_cast<int32_t>(target);
        state_.moveStartTick = now;
        state_.stepsPerSecond = stepsPerSecond > 0 ? stepsPerSecond : 0;
        return state_.target;
    }

    FocuserState state_;
};

}  // namespace qm::sim
