// The call lines of a check's report, one per call, written as the calls happen.
// Consecutive identical reads (the polls of a wait) make one line with their count.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "checker/call_trace.h"

namespace qm::check {

// One call's line, for `count` identical reads in a row, with the longest time
// among them; times left out when `withTimes` is false.
std::string FormatCall(const CallRecord& record, int count, int64_t micros, bool withTimes);

class TraceWriter {
  public:
    using LineSink = std::function<void(const std::string&)>;
    TraceWriter(LineSink out, bool withTimes) : out_(std::move(out)), withTimes_(withTimes) {}

    void Add(const CallRecord& record);
    // Writes a held-back group of reads.
    void Flush();

  private:
    static bool SameRead(const CallRecord& a, const CallRecord& b);

    LineSink out_;
    bool withTimes_;
    std::optional<CallRecord> held_;
    int heldCount_ = 0;
    int64_t heldMicros_ = 0;
};

}  // namespace qm::check
