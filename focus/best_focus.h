// The best-focus computation of an autofocus run, from the step lines of its log.
// Each step line is "<position> = <focus value>"; the best line is the first with
// the largest value, and the result is interpolated between it and its neighbours.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Formats a step line: the position right-aligned in five characters, " = ", the value.
std::string FormatStepLine(int32_t position, int32_t focusValue);
// Splits a step line into its position and focus value; 0 for a part that is not a number.
void ReadStepLine(std::string_view line, int32_t& position, int32_t& focus);
// Formats the result line: the position right-aligned in five characters, " -> Focus".
std::string FormatResultLine(int32_t position);

// The interpolated position of best focus, or 0 when it cannot be computed: fewer than
// five lines, a line whose position or focus value is 0 or unreadable, or a result of 0.
// `increment` is the distance between sweep positions, which scales the interpolation.
int32_t ComputeBestFocusFromLines(const std::vector<std::string>& lines, int32_t increment);

}  // namespace qm
