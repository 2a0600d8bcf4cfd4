#include "app/page_keys.h"

namespace qm {

int PageStepForKey(const KeyChord& key) {
    // Alt chords belong to the system (Ctrl+Alt+Tab and the like).
    if (!key.ctrl || key.alt) return 0;
    switch (key.virtualKey) {
        case kKeyTab:
            return key.shift ? -1 : 1;
        case kKeyPageDown:
            return key.shift ? 0 : 1;
        case kKeyPageUp:
            return key.shift ? 0 : -1;
        default:
            return 0;
    }
}

int PageAfterStep(int current, int step, int count) {
    if (count <= 0) return current;
    const int moved = (current + step) % count;
    return moved < 0 ? moved + count : moved;
}

}  // namespace qm
