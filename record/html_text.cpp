// Text for the run page's HTML: see html_text.h.
#include "record/html_text.h"

#include "common/decimal_text.h"

namespace qm {

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
}

std::string FixedDecimals(double value, int decimals) {
    std::string text;
    if (!AppendDecimal(text, value, decimals, false))
        text = "-";
    return text;
}

}  // namespace qm
