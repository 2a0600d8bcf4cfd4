// Text handling of the test tools (see host_text.h).
#include "tools/sim_host/host_text.h"

#include <cstdio>

namespace qm::sim {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += text[i];
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            default:
                if (c < 32 || c == 127) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::optional<int64_t> ParseResultLine(const std::string& line) {
    static const std::string kMark = " -> Focus";
    if (line.size() < kMark.size() + 1 || line.compare(line.size() - kMark.size(), kMark.size(), kMark) != 0) {
        return std::nullopt;
    }
    const std::string number = line.substr(0, line.size() - kMark.size());
    size_t i = 0;
    while (i < number.size() && number[i] == ' ')
        ++i;
    bool negative = false;
    if (i < number.size() && number[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == number.size() || number.size() - i > 18)
        return std::nullopt;
    int64_t value = 0;
    for (; i < number.size(); ++i) {
        if (number[i] < '0' || number[i] > '9')
            return std::nullopt;
        value = value * 10 + (number[i] - '0');
    }
    return negative ? -value : value;
}

bool IsCompleteStateText(const std::string& text) {
    const size_t key = text.rfind("Stuck=");
    // The line break at the very end closes the Stuck= line, the last one written.
    return key != std::string::npos && (key == 0 || text[key - 1] == '\n') && text.back() == '\n';
}

int64_t AsHostValue(int64_t value) {
    if (value >= INT32_MIN && value <= static_cast<int64_t>(UINT32_MAX)) {
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    return value;
}

}  // namespace qm::sim
