// Native tests of the simulated focuser's portable parts: the sim.ini steering rules
// (keys, numbers, scheduled failures, wrong-typed answers) and the motion model that
// the state file shares with the simulated imaging host.
#include <gtest/gtest.h>

#include "tools/sim_ascom/focuser_motion.h"
#include "tools/sim_ascom/sim_config.h"

namespace qm::sim {
namespace {

TEST(SimConfig, ReadsKeysWithoutRegardToCaseAndLaterLinesWin) {
    SimConfig c = SimConfig::Parse(
        "; comment\r\n# another\r\n  MaxStep = 5000 \r\nabsolute=0\r\nno equals sign\r\nMaxStep=6000\r\n"
        "ChooseResult=\r\nStepsPerSecond=2.5\r\nStartPosition=abc");
    EXPECT_EQ(c.GetInt("maxstep", 1), 6000);
    EXPECT_FALSE(c.GetBool("Absolute", true));
    EXPECT_EQ(c.Get("ChooseResult"), std::optional<std::string>(""));  // present but empty: a cancel
    EXPECT_FALSE(c.Get("Stuck").has_value());
    EXPECT_DOUBLE_EQ(c.GetReal("StepsPerSecond", 0), 2.5);
    EXPECT_EQ(c.GetInt("StartPosition", 10000), 10000);  // not a number: the default
    EXPECT_EQ(c.GetInt("Missing", -1), -1);
}

TEST(SimConfig, WholeNumbers) {
    struct Case {
        const char* text;
        std::optional<int64_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"-25", -25},
        {" +7 ", 7},
        {"0x80040500", 0x80040500LL},
        {"0X1f", 31},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", std::nullopt},  // too big, not wrapped
        {"0x-1", std::nullopt},
        {"12abc", std::nullopt},
        {"", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInt(c.text), c.value) << c.text;
}

TEST(FailRule, ParsesCountsAndDescriptions) {
    struct Case {
        const char* text;
        bool valid;
        int64_t call;
        bool andLater;
        std::string description;
    };
    const Case cases[] = {
        {"3:Focuser jammed.", true, 3, false, "Focuser jammed."},
        {"+2:Gone", true, 2, true, "Gone"},
        {"1:", true, 1, false, ""},
        {"1", true, 1, false, ""},
        {"1:a:b", true, 1, false, "a:b"},
        {"1:Broke.\\r\\n\\s\\t\\\\x\\q", true, 1, false, "Broke.\r\n \t\\x\\q"},
        {"0:never", false, 0, false, ""},
        {"-1:no", false, 0, false, ""},
        {"++1:no", false, 0, false, ""},
        {"x:no", false, 0, false, ""},
        {":no", false, 0, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto rule = FailRule::Parse(c.text);
        ASSERT_EQ(rule.has_value(), c.valid);
        if (!rule)
            continue;
        EXPECT_EQ(rule->call, c.call);
        EXPECT_EQ(rule->andLater, c.andLater);
        EXPECT_EQ(rule->description, c.description);
    }
}

TEST(FailRule, FiresOnTheNthCallOrFromItOn) {
    FailRule once = *FailRule::Parse("2:x");
    FailRule onward = *FailRule::Parse("+2:x");
    EXPECT_FALSE(once.Fires(1));
    EXPECT_TRUE(once.Fires(2));
    EXPECT_FALSE(once.Fires(3));
    EXPECT_FALSE(onward.Fires(1));
    EXPECT_TRUE(onward.Fires(2));
    EXPECT_TRUE(onward.Fires(300));
}

TEST(WrongType, Names) {
    EXPECT_EQ(ParseWrongType("text"), WrongType::Text);
    EXPECT_EQ(ParseWrongType(" REAL "), WrongType::Real);
    EXPECT_EQ(ParseWrongType("big"), WrongType::Big);
    EXPECT_EQ(ParseWrongType("bigreal"), WrongType::BigReal);
    EXPECT_EQ(ParseWrongType("empty"), WrongType::Empty);
    EXPECT_EQ(ParseWrongType("null"), WrongType::Null);
    EXPECT_EQ(ParseWrongType(""), WrongType::None);
    EXPECT_EQ(ParseWrongType("object"), WrongType::None);
}

TEST(FocuserMotion, AbsoluteMovesAreClampedToTheTravel) {
    struct Case {
        int64_t target;
        int32_t maxStep;
        int32_t end;
    };
    const Case cases[] = {{-20, 5000, 0}, {7000, 5000, 5000},       {5000, 5000, 5000},
                          {0, 5000, 0},   {INT64_MIN / 2, 5000, 0}, {100, -5, 0}};
    for (const auto& c : cases) {
        FocuserMotion m;
        m.Place(2500, 0);
        EXPECT_EQ(m.MoveTo(c.target, c.maxStep, 0, 10), c.end) << c.target;
        EXPECT_EQ(m.Position(10), c.end);
        EXPECT_FALSE(m.IsMoving(10));
    }
}

TEST(FocuserMotion, RelativeMovesGoByTheStepCountAndStopAtThe32BitLimits) {
    FocuserMotion m;
    m.Place(10000, 0);
    EXPECT_EQ(m.MoveBy(100, 0, 1), 10100);
    EXPECT_EQ(m.MoveBy(-10, 0, 2), 10090);
    EXPECT_EQ(m.MoveBy(0, 0, 3), 10090);
    m.Place(2147483600, 0);
    EXPECT_EQ(m.MoveBy(1000, 0, 1), INT32_MAX);
    m.Place(-2147483600, 0);
    EXPECT_EQ(m.MoveBy(-1000, 0, 1), INT32_MIN);
}

TEST(FocuserMotion, MovesTakeTimeAtTheGivenSpeed) {
    FocuserMotion m;
    m.Place(1000, 5000);
    m.MoveTo(2000, 30000, 2000, 5000);  // 1000 steps at 2000 steps/s: 500 ms
    EXPECT_TRUE(m.IsMoving(5000));
    EXPECT_EQ(m.Position(5250), 1500);
    EXPECT_TRUE(m.IsMoving(5499));
    EXPECT_FALSE(m.IsMoving(5500));
    EXPECT_EQ(m.Position(9000), 2000);
    // A move started midway starts from where the focuser stands.
    m.MoveTo(0, 30000, 2000, 5250);
    EXPECT_EQ(m.state().startPosition, 1500);
    EXPECT_EQ(m.Position(5500), 1000);
    m.Halt(5500);
    EXPECT_FALSE(m.IsMoving(5500));
    EXPECT_EQ(m.Position(9000), 1000);
}

TEST(FocuserMotion, AStuckFocuserStaysPutUntilFreed) {
    FocuserMotion m;
    m.Place(1000, 0);
    m.MoveTo(2000, 30000, 1000, 0);  // one second
    m.SetStuck(true, 300);
    EXPECT_EQ(m.Position(900), 1300);
    EXPECT_TRUE(m.IsMoving(5000));
    m.MoveTo(5000, 30000, 1000, 1000);  // a new move does not free it
    EXPECT_EQ(m.Position(9000), 1300);
    m.SetStuck(false, 10000);  // freed: goes on from where it stuck
    EXPECT_EQ(m.Position(10500), 1800);
    EXPECT_FALSE(m.IsMoving(20000));
    EXPECT_EQ(m.Position(20000), 5000);
}

TEST(FocuserMotion, StateSurvivesTheStateFile) {
    FocuserMotion m;
    m.Place(-25, 7);
    m.MoveTo(900, 30000, 2000, 100);
    m.SetStuck(true, 100);
    FocuserState back = FocuserState::Parse(m.state().Serialize());
    EXPECT_EQ(back.startPosition, m.state().startPosition);
    EXPECT_EQ(back.target, 900);
    EXPECT_EQ(back.moveStartTick, 100u);
    EXPECT_DOUBLE_EQ(back.stepsPerSecond, 2000);
    EXPECT_TRUE(back.stuck);
}

}  // namespace
}  // namespace qm::sim
