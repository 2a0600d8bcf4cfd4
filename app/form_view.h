// The controls of the main window as the controller's logic sees them. The Win32
// window implements each of these over a real control; native tests use fakes.
// The controller keeps no connection or run state of its own: that state is the
// enabled state of four buttons, read back through ButtonView.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

class ButtonView {
public:
    virtual ~ButtonView() = default;
    virtual std::string Caption() const = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

class LabelView {
public:
    virtual ~LabelView() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
    // Paints the label now: the caller is about to block the thread.
    virtual void RepaintNow() = 0;
};

class CheckBoxView {
public:
    virtual ~CheckBoxView() = default;
    virtual bool Checked() const = 0;
};

// A numeric edit read as an integer: its value limited to +-2147483647 and
// rounded to the nearest integer, halves to even.
class IntegerSource {
public:
    virtual ~IntegerSource() = default;
    virtual int32_t AsInteger() const = 0;
};

// The log pane: both the display of a run and its record.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void Clear() = 0;
    virtual void AppendLine(const std::string& line) = 0;
    virtual int LineCount() const = 0;
    virtual std::string Line(int index) const = 0;
};

class PageControlView {
public:
    static constexpr int kAutofocusPage = 0;
    static constexpr int kControlPage = 1;
    virtual ~PageControlView() = default;
    virtual int ActivePage() const = 0;
    // Switches the page by program; this does not count as the user switching pages.
    virtual void SetActivePage(int page) = 0;
};

class TimerView {
public:
    virtual ~TimerView() = default;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

// Everything of the window that the controller touches.
struct FormControls {
    ButtonView& ButStart;
    ButtonView& ButStop;
    ButtonView& ButConnect;
    ButtonView& ButDisconnect;
    LabelView& LabStatus;
    LabelView& LabPos;
    CheckBoxView& CBAutoConn;
    CheckBoxView& CBBacklash;
    IntegerSource& EdSteps;
    IntegerSource& EdInc;
    IntegerSource& EdExpo;
    LogView& Memo1;
    PageControlView& PGMain;
    TimerView& Timer1;
};

}  // namespace qm
