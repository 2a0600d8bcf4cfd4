// The focuser binding: choosing, creating and linking an ASCOM focuser driver, and
// moving it, reading its position and waiting for its moves through late-bound calls.
// Absolute focusers report and accept positions; for relative focusers, which only
// take step counts, the position is counted here in SoftPosition.
#include <cmath>
#include <limits>

#include "app/form_afoc.h"
#include "common/whole_number.h"

namespace qm {

namespace {

int32_t ClampToInt32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace

LateBoundObject& TFormAFoc::Driver() {
    ++driverUses_;
    if (!focuserDriver_) throw AutomationError("No focuser is connected");
    return *focuserDriver_;
}

void TFormAFoc::ReportingDriverFailures(FailureSource source, const std::function<void()>& body) {
    const uint64_t usesBefore = driverUses_;
    try {
        body();
    } catch (const std::exception& error) {
        if (!failureReporting_.ShouldShow(source, FailureIdentity::Of(error))) return;
        throw;
    }
    if (driverUses_ != usesBefore) failureReporting_.EndStreak();
}

bool TFormAFoc::ConnectFocuser() {
    bool result = true;
    std::string identifier;

    try {
        std::unique_ptr<LateBoundObject> chooser = objects_.Create(kChooserProgId);
        chooser->PutProperty("DeviceType", AutoValue::Text("Focuser"));
        if (settings_.TagString.size() >= 4) {
            if (c_.CBAutoConn.Checked())
                identifier = settings_.TagString;
            else
                identifier = ToText(chooser->CallMethod("Choose", {AutoValue::Text(settings_.TagString)}));
        } else {
            identifier = ToText(chooser->Read("Choose"));
        }
    } catch (const std::exception&) {
        result = false;
        platform_.ShowError("ASCOM drivers not found.");
    }

    // An empty identifier is the user's cancel in the chooser: no message.
    if (identifier.empty()) result = false;

    if (result) {
        // A new driver object: whatever the previous one failed with is of the past.
        failureReporting_.EndStreak();
        try {
            focuserDriver_ = objects_.Create(identifier);
        } catch (const std::exception&) {
            focuserDriver_.reset();
            result = false;
            platform_.ShowError("ASCOM focuser not found.");
        }
    }

    if (result) {
        // Remembered before linking: a driver that exists but fails to link is still the
        // user's choice and is offered again next time.
        settings_.TagString = identifier;
        try {
            focuserDriver_->PutProperty("Link", AutoValue::Bool(true));
            focuserMaxStep_ = ToInt32(focuserDriver_->Read("MaxStep"));
        } catch (const std::exception&) {
            result = false;
            focuserDriver_.reset();
            platform_.ShowError("Focuser not recognized.");
        }
    }
    return result;
}

void TFormAFoc::MoveFocuserTo(int32_t target) {
    LateBoundObject& driver = Driver();
    if (ToBool(driver.Read("Absolute"))) {
        if (target < 0) target = 0;
        if (target > focuserMaxStep_) target = focuserMaxStep_;
        int32_t argument = target;
        driver.CallMethod("Move", {AutoValue::Int32Ref(&argument)});
    } else {
        // The step count saturates rather than overflow when target and count are far apart.
        const int32_t steps = ClampToInt32(static_cast<int64_t>(target) - softPosition_);
        int32_t argument = steps;
        driver.CallMethod("Move", {AutoValue::Int32Ref(&argument)});
        softPosition_ = SaturatingAdd(softPosition_, steps);
    }
}

int32_t TFormAFoc::GetFocuserPosition() {
    LateBoundObject& driver = Driver();
    if (ToBool(driver.Read("Absolute"))) return ToInt32(driver.Read("Position"));
    return softPosition_;
}

std::optional<double> TFormAFoc::ReadFocuserTemperature() {
    // Through the driver object itself rather than Driver(): the record's read neither
    // ends nor starts a failure streak, and many drivers have no thermometer at all.
    if (!focuserDriver_) return std::nullopt;
    try {
        const AutoValue value = focuserDriver_->Read("Temperature");
        double degrees = 0;
        if (value.kind() == AutoValue::Kind::Real)
            degrees = value.realValue();
        else if (value.kind() == AutoValue::Kind::Int)
            degrees = static_cast<double>(value.intValue());
        else
            return std::nullopt;
        if (!std::isfinite(degrees)) return std::nullopt;
        return degrees;
    } catch (...) {
        // Unknown, not implemented or failing: the record holds no temperature.
        return std::nullopt;
    }
}

void TFormAFoc::WaitWhileMoving() {
    c_.LabStatus.SetText("Moving ...");
    c_.LabStatus.RepaintNow();
    bool stillMoving = true;
    for (int poll = 0; poll < kMovePollLimit && stillMoving; ++poll) {
        platform_.Sleep(kMovePollInterval);
        stillMoving = ToBool(Driver().Read("IsMoving"));
    }
    // A focuser that never reported the end of its move must not read as a success.
    c_.LabStatus.SetText(stillMoving ? "Move timeout" : "OK");
    c_.LabStatus.RepaintNow();
    platform_.Sleep(kAfterMovePause);
}

}  // namespace qm
