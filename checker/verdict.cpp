// Judging a check from its outcome and its recorded calls.
#include "checker/verdict.h"

#include <algorithm>

#include "app/form_afoc.h"
#include "checker/failure_effects.h"
#include "common/whole_number.h"

namespace qm::check {

namespace {

enum class Taken { Unused, Integer, Boolean, Text };

Taken TakenAs(const std::string& member) {
    if (member == "MaxStep" || member == "Position")
        return Taken::Integer;
    if (member == "Absolute" || member == "IsMoving")
        return Taken::Boolean;
    if (member == "Choose")
        return Taken::Text;
    return Taken::Unused;
}

const char* TakenName(Taken taken) {
    switch (taken) {
        case Taken::Integer: return "a whole number";
        case Taken::Boolean: return "True or False";
        case Taken::Text: return "text";
        case Taken::Unused: break;
    }
    return "";
}

// "0x%08X": an HRESULT as Windows documents them.
std::string Hex(int32_t status) {
    return "0x" + HexNumber(static_cast<uint32_t>(status), 8, HexCase::Upper);
}

std::string Bits(int bits) { return std::to_string(bits) + "-bit Quillomar"; }

// "MaxStep", "Link = True", "Move(100)", "create QmSim.Focuser".
std::string CallName(const CallRecord& r) {
    switch (r.access) {
        case CallRecord::Access::Create: return "Creating " + r.object;
        case CallRecord::Access::Put: return r.member + " = " + r.sent;
        case CallRecord::Access::Call: return r.member + "(" + r.sent + ")";
        case CallRecord::Access::Get: return r.member;
        case CallRecord::Access::Release: return "Releasing " + r.object;
    }
    return r.member;
}

std::string ErrorDetail(const CallRecord& r) {
    std::string detail = "\"" + r.error + "\"";
    std::string extra;
    if (r.status != 0)
        extra = "code " + Hex(r.status);
    if (!r.source.empty())
        extra += (extra.empty() ? "" : ", ") + std::string("source ") + r.source;
    return extra.empty() ? detail : detail + " (" + extra + ")";
}

bool IsChooser(const CallRecord& r) { return r.object == TFormAFoc::kChooserProgId; }

bool NotSupported(const CallRecord& r) {
    return r.failed && r.error.find("not supported by automation object") != std::string::npos;
}

// What the failure means for the user.
std::string Meaning(const Problem& p, const CallRecord* r, const std::optional<Registration>& registration, int bits,
                    std::optional<int32_t> moveSteps) {
    if (p.moveTimeout) {
        if (p.stage == Stage::Wait)
            return "The focuser says it is moving although it was not asked to move. After every move Quillomar "
                   "waits for it for 100 polls, about 10 s, then shows \"Move timeout\" and goes on: autofocus runs "
                   "take much longer and may measure while the focuser still moves.";
        return "The focuser still said it was moving 10 s after a move of " +
               std::to_string(moveSteps.value_or(0)) +
               " steps. A slow focuser needs a smaller --move; a focuser that had stopped does not report the end "
               "of its moves, and Quillomar's autofocus runs will wait 10 s at every step and show \"Move timeout\".";
    }
    if (!r)
        return "Quillomar stops here.";
    if (IsChooser(*r))
        return "Quillomar cannot use the ASCOM chooser, so it cannot connect to any focuser. Install the ASCOM "
               "Platform, or repair it if it is installed.";
    if (r->access == CallRecord::Access::Create) {
        if (registration && RegisteredNowhere(*registration))
            return "No driver is registered under the name " + r->object +
                   " on this computer: the name may be misspelt, or the driver is not installed. Install the "
                   "focuser's driver and choose it again.";
        const int other = bits == 64 ? 32 : 64;
        if (registration && !CanLoad(*registration, bits) && CanLoad(*registration, other))
            return "The driver is registered for " + std::to_string(other) + "-bit programs only, so the " +
                   Bits(bits) + " cannot load it. Use the " + Bits(other) + " with this driver.";
        return "The driver is registered but could not be started: its files may be missing or damaged, or it "
               "failed while starting. Reinstall the focuser's driver.";
    }
    if (NotSupported(*r))
        return "The driver has no member " + r->member +
               ", which Quillomar needs: Quillomar cannot work with this driver.";
    if (r->member == "Link" && p.stage == Stage::Connect)
        return "The driver was found but could not connect to the focuser. Check that the focuser is plugged in "
               "and switched on, that no other program is using it, and the driver's own settings (its port, for "
               "example); then run the check again.";
    if (r->member == "MaxStep")
        return r->failed ? "The driver connected but could not give MaxStep, the focuser's largest position, which "
                           "Quillomar needs to connect."
                         : "The driver connected but gave MaxStep, the focuser's largest position, in a form "
                           "Quillomar cannot use, and Quillomar needs it to connect.";
    // Members called while connected: what each of the program's actions does with the failure.
    if (r->member != "Link" || p.stage == Stage::Disconnect) {
        if (auto consequence = ConsequenceText(r->member))
            return *consequence;
    }
    return "Quillomar stops here with this box.";
}

// "MaxStep failed: ..." or "MaxStep answered ... which Quillomar cannot use as a whole number: ...".
std::string WhatFailed(const Problem& p, const CallRecord* r) {
    if (p.moveTimeout)
        return "IsMoving still answered True after " + std::to_string(p.polls) + " polls, 100 ms apart.";
    if (!r)
        return "The check stopped while " + std::string(StageName(p.stage)) + ".";
    if (r->failed)
        return CallName(*r) + " failed: " + ErrorDetail(*r) + ".";
    if (r->answer) {
        std::string why = ConversionError(r->member, *r->answer).value_or(p.text);
        return r->member + " answered " + DescribeValue(*r->answer) + ", which Quillomar cannot take as " +
               TakenName(TakenAs(r->member)) + ": \"" + why + "\".";
    }
    return CallName(*r) + " was the last call before the failure.";
}

std::string BoxLine(const Problem& p) {
    if (p.moveTimeout)
        return "Quillomar shows \"Move timeout\" in its status line and goes on as if the move had ended.";
    return "Quillomar shows the box \"" + p.caption + "\" with the text \"" + p.text + "\".";
}

// Where the focuser ended after the check sent it back from a troubled outward move.
std::string MoveBackLine(const MovedBack& back) {
    using Result = MovedBack::Result;
    const std::string start = std::to_string(back.target);
    const std::string tried = back.moveFailed ? "The check still tried to move the focuser back to its start position, " +
                                                    start + ", but the move back failed"
                                              : "The check still moved the focuser back to its start position, " + start;
    switch (back.result) {
        case Result::Arrived:
            return tried + (back.moveFailed ? "; the focuser reported " + start + " afterwards." : ", and it arrived there.");
        case Result::Elsewhere:
            return tried + (back.moveFailed ? "; " : ", but it did not arrive: ") + "the focuser reported " +
                   std::to_string(back.reported) + " afterwards.";
        case Result::Counted:
            return "The check still moved the focuser back by the steps it had moved out; a relative focuser cannot "
                   "tell whether it arrived at its start position.";
        case Result::NotKnown: break;
    }
    return "The check still tried to move the focuser back to its start position, " + start +
           ", but the move back, or the wait or position read after it, failed as well: the focuser may not be "
           "where it started.";
}

}  // namespace

std::optional<std::string> ConversionError(const std::string& member, const AutoValue& answer) {
    try {
        switch (TakenAs(member)) {
            case Taken::Integer: ToInt32(answer); break;
            case Taken::Boolean: ToBool(answer); break;
            case Taken::Text: ToText(answer); break;
            case Taken::Unused: break;
        }
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

std::optional<std::string> ConversionNote(const std::string& member, const AutoValue& answer) {
    const Taken taken = TakenAs(member);
    if (taken == Taken::Unused || ConversionError(member, answer))
        return std::nullopt;
    const int type = VariantTypeOf(answer) & ~kVtByRef;
    std::string as;
    switch (taken) {
        case Taken::Integer:
            if (type == kVtI4)
                return std::nullopt;
            as = std::to_string(ToInt32(answer));
            break;
        case Taken::Boolean:
            if (type == kVtBool)
                return std::nullopt;
            as = ToBool(answer) ? "True" : "False";
            break;
        case Taken::Text:
            if (type == kVtBstr)
                return std::nullopt;
            as = "\"" + ToText(answer) + "\"";
            break;
        case Taken::Unused: break;
    }
    return member + " answered " + DescribeValue(answer) + "; Quillomar takes it as " + as + ".";
}

Verdict Judge(const CheckOutcome& outcome, const std::vector<CallRecord>& calls,
              const std::optional<Registration>& registration, int bits, std::optional<int32_t> moveSteps) {
    Verdict verdict;
    auto add = [&](std::string line) { verdict.lines.push_back(std::move(line)); };
    // A driver that cannot be created because of where it is registered: the
    // explanation already says which program to use.
    bool registrationSaid = false;

    if (outcome.cancelled) {
        verdict.exitCode = kExitCancelled;
        add("Verdict: nothing was checked: no driver was chosen in the chooser.");
        return verdict;
    }

    if (outcome.problems.empty()) {
        add("Verdict: this driver works with the " + Bits(bits) + ".");
    } else {
        verdict.exitCode = 1;
        const Problem& p = outcome.problems.front();
        const CallRecord* r = p.callIndex >= 0 && static_cast<size_t>(p.callIndex) < calls.size()
                                  ? &calls[static_cast<size_t>(p.callIndex)]
                                  : nullptr;
        add("Verdict: this driver does not work with the " + Bits(bits) + ".");
        add(WhatFailed(p, r));
        add(BoxLine(p));
        add(Meaning(p, r, registration, bits, moveSteps));
        registrationSaid =
            r && r->access == CallRecord::Access::Create && registration && !CanLoad(*registration, bits);
        for (size_t i = 1; i < outcome.problems.size(); ++i) {
            const Problem& q = outcome.problems[i];
            const CallRecord* s = q.callIndex >= 0 && static_cast<size_t>(q.callIndex) < calls.size()
                                      ? &calls[static_cast<size_t>(q.callIndex)]
                                      : nullptr;
            add("Then, " + std::string(StageName(q.stage)) + ": " + WhatFailed(q, s));
        }
        if (outcome.moveBack)
            add(MoveBackLine(*outcome.moveBack));
    }

    // Answers of an unusual type that the program still takes: worth knowing when
    // positions look odd.
    std::vector<std::string> noted;  // members whose note is given, once each
    for (const CallRecord& r : calls) {
        if (!r.answer || std::ranges::find(noted, r.member) != noted.end())
            continue;
        if (auto note = ConversionNote(r.member, *r.answer)) {
            noted.push_back(r.member);
            add("Note: " + *note);
        }
    }
    if (outcome.connected && outcome.absolute == false)
        add("Note: this is a relative focuser: Quillomar counts its position itself, from 10000 at each "
            "connection.");
    // An absolute focuser's own positions tell whether the moves arrived.
    const auto& at = outcome.positions;
    if (outcome.problems.empty() && moveSteps && outcome.absolute == true && at.size() == 3) {
        if (at[1] == at[0])
            add("Note: the focuser reported the same position, " + std::to_string(at[0]) +
                ", after the move as before it: check that it really moves.");
        else if (at[2] != at[0])
            add("Note: after moving back the focuser reported " + std::to_string(at[2]) + ", not " +
                std::to_string(at[0]) + " where it started: it may still have been moving when IsMoving said it "
                "had stopped.");
    }
    if (outcome.problems.empty()) {
        if (moveSteps)
            add("The focuser moved " + std::to_string(*moveSteps) + " steps and back.");
        else
            add("No move was tried: add --move N to move the focuser N steps and back.");
    }
    if (registration && !registrationSaid)
        add(WhichProgram(*registration));
    return verdict;
}

}  // namespace qm::check
