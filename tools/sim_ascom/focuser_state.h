// The simulated focuser's state file, shared by the simulated focuser (which writes
// it on every call that changes or reads its motion) and by the simulated imaging
// host (which reads it to know where the focuser stands at each exposure).
//
// Format: KEY=VALUE lines
//   StartPosition=<int>   position when the current move started
//   Target=<int>          where the current move ends
//   MoveStartTick=<uint>  GetTickCount() when the move started
//   StepsPerSecond=<dbl>  speed; 0 means moves end at once
//   Stuck=0|1             a stuck focuser never arrives and stays at StartPosition
// Portable: no Windows headers, so the host's focus model is tested natively too.
#pragma once

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

namespace qm::sim {

struct FocuserState {
    int32_t startPosition = 0;
    int32_t target = 0;
    uint32_t moveStartTick = 0;
    double stepsPerSecond = 0;
    bool stuck = false;

    // Where the focuser stands at tick `now`.
    int32_t PositionAt(uint32_t now) const {
        if (stuck) return startPosition;
        if (stepsPerSecond <= 0) return target;
        double elapsed = static_cast<double>(static_cast<uint32_t>(now - moveStartTick)) / 1000.0;
        double travelled = elapsed * stepsPerSecond;
        double distance = std::fabs(static_cast<double>(target) - startPosition);
        if (travelled >= distance) return target;
        double pos = startPosition + (target > startPosition ? travelled : -travelled);
        return static_cast<int32_t>(std::llround(std::trunc(pos)));
    }
    bool MovingAt(uint32_t now) const { return stuck || PositionAt(now) != target; }

    std::string Serialize() const {
        std::ostringstream out;
        out << "StartPosition=" << startPosition << "\r\nTarget=" << target << "\r\nMoveStartTick=" << moveStartTick
            << "\r\nStepsPerSecond=" << stepsPerSecond << "\r\nStuck=" << (stuck ? 1 : 0) << "\r\n";
        return out.str();
    }

    static FocuserState Parse(const std::string& text) {
        FocuserState s;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            try {
                if (key == "StartPosition") s.startPosition = std::stoi(value);
                else if (key == "Target") s.target = std::stoi(value);
                else if (key == "MoveStartTick") s.moveStartTick = static_cast<uint32_t>(std::stoul(value));
                else if (key == "StepsPerSecond") s.stepsPerSecond = std::stod(value);
                else if (key == "Stuck") s.stuck = value == "1";
            } catch (...) {
                // A half-written line reads as missing; the next write repairs it.
            }
        }
        return s;
    }
};

}  // namespace qm::sim
