// Standard Windows controls as the settings component sees them: a control's window
// handle with the tag and kind the owner gives it. Edits carry text, check boxes and
// radio buttons a checked state, list and combo boxes a selected index.
#pragma once

#include <windows.h>

#include <string>

#include "settings/auto_save.h"

namespace qm::win {

class ControlComponent : public SettingsComponent {
  public:
    // kind is one of Edit, CheckBox, RadioButton, ListBox, ComboBox or Other (a
    // control that keeps no setting); a radio group is not a standard control and is
    // refused with std::invalid_argument.
    ControlComponent(HWND control, int32_t tag, ComponentKind kind);

    int32_t Tag() const override { return tag_; }
    ComponentKind Kind() const override { return kind_; }
    HWND Handle() const { return control_; }

    // Each accessor throws std::runtime_error when the control no longer exists or
    // refuses the value, so that a load stops at that line and a save writes nothing.
    std::string Text() const override;
    void SetText(const std::string& text) override;
    bool Checked() const override;
    void SetChecked(bool checked) override;
    // The selected item of a single-selection list or combo box, -1 when none;
    // setting an index with no item behind it selects nothing.
    int32_t ItemIndex() const override;
    void SetItemIndex(int32_t index) override;

  private:
    HWND Control() const;

    HWND control_;
    int32_t tag_;
    ComponentKind kind_;
};

}  // namespace qm::win
