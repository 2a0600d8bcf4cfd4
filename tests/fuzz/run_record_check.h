// Invariants of what the program reads back of its own files and the user's: the
// options file "autofocus-options.ini" (any bytes, any encoding), the record file's
// lines, appends and trims, and the page made from any record text. Each Check returns
// an empty string, or what went wrong.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record/recorded_run.h"
#include "record/run_options.h"
#include "record/run_page.h"
#include "record/run_record.h"
#include "record/run_record_file.h"
#include "record/text_encoding.h"
#include "tests/fuzz/byte_reader.h"

namespace qm::fuzz {

namespace record_check {

struct Rejection {
    int line;
    std::string text;
    OptionLineFault fault;
    bool operator==(const Rejection&) const = default;
};

class Rejections : public RejectedOptionLines {
  public:
    std::vector<Rejection> list;
    void Add(int lineNumber, std::string_view text, OptionLineFault fault) override {
        list.push_back({lineNumber, std::string(text), fault});
    }
};

inline bool Same(const RunOptions& a, const RunOptions& b) {
    return a.bestFocus == b.bestFocus && a.curveCheck == b.curveCheck && a.runRecord == b.runRecord &&
           a.sweep == b.sweep;
}

// Whether `text` is valid UTF-8 (no surrogates, no overlong forms, nothing past U+10FFFF).
inline bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = code << 6 | (d & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// `utf8` (valid UTF-8) as UTF-16 with its mark, little- or big-endian.
inline std::string AsUtf16(std::string_view utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    const auto unit = [&](uint32_t u) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
        i += length;
    }
    return out;
}

}  // namespace record_check

// The options file: any bytes read without fault; what it turns into is UTF-8; a
// rejected line is reported with its number, in order, without blanks at its ends; and
// the same text saved as UTF-8 with a mark, as UTF-16 of either byte order, or with CR LF
// line ends reads the same.
inline std::string CheckRunOptions(const uint8_t* data, size_t size) {
    using namespace record_check;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Rejections rejected;
    const RunOptions options = ParseRunOptions(bytes, &rejected);
    const std::string utf8 = TextAsUtf8(bytes);
    const TextEncoding encoding = DetectTextEncoding(bytes);
    // UTF-16 becomes UTF-8 (a unit that is no character as U+FFFD); a text with a UTF-8
    // mark keeps its bytes, as a plain one does.
    if ((encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) && !IsUtf8(utf8))
        return "UTF-16 text did not become valid UTF-8";
    int lines = 1;
    for (char c : utf8)
        lines += c == '\n';
    int previous = 0;
    for (const Rejection& r : rejected.list) {
        if (r.line <= previous || r.line > lines)
            return "rejected line numbers out of order or past the end";
        previous = r.line;
        const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        if (r.text.empty() || r.text[0] == ';' || blank(r.text.front()) || blank(r.text.back()) ||
            r.text.find('\n') != std::string::npos)
            return "a rejected line is reported with blanks, empty, a comment, or more than one line";
    }

    // The same text, saved otherwise. Only a plain text without a mark of its own and
    // valid as UTF-8 has one meaning in every encoding.
    if (encoding != TextEncoding::Plain || !IsUtf8(bytes) || bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return {};
    std::string crlf;
    for (char c : bytes) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const std::string variants[] = {"\xEF\xBB\xBF" + std::string(bytes), AsUtf16(bytes, false), AsUtf16(bytes, true),
                                    crlf};
    for (const std::string& variant : variants) {
        Rejections again;
        if (!Same(ParseRunOptions(variant, &again), options))
            return "the same text in another encoding or with CR LF reads as other options";
        if (again.list.size() != rejected.list.size())
            return "the same text in another encoding or with CR LF rejects other lines";
        for (size_t i = 0; i < again.list.size(); ++i)
            if (again.list[i].line != rejected.list[i].line || again.list[i].fault != rejected.list[i].fault)
                return "the same text in another encoding or with CR LF rejects other lines";
    }
    return {};
}

// The record file: the first byte chooses a trim limit, the rest is the file's text.
// Its complete lines are not empty and hold no LF; an append adds exactly the new line after
// the complete lines and the torn fragment as a line of its own; a trim keeps the last
// `limit` lines that read as records and every line that neither reads nor is a torn
// fragment, in order, each whole, and trims nothing more when done again; a line that
// reads is refused with any byte added or taken from its end.
inline std::string CheckRunRecordFile(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const size_t limit = static_cast<size_t>(in.InRange(0, 40));
    const std::string text = in.Rest();
    const std::vector<std::string_view> lines = CompleteRecordLines(text);
    std::vector<std::string_view> records;
    for (std::string_view line : lines) {
        if (line.empty() || line.find('\n') != line.npos)
            return "a complete line is empty or holds an LF";
        if (ReadRunRecordLine(line)) {
            records.push_back(line);
            if (ReadRunRecordLine(std::string(line) + "}") || ReadRunRecordLine(line.substr(0, line.size() - 1)))
                return "a record line still reads with a byte added or taken off";
        }
    }

    RunRecord record;
    record.timeUtc = "2026-12-09T18:00:00Z";
    record.driverId = "New.Run";
    const std::string line = FormatRunRecordLine(record);
    const std::string appended = text + RecordAppendBytes(text, line);
    std::vector<std::string_view> expected = lines;
    const size_t lastLf = text.rfind('\n');
    std::string_view fragment = std::string_view(text).substr(lastLf == text.npos ? 0 : lastLf + 1);
    if (!fragment.empty() && fragment.back() == '\r')
        fragment.remove_suffix(1);
    if (!fragment.empty())
        expected.push_back(fragment);
    expected.push_back(line);
    if (CompleteRecordLines(appended) != expected)
        return "an append did not add the line, after the torn fragment as a line of its own";

    const std::string trimmed = TrimmedRecord(text, limit);
    if (!trimmed.empty() && trimmed.back() != '\n')
        return "a trim left a partial last line";
    // In their order: the last records up to the limit, and every line that does not read
    // and is no torn fragment.
    const size_t count = records.size() < limit ? records.size() : limit;
    std::vector<std::string_view> expectedKept;
    size_t recordIndex = 0;
    for (std::string_view line : lines) {
        if (ReadRunRecordLine(line)) {
            if (recordIndex++ >= records.size() - count)
                expectedKept.push_back(line);
        } else if (!IsTornRecordLine(line)) {
            expectedKept.push_back(line);
        }
    }
    if (CompleteRecordLines(trimmed) != expectedKept)
        return "a trim kept other than the last records up to the limit and the lines it cannot read";
    if (TrimmedRecord(trimmed, limit) != trimmed)
        return "a second trim changed the file";
    return {};
}

// A record built from the input, written and read back, gives its own fields (numbers
// to the four decimals the line keeps).
inline std::string CheckRunRecordRoundTrip(ByteReader& in) {
    RunRecord r;
    r.timeUtc = in.Text(24);
    r.driverId = in.Text(40);
    r.steps = in.I32();
    r.increment = in.I32();
    r.exposuresPerStep = in.I32();
    for (int n = static_cast<int>(in.InRange(0, 4)); n > 0; --n) {
        RunStep p{in.I32(), in.I32(), {}};
        for (int k = static_cast<int>(in.InRange(0, 3)); k > 0; --k)
            p.values.push_back(in.I32());
        r.points.push_back(p);
    }
    r.outcome = static_cast<RunOutcome>(in.InRange(0, 2));
    r.durationMs = in.U32();
    if (in.Bool())
        r.movedTo = in.I32();
    if (in.Bool())
        r.temperatureAtStart = static_cast<double>(in.I32()) / 100;
    if (in.Bool())
        r.temperatureAtEnd = in.RawDouble();
    if (in.Bool()) {
        RunVerdict v;
        v.threePoint = in.I32();
        v.fitConverged = in.Bool();
        v.fitPeak = static_cast<double>(in.I32()) / 10;
        v.fitQuality = static_cast<double>(in.I16()) / 1000;
        v.droppedPosition = in.I32();
        v.checkPassed = in.Bool();
        v.checkReason = in.Text(20);
        r.verdict = v;
    }
    const std::string line = FormatRunRecordLine(r);
    const std::optional<RecordedRun> read = ReadRunRecordLine(line);
    if (!read)
        return "the reader refused a line the writer wrote: " + line;
    if (read->steps != r.steps || read->increment != r.increment || read->exposuresPerStep != r.exposuresPerStep ||
        read->points != r.points || read->outcome != r.outcome || read->durationMs != r.durationMs ||
        read->movedTo != r.movedTo || read->temperatureAtStart != r.temperatureAtStart ||
        read->verdict.has_value() != r.verdict.has_value())
        return "a field read back other than written: " + line;
    // The writer writes null for a number without a decimal text of four decimals.
    if (read->temperatureAtEnd.has_value() !=
        (r.temperatureAtEnd && std::isfinite(*r.temperatureAtEnd) &&
         std::fabs(std::nearbyint(*r.temperatureAtEnd * 10000)) < 9007199254740992.0))
        return "a temperature read back other than written: " + line;
    if (r.verdict && (read->verdict->threePoint != r.verdict->threePoint ||
                      read->verdict->droppedPosition != r.verdict->droppedPosition ||
                      (r.verdict->fitConverged && read->verdict->fitPeak != r.verdict->fitPeak)))
        return "the verdict read back other than written: " + line;
    // Text without bytes that are not UTF-8 comes back byte for byte.
    if (record_check::IsUtf8(r.driverId) && read->driverId != r.driverId)
        return "the driver read back other than written: " + line;
    return {};
}

// The page made from any record text, as the program makes it after a run: at most
// kRunPageRuns sections, one per record it shows, the newest first; every tag one the page
// itself writes, so that no record text adds markup; and the whole document.
inline std::string CheckRunPage(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    if (in.Bool()) {
        const std::string failure = CheckRunRecordRoundTrip(in);
        if (!failure.empty())
            return failure;
    }
    const std::string text = in.Rest();
    const std::vector<RecordedRun> runs = LastRecordedRuns(text, kRunPageRuns);
    const std::string page = ComposeRunPage(runs);
    size_t sections = 0, ends = 0;
    for (size_t at = page.find(kRunSectionBegin); at != page.npos; at = page.find(kRunSectionBegin, at + 1))
        ++sections;
    for (size_t at = page.find(kRunSectionEnd); at != page.npos; at = page.find(kRunSectionEnd, at + 1))
        ++ends;
    if (sections != runs.size() || ends != runs.size() || sections > kRunPageRuns)
        return "the page's sections are not its runs";
    static const char* const kTags[] = {"!DOCTYPE html>", "html>", "head>", "meta ", "title>", "style>", "body>",
                                        "h1>", "p>", "p ", "span ", "span>", "section ", "section>", "!--run-->",
                                        "!--/run-->", "div>", "svg ", "svg>", "rect ", "text ", "text>", "line ",
                                        "polyline ", "circle ", "circle>", "table>", "tr>", "th>", "td>", "b>", "br>"};
    for (size_t at = page.find('<'); at != page.npos; at = page.find('<', at + 1)) {
        std::string_view tag = std::string_view(page).substr(at + 1);
        if (!tag.empty() && tag[0] == '/')
            tag.remove_prefix(1);
        bool known = false;
        for (const char* k : kTags)
            known = known || tag.substr(0, std::string_view(k).size()) == k;
        if (!known)
            return "markup the page does not write: " + std::string(tag.substr(0, 20));
    }
    if (page.size() < 16 || page.compare(page.size() - 16, 16, "</body>\n</html>\n") != 0)
        return "the page is not whole";
    if (!runs.empty() && page.find("The last") == page.npos)
        return "the page does not say how many runs it shows";
    // The history of the runs stands once above them; a page without runs has none.
    const size_t history = page.find("<section"), firstRun = page.find(kRunSectionBegin);
    if (runs.empty() ? history != page.npos : (history == page.npos || history > firstRun ||
                                                page.find("<section", history + 1) != page.npos))
        return "the runs' history is not once above them";
    return {};
}

}  // namespace qm::fuzz
