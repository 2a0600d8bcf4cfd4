// A record of every automation call the program's binding makes: the object
// factory and the objects it creates are wrapped so that each creation, property
// write, read, method call and release is written down with what was sent, the
// answer (with the automation type it arrived as), the time it took and, for a
// failure, the error's text and code. The wrapped calls behave exactly as the
// real ones: answers and errors pass through unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com/late_bound.h"

namespace qm::check {

struct CallRecord {
    enum class Access { Create, Put, Get, Call, Release };

    Access access = Access::Get;
    std::string object;  // the programmatic identifier of the object called
    std::string member;  // empty for Create and Release
    std::string sent;    // the arguments as text, with their automation types
    std::optional<AutoValue> answer;  // Get and Call that succeeded
    bool failed = false;
    std::string error;   // the error's message
    int32_t status = 0;  // the error's code
    std::string source;  // who raised the error, when the object said
    int64_t micros = 0;  // time spent in the call
};

// Microseconds from any fixed start.
using MicroClock = std::function<int64_t()>;
// Told of every record as soon as it is complete.
using RecordSink = std::function<void(const CallRecord&)>;

class CallTrace {
  public:
    CallTrace(MicroClock clock, RecordSink sink = {}) : clock_(std::move(clock)), sink_(std::move(sink)) {}

    const std::vector<CallRecord>& records() const { return records_; }
    int64_t Now() const { return clock_(); }
    void Add(CallRecord record);

  private:
    MicroClock clock_;
    RecordSink sink_;
    std::vector<CallRecord> records_;
};

// Creates objects through `inner` and hands out recording wrappers of them.
class TracingFactory : public ObjectFactory {
  public:
    TracingFactory(ObjectFactory& inner, CallTrace& trace) : inner_(inner), trace_(trace) {}
    std::unique_ptr<LateBoundObject> Create(const std::string& progId) override;

  private:
    ObjectFactory& inner_;
    CallTrace& trace_;
};

class TracingObject : public LateBoundObject {
  public:
    TracingObject(std::unique_ptr<LateBoundObject> inner, std::string progId, CallTrace& trace)
        : inner_(std::move(inner)), progId_(std::move(progId)), trace_(trace) {}
    ~TracingObject() override;
    TracingObject(const TracingObject&) = delete;
    TracingObject& operator=(const TracingObject&) = delete;

    void PutProperty(const std::string& name, const AutoValue& value) override;
    AutoValue Read(const std::string& name) override;
    AutoValue CallMethod(const std::string& name, const std::vector<AutoValue>& args) override;

  private:
    std::unique_ptr<LateBoundObject> inner_;
    std::string progId_;
    CallTrace& trace_;
};

// Automation type codes (VARTYPE) and their names, as driver authors know them.
constexpr int kVtEmpty = 0, kVtNull = 1, kVtI2 = 2, kVtI4 = 3, kVtR4 = 4, kVtR8 = 5, kVtBstr = 8, kVtBool = 11,
              kVtI8 = 20, kVtByRef = 0x4000, kVtArray = 0x2000;
std::string VariantTypeText(int variantType);
// The type a value has or would be sent as: its recorded type, else the one its kind maps to.
int VariantTypeOf(const AutoValue& value);
// "30000 (VT_I4)", "True (VT_BOOL)", "\"Focuser\" (VT_BSTR)", "(VT_EMPTY)".
std::string DescribeValue(const AutoValue& value);

}  // namespace qm::check
