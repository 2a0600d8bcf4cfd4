// The driver check against a scripted driver: which call it names, which box it
// says the program shows and what its verdict and exit status are; its call lines,
// registration logic and command line.
#include <gtest/gtest.h>

#include <cmath>

#include "checker/check_run.h"
#include "checker/command_line.h"
#include "checker/registration.h"
#include "checker/report_text.h"
#include "checker/trace_writer.h"
#include "checker/verdict.h"
#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

using check::CallRecord;

// Answers chosen reads of the scripted driver with other values, as a driver that
// answers with the wrong type does: each read takes the next value, the last one stays.
class OddAnswers : public LateBoundObject {
  public:
    using Answers = std::map<std::string, std::vector<AutoValue>>;
    OddAnswers(std::unique_ptr<LateBoundObject> inner, Answers& answers)
        : inner_(std::move(inner)), answers_(answers) {}
    void PutProperty(const std::string& n, const AutoValue& v) override { inner_->PutProperty(n, v); }
    AutoValue Read(const std::string& n) override {
        AutoValue real = inner_->Read(n);
        auto it = answers_.find(n);
        if (it == answers_.end() || it->second.empty()) return real;
        AutoValue odd = it->second.front();
        if (it->second.size() > 1) it->second.erase(it->second.begin());
        return odd;
    }
    AutoValue CallMethod(const std::string& n, const std::vector<AutoValue>& a) override {
        return inner_->CallMethod(n, a);
    }

  private:
    std::unique_ptr<LateBoundObject> inner_;
    Answers& answers_;
};

class OddFactory : public ObjectFactory {
  public:
    OddFactory(ObjectFactory& inner, OddAnswers::Answers& answers) : inner_(inner), answers_(answers) {}
    std::unique_ptr<LateBoundObject> Create(const std::string& progId) override {
        return std::make_unique<OddAnswers>(inner_.Create(progId), answers_);
    }

  private:
    ObjectFactory& inner_;
    OddAnswers::Answers& answers_;
};

struct CheckRig {
    DriverScript driver;
    FakeFactory factory{driver};
    OddAnswers::Answers oddAnswers;
    int64_t micros = 0;
    std::vector<uint32_t> sleeps;
    uint32_t tick = 1000;
    check::CallTrace trace{[this] { return micros += 250; }};
    check::CheckOutcome outcome;

    check::Verdict Run(const std::string& progId, std::optional<int32_t> move = std::nullopt,
                       const std::optional<check::Registration>& registration = std::nullopt, int bits = 64) {
        check::CheckServices services{[this](uint32_t ms) {
                                          sleeps.push_back(ms);
                                          tick += ms;
                                      },
                                      [this] { return tick; }, {}};
        OddFactory odd(factory, oddAnswers);
        outcome = check::RunCheck(odd, check::CheckOptions{progId, move}, services, trace);
        return check::Judge(outcome, trace.records(), registration, bits, move);
    }
    // "put Link = True (VT_BOOL)", "get MaxStep", "create Sim.Focuser", ...
    std::vector<std::string> Calls() const {
        std::vector<std::string> out;
        for (const CallRecord& r : trace.records()) out.push_back(check::FormatCall(r, 1, 0, false).substr(2));
        return out;
    }
    std::string Failing() const {
        if (outcome.problems.empty()) return "";
        int i = outcome.problems.front().callIndex;
        return i < 0 ? "(none)" : check::FormatCall(trace.records()[i], 1, 0, false).substr(2);
    }
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}

