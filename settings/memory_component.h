// A settings component with nothing behind it but memory: an edit's text, a check
// box's state and a list's index. For tools and benchmarks that drive the settings
// component without a window.
#pragma once

#include <string>

#include "settings/auto_save.h"

namespace qm {

class MemoryComponent : public SettingsComponent {
public:
    MemoryComponent(int32_t tag, ComponentKind kind) : tag_(tag), kind_(kind) {}
    int32_t Tag() const override { return tag_; }
    ComponentKind Kind() const override { return kind_; }
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }
    bool Checked() const override { return checked_; }
    void SetChecked(bool checked) override { checked_ = checked; }
    int32_t ItemIndex() const override { return index_; }
    void SetItemIndex(int32_t index) override { index_ = index; }

private:
    int32_t tag_;
    ComponentKind kind_;
    std::string text_;
    bool checked_ = false;
    int32_t index_ = -1;
};

}  // namespace qm
