// What "QmDriverCheck --options" prints: the run options the Quillomar.exe beside it
// will use, read from its options file as the program reads it, and every line of the
// file that the program ignores, with the reason. The program itself shows neither.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qm::check {

// `text` is the file's content, or nothing when it is missing or cannot be read.
std::vector<std::string> OptionsReportLines(const std::string& path, const std::optional<std::string>& text);

}  // namespace qm::check