std::string Squeezed(std::string s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

TEST(DriverCheck, HealthyDriverMakesTheProgramsCallsInOrder) {
    CheckRig rig;
    check::Verdict v = rig.Run("Sim.Focuser", 100);
    EXPECT_EQ(v.exitCode, 0);
    const std::vector<std::string> expected = {
        "create DriverHelper.Chooser -> object",
        "put DeviceType = \"Focuser\" (VT_BSTR) -> done",
        "release DriverHelper.Chooser -> released",
        "create Sim.Focuser -> object",
        "put Link = True (VT_BOOL) -> done",
        "get MaxStep -> 30000 (VT_I4)",
        "get Absolute -> True (VT_BOOL)",
        "get Position -> 1000 (VT_I4)",
        "get IsMoving -> False (VT_BOOL)",
        "get Absolute -> True (VT_BOOL)",
        "call Move(1100 (VT_I4|VT_BYREF)) -> (VT_EMPTY)",
        "get IsMoving -> False (VT_BOOL)",
        "get Absolute -> True (VT_BOOL)",
        "get Position -> 1100 (VT_I4)",
        "get Absolute -> True (VT_BOOL)",
        "call Move(1000 (VT_I4|VT_BYREF)) -> (VT_EMPTY)",
        "get IsMoving -> False (VT_BOOL)",
        "get Absolute -> True (VT_BOOL)",
        "get Position -> 1000 (VT_I4)",
        "put Link = False (VT_BOOL) -> done",
        "release Sim.Focuser -> released",
    };
    std::vector<std::string> got;
    for (const auto& c : rig.Calls()) got.push_back(Squeezed(c));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(rig.outcome.positions, (std::vector<int32_t>{1000, 1100, 1000}));
    EXPECT_EQ(v.lines.front(), "Verdict: this driver works with the 64-bit Quillomar.");
    EXPECT_NE(Joined(v.lines).find("moved 100 steps and back"), std::string::npos);
}

TEST(DriverCheck, NeverMovesWithoutConsent) {
    CheckRig rig;
    EXPECT_EQ(rig.Run("Sim.Focuser").exitCode, 0);
    EXPECT_TRUE(rig.driver.moves.empty());
    // The wait is still the program's: one poll after 100 ms, then the 50 ms pause.
    EXPECT_EQ(rig.sleeps, (std::vector<uint32_t>{100, 50}));
}

struct FailureCase {
    const char* name;
    std::string progId;             // empty: through the chooser
    std::optional<int32_t> move;
    std::string failMember;
    int failFrom;                   // the member's call number that fails first
    std::string expectFailing;      // the failing call as a line, blanks squeezed
    std::string expectBox;          // caption: text
    std::string expectMeaning;      // part of the verdict's explanation
};

TEST(DriverCheck, EachFailingMemberIsNamedWithTheProgramsBox) {
    const FailureCase cases[] = {
        {"DeviceType", "Sim.Focuser", {}, "DeviceType", 1,
         "put DeviceType = \"Focuser\" (VT_BSTR) -> FAILED \"DeviceType failed in the driver\"",
         "Error: ASCOM drivers not found.", "cannot use the ASCOM chooser"},
        {"Choose", "", {}, "Choose", 1, "get Choose -> FAILED \"Choose failed in the driver\"",
         "Error: ASCOM drivers not found.", "Install the ASCOM Platform"},
        {"Link at connection", "Sim.Focuser", {}, "Link", 1,
         "put Link = True (VT_BOOL) -> FAILED \"Link failed in the driver\"", "Error: Focuser not recognized.",
         "plugged in and switched on"},
        {"MaxStep", "Sim.Focuser", {}, "MaxStep", 1, "get MaxStep -> FAILED \"MaxStep failed in the driver\"",
         "Error: Focuser not recognized.", "could not give MaxStep"},
        {"Absolute", "Sim.Focuser", {}, "Absolute", 1, "get Absolute -> FAILED \"Absolute failed in the driver\"",
         "Quillomar: Absolute failed in the driver.", "asks Absolute before every position read"},
        {"Position", "Sim.Focuser", {}, "Position", 1, "get Position -> FAILED \"Position failed in the driver\"",
         "Quillomar: Position failed in the driver.", "cannot read the focuser's position"},
        {"IsMoving", "Sim.Focuser", {}, "IsMoving", 1, "get IsMoving -> FAILED \"IsMoving failed in the driver\"",
         "Quillomar: IsMoving failed in the driver.", "asks IsMoving whether a move has ended"},
        {"Move", "Sim.Focuser", 50, "Move", 1,
         "call Move(1050 (VT_I4|VT_BYREF)) -> FAILED \"Move failed in the driver\"",
         "Quillomar: Move failed in the driver.", "cannot move the focuser"},
        {"Move back", "Sim.Focuser", -50, "Move", 2,
         "call Move(1000 (VT_I4|VT_BYREF)) -> FAILED \"Move failed in the driver\"",
         "Quillomar: Move failed in the driver.", "cannot move the focuser"},
        {"IsMoving after the move", "Sim.Focuser", 50, "IsMoving", 2,
         "get IsMoving -> FAILED \"IsMoving failed in the driver\"", "Quillomar: IsMoving failed in the driver.",
         "asks IsMoving"},
        {"Link at disconnection", "Sim.Focuser", {}, "Link", 2,
         "put Link = False (VT_BOOL) -> FAILED \"Link failed in the driver\"",
         "Quillomar: Link failed in the driver.", "Quillomar still disconnects and lets go of the driver"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckRig rig;
        rig.driver.failAt[c.failMember] = c.failFrom;
        check::Verdict v = rig.Run(c.progId, c.move);
        EXPECT_EQ(v.exitCode, 1);
        EXPECT_EQ(Squeezed(rig.Failing()), c.expectFailing);
        ASSERT_FALSE(rig.outcome.problems.empty());
        const auto& p = rig.outcome.problems.front();
        EXPECT_EQ(p.caption + ": " + p.text, c.expectBox);
        const std::string all = Joined(v.lines);
        EXPECT_EQ(v.lines.front(), "Verdict: this driver does not work with the 64-bit Quillomar.");
        EXPECT_NE(all.find(c.failMember + " failed in the driver\""), std::string::npos) << all;
        EXPECT_NE(all.find("\"" + p.text + "\""), std::string::npos) << all;
        EXPECT_NE(all.find(c.expectMeaning), std::string::npos) << all;
        // A held driver is always unlinked or at least released at the end.
        if (rig.outcome.connected) {
            EXPECT_EQ(rig.Calls().back().substr(0, 7), "release");
        }
    }
}

struct OddCase {
    const char* name;
    std::string member;
    AutoValue answer;
    int exitCode;
    std::string expectInVerdict;
};

TEST(DriverCheck, WrongTypedAnswersAreReportedWithTheirType) {
    const OddCase cases[] = {
        {"MaxStep as text", "MaxStep", AutoValue::Text("abc").SetVariantType(8), 1,
         "MaxStep answered \"abc\" (VT_BSTR), which Quillomar cannot take as a whole number: \"Could not convert "
         "variant of type (OleStr) into type (Integer)\""},
        {"MaxStep too big", "MaxStep", AutoValue::Int(5000000000).SetVariantType(20), 1,
         "MaxStep answered 5000000000 (VT_I8)"},
        {"Position as null", "Position", AutoValue::Other("Null").SetVariantType(1), 1,
         "Position answered (VT_NULL), which Quillomar cannot take as a whole number"},
        {"IsMoving as text", "IsMoving", AutoValue::Text("abc").SetVariantType(8), 1,
         "IsMoving answered \"abc\" (VT_BSTR), which Quillomar cannot take as True or False"},
        {"Position as a real still works", "Position", AutoValue::Real(123.5).SetVariantType(5), 0,
         "Note: Position answered 123.5 (VT_R8); Quillomar takes it as 124."},
        {"Absolute as a number still works", "Absolute", AutoValue::Int(1).SetVariantType(2), 0,
         "Note: Absolute answered 1 (VT_I2); Quillomar takes it as True."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckRig rig;
        rig.oddAnswers[c.member] = {c.answer};
        check::Verdict v = rig.Run("Sim.Focuser");
        EXPECT_EQ(v.exitCode, c.exitCode);
        EXPECT_NE(Joined(v.lines).find(c.expectInVerdict), std::string::npos) << Joined(v.lines);
    }
}

TEST(DriverCheck, StuckFocuserTimesOutAfterTheProgramsHundredPolls) {
    CheckRig rig;
    rig.driver.stuck = true;
    check::Verdict v = rig.Run("Sim.Focuser", 100);
    EXPECT_EQ(v.exitCode, 1);
    ASSERT_EQ(rig.outcome.problems.size(), 1u);
    EXPECT_TRUE(rig.outcome.problems[0].moveTimeout);
    EXPECT_EQ(rig.outcome.problems[0].polls, 100);
    EXPECT_EQ(rig.outcome.problems[0].stage, check::Stage::Wait);
    EXPECT_TRUE(rig.driver.moves.empty()) << "no move after a failed wait";
    const std::string all = Joined(v.lines);
    EXPECT_NE(all.find("IsMoving still answered True after 100 polls"), std::string::npos) << all;
    EXPECT_NE(all.find("\"Move timeout\""), std::string::npos) << all;
    // The polls come out as one line.
    std::vector<std::string> lines;
    check::TraceWriter writer([&](const std::string& l) { lines.push_back(l); }, false);
    for (const auto& r : rig.trace.records()) writer.Add(r);
    writer.Flush();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("IsMoving") != std::string::npos; }),
              1);
    EXPECT_NE(Joined(lines).find("-> True (VT_BOOL), 100 times"), std::string::npos) << Joined(lines);
}

