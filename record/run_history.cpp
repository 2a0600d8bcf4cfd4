// Renders the history of the recorded runs (run_history.h): two inline SVG plots with
// their axes (record/svg_plot.h), and the temperature slope as text.
#include "record/run_history.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "record/html_text.h"
#include "record/svg_plot.h"

namespace qm {

namespace {

using std::chrono::days;
using std::chrono::seconds;
using std::chrono::sys_days;
using std::chrono::sys_seconds;
using std::chrono::year_month_day;

constexpr int64_t kSecondsPerDay = 86400;

// The time plot: a 500 x 250 picture, its plot area from (64, 26) to (486, 196); the
// temperature plot beside it, 400 x 250, plot area to (386, 196).
constexpr plot::Frame kTimePlot{500, 250, 64, 26, 486, 196};
constexpr plot::Frame kTemperaturePlot{400, 250, 64, 26, 386, 196};
// Below the plot area: the tick marks, the lines of the ticks' labels and the axis's title.
constexpr double kTickLength = 4, kLabelLine = 16, kSecondLabelLine = 30, kAxisTitleLine = 46;
// Left of it: the vertical ticks' labels and the axis's title, turned upright.
constexpr double kValueLabelGap = 5, kValueLabelLift = 4, kVerticalTitleX = 12;
// The caption, above the plot area.
constexpr double kCaptionX = 4, kCaptionY = 14;
constexpr double kDotRadius = 4.5, kGridWidth = 1, kTimeLineWidth = 1.5, kTrendWidth = 2.5;
// A single time, position or temperature is shown within this much on either side.
constexpr double kLoneTimeSpan = 1800, kLonePositionSpan = 50, kLoneTemperatureSpan = 1;

constexpr char kGridColour[] = "#e4e4e4";
constexpr char kTimeLineColour[] = "#c8bcd8";

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

void AppendTwoDigits(std::string& out, int64_t value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// "2026-12-08" and "11:40" of a time in seconds since 1970.
std::string DateText(int64_t time) {
    const year_month_day date{std::chrono::floor<days>(sys_seconds{seconds{time}})};
    const int year = static_cast<int>(date.year());
    std::string text;
    if (year >= 0 && year < 1000)
        text.assign(year < 10 ? 3 : year < 100 ? 2 : 1, '0');
    text += std::to_string(year) + "-";
    AppendTwoDigits(text, static_cast<unsigned>(date.month()));
    text += '-';
    AppendTwoDigits(text, static_cast<unsigned>(date.day()));
    return text;
}

std::string TimeOfDayText(int64_t time) {
    const sys_seconds at{seconds{time}};
    const int64_t ofDay = (at - std::chrono::floor<days>(at)).count();
    std::string text;
    AppendTwoDigits(text, ofDay / 3600);
    text += ':';
    AppendTwoDigits(text, ofDay / 60 % 60);
    return text;
}

// The picture's opening, its caption, the plot area and the vertical axis with round
// ticks, grid lines and their labels.
void OpenPlot(std::string& out,
              const plot::Frame& frame,
              const std::string& caption,
              const plot::Axis& vertical,
              const std::string& verticalTitle) {
    plot::OpenPicture(out, frame, "display:inline-block;vertical-align:top;margin-right:12px");
    plot::AppendText(out, kCaptionX, kCaptionY, "start", caption, "font-weight:bold;font-size:12px");
    plot::AppendPlotArea(out, frame);
    const double step = plot::RoundStep(vertical, 1);
    for (double tick = std::ceil(vertical.low / step) * step; tick <= vertical.high; tick += step) {
        const double y = vertical.At(tick);
        plot::AppendLine(out, frame.left, y, frame.right, y, kGridColour, kGridWidth);
        plot::AppendText(out, frame.left - kValueLabelGap, y + kValueLabelLift, "end", FixedDecimals(tick, 0));
    }
    out += "<text transform=\"translate(" + FixedDecimals(kVerticalTitleX, 0) + "," +
           FixedDecimals(frame.MiddleY(), 0) + ") rotate(-90)\" text-anchor=\"middle\">";
    AppendHtmlEscaped(out, verticalTitle);
    out += "</text>\n";
}

// A tick of the horizontal axis: its grid line, its mark and the label's lines under the plot.
void AppendHorizontalTick(std::string& out,
                          const plot::Frame& frame,
                          double x,
                          const std::string& label,
                          const std::string& secondLine) {
    plot::AppendLine(out, x, frame.top, x, frame.bottom, kGridColour, kGridWidth);
    plot::AppendLine(out, x, frame.bottom, x, frame.bottom + kTickLength, plot::kFrameColour, kGridWidth);
    plot::AppendText(out, x, frame.bottom + kLabelLine, "middle", label);
    if (!secondLine.empty())
        plot::AppendText(out, x, frame.bottom + kSecondLabelLine, "middle", secondLine);
}

// The horizontal axis's title under the ticks' labels.
void AppendHorizontalTitle(std::string& out, const plot::Frame& frame, const std::string& title) {
    plot::AppendText(out, frame.MiddleX(), frame.bottom + kAxisTitleLine, "middle", title);
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
    // In the order of time, runs of the same second in the record's order.
    std::stable_sort(timed.begin(), timed.end(),
                     [](const PlottedRun* a, const PlottedRun* b) { return *a->time < *b->time; });
    const plot::Frame& frame = kTimePlot;
    double lowResult = timed.front()->result, highResult = lowResult;
    for (const PlottedRun* run : timed) {
        lowResult = std::min(lowResult, run->result);
        highResult = std::max(highResult, run->result);
    }
    const plot::Axis y = plot::AxisAround(lowResult, highResult, kLonePositionSpan, frame.bottom, frame.top);
    const plot::Axis x =
        plot::AxisAround(static_cast<double>(*timed.front()->time), static_cast<double>(*timed.back()->time),
                         kLoneTimeSpan, frame.left, frame.right);
    OpenPlot(out, frame, "Best focus over time", y, "result position");

    // Beyond the longest round step, a whole number of them.
    const int64_t longest = kTimeSteps[std::size(kTimeSteps) - 1];
    int64_t step =
        longest * static_cast<int64_t>(std::ceil((x.high - x.low) / static_cast<double>(longest) / plot::kMostTicks));
    for (int64_t candidate : kTimeSteps) {
        if ((x.high - x.low) / static_cast<double>(candidate) <= plot::kMostTicks) {
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
            AppendHorizontalTick(out, frame, x.At(static_cast<double>(tick)), TimeOfDayText(tick),
                                 date != previousDate ? date : std::string());
        else
            AppendHorizontalTick(out, frame, x.At(static_cast<double>(tick)), date, {});
        previousDate = date;
    }
    AppendHorizontalTitle(
        out, frame,
        "time (UTC)" +
            (step < kSecondsPerDay && previousDate.empty() ? ", " + DateText(*timed.front()->time) : std::string()));

    std::vector<std::pair<double, double>> points;
    for (const PlottedRun* run : timed)
        points.emplace_back(x.At(static_cast<double>(*run->time)), y.At(run->result));
    if (points.size() > 1)
        plot::AppendPolyline(out, points, kTimeLineColour, kTimeLineWidth);
    for (size_t i = 0; i < timed.size(); ++i)
        plot::AppendDot(out, points[i].first, points[i].second, kDotRadius, kHistoryResultColour, Tooltip(*timed[i]));
    out += "</svg>\n";
}

void AppendTemperaturePlot(std::string& out, const std::vector<PlottedRun>& runs, const TemperatureSlope& line) {
    const plot::Frame& frame = kTemperaturePlot;
    double lowT = INFINITY, highT = -INFINITY, lowResult = INFINITY, highResult = -INFINITY;
    for (const PlottedRun& run : runs) {
        if (!run.temperature)
            continue;
        lowT = std::min(lowT, *run.temperature);
        highT = std::max(highT, *run.temperature);
        lowResult = std::min(lowResult, run.result);
        highResult = std::max(highResult, run.result);
    }
    const plot::Axis y = plot::AxisAround(lowResult, highResult, kLonePositionSpan, frame.bottom, frame.top);
    const plot::Axis x = plot::AxisAround(lowT, highT, kLoneTemperatureSpan, frame.left, frame.right);
    OpenPlot(out, frame, "Best focus against temperature", y, "result position");
    const double step = plot::RoundStep(x, 0.1);
    const int decimals = plot::DecimalsOf(step);
    for (double tick = std::ceil(x.low / step) * step; tick <= x.high; tick += step)
        AppendHorizontalTick(out, frame, x.At(tick), FixedDecimals(tick, decimals), {});
    AppendHorizontalTitle(out, frame,
                          "temperature (\xC2\xB0"
                          "C)");

    if (line.temperaturesVary) {
        // Drawn in a viewport of the plot area, which clips a steep line at the frame.
        plot::OpenClippedPlotArea(out, frame);
        plot::AppendLine(out, x.At(lowT) - frame.left, y.At(line.intercept + line.slope * lowT) - frame.top,
                         x.At(highT) - frame.left, y.At(line.intercept + line.slope * highT) - frame.top,
                         kHistoryTrendColour, kTrendWidth);
        out += "</svg>\n";
    }
    for (const PlottedRun& run : runs)
        if (run.temperature)
            plot::AppendDot(out, x.At(*run.temperature), y.At(run.result), kDotRadius, kHistoryTemperatureColour,
                            Tooltip(run));
    out += "</svg>\n";
}

void AppendRunCount(std::string& out, size_t count) {
    out += std::to_string(count);
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
    const year_month_day date{std::chrono::year{static_cast<int>(year)},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok())
        return std::nullopt;  // a day past the month's end
    return sys_days{date}.time_since_epoch().count() * kSecondsPerDay + hour * 3600 + minute * 60 + second;
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
            out += FixedDecimals(line.slope, 2);
            out += " \xC2\xB1 ";
            out += FixedDecimals(line.slopeError, 2);
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
            out += FixedDecimals(t, 1);
            out +=
                " \xC2\xB0"
                "C)";
        }
        out += "</p>\n";
    } else if (withTemperature > 0) {
        out += "<p style=\"margin:6px 0 0\">Temperature slope: needs ";
        out += std::to_string(kHistoryTemperatureRuns);
        out += " runs with a focus and a temperature (";
        out += std::to_string(withTemperature);
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
