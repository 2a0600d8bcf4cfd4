// Recording wrappers of the binding's seam, and the text of recorded values.
#include "checker/call_trace.h"

#include <cmath>
#include <type_traits>

#include "common/printf_text.h"
#include "common/whole_number.h"

namespace qm::check {

namespace {

std::string QuotedText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < ' ') {
            out += "\\x" + HexNumber(u, 2);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string ArgumentsText(const std::vector<AutoValue>& args) {
    std::string text;
    for (const AutoValue& arg : args) {
        if (!text.empty())
            text += ", ";
        text += DescribeValue(arg);
    }
    return text;
}

// Runs one call of the wrapped object and records it; errors pass on unchanged.
template <typename Call>
auto Recorded(CallTrace& trace, CallRecord record, Call call) {
    const int64_t start = trace.Now();
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            record.micros = trace.Now() - start;
            trace.Add(std::move(record));
        } else {
            auto answer = call();
            record.micros = trace.Now() - start;
            if constexpr (std::is_same_v<decltype(answer), AutoValue>)
                record.answer = answer;
            trace.Add(std::move(record));
            return answer;
        }
    } catch (const AutomationError& error) {
        record.micros = trace.Now() - start;
        record.failed = true;
        record.error = error.what();
        record.status = error.status();
        record.source = error.source();
        trace.Add(std::move(record));
        throw;
    } catch (const std::exception& error) {
        record.micros = trace.Now() - start;
        record.failed = true;
        record.error = error.what();
        trace.Add(std::move(record));
        throw;
    }
}

}  // namespace

void CallTrace::Add(CallRecord record) {
    records_.push_back(std::move(record));
    if (sink_)
        sink_(records_.back());
}

std::unique_ptr<LateBoundObject> TracingFactory::Create(const std::string& progId) {
    CallRecord record;
    record.access = CallRecord::Access::Create;
    record.object = progId;
    std::unique_ptr<LateBoundObject> created =
        Recorded(trace_, std::move(record), [&] { return inner_.Create(progId); });
    return std::make_unique<TracingObject>(std::move(created), progId, trace_);
}

TracingObject::~TracingObject() {
    CallRecord record;
    record.access = CallRecord::Access::Release;
    record.object = progId_;
    const int64_t start = trace_.Now();
    inner_.reset();
    record.micros = trace_.Now() - start;
    trace_.Add(std::move(record));
}

void TracingObject::PutProperty(const std::string& name, const AutoValue& value) {
    CallRecord record;
    record.access = CallRecord::Access::Put;
    record.object = progId_;
    record.member = name;
    record.sent = DescribeValue(value);
    Recorded(trace_, std::move(record), [&] { inner_->PutProperty(name, value); });
}

AutoValue TracingObject::Read(const std::string& name) {
    CallRecord record;
    record.access = CallRecord::Access::Get;
    record.object = progId_;
    record.member = name;
    return Recorded(trace_, std::move(record), [&] { return inner_->Read(name); });
}

AutoValue TracingObject::CallMethod(const std::string& name, const std::vector<AutoValue>& args) {
    CallRecord record;
    record.access = CallRecord::Access::Call;
    record.object = progId_;
    record.member = name;
    // By-reference arguments are described as they are before the call.
    record.sent = ArgumentsText(args);
    return Recorded(trace_, std::move(record), [&] { return inner_->CallMethod(name, args); });
}

std::string VariantTypeText(int variantType) {
    if (variantType < 0)
        return "unknown type";
    struct Name {
        int type;
        const char* name;
    };
    static const Name kNames[] = {
        {0, "VT_EMPTY"}, {1, "VT_NULL"},      {2, "VT_I2"},     {3, "VT_I4"},     {4, "VT_R4"},   {5, "VT_R8"},
        {6, "VT_CY"},    {7, "VT_DATE"},      {8, "VT_BSTR"},   {9, "VT_DISPATCH"}, {10, "VT_ERROR"},
        {11, "VT_BOOL"}, {12, "VT_VARIANT"},  {13, "VT_UNKNOWN"}, {14, "VT_DECIMAL"}, {16, "VT_I1"},
        {17, "VT_UI1"},  {18, "VT_UI2"},      {19, "VT_UI4"},   {20, "VT_I8"},    {21, "VT_UI8"}, {22, "VT_INT"},
        {23, "VT_UINT"}, {36, "VT_RECORD"},
    };
    const int base = variantType & 0xFFF;
    std::string text;
    for (const Name& n : kNames) {
        if (n.type == base)
            text = n.name;
    }
    if (text.empty()) {
        text = "VT_0x" + HexNumber(static_cast<uint32_t>(base), 1);  // as "%#x": never 0 here, VT_EMPTY is named
    }
    if (variantType & kVtArray)
        text += "|VT_ARRAY";
    if (variantType & kVtByRef)
        text += "|VT_BYREF";
    return text;
}

int VariantTypeOf(const AutoValue& value) {
    if (value.variantType() >= 0)
        return value.variantType();
    switch (value.kind()) {
        case AutoValue::Kind::Empty: return kVtEmpty;
        case AutoValue::Kind::Bool: return kVtBool;
        case AutoValue::Kind::Int: return kVtI4;
        case AutoValue::Kind::Real: return kVtR8;
        case AutoValue::Kind::Text: return kVtBstr;
        case AutoValue::Kind::Int32Ref: return kVtI4 | kVtByRef;
        case AutoValue::Kind::Other: break;
    }
    return -1;
}

std::string DescribeValue(const AutoValue& value) {
    std::string text;
    switch (value.kind()) {
        case AutoValue::Kind::Empty: break;
        case AutoValue::Kind::Bool: text = value.boolValue() ? "True" : "False"; break;
        case AutoValue::Kind::Int: text = std::to_string(value.intValue()); break;
        case AutoValue::Kind::Real:
            // Every NaN as "nan": the libraries differ on writing the sign of one.
            text = std::isnan(value.realValue()) ? "nan" : PrintfText("%.15g", value.realValue());
            break;
        case AutoValue::Kind::Text: text = QuotedText(value.text()); break;
        case AutoValue::Kind::Int32Ref: text = value.ref() ? std::to_string(*value.ref()) : "null"; break;
        case AutoValue::Kind::Other: break;
    }
    std::string type = VariantTypeOf(value) >= 0 ? VariantTypeText(VariantTypeOf(value)) : value.text();
    return text.empty() ? "(" + type + ")" : text + " (" + type + ")";
}

}  // namespace qm::check