TEST(DriverCheck, PositionsThatDoNotFollowTheMovesAreNoted) {
    struct Case {
        const char* name;
        std::vector<AutoValue> positions;  // answers of Position in turn, or the driver's own
        std::string expectNote;
    };
    const Case cases[] = {
        {"positions follow the moves", {}, ""},
        {"position never changes", {AutoValue::Int(1000)}, "reported the same position, 1000, after the move"},
        {"position ends elsewhere", {AutoValue::Int(1000), AutoValue::Int(1100)},
         "after moving back the focuser reported 1100, not 1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckRig rig;
        rig.oddAnswers["Position"] = c.positions;
        check::Verdict v = rig.Run("Sim.Focuser", 100);
        EXPECT_EQ(v.exitCode, 0);
        const std::string all = Joined(v.lines);
        if (c.expectNote.empty()) {
            EXPECT_EQ(all.find("Note:"), std::string::npos) << all;
        } else {
            EXPECT_NE(all.find(c.expectNote), std::string::npos) << all;
        }
    }
}

TEST(DriverCheck, FocuserSentOutIsSentBackAfterAProblem) {
    const AutoValue no = AutoValue::Bool(false), yes = AutoValue::Bool(true), text = AutoValue::Text("abc");
    std::vector<AutoValue> outwardTimesOut{no};
    outwardTimesOut.insert(outwardTimesOut.end(), 100, yes);
    outwardTimesOut.push_back(no);
    struct Case {
        const char* name;
        bool absolute;
        OddAnswers::Answers answers;
        std::map<std::string, int> failAt;
        std::vector<int32_t> expectMoves;
        std::string expectLine;  // empty: no line about a move back
    };
    const Case cases[] = {
        {"healthy", true, {}, {}, {1100, 1000}, ""},
        {"outward wait times out", true, {{"IsMoving", outwardTimesOut}}, {}, {1100, 1000},
         "The check still moved the focuser back to its start position, 1000, and it arrived there."},
        {"IsMoving fails on the way out", true, {{"IsMoving", {no, text, no}}}, {}, {1100, 1000},
         "and it arrived there."},
        {"position read fails on the way out", true,
         {{"Position", {AutoValue::Int(1000), text, AutoValue::Int(1000)}}}, {}, {1100, 1000}, "and it arrived there."},
        {"back elsewhere", true, {{"Position", {AutoValue::Int(1000), text, AutoValue::Int(1050)}}}, {}, {1100, 1000},
         "start position, 1000, but it did not arrive: the focuser reported 1050 afterwards."},
        {"relative focuser", false, {{"IsMoving", {no, text, no}}}, {}, {100, -100},
         "a relative focuser cannot tell whether it arrived"},
        {"move back fails", true, {{"IsMoving", {no, text, no}}}, {{"Move", 2}}, {1100},
         "tried to move the focuser back to its start position, 1000, but the move back failed; the focuser "
         "reported 1100 afterwards."},
        {"move back and reads fail", true, {{"IsMoving", {no, text, no}}}, {{"Move", 2}, {"Position", 2}}, {1100},
         "tried to move the focuser back to its start position, 1000, but the move back, or the wait or position "
         "read after it, failed as well"},
        {"outward move fails: nothing to bring back", true, {}, {{"Move", 1}}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckRig rig;
        rig.driver.absolute = c.absolute;
        rig.driver.failAt = c.failAt;
        rig.oddAnswers = c.answers;
        check::Verdict v = rig.Run("Sim.Focuser", 100);
        EXPECT_EQ(rig.driver.moves, c.expectMoves);
        const std::string all = Joined(v.lines);
        // A failing IsMoving is not waited on again: the move back follows the position.
        if (std::string(c.name) == "IsMoving fails on the way out") {
            const auto calls = rig.Calls();
            EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                    [](const std::string& call) { return call.find("IsMoving") != std::string::npos; }),
                      2);
        }
        if (c.expectLine.empty()) {
            EXPECT_FALSE(rig.outcome.moveBack);
            EXPECT_EQ(all.find("move the focuser back"), std::string::npos) << all;
            EXPECT_EQ(all.find("moved the focuser back"), std::string::npos) << all;
        } else {
            EXPECT_EQ(v.exitCode, 1);
            EXPECT_NE(all.find(c.expectLine), std::string::npos) << all;
        }
    }
}

