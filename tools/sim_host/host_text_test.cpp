// Tests of the test tools' text handling: log lines, report escapes, the result line,
// state-file completeness and the widening of message values.
#include "tools/sim_host/host_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim_ascom/focuser_state.h"

namespace qm::sim {
namespace {

TEST(HostText, SplitLines) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"  900 = 4512", {"  900 = 4512"}},
        {"a\r\nb", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"a\rb", {"a\rb"}},  // a lone CR is not a line break in an edit control
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLines(c.text), c.lines) << Escape(c.text);
}

TEST(HostText, EscapeKeepsReportsOnOneLine) {
    struct Case {
        std::string text, escaped;
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"File not found:\rC:\\dir\\file.htm", "File not found:\\rC:\\\\dir\\\\file.htm"},
        {"a\nb\tc", "a\\nb\\tc"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {std::string("\x01\x1f\x7f", 3), "\\x01\\x1F\\x7F"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\xe9t\xe9", "\xe9t\xe9"},  // code-page letters pass unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(Escape(c.text), c.escaped);
}

TEST(HostText, ParseResultLine) {
    struct Case {
        std::string line;
        std::optional<int64_t> position;
    };
    const Case cases[] = {
        {" 1126 -> Focus", 1126},
        {"  900 -> Focus", 900},
        {"10035 -> Focus", 10035},
        {"123456 -> Focus", 123456},
        {"  -50 -> Focus", -50},
        {"    0 -> Focus", 0},
        {" 1100 = 50", std::nullopt},
        {" -> Focus", std::nullopt},
        {" 1126 -> Focus ", std::nullopt},
        {" 11x6 -> Focus", std::nullopt},
        {"    - -> Focus", std::nullopt},
        {"", std::nullopt},
        {"99999999999999999999 -> Focus", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseResultLine(c.line), c.position) << "'" << c.line << "'";
}

TEST(HostText, StateTextIsCompleteOnlyWhenItsLastLineIsClosed) {
    FocuserState state;
    state.startPosition = 900;
    state.target = 1000;
    const std::string whole = state.Serialize();
    EXPECT_TRUE(IsCompleteStateText(whole));
    // Every shorter prefix is what a reader sees of a file still being written.
    for (size_t n = 0; n < whole.size(); ++n)
        EXPECT_FALSE(IsCompleteStateText(whole.substr(0, n))) << n;
    EXPECT_FALSE(IsCompleteStateText("NotStuck=0\r\n"));
    EXPECT_TRUE(IsCompleteStateText("Stuck=1\n"));
}

TEST(HostText, HostValuesAreSignExtendedFrom32Bits) {
    struct Case {
        int64_t given, sent;
    };
    const Case cases[] = {
        {0, 0},
        {22, 22},
        {-50, -50},
        {INT32_MAX, INT32_MAX},
        {INT32_MIN, INT32_MIN},
        {0xFFFFFFFFLL, -1},
        {0x80000000LL, INT32_MIN},
        {0x100000000LL, 0x100000000LL},
        {-0x80000001LL, -0x80000001LL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AsHostValue(c.given), c.sent) << c.given;
}

}  // namespace
}  // namespace qm::sim
