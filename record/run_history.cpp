// Renders the history of the recorded runs (run_history.h): two inline SVG plots with
// their axes, and the temperature slope as text. Numbers are written with
// common/decimal_text.h; every coordinate passes through Coordinate, which keeps a number
// that is not finite out of the picture.
#include "record/run_history.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "common/decimal_text.h"
#include "record/html_text.h"

namespace qm {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// The time plot: a 500 x 250 picture whose plot area runs from (64, 26) to (486, 196).
constexpr double kTimeWidth = 500;
// The temperature plot: 400 x 250, plot area from (64, 26) to (386, 196).
constexpr double kTemperatureWidth = 400;
constexpr double kPlotHeight = 250;
constexpr double kPlotLeft = 64, kPlotTop = 26, kPlotBottom = 196, kPlotRightMargin = 14;
// At most this many ticks on an axis, so that their labels never run into each other.
constexpr int kMostTicks = 6;
// Room left beyond the outermost points, as a share of the span.
constexpr double kSpanMargin = 0.06;
// A single time, position or temperature is shown within this much on either side.
constexpr double kLoneTimeSpan = 1800, kLonePositionSpan = 50, kLoneTemperatureSpan = 1;

constexpr char kFrameColour[] = "#8a8a8a";
constexpr char kGridColour[] = "#e4e4e4";
constexpr char kTimeLineColour[] = "#c8bcd8";

// Appends ` name="value"` with the value to one decimal; 0 for a number that is not
// finite, which the callers never pass (times, results and temperatures are checked before
// they are scaled), so that such a number could at worst misplace a mark, never spoil the
// picture. Everything is appended piece by piece: joined temporaries would cost the
// program kilobytes.
void AppendCoordinate(std::string& out, double value) {
    if (!AppendDecimal(out, std::isfinite(value) ? value : 0, 1, false))
        out += '0';
}

void Attribute(std::string& out, const char* name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendCoordinate(out, value);
    out += '"';
}

// A number to `decimals` decimals, or "-" when it has none (not finite, too large).
void AppendFixedDecimals(std::string& out, double value, int decimals) {
    if (!AppendDecimal(out, value, decimals, false))
        out += '-';
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    int64_t year, month, day;
};

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

void AppendTwoDigits(std::string& out, int64_t value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// "2026-12-08" and "11:40" of a time in seconds since 1970.
std::string DateText(int64_t seconds) {
    const CivilDate date = CivilFromDays(FloorDiv(seconds, kSecondsPerDay));
    std::string text;
    if (date.year >= 0 && date.year < 1000)
        text.assign(date.year < 10 ? 3 : date.year < 100 ? 2 : 1, '0');
    text += std::to_string(date.year) + "-";
    AppendTwoDigits(text, date.month);
    text += '-';
    AppendTwoDigits(text, date.day);
    return text;
}

std::string TimeOfDayText(int64_t seconds) {
    const int64_t ofDay = seconds - FloorDiv(seconds, kSecondsPerDay) * kSecondsPerDay;
    std::string text;
    AppendTwoDigits(text, ofDay / 3600);
    text += ':';
    AppendTwoDigits(text, ofDay / 60 % 60);
    return text;
}

// Maps one axis's numbers onto a stretch of the picture.
struct Axis {
    double low = 0, high = 1;  // the numbers at the ends; low < high
    double from = 0, to = 1;   // where they stand in the picture

    double At(double value) const { return from + (value - low) / (high - low) * (to - from); }
};

// The ends of an axis for values from `least` to `most`, with room beyond them; values
// closer together than `loneSpan` are shown within `loneSpan` on either side of their middle.
Axis AxisAround(double least, double most, double loneSpan, double from, double to) {
    Axis axis;
    axis.from = from;
    axis.to = to;
    if (most - least < loneSpan) {
        const double middle = least + (most - least) / 2;
        axis.low = middle - loneSpan;
        axis.high = middle + loneSpan;
    } else {
        axis.low = least - (most - least) * kSpanMargin;
        axis.high = most + (most - least) * kSpanMargin;
    }
    return axis;
}

// A round step (1, 2 or 5 times a power of ten, at least `smallest`) that puts at most
// kMostTicks ticks on the axis.
double RoundStep(const Axis& axis, double smallest) {
    const double rough = (axis.high - axis.low) / kMostTicks;
    // From the power of ten at or below `rough` (or 1) upwards, by steps rather than logarithms.
    double power = 1;
    while (power > rough)
        power /= 10;
    for (;;) {
        for (double factor : {1.0, 2.0, 5.0}) {
            const double step = factor * power;
            if (step >= smallest && step >= rough)
                return step;
        }
        power *= 10;
    }
}

// Decimals that show every multiple of a round step exactly.
int DecimalsOf(double step) {
    int decimals = 0;
    for (double unit = 1; unit > step * 1.0000001 && decimals < 6; unit /= 10)
        ++decimals;
    return decimals;
}

void AppendText(std::string& out,
                double x,
                double y,
                const char* anchor,
                const std::string& text,
                const char* style = nullptr) {
    out += "<text";
    Attribute(out, "x", x);
    Attribute(out, "y", y);
    out += " text-anchor=\"";
    out += anchor;
    out += '"';
    if (style) {
        out += " style=\"";
        out += style;
        out += '"';
    }
    out += '>';
    AppendHtmlEscaped(out, text);
    out += "</text>\n";
}

void AppendLine(std::string& out, double x1, double y1, double x2, double y2, const char* colour, const char* width) {
    out += "<line";
    Attribute(out, "x1", x1);
    Attribute(out, "y1", y1);
    Attribute(out, "x2", x2);
    Attribute(out, "y2", y2);
    out += " stroke=\"";
    out += colour;
    out += "\" stroke-width=\"";
    out += width;
    out += "\"/>\n";
}

// The element `tag` placed over the plot area, its attributes still open.
void AppendPlotArea(std::string& out, const char* tag, double right) {
    out += tag;
    Attribute(out, "x", kPlotLeft);
    Attribute(out, "y", kPlotTop);
    Attribute(out, "width", right - kPlotLeft);
    Attribute(out, "height", kPlotBottom - kPlotTop);
}

// The picture's opening, its caption, the frame and the vertical axis with round ticks,
// grid lines and their labels.
void OpenPlot(std::string& out,
              double width,
              const std::string& caption,
              const Axis& vertical,
              const std::string& verticalTitle,
              double right) {
    out += "<svg";
    Attribute(out, "width", width);
    Attribute(out, "height", kPlotHeight);
    out += " style=\"display:inline-block;vertical-align:top;margin-right:12px\">\n";
    AppendText(out, 4, 14, "start", caption, "font-weight:bold;font-size:12px");
    AppendPlotArea(out, "<rect", right);
    out += " fill=\"#fff\" stroke=\"";
    out += kFrameColour;
    out += "\"/>\n";
    const double step = RoundStep(vertical, 1);
    for (double tick = std::ceil(vertical.low / step) * step; tick <= vertical.high; tick += step) {
        const double y = vertical.At(tick);
        AppendLine(out, kPlotLeft, y, right, y, kGridColour, "1");
        AppendText(out, kPlotLeft - 5, y + 4, "end", FixedDecimals(tick, 0));
    }
    out += "<text transform=\"translate(12,111) rotate(-90)\" text-anchor=\"middle\">";
    AppendHtmlEscaped(out, verticalTitle);
    out += "</text>\n";
}

// A tick of the horizontal axis: its grid line and the label's lines under the plot.
void AppendHorizontalTick(std::string& out, double x, const std::string& label, const std::string& secondLine) {
    AppendLine(out, x, kPlotTop, x, kPlotBottom, kGridColour, "1");
    AppendLine(out, x, kPlotBottom, x, kPlotBottom + 4, kFrameColour, "1");
    AppendText(out, x, kPlotBottom + 16, "middle", label);
    if (!secondLine.empty())
        AppendText(out, x, kPlotBottom + 30, "middle", secondLine);
}

// A dot with the run's time and numbers as its tooltip.
void AppendDot(std::string& out, double x, double y, const char* colour, const std::string& tooltip) {
    out += "<circle";
    Attribute(out, "cx", x);
    Attribute(out, "cy", y);
    out += " r=\"4.5\" fill=\"";
    out += colour;
    out += "\"><title>";
    AppendHtmlEscaped(out, tooltip);
    out += "</title></circle>\n";
}

// One plotted run: its time (when readable), result and temperature (when it has one).
struct PlottedRun {
    std::optional<int64_t> time;
    double result = 0;
    std::optional<double> temperature;
    std::string timeText;  // as recorded, for the tooltip
};

std::string Tooltip(const PlottedRun& run) {
    std::string text = run.timeText + ": " + FixedDecimals(run.result, 0);
    if (run.temperature)
        text += " at " + FixedDecimals(*run.temperature, 1) +
                " \xC2\xB0"
                "C";
    return text;
}

// Round time steps in seconds: minutes, hours, days, weeks and longer.
constexpr int64_t kTimeSteps[] = {60,        300,        600,        900,        1800,        3600,
                                  2 * 3600,  3 * 3600,   6 * 3600,   12 * 3600,  86400,       2 * 86400,
                                  7 * 86400, 14 * 86400, 28 * 86400, 91 * 86400, 182 * 86400, 364 * 86400};

void AppendTimePlot(std::string& out, const std::vector<PlottedRun>& runs) {
    std::vector<const PlottedRun*> timed;
    for (const PlottedRun& run : runs)
        if (run.time)
            timed.push_back(&run);
    // In the order of time, runs of the same second in the record's order; by insertion,
    // as there are at most kHistoryRuns (a library sort would add kilobytes to the program).
    for (size_t i = 1; i < timed.size(); ++i)
        for (size_t j = i; j > 0 && *timed[j]->time < *timed[j - 1]->time; --j)
            std::swap(timed[j], timed[j - 1]);
    const double right = kTimeWidth - kPlotRightMargin;
    double lowResult = timed.front()->result, highResult = lowResult;
    for (const PlottedRun* run : timed) {
        lowResult = std::min(lowResult, run->result);
        highResult = std::max(highResult, run->result);
    }
    const Axis y = AxisAround(lowResult, highResult, kLonePositionSpan, kPlotBottom, kPlotTop);
    const Axis x = AxisAround(static_cast<double>(*timed.front()->time), static_cast<double>(*timed.back()->time),
                              kLoneTimeSpan, kPlotLeft, right);
    OpenPlot(out, kTimeWidth, "Best focus over time", y, "result position", right);

    // Beyond the longest round step, a whole number of them.
    const int64_t longest = kTimeSteps[std::size(kTimeSteps) - 1];
    int64_t step =
        longest * static_cast<int64_t>(std::ceil((x.high - x.low) / static_cast<double>(longest) / kMostTicks));
    for (int64_t candidate : kTimeSteps) {
        if ((x.high - x.low) / static_cast<double>(candidate) <= kMostTicks) {
            step = candidate;
            break;
        }
    }
    // Ticks within a day show the time of day, with the date under the first one of each
    // day; longer steps show the date alone.
    std::string previousDate;
    const int64_t first = FloorDiv(static_cast<int64_t>(std::ceil(x.low)) + step - 1, step) * step;
    for (int64_t tick = first; static_cast<double>(tick) <= x.high; tick += step) {
        const std::string date = DateText(tick);
        if (step < kSecondsPerDay)
            AppendHorizontalTick(out, x.At(static_cast<double>(tick)), TimeOfDayText(tick),
                                 date != previousDate ? date : std::string());
        else
            AppendHorizontalTick(out, x.At(static_cast<double>(tick)), date, {});
        previousDate = date;
    }
    AppendText(out, (kPlotLeft + right) / 2, kPlotBottom + 46, "middle",
               "time (UTC)" + (step < kSecondsPerDay && previousDate.empty() ? ", " + DateText(*timed.front()->time)
                                                                             : std::string()));

    if (timed.size() > 1) {
        out += "<polyline fill=\"none\" stroke=\"" + std::string(kTimeLineColour) + "\" stroke-width=\"1.5\" points=\"";
        for (const PlottedRun* run : timed) {
            AppendCoordinate(out, x.At(static_cast<double>(*run->time)));
            out += ',';
            AppendCoordinate(out, y.At(run->result));
            out += ' ';
        }
        out += "\"/>\n";
    }
    for (const PlottedRun* run : timed)
        AppendDot(out, x.At(static_cast<double>(*run->time)), y.At(run->result), kHistoryResultColour, Tooltip(*run));
    out += "</svg>\n";
}

void AppendTemperaturePlot(std::string& out, const std::vector<PlottedRun>& runs, const TemperatureSlope& line) {
    const double right = kTemperatureWidth - kPlotRightMargin;
    double lowT = INFINITY, highT = -INFINITY, lowResult = INFINITY, highResult = -INFINITY;
    for (const PlottedRun& run : runs) {
        if (!run.temperature)
            continue;
        lowT = std::min(lowT, *run.temperature);
        highT = std::max(highT, *run.temperature);
        lowResult = std::min(lowResult, run.result);
        highResult = std::max(highResult, run.result);
    }
    const Axis y = AxisAround(lowResult, highResult, kLonePositionSpan, kPlotBottom, kPlotTop);
    const Axis x = AxisAround(lowT, highT, kLoneTemperatureSpan, kPlotLeft, right);
    OpenPlot(out, kTemperatureWidth, "Best focus against temperature", y, "result position", right);
    const double step = RoundStep(x, 0.1);
    const int decimals = DecimalsOf(step);
    for (double tick = std::ceil(x.low / step) * step; tick <= x.high; tick += step)
        AppendHorizontalTick(out, x.At(tick), FixedDecimals(tick, decimals), {});
    AppendText(out, (kPlotLeft + right) / 2, kPlotBottom + 46, "middle",
               "temperature (\xC2\xB0"
               "C)");

    if (line.temperaturesVary) {
        // Drawn in a viewport of the plot area, which clips a steep line at the frame.
        AppendPlotArea(out, "<svg", right);
        out += ">\n";
        AppendLine(out, x.At(lowT) - kPlotLeft, y.At(line.intercept + line.slope * lowT) - kPlotTop,
                   x.At(highT) - kPlotLeft, y.At(line.intercept + line.slope * highT) - kPlotTop, kHistoryTrendColour,
                   "2.5");
        out += "</svg>\n";
    }
    for (const PlottedRun& run : runs)
        if (run.temperature)
            AppendDot(out, x.At(*run.temperature), y.At(run.result), kHistoryTemperatureColour, Tooltip(run));
    out += "</svg>\n";
}

void AppendRunCount(std::string& out, size_t count) {
    AppendFixedDecimals(out, static_cast<double>(count), 0);
    out += count == 1 ? " run" : " runs";
}

}  // namespace

std::optional<int64_t> ReadUtcTime(const std::string& text) {
    // "YYYY-MM-DDTHH:MM:SSZ": the digits' places and the separators between them.
    static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1)
        return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i])
            return std::nullopt;
    }
    auto number = [&](size_t at, size_t digits) {
        int64_t value = 0;
        for (size_t i = at; i < at + digits; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    const int64_t year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int64_t hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    // A day past the month's end would read as a day of the next month.
    const int64_t days = DaysFromCivil(year, month, day);
    const CivilDate back = CivilFromDays(days);
    if (back.month != month || back.day != day)
        return std::nullopt;
    return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

std::optional<double> RunTemperature(const HistoryRun& run) {
    auto reading = [](const std::optional<double>& t) -> std::optional<double> {
        if (t && std::isfinite(*t) && *t >= kLowestTemperature && *t <= kHighestTemperature)
            return t;
        return std::nullopt;
    };
    const std::optional<double> start = reading(run.temperatureAtStart), end = reading(run.temperatureAtEnd);
    if (start && end)
        return (*start + *end) / 2;
    return start ? start : end;
}

bool HasFocusResult(const HistoryRun& run) {
    return run.outcome == RunOutcome::Focus && run.result.has_value();
}

TemperatureSlope FitTemperatureSlope(const std::vector<HistoryRun>& runs) {
    std::vector<std::pair<double, double>> points;  // (temperature, result)
    for (const HistoryRun& run : runs) {
        if (!HasFocusResult(run))
            continue;
        if (const std::optional<double> t = RunTemperature(run))
            points.emplace_back(*t, static_cast<double>(*run.result));
    }
    TemperatureSlope line;
    line.runs = points.size();
    if (points.empty())
        return line;
    double meanT = 0, meanResult = 0;
    for (const auto& [t, result] : points) {
        meanT += t;
        meanResult += result;
    }
    const double n = static_cast<double>(points.size());
    meanT /= n;
    meanResult /= n;
    line.intercept = meanResult;
    // Equal temperatures are compared as they are: their mean need not equal them exactly.
    line.temperaturesVary =
        std::any_of(points.begin(), points.end(), [&](const auto& p) { return p.first != points.front().first; });
    if (!line.temperaturesVary)
        return line;
    double sxx = 0, sxy = 0;
    for (const auto& [t, result] : points) {
        sxx += (t - meanT) * (t - meanT);
        sxy += (t - meanT) * (result - meanResult);
    }
    line.slope = sxy / sxx;
    line.intercept = meanResult - line.slope * meanT;
    if (points.size() > 2) {
        double residuals = 0;
        for (const auto& [t, result] : points) {
            const double r = result - (line.intercept + line.slope * t);
            residuals += r * r;
        }
        line.slopeError = std::sqrt(residuals / (n - 2) / sxx);
    }
    return line;
}

std::string ComposeRunHistory(const std::vector<HistoryRun>& runs) {
    const size_t used = std::min(runs.size(), kHistoryRuns);
    if (used == 0)
        return {};
    const std::vector<HistoryRun> shown(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(used));
    std::vector<PlottedRun> plotted;
    size_t withoutResult = 0, unreadableTime = 0, withTemperature = 0;
    for (const HistoryRun& run : shown) {
        if (!HasFocusResult(run)) {
            ++withoutResult;
            continue;
        }
        PlottedRun p;
        p.time = ReadUtcTime(run.timeUtc);
        if (!p.time)
            ++unreadableTime;
        p.result = *run.result;
        p.temperature = RunTemperature(run);
        if (p.temperature)
            ++withTemperature;
        p.timeText = run.timeUtc;
        plotted.push_back(std::move(p));
    }

    std::string out =
        "<section style=\"display:block;background:#fff;border:1px solid #ccc;padding:10px;margin:0 0 12px\">\n";
    if (plotted.empty())
        out += "<p style=\"margin:0\">No recorded run found a focus yet.</p>\n";
    else if (plotted.size() > unreadableTime)
        AppendTimePlot(out, plotted);
    const TemperatureSlope line = FitTemperatureSlope(shown);
    if (withTemperature >= kHistoryTemperatureRuns) {
        AppendTemperaturePlot(out, plotted, line);
        out += "<p style=\"margin:6px 0 0\">";
        if (line.temperaturesVary) {
            out += "<b>Temperature slope: ";
            AppendFixedDecimals(out, line.slope, 2);
            out += " \xC2\xB1 ";
            AppendFixedDecimals(out, line.slopeError, 2);
            out +=
                " steps per \xC2\xB0"
                "C</b> (";
            AppendRunCount(out, line.runs);
            out += ')';
        } else {
            const double t = std::find_if(plotted.begin(), plotted.end(), [](const PlottedRun& p) {
                                 return p.temperature.has_value();
                             })->temperature.value_or(0);
            out += "Temperature slope: none, the temperature did not vary (";
            AppendRunCount(out, line.runs);
            out += " at ";
            AppendFixedDecimals(out, t, 1);
            out +=
                " \xC2\xB0"
                "C)";
        }
        out += "</p>\n";
    } else if (withTemperature > 0) {
        out += "<p style=\"margin:6px 0 0\">Temperature slope: needs ";
        AppendFixedDecimals(out, kHistoryTemperatureRuns, 0);
        out += " runs with a focus and a temperature (";
        AppendFixedDecimals(out, static_cast<double>(withTemperature), 0);
        out += " so far).</p>\n";
    }
    out += "<p style=\"margin:4px 0 0;color:#606060\">";
    AppendRunCount(out, plotted.size() - unreadableTime);
    out += " with a focus plotted";
    if (withoutResult > 0) {
        out += "; ";
        AppendRunCount(out, withoutResult);
        out += " without a focus left out";
    }
    if (unreadableTime > 0) {
        out += "; ";
        AppendRunCount(out, unreadableTime);
        out += " with an unreadable time left out of the time plot";
    }
    out += ".</p>\n</section>\n";
    return out;
}

}  // namespace qm
