// The value rules of the numeric edit (TNumEdit), free of any window: reading its
// text as a number, keeping a number inside the limits, writing a number back as
// text, stepping by the increment, the integer reading used by the main window and
// the typing filter. The control supplies the text, the locale's decimal separator
// and the beep; these functions only say when a beep is due.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The settings of one numeric edit that its value rules depend on. The names are
// those of the control's properties.
struct NumEditSettings {
    double Increment = 0.5;
    int32_t Precision = 15;  // significant digits of the written text
    int32_t Decimals = 0;    // minimum digits after the decimal separator
    double MinValue = 0;     // equal limits mean no limits
    double MaxValue = 0;
    double ErrValue = 0;  // value of a text that is not a number
    bool AlwaysSign = false;
    bool AlwaysInteger = false;
    bool EditorEnabled = true;
    bool BeepError = false;
    bool ReadOnly = false;
};

// The result of reading a text: the clamped value, and whether the default beep is due
// (the text was not empty, not a number, and BeepError is set).
struct NumEditRead {
    double value = 0;
    bool beep = false;
};

// The result of a step: the new text (nothing when the edit is read-only and the text
// stays) and whether the default beep is due (read-only edit, or unreadable text with
// BeepError).
struct NumEditStep {
    std::optional<std::string> text;
    bool beep = false;
};

// Reads text as a number without limits or error value: blanks and control characters
// are trimmed from both ends, the locale separator and every "," count as the decimal
// point, and the whole rest must be [sign] digits ["." digits] [("E"|"e") [sign] digits].
// Nothing when the text is not a number or lies beyond the range of a double. A text
// between the largest double and 1.8E308 reads as the largest double: this is what the
// control itself writes for the largest doubles.
std::optional<double> ParseNumEditNumber(std::string_view text, char decimalSeparator);

// Reads text as the control's value: the number, or ErrValue when it is not one, clamped.
NumEditRead ReadValue(std::string_view text, const NumEditSettings& settings, char decimalSeparator);

// Keeps x inside [MinValue, MaxValue], testing the lower limit first. Equal limits mean
// no limits.
double ClampValue(double x, const NumEditSettings& settings);

// The general number format: v rounded half up to `significantDigits` digits, fixed
// notation for decimal exponents -3 ... significantDigits, otherwise scientific with an
// "E" and at least minExponentDigits exponent digits. v must be finite.
std::string FormatGeneral(double v, int significantDigits, int minExponentDigits, char decimalSeparator);

// The text written for a value: clamped, in the general format for Precision, with the
// optional plus sign and at least Decimals digits after the separator. A NaN writes
// ErrValue and an infinity the largest double of its sign, so the text is always a number.
std::string FormatValue(double x, const NumEditSettings& settings, char decimalSeparator);

// One step of the value read from text by multiplier x Increment, up or down, summed at
// extended precision and rounded to double once, then written.
NumEditStep StepValue(std::string_view text, const NumEditSettings& settings, char decimalSeparator,
                      int32_t multiplier, bool up);

// The value limited to -2147483647 ... 2147483647 and rounded to the nearest integer,
// halves to even. A NaN gives 0.
int32_t ValueAsInteger(double value);

// The typing filter: whether a typed character reaches the edit.
bool AcceptsNumEditChar(char ch, const NumEditSettings& settings, char decimalSeparator);

}  // namespace qm
