// A small writer of JSON text into a string: objects, arrays, members and values in
// the order they are written, with the commas between them put in by the writer. Every
// string goes through one escaping function, and a number that has no decimal text is
// written as null, so what comes out is valid JSON whatever it is given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class JsonWriter {
  public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the object's next member; its value follows.
    JsonWriter& Key(std::string_view name);

    JsonWriter& String(std::string_view text);
    JsonWriter& Integer(int64_t value);
    // To at most four decimals, trailing zeros left off; null for a value that is not
    // finite or too large to round exactly (see AppendDecimal).
    JsonWriter& Number(double value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

  private:
    // Puts the comma before a value or member that follows another.
    void Separate();

    std::string& out_;
    bool afterValue_ = false;  // the last thing written was a value or a closed object or array
};

// Appends `text` as the inside of a JSON string: quote, backslash and control characters
// escaped, and bytes that are not valid UTF-8 taken as Latin-1 and escaped, so that the
// text stays valid JSON whatever it is given.
void AppendJsonEscaped(std::string& out, std::string_view text);

}  // namespace qm
