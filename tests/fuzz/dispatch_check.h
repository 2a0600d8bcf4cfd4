// The controller's message dispatch under arbitrary input: the input is decoded into a
// sequence of events (host messages with any code and value, the user's clicks on
// enabled buttons of the shown page, page switches, timer ticks, clock advances,
// changes of the run parameters and check boxes, and a fake focuser that may stall or
// fail) played against TFormAFoc. Events marked as queued arrive while the one before
// them is being handled, so Start's one pass over waiting messages handles them.
//
// After every event: the four buttons are in one of the states of the state table
// (Disconnected, Connected idle, Starting, Running), a driver is held exactly while
// connected, the log holds at most Steps + 1 lines, no more reports were posted than
// runs completed, each report is code 4 with value 44 to a host window, and HostWindow
// is 0 after a report until the host sends its handle again.
//
// Shared by the libFuzzer target and by the regression cases of the unit tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/core/form_fakes.h"
#include "tests/fuzz/byte_reader.h"

namespace qm::fuzz {

namespace dispatch_check {

using namespace qm::test;

enum class Kind {
    Host,  // a focuser message: code and value
    ClickStart,
    ClickStop,
    ClickConnect,
    ClickDisconnect,
    SwitchPage,  // the user switches to the other page
    TimerTick,
    StepClick,  // one of the six step buttons
    Advance,    // the clock moves on
    SetSteps,
    SetIncrement,
    SetExpo,
    ToggleBacklash,
    ToggleAutoConnect,
    DriverMoving,  // how many polls a move lasts, or a stuck focuser
    DriverFails,   // a member fails from a later call on, or failures end
    FocusBurst,    // focus values a little more than 200 ms apart
};

struct Event {
    Kind kind = Kind::Host;
    bool queued = false;
    uint64_t code = 0;
    int64_t value = 0;
    int64_t extra = 0;
};

constexpr const char* kStepCaptions[] = {"-1", "+1", "-10", "+10", "-100", "+100", "x"};
constexpr const char* kMembers[] = {"Move", "Position", "IsMoving", "Absolute", "Link", "MaxStep", "Choose"};

inline int32_t FocusValue(ByteReader& in) {
    return in.Byte() < 240 ? static_cast<int32_t>(in.InRange(-5, 600)) : in.I32();
}

// One event from the input. The first byte's top bit marks a queued event; the rest
// chooses the kind, with focus values the most frequent.
inline Event Decode(ByteReader& in) {
    Event e;
    const uint8_t op = in.Byte();
    e.queued = (op & 0x80) != 0;
    const int kind = op & 0x7F;
    if (kind < 20) {
        e.kind = Kind::Host;
        e.code = 0;
        e.value = FocusValue(in);
    } else if (kind < 23) {
        e.kind = Kind::Host;
        e.code = 2;
        e.value = 21 + in.InRange(0, 2);
    } else if (kind < 25) {
        e.kind = Kind::Host;
        e.code = 3;
        e.value = in.Bool() ? in.InRange(0, 3) : static_cast<int64_t>(in.U64());
    } else if (kind < 28) {
        e.kind = Kind::Host;
        e.code = static_cast<uint64_t>(in.InRange(1, 8));
        e.value = in.Bool() ? in.InRange(-200, 200) : static_cast<int64_t>(in.U64());
    } else if (kind < 29) {
        e.kind = Kind::Host;
        e.code = in.U64();
        e.value = static_cast<int64_t>(in.U64());
    } else if (kind < 33) {
        e.kind = Kind::ClickStart;
    } else if (kind < 35) {
        e.kind = Kind::ClickStop;
    } else if (kind < 38) {
        e.kind = Kind::ClickConnect;
    } else if (kind < 40) {
        e.kind = Kind::ClickDisconnect;
    } else if (kind < 43) {
        e.kind = Kind::SwitchPage;
    } else if (kind < 45) {
        e.kind = Kind::TimerTick;
    } else if (kind < 47) {
        e.kind = Kind::StepClick;
        e.value = in.InRange(0, 6);
    } else if (kind < 53) {
        e.kind = Kind::Advance;
        e.value = in.Byte() < 250 ? in.InRange(0, 1000) : in.U32();
    } else if (kind == 53) {
        e.kind = Kind::SetSteps;
        e.value = in.Byte() < 230 ? in.InRange(5, 49) : in.I32();
    } else if (kind == 54) {
        e.kind = Kind::SetIncrement;
        e.value = in.Byte() < 230 ? in.InRange(1, 999) : in.I32();
    } else if (kind == 55) {
        e.kind = Kind::SetExpo;
        e.value = in.Byte() < 230 ? in.InRange(1, 9) : in.I32();
    } else if (kind == 56) {
        e.kind = Kind::ToggleBacklash;
    } else if (kind == 57) {
        e.kind = Kind::ToggleAutoConnect;
    } else if (kind == 58) {
        e.kind = Kind::DriverMoving;
        e.value = in.InRange(0, 4);
        e.extra = in.Byte() > 250;  // stuck
    } else if (kind == 59) {
        e.kind = Kind::DriverFails;
        e.value = in.InRange(-1, 6);  // -1: all failures end
        e.extra = in.InRange(1, 4);
    } else {
        e.kind = Kind::FocusBurst;
        e.value = in.InRange(1, 24);
        e.extra = FocusValue(in);
    }
    return e;
}

class StatusLabel : public LabelView {
  public:
    std::string Text() const override { return text_; }
    void SetText(const std::string& t) override { text_ = t; }
    void RepaintNow() override {
        // A completed run shows its outcome and paints it before the final moves.
        if (text_ == "Error" || text_.rfind("Best Focus = ", 0) == 0)
            ++completedRuns;
    }
    int completedRuns = 0;

