// Call lines: "  get      MaxStep                          -> 30000 (VT_I4)      0.1 ms".
#include "checker/trace_writer.h"

#include <algorithm>

#include "common/printf_text.h"
#include "common/whole_number.h"

namespace qm::check {

namespace {

constexpr size_t kSubjectWidth = 30;
constexpr size_t kTimeColumn = 66;

std::string Padded(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// "0x%08X": an HRESULT as Windows documents them.
std::string Hex(int32_t status) {
    return "0x" + HexNumber(static_cast<uint32_t>(status), 8, HexCase::Upper);
}

// "%7.1f": right-aligned in the time column.
std::string TimeText(int64_t micros) {
    constexpr size_t kTimeWidth = 7;
    std::string text = PrintfText("%.1f", static_cast<double>(micros) / 1000.0);
    if (text.size() < kTimeWidth)
        text.insert(0, kTimeWidth - text.size(), ' ');
    return text;
}

}  // namespace

std::string FormatCall(const CallRecord& r, int count, int64_t micros, bool withTimes) {
    std::string access, subject, answer;
    switch (r.access) {
        case CallRecord::Access::Create:
            access = "create";
            subject = r.object;
            answer = "object";
            break;
        case CallRecord::Access::Put:
            access = "put";
            subject = r.member + " = " + r.sent;
            answer = "done";
            break;
        case CallRecord::Access::Get:
            access = "get";
            subject = r.member;
            break;
        case CallRecord::Access::Call:
            access = "call";
            subject = r.member + "(" + r.sent + ")";
            break;
        case CallRecord::Access::Release:
            access = "release";
            subject = r.object;
            answer = "released";
            break;
    }
    if (r.failed) {
        answer = "FAILED \"" + r.error + "\"";
        if (r.status != 0)
            answer += " code " + Hex(r.status);
        if (!r.source.empty())
            answer += " source " + r.source;
    } else if (r.answer) {
        answer = DescribeValue(*r.answer);
    }
    if (count > 1)
        answer += ", " + std::to_string(count) + " times";
    std::string line = "  " + Padded(access, 8) + Padded(subject, kSubjectWidth) + " -> " + answer;
    if (!withTimes)
        return line;
    return Padded(line, kTimeColumn) + "  " + TimeText(micros) + (count > 1 ? " ms max" : " ms");
}

bool TraceWriter::SameRead(const CallRecord& a, const CallRecord& b) {
    return a.access == CallRecord::Access::Get && b.access == CallRecord::Access::Get && !a.failed && !b.failed &&
           a.object == b.object && a.member == b.member && a.answer && b.answer &&
           DescribeValue(*a.answer) == DescribeValue(*b.answer);
}

void TraceWriter::Add(const CallRecord& record) {
    if (held_ && SameRead(*held_, record)) {
        ++heldCount_;
        heldMicros_ = std::max(heldMicros_, record.micros);
        return;
    }
    Flush();
    if (record.access == CallRecord::Access::Get && !record.failed) {
        held_ = record;
        heldCount_ = 1;
        heldMicros_ = record.micros;
        return;
    }
    out_(FormatCall(record, 1, record.micros, withTimes_));
}

void TraceWriter::Flush() {
    if (!held_)
        return;
    out_(FormatCall(*held_, heldCount_, heldMicros_, withTimes_));
    held_.reset();
    heldCount_ = 0;
}

}  // namespace qm::check
