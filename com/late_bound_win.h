// The late-bound automation object over a real IDispatch, and the factory that
// creates such objects from a programmatic identifier. Every call resolves the
// member's name first, passes the arguments in the kinds the binding asks for and
// turns the result VARIANT into an AutoValue; every failure becomes an
// AutomationError whose message follows the rules for driver exceptions and for
// plain COM status codes.
#pragma once

#include <string>

#include "com/late_bound.h"
#include "common/raii_win.h"

namespace qm::win {

class DispatchObject : public LateBoundObject {
  public:
    explicit DispatchObject(ComPtr<IDispatch> dispatch);

    void PutProperty(const std::string& name, const AutoValue& value) override;
    AutoValue Read(const std::string& name) override;
    AutoValue CallMethod(const std::string& name, const std::vector<AutoValue>& args) override;

    IDispatch* get() const { return dispatch_.get(); }

  private:
    DISPID Resolve(const std::string& name);
    AutoValue Call(const std::string& name, WORD flags, const std::vector<AutoValue>& args);

    ComPtr<IDispatch> dispatch_;
};

class ComObjectFactory : public ObjectFactory {
  public:
    // CLSIDFromProgID, then CoCreateInstance for IDispatch, in process or local server.
    std::unique_ptr<LateBoundObject> Create(const std::string& progId) override;
};

// Building blocks, exposed so that they can be tested on their own.

// 8-bit text in the system code page to UTF-16 and back.
std::wstring WideFromAnsi(const std::string& text);
std::string AnsiFromWide(const wchar_t* text, size_t length);

// The message for a failing status other than a driver exception: the system's
// text without its trailing line break, or "OLE error %.8x" when it has none.
std::string StatusMessage(HRESULT status);

// The error for DISP_E_EXCEPTION built from the object's exception record
// (deferred fill-in done by the caller). The record's strings are not freed here.
AutomationError ErrorFromExcepInfo(const EXCEPINFO& info);

// A result VARIANT as an AutoValue, which keeps the VARTYPE it arrived as; VT_BYREF
// values are read through.
AutoValue FromVariant(const VARIANT& value);

// The name used for a variant type the binding has no conversion for.
std::string VariantTypeName(VARTYPE type);

}  // namespace qm::win
