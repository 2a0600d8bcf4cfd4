// Settings access to standard controls by window handle: see components_win.h.
#include "settings/components_win.h"

#include <stdexcept>

namespace qm::win {

ControlComponent::ControlComponent(HWND control, int32_t tag, ComponentKind kind)
    : control_(control), tag_(tag), kind_(kind) {
    if (kind == ComponentKind::RadioGroup)
        throw std::invalid_argument("a radio group has no standard control");
}

HWND ControlComponent::Control() const {
    if (!IsWindow(control_))
        throw std::runtime_error("the control no longer exists");
    return control_;
}

std::string ControlComponent::Text() const {
    HWND control = Control();
    // The length may count more than GetWindowTextA copies (double-byte text), never
    // less; the text may also change between the two calls, so use what was copied.
    std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    int copied = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void ControlComponent::SetText(const std::string& text) {
    if (!SetWindowTextA(Control(), text.c_str()))
        throw std::runtime_error("the control refused its text");
}

bool ControlComponent::Checked() const {
    return SendMessageA(Control(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ControlComponent::SetChecked(bool checked) {
    SendMessageA(Control(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int32_t ControlComponent::ItemIndex() const {
    UINT message = kind_ == ComponentKind::ComboBox ? CB_GETCURSEL : LB_GETCURSEL;
    LRESULT index = SendMessageA(Control(), message, 0, 0);
    return index < 0 ? -1 : static_cast<int32_t>(index);
}

void ControlComponent::SetItemIndex(int32_t index) {
    HWND control = Control();
    bool combo = kind_ == ComponentKind::ComboBox;
    // An index with no item behind it selects nothing, as -1 does. The controls
    // themselves differ here between systems (some keep the old selection).
    LRESULT count = SendMessageA(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    if (index < 0 || index >= count)
        index = -1;
    SendMessageA(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(static_cast<intptr_t>(index)), 0);
}

}  // namespace qm::win
