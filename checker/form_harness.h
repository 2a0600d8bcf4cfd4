// The program's window controller without a window, for the checks: controls that
// only keep what the controller sets, settings kept in memory, and a platform with
// real pauses and clock that writes boxes down instead of showing them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/error_report.h"
#include "app/form_afoc.h"
#include "checker/call_trace.h"
#include "checker/check_run.h"

namespace qm::check {

// Controls without a window: they keep what the controller sets.
class StateButton : public ButtonView {
  public:
    StateButton(std::string caption, bool enabled) : caption_(std::move(caption)), enabled_(enabled) {}
    std::string Caption() const override { return caption_; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }

  private:
    std::string caption_;
    bool enabled_;
};

class StateLabel : public LabelView {
  public:
    explicit StateLabel(std::string text) : text_(std::move(text)) {}
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }
    void RepaintNow() override {}

  private:
    std::string text_;
};

struct StateCheckBox : CheckBoxView {
    bool checked = false;
    bool Checked() const override { return checked; }
};

struct StateNumber : IntegerSource {
    explicit StateNumber(int32_t v) : value(v) {}
    int32_t value;
    int32_t AsInteger() const override { return value; }
};

struct StateLog : LogView {
    std::vector<std::string> lines;
    void Clear() override { lines.clear(); }
    void AppendLine(const std::string& line) override { lines.push_back(line); }
    int LineCount() const override { return static_cast<int>(lines.size()); }
    std::string Line(int index) const override { return lines.at(static_cast<size_t>(index)); }
};

// The check works as the user does on the "Control" page.
struct StatePages : PageControlView {
    int page = kControlPage;
    int ActivePage() const override { return page; }
    void SetActivePage(int p) override { page = p; }
};

struct StateTimer : TimerView {
    bool enabled = false;
    bool Enabled() const override { return enabled; }
    void SetEnabled(bool e) override { enabled = e; }
};

// The settings stay in memory: a check never touches the program's settings file.
class NoFiles : public SettingsFiles {
  public:
    std::string ProgramDirectory() override { return {}; }
    bool Exists(const std::string&) override { return false; }
    std::optional<std::string> ReadAll(const std::string&) override { return std::nullopt; }
    bool ReplaceAll(const std::string&, const std::string&) override { return false; }
};

struct ShownBox {
    std::string caption;
    std::string text;
    size_t recordsBefore;
};

// Real pauses and clock; boxes are written down with the number of calls made before them.
class CheckPlatform : public Platform {
  public:
    CheckPlatform(const CheckServices& services, const CallTrace& trace) : services_(services), trace_(trace) {}

    std::vector<ShownBox> boxes;

    uint32_t TickCount() override { return services_.tickCount(); }
    void Sleep(uint32_t milliseconds) override { services_.sleep(milliseconds); }
    void ProcessWaitingMessages() override {}
    uint32_t RegisterMessage(const std::string&) override { return 0; }
    void PostToWindow(uintptr_t, uint32_t, uintptr_t, intptr_t) override {}
    void ShowError(const std::string& text) override { boxes.push_back({"Error", text, trace_.records().size()}); }
    void ShowErrorReport(const std::string& text) override {
        boxes.push_back({TFormAFoc::kTitle, text, trace_.records().size()});
    }
    std::string ProgramDirectory() override { return {}; }
    bool FileExists(const std::string&) override { return false; }
    void OpenDocument(const std::string&) override {}
    bool StartedWithParametersOrDebugger() override { return true; }
    void MinimiseMainWindow() override {}
    void CloseMainWindow() override {}

    // Runs one of the program's handlers as its window does: an error that escapes
    // becomes the general error report. The problem, when a box showed.
    template <typename Handler>
    std::optional<Problem> Run(Stage stage, Handler handler) {
        const size_t before = boxes.size();
        try {
            handler();
        } catch (const std::exception& error) {
            ShowErrorReport(ErrorReportText(error.what()));
        } catch (...) {
            ShowErrorReport("Unknown error");
        }
        if (boxes.size() == before)
            return std::nullopt;
        const ShownBox& box = boxes[before];
        Problem problem;
        problem.stage = stage;
        problem.caption = box.caption;
        problem.text = box.text;
        problem.callIndex = CallBefore(box.recordsBefore);
        return problem;
    }

  private:
    // The last call before a box, leaving out releases (a failed link releases the
    // driver before its box shows).
    int CallBefore(size_t recordsBefore) const {
        const auto& records = trace_.records();
        for (size_t i = std::min(recordsBefore, records.size()); i > 0; --i) {
            if (records[i - 1].access != CallRecord::Access::Release)
                return static_cast<int>(i - 1);
        }
        return -1;
    }

    const CheckServices& services_;
    const CallTrace& trace_;
};

// The program's controller over the window-less controls and a tracing factory, as
// both the plain check and --conform run it. The controls are public: the checks set
// the run's parameters and read the status line and position display.
class WindowlessForm {
  public:
    WindowlessForm(ObjectFactory& objects, const CheckServices& services, CallTrace& trace)
        : platform(services, trace),
          trace_(trace),
          tracing(objects, trace),
          save(files_),
          form(controls_, platform, tracing, save, [] { return std::vector<SettingsComponent*>{}; }) {
        save.Tag = 1000;
    }

    // The driver the controller created (not the chooser), or empty.
    std::string DriverCreated() const {
        for (const CallRecord& r : trace_.records()) {
            if (r.access == CallRecord::Access::Create && r.object != TFormAFoc::kChooserProgId)
                return r.object;
        }
        return {};
    }

    CheckPlatform platform;

  private:
    CallTrace& trace_;

  public:
    // Creates objects as the program does, for the checks' own calls beside the program's.
    TracingFactory tracing;

  private:
    NoFiles files_;

  public:
    TAutoSave save;
    StateButton start{"Start", false}, stop{"Stop", false}, connect{"Connect", true},
        disconnect{"Disconnect", false};
    StateLabel status{"Disconnected"}, position{"00000"};
    StateCheckBox autoConnect, backlash;
    StateNumber steps{7}, increment{100}, exposures{2};
    StateLog log;
    StatePages pages;
    StateTimer timer;

  private:
    FormControls controls_{start, stop, connect, disconnect, status, position, autoConnect, backlash,
                           steps, increment, exposures, log, pages, timer};

  public:
    TFormAFoc form;
};

}  // namespace qm::check
