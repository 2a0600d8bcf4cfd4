// Text handling shared by the test tools (SimHost.exe, Probe.exe) that needs no
// window: splitting a log pane's text into lines, escaping text for one-line reports,
// recognising the run's result line, checking that a focuser state file was read
// whole, and widening a message value the way a 32-bit host would send it.
// Portable, so it is tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::sim {

// Splits text at CR LF or a lone LF; a final line break does not start an empty line.
std::vector<std::string> SplitLines(const std::string& text);

// Text with \r, \n, \t, \\ and \" written as escapes and other control characters as
// \xNN, so that it fits on one line of a report.
std::string Escape(const std::string& text);

// The position of a result line ("<position> -> Focus", position right-aligned in at
// least five characters), or nothing for any other line.
std::optional<int64_t> ParseResultLine(const std::string& line);

// Whether a focuser state file's text is complete: it ends with a line break after
// its last key, Stuck=, which the focuser writes last.
bool IsCompleteStateText(const std::string& text);

// A message value as a host built for 32 bits would send it: anything that fits in 32
// bits, signed or unsigned, is taken as a signed 32-bit number and sign-extended; wider
// values stay as they are.
int64_t AsHostValue(int64_t value);

}  // namespace qm::sim
