// The keys that switch the page of a tabbed window, as users of tabbed windows know
// them: Ctrl+Tab and Ctrl+Page Down go to the next page, Ctrl+Shift+Tab and Ctrl+Page Up
// to the previous one, wrapping at both ends.
#pragma once

namespace qm {

// Virtual-key codes of the keys involved (the system's values).
constexpr int kKeyTab = 0x09;
constexpr int kKeyPageUp = 0x21;
constexpr int kKeyPageDown = 0x22;

struct KeyChord {
    int virtualKey = 0;
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

// +1 for the next page, -1 for the previous one, 0 for a key that does not switch pages.
int PageStepForKey(const KeyChord& key);

// The page reached from `current` by `step` among `count` pages, wrapping around.
int PageAfterStep(int current, int step, int count);

}  // namespace qm
