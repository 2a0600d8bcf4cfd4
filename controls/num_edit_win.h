// TNumEdit: a single-line edit that holds one number, with an embedded spin button
// (TBiButton). The value rules (reading, clamping, stepping, formatting, the typing
// filter) live in the portable num_edit_value.h; this class is the window side.
//
// The parent must reflect WM_COMMAND (controls/reflect_win.h) for OnChange.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qm::win {

class TBiButton;

// The user locale's decimal separator, read once per process.
char LocaleDecimalSeparator();

class TNumEdit {
public:
    TNumEdit();
    virtual ~TNumEdit();
    TNumEdit(const TNumEdit&) = delete;
    TNumEdit& operator=(const TNumEdit&) = delete;

    // Creates the edit (with ES_MULTILINE and WS_CLIPCHILDREN added) and its spin button.
    void Create(HWND parent, int id, int x, int y, int width, int height, HFONT font);
    HWND Handle() const;
    TBiButton& SpinButton();

    // Published properties, in their restore order.
    bool AlwaysSign() const;
    void SetAlwaysSign(bool on);
    bool AlwaysInteger() const;
    void SetAlwaysInteger(bool on);
    bool AutoSelect() const;
    void SetAutoSelect(bool on);
    bool ChangeOnWheel() const;
    void SetChangeOnWheel(bool on);
    bool EditorEnabled() const;
    void SetEditorEnabled(bool on);
    double Increment() const;
    void SetIncrement(double increment);
    int32_t Precision() const;
    void SetPrecision(int32_t precision);
    int32_t Decimals() const;
    void SetDecimals(int32_t decimals);
    double MaxValue() const;
    void SetMaxValue(double value);
    double MinValue() const;
    void SetMinValue(double value);
    double ErrValue() const;
    void SetErrValue(double value);
    bool BeepError() const;
    void SetBeepError(bool on);
    bool ReadOnly() const;
    void SetReadOnly(bool on);

    // The text read as a number and clamped (may beep, see BeepError).
    double Value();
    // Clamps, writes the number as text and clears TextTyped.
    void SetValue(double value);
    int32_t AsInteger();
    double ClampValue(double x) const;

    std::string Text() const;
    void SetText(const std::string& text);
    bool TextTyped() const;

    virtual bool AcceptsChar(char ch) const;
    virtual void StepUp();
    virtual void StepDown();
    virtual void HandleButtonClick(TBiButton& sender);

    std::function<void(TNumEdit& sender)> OnChange;
    std::function<void(TNumEdit& sender)> OnConfirm;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::win