  private:
    std::string text_ = "Disconnected";
};

class RunLog : public LogView {
  public:
    std::function<void()> onClear;
    std::vector<std::string> lines;
    void Clear() override {
        lines.clear();
        if (onClear)
            onClear();
    }
    void AppendLine(const std::string& l) override { lines.push_back(l); }
    int LineCount() const override { return static_cast<int>(lines.size()); }
    std::string Line(int i) const override { return lines.at(static_cast<size_t>(i)); }
};

class RigPlatform : public FakePlatform {
  public:
    std::function<void()> onPost;
    void PostToWindow(uintptr_t w, uint32_t m, uintptr_t wp, intptr_t lp) override {
        FakePlatform::PostToWindow(w, m, wp, lp);
        if (onPost)
            onPost();
    }
};

// The window as fakes, with the layout's initial states, and the controller over it.
struct Rig {
    FakeButton ButStart{"Start", false}, ButStop{"Stop", false}, ButConnect{"Connect", true},
        ButDisconnect{"Disconnect", false};
    StatusLabel LabStatus;
    FakeLabel LabPos{"00000"};
    FakeCheckBox CBAutoConn, CBBacklash;
    FakeNumber EdSteps{7}, EdInc{100}, EdExpo{2};
    RunLog Memo1;
    FakePages PGMain;
    FakeTimer Timer1;
    FormControls controls{ButStart,   ButStop, ButConnect, ButDisconnect, LabStatus, LabPos, CBAutoConn,
                          CBBacklash, EdSteps, EdInc,      EdExpo,        Memo1,     PGMain, Timer1};
    RigPlatform platform;
    DriverScript driver;
    FakeFactory factory{driver};
    MemoryFiles files;
    TAutoSave save{files};
    TFormAFoc form{controls, platform, factory, save, [] { return std::vector<SettingsComponent*>{}; }};
};

inline const char* KindName(Kind k) {
    constexpr const char* kNames[] = {"host",
                                      "click Start",
                                      "click Stop",
                                      "click Connect",
                                      "click Disconnect",
                                      "switch page",
                                      "timer tick",
                                      "step click",
                                      "advance",
                                      "set Steps",
                                      "set Increment",
                                      "set Expo",
                                      "toggle backlash",
                                      "toggle auto connect",
                                      "driver moving",
                                      "driver fails",
                                      "focus burst"};
    return kNames[static_cast<int>(k)];
}

class Player {
  public:
    Player(Rig& rig, std::string* trace) : w_(rig), trace_(trace) {
        w_.platform.onProcessMessages = [this] {
            while (!waiting_.empty() && failure_.empty()) {
                Event e = waiting_.front();
                waiting_.pop_front();
                Deliver(e);
            }
        };
        w_.platform.onPost = [this] { lastPost_ = ++stamp_; };
        w_.Memo1.onClear = [this] { stepsSinceClear_ = w_.EdSteps.value; };
    }