TEST(DriverCheck, RelativeFocuserMovesBySteps) {
    CheckRig rig;
    rig.driver.absolute = false;
    check::Verdict v = rig.Run("Sim.Focuser", -30);
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(rig.driver.moves, (std::vector<int32_t>{-30, 30}));
    EXPECT_EQ(rig.outcome.positions, (std::vector<int32_t>{10000, 9970, 10000}));
    EXPECT_NE(Joined(v.lines).find("relative focuser"), std::string::npos);
}

TEST(DriverCheck, CancelledChooserChecksNothing) {
    CheckRig rig;
    rig.driver.chooseResult = "";
    check::Verdict v = rig.Run("");
    EXPECT_TRUE(rig.outcome.cancelled);
    EXPECT_EQ(v.exitCode, 3);  // not the status of a failing driver
    EXPECT_EQ(v.lines.front(), "Verdict: nothing was checked: no driver was chosen in the chooser.");
}

check::RegistryView InprocView() {
    check::RegistryView v;
    v.progIdFound = true;
    v.classId = "{1}";
    v.classFound = true;
    v.hasInproc = true;
    v.inprocServer = "C:\\drv.dll";
    return v;
}

check::RegistryView LocalView() {
    check::RegistryView v = InprocView();
    v.hasInproc = false;
    v.hasLocal = true;
    v.localServer = "C:\\drv.exe";
    return v;
}

