// Fakes for the controller's seams: controls that remember their state, a platform
// with a simulated clock, and a scripted focuser driver and chooser that record every
// call. The clock only moves when the controller sleeps or a test advances it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/form_afoc.h"

namespace qm::test {

class FakeButton : public ButtonView {
public:
    FakeButton(std::string caption, bool enabled) : caption_(std::move(caption)), enabled_(enabled) {}
    std::string Caption() const override { return caption_; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool e) override { enabled_ = e; }

private:
    std::string caption_;
    bool enabled_;
};

class FakeLabel : public LabelView {
public:
    explicit FakeLabel(std::string text) : text_(std::move(text)) {}
    std::string Text() const override { return text_; }
    void SetText(const std::string& t) override { text_ = t; }
    void RepaintNow() override { painted.push_back(text_); }
    std::vector<std::string> painted;  // the text at each immediate repaint

private:
    std::string text_;
};

struct FakeCheckBox : CheckBoxView {
    bool checked = false;
    bool Checked() const override { return checked; }
};

struct FakeNumber : IntegerSource {
    explicit FakeNumber(int32_t v) : value(v) {}
    int32_t value;
    int32_t AsInteger() const override { return value; }
};

struct FakeLog : LogView {
    std::vector<std::string> lines;
    void Clear() override { lines.clear(); }
    void AppendLine(const std::string& l) override { lines.push_back(l); }
    int LineCount() const override { return static_cast<int>(lines.size()); }
    std::string Line(int i) const override { return lines.at(static_cast<size_t>(i)); }
};

struct FakePages : PageControlView {
    int page = kControlPage;
    int ActivePage() const override { return page; }
    void SetActivePage(int p) override { page = p; }
};

struct FakeTimer : TimerView {
    bool enabled = false;
    bool Enabled() const override { return enabled; }
    void SetEnabled(bool e) override { enabled = e; }
};

struct Post {
    uintptr_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const Post&) const = default;
};

class FakePlatform : public Platform {
public:
    uint32_t now = 5000000;
    std::vector<uint32_t> sleeps;
    std::vector<Post> posts;
    std::vector<std::string> errors;
    std::vector<std::string> reports;
    std::vector<std::string> opened;
    std::set<std::string> existingFiles;
    bool startedWithParameters = true;
    int closeRequests = 0;
    int minimised = 0;
    std::function<void()> onProcessMessages;
    std::function<void(uint32_t)> onSleep;
    // Called while a general error report is on the screen, as the messages that its
    // modal loop dispatches would be.
    std::function<void(const std::string&)> onReport;

    uint32_t TickCount() override { return now; }
    void Sleep(uint32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
        if (onSleep) onSleep(ms);
    }
    void ProcessWaitingMessages() override {
        if (onProcessMessages) onProcessMessages();
    }
    uint32_t RegisterMessage(const std::string& name) override { return name == "ZQ_FOCUSER" ? 0xC123 : 0; }
    void PostToWindow(uintptr_t w, uint32_t m, uintptr_t wp, intptr_t lp) override { posts.push_back({w, m, wp, lp}); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowErrorReport(const std::string& text) override {
        reports.push_back(text);
        if (onReport) onReport(text);
    }
    std::string ProgramDirectory() override { return "C:\\prog\\"; }
    bool FileExists(const std::string& path) override { return existingFiles.count(path) > 0; }
    void OpenDocument(const std::string& path) override { opened.push_back(path); }
    bool StartedWithParametersOrDebugger() override { return startedWithParameters; }
    void MinimiseMainWindow() override { ++minimised; }
    void CloseMainWindow() override { ++closeRequests; }
};

// One recorded automation call: object, kind of access, member, argument description.
struct Call {
    std::string object;
    std::string access;  // "put", "read" or "call"
    std::string member;
    std::string args;
};

// A focuser driver and a chooser sharing one script and one call record.
struct DriverScript {
    bool absolute = true;
    int32_t position = 1000;
    int32_t maxStep = 30000;
    int movingPolls = 0;                  // IsMoving answers true this many times after each move
    bool stuck = false;                   // IsMoving always true
    std::map<std::string, int> failAt;    // member -> fail from this call number on (1-based)
    int32_t failStatus = 0;               // the status those failures carry
    // While set, every call of a driver object fails with this status and text, as
    // calls through the proxy of a driver whose process died do.
    int32_t goneStatus = 0;
    std::string goneMessage;
    std::map<std::string, int> callCount;
    std::string chooseResult = "Sim.Focuser";
    std::set<std::string> creatable = {"DriverHelper.Chooser", "Sim.Focuser", "Other.Focuser"};
    std::vector<Call> calls;
    std::vector<int32_t> moves;           // the argument of every Move
    int pollsLeft = 0;
    bool linked = false;
    // Temperature: an unknown member while unset; otherwise each read answers the value
    // and then adds temperatureStep, or answers temperatureAnswer as it is when that is set.
    std::optional<double> temperature;
    double temperatureStep = 0;
    std::optional<AutoValue> temperatureAnswer;
    // Called inside each Temperature read, as the messages that a call to a driver in
    // another process lets through would be.
    std::function<void()> onTemperature;

    std::vector<std::string> MembersCalled(const std::string& object) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.object == object) out.push_back(c.access + " " + c.member + (c.args.empty() ? "" : "(" + c.args + ")"));
        return out;
    }
};

class FakeObject : public LateBoundObject {
public:
    FakeObject(std::string name, DriverScript& script) : name_(std::move(name)), s_(script) {}

