// Options a user opts into with "autofocus-options.ini" beside the program, read once
// at start and never written. Without the file, or for a line that cannot be used,
// every option keeps its default, and the defaults are the program's standard run.
#pragma once

#include <string_view>

namespace qm {

inline constexpr char kRunOptionsFileName[] = "autofocus-options.ini";

enum class BestFocusMethod { ThreePoint, Fit };
// The row of Steps positions alone, or the row followed past an end that holds its best line.
enum class SweepMode { Fixed, Extend };

struct RunOptions {
    BestFocusMethod bestFocus = BestFocusMethod::ThreePoint;
    bool curveCheck = false;
    bool runRecord = false;
    SweepMode sweep = SweepMode::Fixed;

    bool AllDefault() const {
        return bestFocus == BestFocusMethod::ThreePoint && !curveCheck && !runRecord && sweep == SweepMode::Fixed;
    }
};

// Why a line of the file was not used. The driver check words each one; the program
// itself never shows them, so their texts stay out of it.
enum class OptionLineFault {
    NoEquals,  // no '=' between a key and a value
    NoKey,     // nothing before the '='
    UnknownKey,
    UnknownBestFocus,   // a value for best-focus other than three-point or fit
    UnknownCurveCheck,  // a value for curve-check other than off or on
    UnknownRunRecord,   // a value for run-record other than off or on
    UnknownSweep,       // a value for sweep other than fixed or extend
};

// Told of each line of the file that was not used, with the reason; the driver check
// lists them, the program itself does not ask.
class RejectedOptionLines {
  public:
    // `lineNumber` counts from 1; `text` is the line without its leading and trailing blanks.
    virtual void Add(int lineNumber, std::string_view text, OptionLineFault fault) = 0;

  protected:
    ~RejectedOptionLines() = default;
};

// `fileBytes` is the file as stored: UTF-8 or the system code page, with or without a
// UTF-8 byte-order mark, or UTF-16 with its mark; lines end in LF or CR LF.
RunOptions ParseRunOptions(std::string_view fileBytes, RejectedOptionLines* rejected = nullptr);

}  // namespace qm
