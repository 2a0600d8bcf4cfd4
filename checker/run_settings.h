// The run settings a conformance check works with: Steps, Increment and Expo/Step as
// the program keeps them in autofocus.ini, read with the program's own settings
// reader, and the backlash correction that adds a move to the end of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/auto_save.h"

namespace qm::check {

struct RunSettings {
    int32_t steps = 7;
    int32_t increment = 100;
    int32_t exposures = 2;
    bool backlash = false;
    std::string source = "the window's defaults";  // where the values came from
};

// The settings in autofocus.ini beside the program, or the window's defaults for
// values the file does not hold. An edit's value is taken as the window takes it:
// rounded to the nearest whole number, halves to even.
RunSettings ReadRunSettings(SettingsFiles& files);

// The row a run sweeps around `start`: first position and the position after its last step.
int32_t FirstSweepPosition(const RunSettings& run, int32_t start);
int32_t LastSweepPosition(const RunSettings& run, int32_t start);

}  // namespace qm::check
