// The table of what a failing member does to the user, and the words for it.
#include "checker/failure_effects.h"

#include <algorithm>
#include <array>

namespace qm::check {

namespace {

using enum FocuserAction;

constexpr std::array kConnectedActions = {PositionDisplay, StepClick, HostMoveTo, HostMoveBy, RunStart, RunStep};

struct MemberEffects {
    const char* member;
    const char* lead;  // what works and what does not, before the list of actions
    std::vector<FocuserAction> meeting;
};

// Which actions call which members: the display and the offset moves read the
// position (Absolute, then Position for an absolute focuser); every move asks
// Absolute, then calls Move; a run waits for its first move with IsMoving; a run's
// step reads the position, moves on and waits.
const std::vector<MemberEffects>& Table() {
    static const std::vector<MemberEffects> table = {
        {"Absolute", "Quillomar connects, but it asks Absolute before every position read and every move.",
         {PositionDisplay, StepClick, HostMoveTo, HostMoveBy, RunStart, RunStep}},
        {"Position", "Quillomar connects, but cannot read the focuser's position.",
         {PositionDisplay, StepClick, HostMoveBy, RunStart, RunStep}},
        {"IsMoving",
         "Quillomar connects and moves the focuser, but when it asks IsMoving whether a move has ended, that "
         "fails.",
         {RunStart, RunStep}},
        {"Move", "Quillomar connects and reads the position, but cannot move the focuser.",
         {StepClick, HostMoveTo, HostMoveBy, RunStart, RunStep}},
        {"Link", "Everything else works, but the driver fails when Quillomar tells it to let go of the focuser.",
         {Disconnect}},
    };
    return table;
}

const MemberEffects* Find(const std::string& member) {
    for (const MemberEffects& effects : Table()) {
        if (member == effects.member) return &effects;
    }
    return nullptr;
}

bool Has(const std::vector<FocuserAction>& actions, FocuserAction action) {
    return std::find(actions.begin(), actions.end(), action) != actions.end();
}

std::string HowOften(FocuserAction action) {
    return RepeatsOf(action) == Repeats::UnlessStillOpen ? ", unless the same box is still open" : "";
}

// What the user sees when the action meets the failure.
std::string MeetingPhrase(FocuserAction action, const std::vector<FocuserAction>& meeting) {
    switch (action) {
        case PositionDisplay:
            return "the position display shows this box once, then keeps its last position without another box "
                   "until a call to the driver works again";
        case StepClick: return "every click on a step button shows it";
        case HostMoveTo:
            return (Has(meeting, HostMoveBy) ? "every move the imaging program asks for shows it"
                                             : "every move to a position that the imaging program asks for shows it") +
                   HowOften(action);
        case HostMoveBy: return "every move by an offset that the imaging program asks for shows it" + HowOften(action);
        case RunStart:
            return "autofocus runs, started with Start or by the imaging program, show it at their first move and do "
                   "not start (Start stays greyed out until you switch pages)";
        case RunStep:
            return "a run under way when the failure begins shows it once, at the focus value that completes a "
                   "position, then stays at that position without another box, whatever the imaging program goes "
                   "on sending, until a call to the driver works again";
        case Disconnect:
            return "Disconnect, and closing Quillomar while connected, show this box once; Quillomar still "
                   "disconnects and lets go of the driver, but the driver itself may still hold the focuser, so that "
                   "other programs may find it busy";
    }
    return "";
}

std::string WorkingPhrase(FocuserAction action) {
    switch (action) {
        case PositionDisplay: return "the position display";
        case StepClick: return "the step buttons";
        case HostMoveTo: return "moves to a position asked by the imaging program";
        case HostMoveBy: return "moves by an offset asked by the imaging program";
        case RunStart: return "autofocus runs";
        case RunStep: return "runs under way";
        case Disconnect: return "Disconnect";
    }
    return "";
}

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

}  // namespace

Repeats RepeatsOf(FocuserAction action) {
    switch (action) {
        case PositionDisplay: return Repeats::OncePerStreak;
        case StepClick: return Repeats::EveryTime;
        case HostMoveTo:
        case HostMoveBy: return Repeats::UnlessStillOpen;
        case RunStart: return Repeats::EveryTime;
        case RunStep: return Repeats::OncePerStreak;
        case Disconnect: return Repeats::EveryTime;
    }
    return Repeats::EveryTime;
}

std::optional<std::vector<FocuserAction>> ActionsMeeting(const std::string& member) {
    const MemberEffects* effects = Find(member);
    if (!effects) return std::nullopt;
    return effects->meeting;
}

std::optional<std::string> ConsequenceText(const std::string& member) {
    const MemberEffects* effects = Find(member);
    if (!effects) return std::nullopt;
    std::string text = effects->lead;
    // A host move to a position and one by an offset are said together when both fail.
    std::vector<std::string> failing;
    for (FocuserAction action : effects->meeting) {
        if (action == HostMoveBy && Has(effects->meeting, HostMoveTo)) continue;
        failing.push_back(MeetingPhrase(action, effects->meeting));
    }
    for (size_t i = 0; i < failing.size(); ++i)
        text += (i == 0 ? " " + Capitalised(failing[i]) : "; " + failing[i]);
    text += ".";
    if (Has(effects->meeting, Disconnect)) return text;
    std::vector<std::string> working;
    for (FocuserAction action : kConnectedActions) {
        if (!Has(effects->meeting, action)) working.push_back(WorkingPhrase(action));
    }
    for (size_t i = 0; i < working.size(); ++i)
        text += (i == 0 ? " Still working: " : i + 1 == working.size() ? " and " : ", ") + working[i];
    if (!working.empty()) text += ".";
    return text;
}

}  // namespace qm::check
