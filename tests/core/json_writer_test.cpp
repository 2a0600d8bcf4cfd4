#include "common/json_writer.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qm {
namespace {

std::string Written(const std::function<void(JsonWriter&)>& write) {
    std::string out = "x";
    JsonWriter json(out);
    write(json);
    return out;
}

TEST(JsonWriter, ValuesAndSeparators) {
    struct Case {
        std::string written;
        const char* text;
    };
    const std::vector<Case> cases = {
        {Written([](JsonWriter& j) { j.BeginObject().EndObject(); }), "x{}"},
        {Written([](JsonWriter& j) { j.BeginArray().EndArray(); }), "x[]"},
        // Numbers to at most four decimals; one without such text is null, never a
        // text that would break the line.
        {Written([](JsonWriter& j) { j.BeginArray().Number(39.5).Number(NAN).Number(1012.40004).EndArray(); }),
         "x[39.5,null,1012.4]"},
        {Written([](JsonWriter& j) { j.BeginArray().Number(INFINITY).Number(-INFINITY).Number(1e13).Number(-0.00001).EndArray(); }),
         "x[null,null,null,0]"},
        {Written([](JsonWriter& j) { j.BeginArray().Integer(7).Integer(INT32_MIN).Integer(UINT32_MAX).EndArray(); }),
         "x[7,-2147483648,4294967295]"},
        // Commas between members and between values, none after an opening or a key.
        {Written([](JsonWriter& j) {
             j.BeginObject().Key("a").Bool(true).Key("b").Null().Key("c").BeginArray().BeginArray().EndArray();
             j.BeginObject().EndObject().Bool(false).EndArray().Key("d").String("").EndObject();
         }),
         "x{\"a\":true,\"b\":null,\"c\":[[],{},false],\"d\":\"\"}"},
        // Strings and keys both escaped.
        {Written([](JsonWriter& j) { j.BeginObject().Key("k\"").String("say \"hi\"\n").EndObject(); }),
         "x{\"k\\\"\":\"say \\\"hi\\\"\\n\"}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.written, c.text);
}

TEST(JsonWriter, Escaping) {
    struct Case {
        std::string text;
        const char* escaped;
    } cases[] = {
        {"plain", "plain"},
        {"\"\\\n\r\t", "\\\"\\\\\\n\\r\\t"},
        {std::string("\x01\x1f\x7f\0", 4), "\\u0001\\u001f\\u007f\\u0000"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},  // valid UTF-8 kept
        // Bytes that start no valid sequence are taken as Latin-1: a lone lead, an
        // overlong form, a surrogate, a lead past U+10FFFF, a cut-off sequence.
        {"\xe9t\xc0\xaf", "\\u00e9t\\u00c0\\u00af"},
        {"\xed\xa0\x80", "\\u00ed\\u00a0\\u0080"},
        {"\xf5\x80", "\\u00f5\\u0080"},
        {"a\xe2\x82", "a\\u00e2\\u0082"},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendJsonEscaped(out, c.text);
        EXPECT_EQ(out, c.escaped) << c.text;
    }
}

}  // namespace
}  // namespace qm