    std::string Play(const std::vector<Event>& events) {
        size_t next = 0;
        while ((next < events.size() || !waiting_.empty()) && failure_.empty()) {
            Event e;
            if (!waiting_.empty()) {
                e = waiting_.front();
                waiting_.pop_front();
            } else {
                e = events[next++];
                while (next < events.size() && events[next].queued)
                    waiting_.push_back(events[next++]);
            }
            Deliver(e);
        }
        if (trace_) {
            *trace_ += "runs completed " + std::to_string(w_.LabStatus.completedRuns) + ", reports " +
                       std::to_string(w_.platform.posts.size()) + ", error reports " + std::to_string(errorReports_) +
                       ", log:";
            for (const std::string& line : w_.Memo1.lines)
                *trace_ += " [" + line + "]";
            *trace_ += "\n";
        }
        return failure_;
    }

  private:
    // Runs one handler as the window does: an error ends the handling and is reported.
    template <typename Handler>
    void Guarded(Handler&& handler) {
        try {
            handler();
        } catch (const std::exception&) {
            ++errorReports_;
        }
    }

    void Deliver(const Event& e) {
        if (!failure_.empty())
            return;
        Rig& w = w_;
        if (trace_) {
            *trace_ += std::string(depth_, ' ') + KindName(e.kind) + (e.queued ? " (queued)" : "") + " " +
                       std::to_string(e.code) + " " + std::to_string(e.value) + " " + std::to_string(e.extra) + "\n";
        }
        ++depth_;
        const bool autofocusPage = w.PGMain.page == PageControlView::kAutofocusPage;
        switch (e.kind) {
            case Kind::Host:
                if (e.code == 3)
                    lastHostHandle_ = ++stamp_;
                Guarded([&] { w.form.HandleFocuserMessage(e.code, static_cast<intptr_t>(e.value)); });
                break;
            case Kind::ClickStart:
                if (autofocusPage && w.ButStart.Enabled())
                    Guarded([&] { w.form.ButStartClick(); });
                break;
            case Kind::ClickStop:
                if (autofocusPage && w.ButStop.Enabled())
                    Guarded([&] { w.form.ButStopClick(); });
                break;
            case Kind::ClickConnect:
                if (!autofocusPage && w.ButConnect.Enabled())
                    Guarded([&] { w.form.ButConnectClick(); });
                break;
            case Kind::ClickDisconnect:
                if (!autofocusPage && w.ButDisconnect.Enabled())
                    Guarded([&] { w.form.ButDisconnectClick(); });
                break;
            case Kind::SwitchPage:
                w.PGMain.page = autofocusPage ? PageControlView::kControlPage : PageControlView::kAutofocusPage;
                Guarded([&] { w.form.PGMainChange(); });
                break;
            case Kind::TimerTick:
                if (w.Timer1.Enabled())
                    Guarded([&] { w.form.Timer1Timer(); });
                break;
            case Kind::StepClick:
                if (!autofocusPage) {
                    FakeButton button{kStepCaptions[e.value], true};
                    Guarded([&] { w.form.ButStepClick(button); });
                }
                break;
            case Kind::Advance:
                w.platform.now += static_cast<uint32_t>(e.value);
                break;
            case Kind::SetSteps:
                w.EdSteps.value = static_cast<int32_t>(e.value);
                stepsSinceClear_ = std::max<int64_t>(stepsSinceClear_, w.EdSteps.value);
                break;
            case Kind::SetIncrement:
                w.EdInc.value = static_cast<int32_t>(e.value);
                break;
            case Kind::SetExpo:
                w.EdExpo.value = static_cast<int32_t>(e.value);
                break;
            case Kind::ToggleBacklash:
                w.CBBacklash.checked = !w.CBBacklash.checked;
                break;
            case Kind::ToggleAutoConnect:
                w.CBAutoConn.checked = !w.CBAutoConn.checked;
                break;
            case Kind::DriverMoving:
                w.driver.movingPolls = static_cast<int>(e.value);
                w.driver.stuck = e.extra != 0;
                break;
            case Kind::DriverFails:
                if (e.value < 0) {
                    w.driver.failAt.clear();
                } else {
                    const std::string member = kMembers[e.value];
                    w.driver.failAt[member] = w.driver.callCount[member] + static_cast<int>(e.extra);
                }
                break;
            case Kind::FocusBurst:
                for (int64_t i = 0; i < e.value && failure_.empty(); ++i) {
                    w.platform.now += 250;
                    Guarded([&] { w.form.HandleFocuserMessage(0, static_cast<intptr_t>(e.extra + i)); });
                    Check();
                }
                break;
        }
        // The call record grows with every driver call; only the failure counts matter here.
        w.driver.calls.clear();
        w.driver.moves.clear();
        --depth_;
        Check();
    }

