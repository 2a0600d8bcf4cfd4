// Steering of the simulated chooser and focuser: the KEY=VALUE file sim.ini that a
// test writes into QM_SIM_DIR and that the simulated objects re-read on every call,
// and the two kinds of rule it can hold, scheduled failures of a member
// ("Fail.<Member>=<N>:<description>", "+N" for the Nth call and every later one) and
// wrong-typed answers ("WrongType.<Member>=text|real|big|bigreal|empty|null").
// Portable and header-only, so the rules are tested natively.
#pragma once

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::sim {

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

inline std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// A whole number, decimal with an optional sign or hexadecimal after "0x", that
// fits in 64 bits; or nothing.
inline std::optional<int64_t> ParseInt(std::string_view text) {
    std::string s(TrimSpaces(text));
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long long value = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        if (s[2] == '-' || s[2] == '+')
            return std::nullopt;
        unsigned long long u = std::strtoull(s.c_str() + 2, &end, 16);
        if (u > static_cast<unsigned long long>(INT64_MAX))
            return std::nullopt;
        value = static_cast<long long>(u);
    } else {
        value = std::strtoll(s.c_str(), &end, 10);
    }
    if (errno == ERANGE || end != s.c_str() + s.size())
        return std::nullopt;
    return value;
}

class SimConfig {
  public:
    // Lines of KEY=VALUE; blanks around keys and values are ignored, lines without
    // "=" and lines starting with ";" or "#" are skipped. A later key wins.
    static SimConfig Parse(std::string_view text) {
        SimConfig config;
        while (!text.empty()) {
            size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            line = TrimSpaces(line);
            if (line.empty() || line.front() == ';' || line.front() == '#')
                continue;
            size_t eq = line.find('=');
            if (eq == std::string_view::npos)
                continue;
            config.entries_.emplace_back(std::string(TrimSpaces(line.substr(0, eq))),
                                         std::string(TrimSpaces(line.substr(eq + 1))));
        }
        return config;
    }

    // The value of a key, compared without regard to case.
    std::optional<std::string> Get(std::string_view key) const {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            if (EqualsNoCase(it->first, key))
                return it->second;
        }
        return std::nullopt;
    }
    // A number, or `fallback` when the key is missing or not a whole number.
    int64_t GetInt(std::string_view key, int64_t fallback) const {
        auto value = Get(key);
        if (!value)
            return fallback;
        return ParseInt(*value).value_or(fallback);
    }
    double GetReal(std::string_view key, double fallback) const {
        auto value = Get(key);
        if (!value || value->empty())
            return fallback;
        char* end = nullptr;
        double d = std::strtod(value->c_str(), &end);
        return end == value->c_str() + value->size() ? d : fallback;
    }
    bool GetBool(std::string_view key, bool fallback) const {
        auto value = Get(key);
        if (!value)
            return fallback;
        if (*value == "1" || EqualsNoCase(*value, "true") || EqualsNoCase(*value, "yes"))
            return true;
        if (*value == "0" || EqualsNoCase(*value, "false") || EqualsNoCase(*value, "no"))
            return false;
        return fallback;
    }

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// "Fail.<Member>=<N>:<description>": the Nth call of the member raises an exception
// with the description; "+N" raises on the Nth call and on every later one. As
// sim.ini values lose their outer blanks, the description may spell characters as
// \r, \n, \t, \s (a space) and \\.
struct FailRule {
    static std::string Unescape(std::string_view text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\\' && i + 1 < text.size()) {
                switch (text[i + 1]) {
                    case 'r':
                        out += '\r';
                        ++i;
                        continue;
                    case 'n':
                        out += '\n';
                        ++i;
                        continue;
                    case 't':
                        out += '\t';
                        ++i;
                        continue;
                    case 's':
                        out += ' ';
                        ++i;
                        continue;
                    case '\\':
                        out += '\\';
                        ++i;
                        continue;
                    default:
                        break;
                }
            }
            out += c;
        }
        return out;
    }

    int64_t call = 0;
    bool andLater = false;
    std::string description;

    static std::optional<FailRule> Parse(std::string_view text) {
        size_t colon = text.find(':');
        std::string_view count = TrimSpaces(text.substr(0, colon));
        FailRule rule;
        if (!count.empty() && count.front() == '+') {
            rule.andLater = true;
            count.remove_prefix(1);
        }
        if (count.empty() || count.front() == '+' || count.front() == '-')
            return std::nullopt;
        auto n = ParseInt(count);
        if (!n || *n < 1)
            return std::nullopt;
        rule.call = *n;
        if (colon != std::string_view::npos)
            rule.description = Unescape(text.substr(colon + 1));
        return rule;
    }
    // Whether the call with this number (the first call is 1) fails.
    bool Fires(int64_t callNumber) const { return andLater ? callNumber >= call : callNumber == call; }
};

// "WrongType.<Member>=...": the member answers with a variant of the wrong type.
enum class WrongType { None, Text, Real, Big, BigReal, Empty, Null };

inline WrongType ParseWrongType(std::string_view text) {
    text = TrimSpaces(text);
    if (EqualsNoCase(text, "text"))
        return WrongType::Text;  // the text "abc"
    if (EqualsNoCase(text, "real"))
        return WrongType::Real;  // 123.5 as VT_R8
    if (EqualsNoCase(text, "big"))
        return WrongType::Big;  // 5000000000 as VT_I8
    if (EqualsNoCase(text, "bigreal"))
        return WrongType::BigReal;  // 5e9 as VT_R8
    if (EqualsNoCase(text, "empty"))
        return WrongType::Empty;  // VT_EMPTY
    if (EqualsNoCase(text, "null"))
        return WrongType::Null;  // VT_NULL
    return WrongType::None;
}

}  // namespace qm::sim
