// Text for the run page's HTML: escaping of any text taken from a record, and numbers
// to a fixed count of decimals, shared by the page's run sections and its history.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Appends `text` with & < > " and ' written as character references, so that text from a
// record can never add markup to the page, nor a marker comment that would split it.
void AppendHtmlEscaped(std::string& out, std::string_view text);

// `value` to `decimals` decimals; "-" for a value that has no such text (not finite, or
// too large).
std::string FixedDecimals(double value, int decimals);

}  // namespace qm
