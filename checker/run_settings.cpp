// Reading the run settings from autofocus.ini through the program's settings component.
#include "checker/run_settings.h"

#include <vector>

#include "common/whole_number.h"
#include "controls/num_edit_value.h"
#include "settings/memory_component.h"

namespace qm::check {

namespace {

// The limits, error value and default of each edit as the window creates it.
NumEditSettings EditLimits(double minValue, double maxValue, double errValue) {
    NumEditSettings settings;
    settings.AlwaysInteger = true;
    settings.MinValue = minValue;
    settings.MaxValue = maxValue;
    settings.ErrValue = errValue;
    return settings;
}

int32_t EditValue(const MemoryComponent& edit, const NumEditSettings& limits, int32_t fallback) {
    if (edit.Text().empty())
        return fallback;
    return ValueAsInteger(ReadValue(edit.Text(), limits, '.').value);
}

}  // namespace

RunSettings ReadRunSettings(SettingsFiles& files) {
    RunSettings run;
    MemoryComponent backlash(1002, ComponentKind::CheckBox), steps(1003, ComponentKind::Edit),
        increment(1004, ComponentKind::Edit), exposures(1005, ComponentKind::Edit);
    TAutoSave save(files);
    save.Tag = 1000;
    save.LoadSettings("autofocus.ini", {&backlash, &steps, &increment, &exposures});
    if (!steps.Text().empty() || !increment.Text().empty() || !exposures.Text().empty())
        run.source = "autofocus.ini";
    run.backlash = backlash.Checked();
    run.steps = EditValue(steps, EditLimits(5, 49, 7), run.steps);
    run.increment = EditValue(increment, EditLimits(1, 999, 100), run.increment);
    run.exposures = EditValue(exposures, EditLimits(1, 9, 2), run.exposures);
    return run;
}

int32_t FirstSweepPosition(const RunSettings& run, int32_t start) {
    return SaturatingAdd(start, -(int64_t{run.increment} * (run.steps / 2)));
}

int32_t LastSweepPosition(const RunSettings& run, int32_t start) {
    return SaturatingAdd(FirstSweepPosition(run, start), int64_t{run.increment} * (run.steps - 1));
}

}  // namespace qm::check
