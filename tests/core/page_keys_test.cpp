// Which key chords switch pages, and where the switch lands.
#include "app/page_keys.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(PageKeys, ChordsThatSwitchPages) {
    constexpr int kKeyA = 0x41;
    struct Case {
        const char* name;
        KeyChord key;
        int step;
    };
    const Case cases[] = {
        {"Ctrl+Tab", {kKeyTab, true, false, false}, 1},
        {"Ctrl+Shift+Tab", {kKeyTab, true, true, false}, -1},
        {"Ctrl+PgDn", {kKeyPageDown, true, false, false}, 1},
        {"Ctrl+PgUp", {kKeyPageUp, true, false, false}, -1},
        // Plain Tab walks the controls; plain PgUp/PgDn scroll the log.
        {"Tab", {kKeyTab, false, false, false}, 0},
        {"Shift+Tab", {kKeyTab, false, true, false}, 0},
        {"PgDn", {kKeyPageDown, false, false, false}, 0},
        {"PgUp", {kKeyPageUp, false, false, false}, 0},
        {"Ctrl+Shift+PgDn", {kKeyPageDown, true, true, false}, 0},
        {"Ctrl+Shift+PgUp", {kKeyPageUp, true, true, false}, 0},
        {"Ctrl+Alt+Tab", {kKeyTab, true, false, true}, 0},
        {"Ctrl+Alt+PgDn", {kKeyPageDown, true, false, true}, 0},
        {"Ctrl+A", {kKeyA, true, false, false}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(PageStepForKey(c.key), c.step) << c.name;
}

TEST(PageKeys, StepsWrapAtBothEnds) {
    struct Case {
        int current, step, count, expected;
    };
    const Case cases[] = {
        {0, 1, 2, 1}, {1, 1, 2, 0}, {0, -1, 2, 1}, {1, -1, 2, 0}, {2, 1, 3, 0}, {0, -1, 3, 2}, {1, 0, 2, 1},
        {0, 1, 1, 0}, {0, 1, 0, 0},  // one page, or none: nowhere to go
    };
    for (const Case& c : cases)
        EXPECT_EQ(PageAfterStep(c.current, c.step, c.count), c.expected)
            << c.current << " by " << c.step << " of " << c.count;
}

}  // namespace
}  // namespace qm
