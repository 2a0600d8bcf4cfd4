// The parts of the check's report around the call lines: the heading, the
// registration found and the verdict, as plain lines that a user can paste into a
// support request.
#pragma once

#include <string>
#include <vector>

#include "checker/command_line.h"
#include "checker/registration.h"
#include "checker/verdict.h"

namespace qm::check {

constexpr size_t kReportWidth = 78;

// Words of `text` in lines of at most `width` characters (a longer word stands on
// its own line); the first line starts with `first`, the others with `next`.
std::vector<std::string> WrapWords(const std::string& text, size_t width, const std::string& first,
                                   const std::string& next);

std::vector<std::string> HeadingLines(const CommandLine& line, int bits);
std::vector<std::string> RegistrationLines(const Registration& registration);
std::vector<std::string> VerdictLines(const Verdict& verdict);

}  // namespace qm::check
