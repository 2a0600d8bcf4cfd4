// The conformance check against a focuser that moves in simulated time: each fault
// of the field gives its finding and exit status, the moves stay within the row and
// end at the start, and the run's time follows the program's own waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "checker/command_line.h"
#include "checker/conform_report.h"
#include "checker/conform_run.h"
#include "checker/run_settings.h"
#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

// A focuser whose position follows the clock; the faults are those drivers show.
struct TimedFocuser {
    int64_t nowMs = 0;
    double stepsPerSecond = 1000;
    int32_t maxStep = 30000;
    bool absolute = true;
    bool blocking = false;
    bool neverMoving = false;
    bool stuck = false;
    int idleEarlySteps = -1;
    int stopShort = 0;
    bool noLink = false;
    bool relativePositionFails = true;
    std::map<std::string, std::pair<int, int>> fails;  // member -> its calls from..to that raise an error
    std::map<std::string, int> calls;

    int32_t from = 1000, target = 1000;
    int64_t startMs = 0;
    std::vector<int32_t> moves;

    int32_t Position() const {
        if (stuck) return from;
        const double travelled = static_cast<double>(nowMs - startMs) * stepsPerSecond / 1000.0;
        if (travelled >= std::abs(target - from)) return target;
        return from + static_cast<int32_t>(target > from ? travelled : -travelled);
    }
    void Count(const std::string& member) {
        const int n = ++calls[member];
        auto it = fails.find(member);
        if (it != fails.end() && n >= it->second.first && n <= it->second.second)
            throw AutomationError(member + " failed in the driver");
    }
    bool Moving() const {
        if (stuck) return true;
        if (neverMoving) return false;
        return std::abs(target - Position()) > std::max(idleEarlySteps, 0) ||
               (idleEarlySteps < 0 && Position() != target);
    }
};

class TimedObject : public LateBoundObject {
  public:
    TimedObject(bool chooser, TimedFocuser& f) : chooser_(chooser), f_(f) {}
    void PutProperty(const std::string& name, const AutoValue&) override {
        if (chooser_) return;
        if (name == "Link" && f_.noLink) throw AutomationError("Method 'Link' not supported by automation object");
    }
    AutoValue Read(const std::string& name) override {
        if (chooser_) return AutoValue::Text("Sim.Focuser");
        f_.Count(name);
        if (name == "MaxStep") return AutoValue::Int(f_.maxStep);
        if (name == "Absolute") return AutoValue::Bool(f_.absolute);
        if (name == "IsMoving") return AutoValue::Bool(f_.Moving());
        if (name == "Position") {
            if (!f_.absolute && f_.relativePositionFails) throw AutomationError("Position is not available");
            return AutoValue::Int(f_.Position());
        }
        throw AutomationError("Method '" + name + "' not supported by automation object");
    }
    AutoValue CallMethod(const std::string& name, const std::vector<AutoValue>& args) override {
        if (name != "Move") throw AutomationError("Method '" + name + "' not supported by automation object");
        f_.Count(name);
        const int32_t value = *args.at(0).ref();
        f_.moves.push_back(value);
        const int32_t here = f_.Position();
        int32_t goal = f_.absolute ? value : here + value;
        const int32_t length = std::max(std::abs(goal - here) - f_.stopShort, 0);
        f_.from = here;
        f_.target = goal < here ? here - length : here + length;
        f_.startMs = f_.nowMs;
        if (f_.blocking) f_.nowMs += static_cast<int64_t>(length * 1000.0 / f_.stepsPerSecond);
        return AutoValue::Empty();
    }

  private:
    bool chooser_;
    TimedFocuser& f_;
};

class TimedFactory : public ObjectFactory {
  public:
    explicit TimedFactory(TimedFocuser& f) : f_(f) {}
    std::unique_ptr<LateBoundObject> Create(const std::string& progId) override {
        return std::make_unique<TimedObject>(progId == "DriverHelper.Chooser", f_);
    }

  private:
    TimedFocuser& f_;
};

struct ConformRig {
    TimedFocuser focuser;
    check::RunSettings run;
    check::ConformOutcome outcome;
    std::vector<check::Finding> findings;

    std::string Run() {
        TimedFactory factory(focuser);
        check::CallTrace trace([this] { return focuser.nowMs * 1000; });
        check::CheckServices services{[this](uint32_t ms) { focuser.nowMs += ms; },
                                      [this] { return static_cast<uint32_t>(focuser.nowMs); }, {}};
        outcome = check::RunConform(factory, "Sim.Focuser", run, services, trace);
        findings = check::JudgeConformance(outcome, run);
        std::string all;
        for (const auto& f : findings) all += f.text + "\n";
        return all;
    }
};

struct FaultCase {
    const char* name;
    void (*setUp)(TimedFocuser&);
    bool fault;
    std::vector<const char*> phrases;
    std::vector<const char*> absent = {};
};