    void PutProperty(const std::string& member, const AutoValue& value) override {
        Record("put", member, Describe(value));
        if (member == "Link") s_.linked = value.boolValue();
    }
    AutoValue Read(const std::string& member) override {
        Record("read", member, "");
        if (member == "Absolute") return AutoValue::Bool(s_.absolute);
        if (member == "Position") return AutoValue::Int(s_.position);
        if (member == "MaxStep") return AutoValue::Int(s_.maxStep);
        if (member == "IsMoving") {
            if (s_.stuck) return AutoValue::Bool(true);
            if (s_.pollsLeft > 0) {
                --s_.pollsLeft;
                return AutoValue::Bool(true);
            }
            return AutoValue::Bool(false);
        }
        if (member == "Choose") return AutoValue::Text(s_.chooseResult);
        if (member == "Temperature" && name_ == "driver") {
            if (s_.onTemperature) s_.onTemperature();
            if (s_.temperatureAnswer) return *s_.temperatureAnswer;
            if (s_.temperature) {
                const double degrees = *s_.temperature;
                *s_.temperature += s_.temperatureStep;
                return AutoValue::Real(degrees);
            }
        }
        throw AutomationError("Method '" + member + "' not supported by automation object");
    }
    AutoValue CallMethod(const std::string& member, const std::vector<AutoValue>& args) override {
        Record("call", member, args.empty() ? "" : Describe(args[0]));
        if (member == "Move") {
            int32_t v = *args.at(0).ref();
            s_.moves.push_back(v);
            // A relative focuser's own count wraps like a hardware counter instead of overflowing.
            s_.position = s_.absolute
                              ? v
                              : static_cast<int32_t>(static_cast<uint32_t>(s_.position) + static_cast<uint32_t>(v));
            s_.pollsLeft = s_.movingPolls;
            return AutoValue::Empty();
        }
        if (member == "Choose") return AutoValue::Text(s_.chooseResult);
        throw AutomationError("Method '" + member + "' not supported by automation object");
    }

private:
    static std::string Describe(const AutoValue& v) {
        switch (v.kind()) {
            case AutoValue::Kind::Bool: return v.boolValue() ? "true" : "false";
            case AutoValue::Kind::Text: return "\"" + v.text() + "\"";
            case AutoValue::Kind::Int32Ref: return "&" + std::to_string(*v.ref());
            case AutoValue::Kind::Int: return std::to_string(v.intValue());
            default: return "?";
        }
    }
    void Record(const std::string& access, const std::string& member, const std::string& args) {
        s_.calls.push_back({name_, access, member, args});
        int n = ++s_.callCount[member];
        if (name_ == "driver" && s_.goneStatus != 0) throw AutomationError(s_.goneMessage, {}, {}, 0, s_.goneStatus);
        auto f = s_.failAt.find(member);
        if (f != s_.failAt.end() && n >= f->second)
            throw AutomationError(member + " failed in the driver", {}, {}, 0, s_.failStatus);
    }
    std::string name_;
    DriverScript& s_;
};

class FakeFactory : public ObjectFactory {
public:
    explicit FakeFactory(DriverScript& s) : s_(s) {}
    std::unique_ptr<LateBoundObject> Create(const std::string& progId) override {
        created.push_back(progId);
        if (onCreate) onCreate(progId);
        if (!s_.creatable.count(progId)) throw AutomationError("Invalid class string");
        return std::make_unique<FakeObject>(progId == "DriverHelper.Chooser" ? "chooser" : "driver", s_);
    }
    std::vector<std::string> created;
    // Called inside each creation, as the messages that the creation of an
    // out-of-process server lets through would be.
    std::function<void(const std::string&)> onCreate;

private:
    DriverScript& s_;
};

// Settings files in memory.
class MemoryFiles : public SettingsFiles {
public:
    std::map<std::string, std::string> files;
    std::string ProgramDirectory() override { return "C:\\prog\\"; }
    bool Exists(const std::string& p) override { return files.count(p) > 0; }
    std::optional<std::string> ReadAll(const std::string& p) override {
        auto it = files.find(p);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
    bool ReplaceAll(const std::string& p, const std::string& c) override {
        files[p] = c;
        return true;
    }
};

// The whole window as fakes, with the layout's initial states, and a controller over it.
struct FakeWindow {
    FakeButton ButStart{"Start", false}, ButStop{"Stop", false}, ButConnect{"Connect", true},
        ButDisconnect{"Disconnect", false};
    FakeLabel LabStatus{"Disconnected"}, LabPos{"00000"};
    FakeCheckBox CBAutoConn, CBBacklash;
    FakeNumber EdSteps{7}, EdInc{100}, EdExpo{2};
    FakeLog Memo1;
    FakePages PGMain;
    FakeTimer Timer1;
    FormControls controls{ButStart, ButStop, ButConnect, ButDisconnect, LabStatus, LabPos, CBAutoConn, CBBacklash,
                          EdSteps,  EdInc,   EdExpo,     Memo1,         PGMain,    Timer1};
    FakePlatform platform;
    DriverScript driver;
    FakeFactory factory{driver};
    MemoryFiles files;
    TAutoSave save{files};
    TFormAFoc form{controls, platform, factory, save, [] { return std::vector<SettingsComponent*>{}; }};

    FakeWindow() { save.Tag = 1000; }

    void Connect() {
        form.ButConnectClick();
        driver.calls.clear();
        driver.callCount.clear();
    }
    // Sends n focus values spaced `gap` ms apart on the simulated clock.
    void SendValues(std::initializer_list<int32_t> values, uint32_t gap = 300) {
        for (int32_t v : values) {
            platform.now += gap;
            form.HandleFocusValue(v);
        }
    }
};

}  // namespace qm::test