    void Check() {
        if (!failure_.empty())
            return;
        Rig& w = w_;
        const bool c = w.ButConnect.Enabled(), d = w.ButDisconnect.Enabled(), s = w.ButStart.Enabled(),
                   t = w.ButStop.Enabled();
        const bool legal =
            (c && !d && !s && !t) || (!c && d && s && !t) || (!c && d && !s && !t) || (!c && d && !s && t);
        if (!legal) {
            failure_ = std::string("illegal button state: Connect ") + (c ? "on" : "off") + ", Disconnect " +
                       (d ? "on" : "off") + ", Start " + (s ? "on" : "off") + ", Stop " + (t ? "on" : "off");
            return;
        }
        if (w.form.IsConnected() != w.form.HasDriver()) {
            failure_ = "a driver is held while disconnected, or none while connected";
            return;
        }
        const int64_t allowed = std::max<int64_t>(stepsSinceClear_, 1) + 1;
        if (static_cast<int64_t>(w.Memo1.lines.size()) > allowed) {
            failure_ = "the log holds " + std::to_string(w.Memo1.lines.size()) + " lines, more than Steps + 1";
            return;
        }
        if (static_cast<int>(w.platform.posts.size()) > w.LabStatus.completedRuns) {
            failure_ = "more reports posted than runs completed";
            return;
        }
        for (const Post& p : w.platform.posts) {
            if (p.window == 0 || p.message != 0xC123 || p.wParam != 4 || p.lParam != 44) {
                failure_ = "a report other than code 4, value 44 to a host window";
                return;
            }
        }
        if (lastPost_ > lastHostHandle_ && w.form.HostWindow() != 0) {
            failure_ = "HostWindow is not 0 after a report";
            return;
        }
    }

    Rig& w_;
    std::string* trace_;
    size_t depth_ = 0;
    std::deque<Event> waiting_;
    std::string failure_;
    int64_t stepsSinceClear_ = 7;
    uint64_t stamp_ = 0;
    uint64_t lastPost_ = 0;
    uint64_t lastHostHandle_ = 0;
    int errorReports_ = 0;
};

}  // namespace dispatch_check

// Returns an empty text when every invariant holds, else what broke. With `trace`, the
// events as they are handled, indented by their nesting, are appended to it.
inline std::string CheckDispatch(const uint8_t* data, size_t size, std::string* trace = nullptr) {
    using namespace dispatch_check;
    ByteReader in(data, size);
    Rig rig;
    const uint8_t setup = in.Byte();
    rig.driver.absolute = (setup & 1) == 0;
    rig.driver.position = (setup & 2) ? in.I32() : static_cast<int32_t>(in.InRange(-200, 40000));
    rig.driver.maxStep = (setup & 4) ? in.I32() : static_cast<int32_t>(in.InRange(0, 60000));
    rig.driver.movingPolls = static_cast<int>(in.InRange(0, 2));
    rig.CBAutoConn.checked = (setup & 8) != 0;
    rig.CBBacklash.checked = (setup & 16) != 0;
    if (setup & 32)
        rig.save.TagString = "Sim.Focuser";  // a remembered driver: connects at showing
    rig.save.Tag = 1000;

    std::vector<Event> events;
    while (!in.Empty() && events.size() < 2000)
        events.push_back(Decode(in));

    Player player(rig, trace);
    rig.form.FormCreate();
    try {
        rig.form.FormShow();
    } catch (const std::exception&) {
    }
    return player.Play(events);
}

}  // namespace qm::fuzz