TEST(Conform, EachFaultGivesItsFindingAndStatus) {
    const FaultCase cases[] = {
        {"healthy", [](TimedFocuser&) {}, false,
         {"Move returns before the move ends", "IsMoving, the first move of a run (300 steps down): True, then False "
          "after 3 polls.", "Arrival, moving down to 700: Position 700 when IsMoving said False.",
          "Arrival, moving up to 800: Position 800", "Speed: about 1000 steps per second"}},
        {"blocking Move", [](TimedFocuser& f) { f.blocking = true; }, false,
         {"Move returns only when the move is over: 0.3 s in Move for the first move of a run (300 steps)",
          "Position 700 when IsMoving said False.", "Speed: about 1000 steps per second"}},
        {"IsMoving never True", [](TimedFocuser& f) { f.neverMoving = true; }, true,
         {"(300 steps down): never True, although the focuser was still moving.",
          "Arrival, moving down to 700: Position 850, 150 steps away, when IsMoving said False; it arrived"}},
        {"IsMoving False early",
         [](TimedFocuser& f) {
             f.stepsPerSecond = 100;
             f.idleEarlySteps = 50;
         },
         true,
         {"(300 steps down): True, then False after 25 polls.",
          "Arrival, moving down to 700: Position 745, 45 steps away, when IsMoving said False; it arrived"}},
        {"stops short", [](TimedFocuser& f) { f.stopShort = 6; }, true,
         {"Arrival, moving down to 700: the focuser came to rest at 706, 6 steps short.",
          "Arrival, moving up to 800: the focuser came to rest at 794, 6 steps short."},
         {"never True"}},
        {"too slow", [](TimedFocuser& f) { f.stepsPerSecond = 25; }, true,
         {"IsMoving, the first move of a run (300 steps down): still True after 100 polls.", "\"Move timeout\"",
          "IsMoving, one Increment (100 steps up): True, then False after 40 polls.", "about 25 steps per second"}},
        {"overshoots", [](TimedFocuser& f) { f.stopShort = -6; }, true,
         {"Arrival, moving down to 700: the focuser came to rest at 694, 6 steps past it.",
          "Arrival, moving up to 800: the focuser came to rest at 806, 6 steps past it."},
         {"short"}},
        {"still moving after the wait",
         [](TimedFocuser& f) {
             f.stepsPerSecond = 20;
             f.idleEarlySteps = 200;
         },
         true,
         {"Arrival, moving down to 700: Position 899 when IsMoving said False, and the focuser was still moving 3 s "
          "later, at 839, 139 steps short."},
         {"came to rest"}},
        {"MaxStep below the start", [](TimedFocuser& f) { f.maxStep = 500; }, true,
         {"Position 1000, outside 0 to MaxStep (500).", "its moves stop at MaxStep. The check made no move"}},
        {"restless at rest", [](TimedFocuser& f) { f.stuck = true; }, true,
         {"IsMoving: True with the focuser at rest"}},
        {"no Link", [](TimedFocuser& f) { f.noLink = true; }, true,
         {"refuses Link and accepts only Connected", "\"Focuser not recognized.\""}},
        {"relative", [](TimedFocuser& f) { f.absolute = false; }, false,
         {"Relative focuser: Absolute is False", "Position raises an error as ASCOM requires"}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConformRig rig;
        c.setUp(rig.focuser);
        const std::string text = rig.Run();
        EXPECT_EQ(check::HasFault(rig.findings), c.fault) << text;
        for (const char* phrase : c.phrases) EXPECT_NE(text.find(phrase), std::string::npos) << phrase << "\n" << text;
        for (const char* phrase : c.absent) EXPECT_EQ(text.find(phrase), std::string::npos) << phrase << "\n" << text;
    }
}

TEST(Conform, MovesStayInTheRowAndEndAtTheStart) {
    ConformRig rig;
    rig.Run();
    EXPECT_EQ(rig.focuser.moves, (std::vector<int32_t>{700, 800, 1000}));
    EXPECT_EQ(rig.focuser.Position(), 1000);

    // Near 0 the program's own clamp keeps the first move at 0; the step goes on from there.
    ConformRig low;
    low.focuser.from = low.focuser.target = 150;
    low.Run();
    EXPECT_EQ(low.focuser.moves, (std::vector<int32_t>{0, 100, 150}));
    EXPECT_TRUE(std::none_of(low.focuser.moves.begin(), low.focuser.moves.end(), [](int32_t m) { return m < 0; }));
}

TEST(Conform, BringsTheFocuserBackAfterAFailureOnTheWayOut) {
    static constexpr int kAlways = 1 << 20;
    struct Case {
        const char* name;
        void (*setUp)(TimedFocuser&);
        std::vector<int32_t> moves;
        const char* place;     // the report's last line
        bool runTime;          // the run-time line is shown
        int isMovingReads;     // -1: not counted
    };
    const Case cases[] = {
        {"healthy", [](TimedFocuser&) {}, {700, 800, 1000}, "The focuser is back at its start, 1000.", true, -1},
        // The move back follows the position: IsMoving is not read again.
        {"IsMoving fails", [](TimedFocuser& f) { f.fails["IsMoving"] = {2, kAlways}; }, {700, 1000},
         "The focuser is back at its start, 1000.", false, 2},
        {"a position read fails once", [](TimedFocuser& f) { f.fails["Position"] = {2, 2}; }, {700, 1000},
         "The focuser is back at its start, 1000.", false, -1},
        {"position reads fail from then on", [](TimedFocuser& f) { f.fails["Position"] = {2, kAlways}; },
         {700, 1000}, "The focuser's position is not known: the move back to its start, 1000,", false, -1},
        {"the first Move fails", [](TimedFocuser& f) { f.fails["Move"] = {1, 1}; }, {1000},
         "The focuser is back at its start, 1000.", false, -1},
        {"the move back fails", [](TimedFocuser& f) { f.fails["Move"] = {3, 3}; }, {700, 800},
         "The focuser is not back at its start, 1000: it is at 800.", true, -1},
        {"relative, IsMoving fails",
         [](TimedFocuser& f) {
             f.absolute = false;
             f.fails["IsMoving"] = {2, kAlways};
         },
         {-300, 300}, "moved back by the steps it had moved out", false, 2},
        {"MaxStep below the start", [](TimedFocuser& f) { f.maxStep = 500; }, {},
         "The check did not move the focuser.", false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConformRig rig;
        c.setUp(rig.focuser);
        const std::string findings = rig.Run();
        // A wait whose IsMoving failed is left to the verdict, not judged as polls.
        EXPECT_EQ(findings.find("after 0 polls"), std::string::npos) << findings;
        EXPECT_EQ(rig.focuser.moves, c.moves);
        std::string place;
        for (const std::string& line : check::FocuserPlaceLines(rig.outcome)) place += line;
        EXPECT_NE(place.find(c.place), std::string::npos) << place;
        EXPECT_EQ(!check::RunTimeLines(rig.outcome, rig.run).empty(), c.runTime);
        if (c.isMovingReads >= 0) {
            EXPECT_EQ(rig.focuser.calls["IsMoving"], c.isMovingReads);
        }
    }
}

TEST(Conform, RunTimeFollowsTheProgramsWaits) {
    // A focuser that arrives within the first poll: every wait is one poll and the pause.
    ConformRig rig;
    rig.focuser.stepsPerSecond = 1e9;
    rig.Run();
    // 150 first move, 6 x (80 + 150) steps, 80 + 500 + 150 final move.
    EXPECT_EQ(check::RunMovesMillis(rig.outcome, rig.run), 2260);
    // The backlash approach adds its 500 ms and a wait: 350 steps at the 3000 steps per
    // second the first poll shows at least take two polls.
    rig.run.backlash = true;
    EXPECT_EQ(check::RunMovesMillis(rig.outcome, rig.run), 2260 + 500 + 250);
}

TEST(Conform, RunSettingsComeFromTheProgramsSettingsFile) {
    struct Case {
        const char* file;
        int32_t steps, increment, exposures;
        bool backlash;
    };
    const Case cases[] = {
        {nullptr, 7, 100, 2, false},
        {"1003->9\r\n1004->250\r\n1005->3\r\n1002->1\r\n", 9, 250, 3, true},
        {"1003->2\r\n1004->abc\r\n1005->12\r\n", 5, 100, 9, false},  // limits and error value of the edits
        {"1003->6.5\r\n1004->7.5\r\n", 6, 8, 2, false},               // halves to even
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file ? c.file : "(no file)");
        MemoryFiles files;
        if (c.file) files.files["C:\\prog\\autofocus.ini"] = c.file;
        const check::RunSettings run = check::ReadRunSettings(files);
        EXPECT_EQ(run.steps, c.steps);
        EXPECT_EQ(run.increment, c.increment);
        EXPECT_EQ(run.exposures, c.exposures);
        EXPECT_EQ(run.backlash, c.backlash);
        EXPECT_EQ(run.source, c.file ? "autofocus.ini" : "the window's defaults");
    }
}

TEST(Conform, CommandLine) {
    const check::CommandLine good =
        check::ParseCommandLine({"Sim.Focuser", "--conform", "--steps", "9", "--increment", "20", "--expo", "1"});
    EXPECT_EQ(good.error, "");
    EXPECT_TRUE(good.conform);
    EXPECT_EQ(good.steps, 9);
    EXPECT_EQ(good.increment, 20);
    EXPECT_EQ(good.exposures, 1);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--conform", "--steps", "4"}, {"--conform", "--increment", "1000"}, {"--conform", "--expo"},
             {"--steps", "7"}, {"--conform", "--move", "10"}}) {
        EXPECT_NE(check::ParseCommandLine(bad).error, "") << bad.back();
    }
}

}  // namespace
}  // namespace qm::test