struct RegistrationCase {
    const char* name;
    check::RegistryView view32, view64;
    bool windows64;
    bool load32, load64;
    std::string which;
};

TEST(DriverCheckRegistration, WhichProgramCanLoadTheDriver) {
    const check::RegistryView none;
    check::RegistryView classMissing = InprocView();
    classMissing.classFound = false;
    const RegistrationCase cases[] = {
        {"in-process in both views", InprocView(), InprocView(), true, true, true, "Both the 64-bit and the 32-bit"},
        {"in-process for 32-bit only", InprocView(), none, true, true, false, "Only the 32-bit Quillomar"},
        {"in-process for 64-bit only", classMissing, InprocView(), true, false, true, "Only the 64-bit Quillomar"},
        {"local server in one view serves both", LocalView(), none, true, true, true, "program of its own"},
        {"nowhere", none, none, true, false, false, "No Quillomar can load"},
        {"32-bit Windows", InprocView(), none, false, true, false, "This is 32-bit Windows"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        check::Registration r{"Drv.Focuser", c.windows64, c.view32, c.view64};
        EXPECT_EQ(check::CanLoad(r, 32), c.load32);
        EXPECT_EQ(check::CanLoad(r, 64), c.load64);
        EXPECT_NE(check::WhichProgram(r).find(c.which), std::string::npos) << check::WhichProgram(r);
    }
}

struct CreateCase {
    const char* name;
    check::RegistryView view32, view64;
    int bits;
    std::string expectMeaning;
    bool whichProgramLine;  // said apart, when the explanation has not said it already
};

TEST(DriverCheckRegistration, DriverThatCannotBeCreatedIsExplainedByItsRegistration) {
    const check::RegistryView none;
    const CreateCase cases[] = {
        {"registered nowhere", none, none, 64, "No driver is registered under the name Sim.Focuser", false},
        {"32-bit only, 64-bit program", InprocView(), none, 64, "Use the 32-bit Quillomar with this driver.", false},
        {"64-bit only, 32-bit program", none, InprocView(), 32, "Use the 64-bit Quillomar with this driver.", false},
        {"registered for this program but broken", InprocView(), InprocView(), 64, "could not be started", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckRig rig;
        rig.driver.creatable.erase("Sim.Focuser");
        check::Registration r{"Drv.Focuser", true, c.view32, c.view64};
        check::Verdict v = rig.Run("Sim.Focuser", std::nullopt, r, c.bits);
        EXPECT_EQ(v.exitCode, 1);
        EXPECT_EQ(rig.outcome.problems.at(0).text, "ASCOM focuser not found.");
        EXPECT_EQ(rig.outcome.driverProgId, "Sim.Focuser");
        EXPECT_NE(Joined(v.lines).find(c.expectMeaning), std::string::npos) << Joined(v.lines);
        EXPECT_EQ(Joined(v.lines).find("can load this driver") != std::string::npos, c.whichProgramLine);
    }
}

TEST(DriverCheckReport, CallLines) {
    CallRecord failed;
    failed.access = CallRecord::Access::Get;
    failed.member = "MaxStep";
    failed.failed = true;
    failed.error = "no limit";
    failed.status = static_cast<int32_t>(0x80040500);
    failed.source = "QmSim";
    failed.micros = 1300;
    EXPECT_EQ(check::FormatCall(failed, 1, failed.micros, true),
              "  get     MaxStep                        -> FAILED \"no limit\" code 0x80040500 source QmSim"
              "      1.3 ms");
    EXPECT_EQ(check::FormatCall(failed, 1, failed.micros, false),
              "  get     MaxStep                        -> FAILED \"no limit\" code 0x80040500 source QmSim");

    CallRecord put;
    put.access = CallRecord::Access::Put;
    put.member = "Link";
    put.sent = "True (VT_BOOL)";
    EXPECT_EQ(check::FormatCall(put, 1, 40, true),
              "  put     Link = True (VT_BOOL)          -> done                        0.0 ms");
    // A group of identical polls: their count and the longest time.
    EXPECT_EQ(check::FormatCall(put, 3, 2000, true),
              "  put     Link = True (VT_BOOL)          -> done, 3 times               2.0 ms max");

    EXPECT_EQ(check::DescribeValue(AutoValue::Text("a\"b\r\n")), "\"a\\\"b\\x0d\\x0a\" (VT_BSTR)");
    EXPECT_EQ(check::DescribeValue(AutoValue::Empty()), "(VT_EMPTY)");
    EXPECT_EQ(check::DescribeValue(AutoValue::Bool(true).SetVariantType(11 | 0x4000)), "True (VT_BOOL|VT_BYREF)");
    EXPECT_EQ(check::DescribeValue(AutoValue::Other("Dispatch").SetVariantType(9)), "(VT_DISPATCH)");
}

TEST(DriverCheckReport, NumbersAsPrintfWritesThem) {
    // A driver's real answers with "%.15g": rounding at the fifteenth digit, the choice of
    // form, the exponent's two digits and the values that are not numbers.
    const struct {
        double value;
        const char* text;
    } reals[] = {
        {0.1, "0.1"},          {0.1 + 0.2, "0.3"},           {-0.0, "-0"},
        {1.0 / 3, "0.333333333333333"},                      {1e15, "1e+15"},
        {999999999999999.4, "999999999999999"},              {999999999999999.5, "1e+15"},
        {123456789012345678.0, "1.23456789012346e+17"},      {0.0001, "0.0001"},
        {0.00001, "1e-05"},    {2.5e-300, "2.5e-300"},       {5e-324, "4.94065645841247e-324"},
        {1.7976931348623157e308, "1.79769313486232e+308"},   {1.0 / 0.0, "inf"},
        {-1.0 / 0.0, "-inf"},  {std::nan(""), "nan"},        {-std::nan(""), "nan"},
    };
    for (const auto& c : reals) {
        EXPECT_EQ(check::DescribeValue(AutoValue::Real(c.value)), std::string(c.text) + " (VT_R8)") << c.text;
    }
    // Times with "%7.1f" in milliseconds: the exact value rounded, ties to even.
    CallRecord get;
    get.access = CallRecord::Access::Get;
    get.member = "Position";
    const struct {
        int64_t micros;
        const char* time;
    } times[] = {{0, "    0.0"}, {49, "    0.0"}, {50, "    0.1"}, {250, "    0.2"}, {350, "    0.3"},
                 {1250, "    1.2"}, {99950, "  100.0"}, {123456789, "123456.8"}};
    for (const auto& c : times) {
        const std::string line = check::FormatCall(get, 1, c.micros, true);
        EXPECT_EQ(line.substr(line.size() - 3 - std::string(c.time).size()), std::string(c.time) + " ms") << c.micros;
    }
}

TEST(DriverCheckReport, TracingPassesErrorsOnAndRecordsThem) {
    DriverScript driver;
    driver.failAt["MaxStep"] = 1;
    FakeFactory factory(driver);
    int64_t now = 0;
    std::vector<std::string> seen;
    check::CallTrace trace([&] { return now += 10; },
                           [&](const CallRecord& r) { seen.push_back(r.member.empty() ? r.object : r.member); });
    check::TracingFactory tracing(factory, trace);
    {
        auto object = tracing.Create("Sim.Focuser");
        EXPECT_THROW(object->Read("MaxStep"), AutomationError);
        int32_t target = 7;
        object->CallMethod("Move", {AutoValue::Int32Ref(&target)});
        EXPECT_THROW(tracing.Create("Nothing.Here"), AutomationError);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Sim.Focuser", "MaxStep", "Move", "Nothing.Here", "Sim.Focuser"}));
    const auto& r = trace.records();
    EXPECT_TRUE(r[1].failed);
    EXPECT_EQ(r[1].error, "MaxStep failed in the driver");
    EXPECT_EQ(r[1].micros, 10);
    EXPECT_EQ(r[2].sent, "7 (VT_I4|VT_BYREF)");
    EXPECT_EQ(driver.moves, std::vector<int32_t>{7});
    EXPECT_TRUE(r[3].failed);
    EXPECT_EQ(r[4].access, CallRecord::Access::Release);
}

struct CommandCase {
    std::vector<std::string> args;
    std::string progId;
    std::optional<int32_t> move;
    bool times, help, bad;
};

TEST(DriverCheckCommandLine, Arguments) {
    const CommandCase cases[] = {
        {{}, "", {}, true, false, false},
        {{"ASCOM.Sim.Focuser"}, "ASCOM.Sim.Focuser", {}, true, false, false},
        {{"--move", "-250", "Drv.X", "--no-times"}, "Drv.X", -250, false, false, false},
        {{"--move=+40"}, "", 40, true, false, false},
        {{"--help"}, "", {}, true, true, false},
        {{"/?"}, "", {}, true, true, false},
        {{"--move"}, "", {}, true, false, true},
        {{"--move", "0"}, "", {}, true, false, true},
        {{"--move", "ten"}, "", {}, true, false, true},
        {{"--move", "2147483648"}, "", {}, true, false, true},
        {{"--frobnicate"}, "", {}, true, false, true},
        {{"Drv.A", "Drv.B"}, "Drv.A", {}, true, false, true},
        {{"abc"}, "", {}, true, false, true},
    };
    for (const auto& c : cases) {
        std::string all;
        for (const auto& a : c.args) all += a + " ";
        SCOPED_TRACE(all);
        check::CommandLine line = check::ParseCommandLine(c.args);
        EXPECT_EQ(!line.error.empty(), c.bad) << line.error;
        if (c.bad) continue;
        EXPECT_EQ(line.progId, c.progId);
        EXPECT_EQ(line.moveSteps, c.move);
        EXPECT_EQ(line.withTimes, c.times);
        EXPECT_EQ(line.help, c.help);
    }
}

TEST(DriverCheckReport, WrapWords) {
    EXPECT_EQ(check::WrapWords("one two three four", 9, "", "  "),
              (std::vector<std::string>{"one two", "  three", "  four"}));
    EXPECT_EQ(check::WrapWords("averyveryverylongword x", 6, "> ", ". "),
              (std::vector<std::string>{"> averyveryverylongword", ". x"}));
    EXPECT_EQ(check::WrapWords("", 10, "- ", ""), std::vector<std::string>{"- "});
}

}  // namespace
}  // namespace qm::test
