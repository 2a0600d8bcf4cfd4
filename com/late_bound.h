// The late-bound automation object as the focuser binding sees it: members called
// by name with a few kinds of argument, results converted by fixed rules, and
// failures raised as AutomationError. The Win32 layer implements it over IDispatch
// (late_bound_win.h); native tests implement it with a scripted fake.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

// A value passed to or returned by a member.
class AutoValue {
public:
    enum class Kind { Empty, Bool, Int, Real, Text, Int32Ref, Other };

    static AutoValue Empty() { return AutoValue(Kind::Empty); }
    static AutoValue Bool(bool b) {
        AutoValue v(Kind::Bool);
        v.int_ = b ? 1 : 0;
        return v;
    }
    static AutoValue Int(int64_t i) {
        AutoValue v(Kind::Int);
        v.int_ = i;
        return v;
    }
    static AutoValue Real(double d) {
        AutoValue v(Kind::Real);
        v.real_ = d;
        return v;
    }
    static AutoValue Text(std::string s) {
        AutoValue v(Kind::Text);
        v.text_ = std::move(s);
        return v;
    }
    // A 32-bit integer passed by reference: the callee may read and write *target.
    static AutoValue Int32Ref(int32_t* target) {
        AutoValue v(Kind::Int32Ref);
        v.ref_ = target;
        return v;
    }
    // A result of a kind the binding has no use for (an object, an array, an error value...).
    static AutoValue Other(std::string typeName) {
        AutoValue v(Kind::Other);
        v.text_ = std::move(typeName);
        return v;
    }

    Kind kind() const { return kind_; }
    bool boolValue() const { return int_ != 0; }
    int64_t intValue() const { return int_; }
    double realValue() const { return real_; }
    const std::string& text() const { return text_; }  // Text, or the type name of Other
    int32_t* ref() const { return ref_; }

    // The automation type code (VARTYPE) the value arrived as, kept so that a
    // diagnosis can name it; -1 for a value made here rather than read from an object.
    int variantType() const { return variantType_; }
    AutoValue& SetVariantType(int type) {
        variantType_ = type;
        return *this;
    }

private:
    explicit AutoValue(Kind k) : kind_(k) {}
    Kind kind_;
    int64_t int_ = 0;
    double real_ = 0;
    std::string text_;
    int32_t* ref_ = nullptr;
    int variantType_ = -1;
};

// An error raised by an automation call. For an exception raised by the object
// itself it carries the object's description and the rest of its exception record.
class AutomationError : public std::runtime_error {
public:
    explicit AutomationError(const std::string& message, std::string source = {}, std::string helpFile = {},
                             uint32_t helpContext = 0, int32_t status = 0)
        : std::runtime_error(message),
          source_(std::move(source)),
          helpFile_(std::move(helpFile)),
          helpContext_(helpContext),
          status_(status) {}
    const std::string& source() const { return source_; }
    const std::string& helpFile() const { return helpFile_; }
    uint32_t helpContext() const { return helpContext_; }
    int32_t status() const { return status_; }

private:
    std::string source_;
    std::string helpFile_;
    uint32_t helpContext_;
    int32_t status_;
};

// Result conversions. Each raises AutomationError when the value does not convert.
bool ToBool(const AutoValue& v);           // Bool; a number is true when not 0; Empty is false
int32_t ToInt32(const AutoValue& v);       // a real is rounded to nearest, halves to even; must fit
std::string ToText(const AutoValue& v);    // Empty gives ""

class LateBoundObject {
public:
    virtual ~LateBoundObject() = default;
    // Property write (DISPATCH_PROPERTYPUT, the argument named DISPID_PROPERTYPUT).
    virtual void PutProperty(const std::string& name, const AutoValue& value) = 0;
    // Read without arguments (DISPATCH_METHOD | DISPATCH_PROPERTYGET).
    virtual AutoValue Read(const std::string& name) = 0;
    // Method call with arguments (DISPATCH_METHOD).
    virtual AutoValue CallMethod(const std::string& name, const std::vector<AutoValue>& args) = 0;
};

class ObjectFactory {
public:
    virtual ~ObjectFactory() = default;
    // Creates the object registered under a programmatic identifier; raises AutomationError.
    virtual std::unique_ptr<LateBoundObject> Create(const std::string& progId) = 0;
};

}  // namespace qm
