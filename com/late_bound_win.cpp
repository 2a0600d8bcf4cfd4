// Late-bound calls through IDispatch. Each call resolves the member's name with
// GetIDsOfNames right before Invoke (no DISPID is kept between calls), passes the
// arguments last-first as COM requires, and converts the result or the failure.
#include "com/late_bound_win.h"

#include <limits>

#include "common/whole_number.h"

namespace qm::win {

namespace {

static_assert(sizeof(LONG) == sizeof(int32_t), "VT_I4 by reference points at a 32-bit integer");

// The HRESULT range that a 16-bit exception code maps to (the comdef.h convention).
constexpr HRESULT kWCodeFirst = static_cast<HRESULT>(0x80040200);
constexpr HRESULT kWCodeLast = static_cast<HRESULT>(0x8004FFFF);
constexpr WORD kWCodeMax = 0xFE00;

[[noreturn]] void ThrowStatus(HRESULT status) {
    throw AutomationError(StatusMessage(status), {}, {}, 0, status);
}

// Fills one VARIANTARG for an argument. Text goes into a new BSTR that `owned` keeps
// until the call returns; the VARIANTARG only borrows it.
void ToVariantArg(const AutoValue& value, VARIANTARG& arg, std::vector<Bstr>& owned) {
    VariantInit(&arg);
    switch (value.kind()) {
        case AutoValue::Kind::Empty:
            return;
        case AutoValue::Kind::Bool:
            arg.vt = VT_BOOL;
            arg.boolVal = value.boolValue() ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case AutoValue::Kind::Int:
            if (value.intValue() >= std::numeric_limits<int32_t>::min() &&
                value.intValue() <= std::numeric_limits<int32_t>::max()) {
                arg.vt = VT_I4;
                arg.lVal = static_cast<LONG>(value.intValue());
            } else {
                arg.vt = VT_I8;
                arg.llVal = value.intValue();
            }
            return;
        case AutoValue::Kind::Real:
            arg.vt = VT_R8;
            arg.dblVal = value.realValue();
            return;
        case AutoValue::Kind::Text: {
            std::wstring wide = WideFromAnsi(value.text());
            Bstr text(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
            if (!text.get())
                ThrowStatus(E_OUTOFMEMORY);
            arg.vt = VT_BSTR;
            arg.bstrVal = text.get();
            owned.push_back(std::move(text));
            return;
        }
        case AutoValue::Kind::Int32Ref:
            if (!value.ref())
                throw AutomationError("Null reference passed to automation object");
            arg.vt = VT_I4 | VT_BYREF;
            arg.plVal = reinterpret_cast<LONG*>(value.ref());
            return;
        case AutoValue::Kind::Other:
            break;
    }
    throw AutomationError("Cannot pass a value of type " + value.text() + " to an automation object");
}

// Removes trailing characters up to the blank (spaces and control characters) and
// full stops, as a driver's description often ends in ".\r\n".
std::string TrimDescription(std::string text) {
    while (!text.empty()) {
        unsigned char last = static_cast<unsigned char>(text.back());
        if (last > ' ' && last != '.')
            break;
        text.pop_back();
    }
    return text;
}

}  // namespace

std::wstring WideFromAnsi(const std::string& text) {
    if (text.empty())
        return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string AnsiFromWide(const wchar_t* text, size_t length) {
    if (!text || length == 0)
        return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::string StatusMessage(HRESULT status) {
    char buffer[1024] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(status), 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty())
        return text;
    return "OLE error " + HexNumber(static_cast<uint32_t>(status), 8);
}

AutomationError ErrorFromExcepInfo(const EXCEPINFO& info) {
    HRESULT status = info.scode;
    if (status == 0 && info.wCode != 0)
        status = info.wCode >= kWCodeMax ? kWCodeLast : kWCodeFirst + info.wCode;
    // A record with neither code still reports a failure, never "success".
    if (status == 0)
        status = DISP_E_EXCEPTION;
    auto text = [](BSTR s) { return AnsiFromWide(s, s ? SysStringLen(s) : 0); };
    std::string message = TrimDescription(text(info.bstrDescription));
    if (message.empty())
        message = StatusMessage(status);
    return AutomationError(message, text(info.bstrSource), text(info.bstrHelpFile), info.dwHelpContext, status);
}

std::string VariantTypeName(VARTYPE type) {
    if (type & VT_ARRAY)
        return "Array";
    switch (type & VT_TYPEMASK) {
        case VT_NULL:
            return "Null";
        case VT_DISPATCH:
            return "Dispatch";
        case VT_UNKNOWN:
            return "Unknown";
        case VT_ERROR:
            return "Error";
        case VT_VARIANT:
            return "Variant";
        case VT_RECORD:
            return "Record";
        default:
            break;
    }
    // As "%#x" writes it: no prefix for 0 (an empty variant).
    return type == 0 ? std::string("Type 0") : "Type 0x" + HexNumber(type, 1);
}

namespace {

AutoValue ConvertVariant(const VARIANT& value) {
    const VARTYPE type = value.vt;
    if (type & VT_ARRAY)
        return AutoValue::Other(VariantTypeName(type));
    const bool byRef = (type & VT_BYREF) != 0;
    if (byRef && !value.byref)
        return AutoValue::Other(VariantTypeName(type));
    // Picks the value held in the VARIANT or the one it points at.
    auto pick = [byRef](const auto& direct, const auto* pointer) { return byRef ? *pointer : direct; };
    switch (type & VT_TYPEMASK) {
        case VT_EMPTY:
            return AutoValue::Empty();
        case VT_VARIANT:
            if (byRef)
                return FromVariant(*value.pvarVal);
            break;
        case VT_BOOL:
            return AutoValue::Bool(pick(value.boolVal, value.pboolVal) != VARIANT_FALSE);
        case VT_I1:
            return AutoValue::Int(pick(value.cVal, value.pcVal));
        case VT_UI1:
            return AutoValue::Int(pick(value.bVal, value.pbVal));
        case VT_I2:
            return AutoValue::Int(pick(value.iVal, value.piVal));
        case VT_UI2:
            return AutoValue::Int(pick(value.uiVal, value.puiVal));
        case VT_I4:
            return AutoValue::Int(pick(value.lVal, value.plVal));
        case VT_UI4:
            return AutoValue::Int(pick(value.ulVal, value.pulVal));
        case VT_INT:
            return AutoValue::Int(pick(value.intVal, value.pintVal));
        case VT_UINT:
            return AutoValue::Int(pick(value.uintVal, value.puintVal));
        case VT_I8:
            return AutoValue::Int(pick(value.llVal, value.pllVal));
        case VT_UI8: {
            ULONGLONG u = pick(value.ullVal, value.pullVal);
            // Beyond the signed range: keep the magnitude (as a real) rather than wrap it.
            if (u > static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max()))
                return AutoValue::Real(static_cast<double>(u));
            return AutoValue::Int(static_cast<int64_t>(u));
        }
        case VT_R4:
            return AutoValue::Real(pick(value.fltVal, value.pfltVal));
        case VT_R8:
            return AutoValue::Real(pick(value.dblVal, value.pdblVal));
        case VT_DATE:
            return AutoValue::Real(pick(value.date, value.pdate));
        case VT_CY:
            return AutoValue::Real(static_cast<double>(pick(value.cyVal, value.pcyVal).int64) / 10000.0);
        case VT_DECIMAL: {
            DECIMAL decimal = pick(value.decVal, value.pdecVal);
            double real = 0;
            if (FAILED(VarR8FromDec(&decimal, &real)))
                break;
            return AutoValue::Real(real);
        }
        case VT_BSTR: {
            BSTR text = pick(value.bstrVal, value.pbstrVal);
            return AutoValue::Text(AnsiFromWide(text, text ? SysStringLen(text) : 0));
        }
        default:
            break;
    }
    return AutoValue::Other(VariantTypeName(type));
}

}  // namespace

AutoValue FromVariant(const VARIANT& value) {
    AutoValue converted = ConvertVariant(value);
    // A variant held by reference inside another one keeps the inner one's type.
    if (converted.variantType() < 0)
        converted.SetVariantType(value.vt);
    return converted;
}

DispatchObject::DispatchObject(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

void DispatchObject::PutProperty(const std::string& name, const AutoValue& value) {
    Call(name, DISPATCH_PROPERTYPUT, {value});
}

AutoValue DispatchObject::Read(const std::string& name) {
    return Call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
}

AutoValue DispatchObject::CallMethod(const std::string& name, const std::vector<AutoValue>& args) {
    return Call(name, DISPATCH_METHOD, args);
}

DISPID DispatchObject::Resolve(const std::string& name) {
    if (!dispatch_)
        throw AutomationError("No automation object");
    std::wstring wide = WideFromAnsi(name);
    LPOLESTR names[1] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = dispatch_->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &id);
    if (status == DISP_E_UNKNOWNNAME)
        throw AutomationError("Method '" + name + "' not supported by automation object", {}, {}, 0, status);
    if (FAILED(status))
        ThrowStatus(status);
    return id;
}

AutoValue DispatchObject::Call(const std::string& name, WORD flags, const std::vector<AutoValue>& args) {
    DISPID id = Resolve(name);

    // COM takes the arguments last-first.
    std::vector<Bstr> texts;
    std::vector<VARIANTARG> slots(args.size());
    for (size_t i = 0; i < args.size(); ++i)
        ToVariantArg(args[i], slots[args.size() - 1 - i], texts);

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {};
    params.rgvarg = slots.empty() ? nullptr : slots.data();
    params.cArgs = static_cast<UINT>(slots.size());
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    Variant result;
    EXCEPINFO info = {};
    UINT argError = 0;
    const bool wantsResult = (flags & DISPATCH_PROPERTYPUT) == 0;
    HRESULT status =
        dispatch_->Invoke(id, IID_NULL, 0, flags, &params, wantsResult ? result.get() : nullptr, &info, &argError);
    if (status == DISP_E_EXCEPTION && info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    // The exception record's strings are ours to free, whatever the status.
    Bstr source(info.bstrSource), description(info.bstrDescription), helpFile(info.bstrHelpFile);
    if (status == DISP_E_EXCEPTION)
        throw ErrorFromExcepInfo(info);
    if (FAILED(status))
        ThrowStatus(status);
    return FromVariant(*result.get());
}

std::unique_ptr<LateBoundObject> ComObjectFactory::Create(const std::string& progId) {
    CLSID classId;
    HRESULT status = CLSIDFromProgID(WideFromAnsi(progId).c_str(), &classId);
    if (FAILED(status))
        ThrowStatus(status);
    ComPtr<IDispatch> dispatch;
    status = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              dispatch.put_void());
    if (FAILED(status))
        ThrowStatus(status);
    return std::make_unique<DispatchObject>(std::move(dispatch));
}

}  // namespace qm::win
