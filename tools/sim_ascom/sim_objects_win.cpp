// The simulated chooser and focuser (see sim_objects_win.h). Every call re-reads
// sim.ini, is checked the way a type-library driven automation server checks it,
// may be delayed ("Delay.<Member>=<ms>") or turned into a scheduled failure or a
// wrong-typed answer, and leaves one line in calls.log:
//   <tick> <object> <member> <flags> (<arguments>) -> <result or error>
#include "tools/sim_ascom/sim_objects_win.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "tools/sim_ascom/sim_env_win.h"

namespace qm::sim {

namespace {

// Codes of the ASCOM exceptions the simulated focuser raises.
constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80040400);
constexpr HRESULT kNotConnected = static_cast<HRESULT>(0x80040407);
constexpr HRESULT kDriverError = static_cast<HRESULT>(0x80040500);  // scheduled failures, unless FailCode says

constexpr const char* kSource = "QmSim";
constexpr const char* kDefaultChooseResult = "QmSim.Focuser";
constexpr int32_t kDefaultMaxStep = 30000;
constexpr int32_t kDefaultStartPosition = 10000;
constexpr double kDefaultStepsPerSecond = 2000;

LONG gLiveObjects = 0;
void (*gObjectGone)() = nullptr;

// A failing status of the call itself (not a driver error).
struct InvokeStatus {
    HRESULT status;
};

// A VARIANT cleared on destruction.
struct LocalVariant {
    VARIANT v;
    LocalVariant() { VariantInit(&v); }
    ~LocalVariant() { VariantClear(&v); }
    LocalVariant(const LocalVariant&) = delete;
    LocalVariant& operator=(const LocalVariant&) = delete;
};

std::string Narrow(const wchar_t* text, size_t length) {
    if (!text || length == 0)
        return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// Control characters spelled out, so that one call stays one line of the log.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

std::string Hex(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%.8x", static_cast<unsigned>(status));
    return text;
}

std::string TypeName(VARTYPE type) {
    static const std::map<VARTYPE, const char*> kNames = {
        {VT_EMPTY, "VT_EMPTY"},     {VT_NULL, "VT_NULL"},
        {VT_I2, "VT_I2"},           {VT_I4, "VT_I4"},
        {VT_R4, "VT_R4"},           {VT_R8, "VT_R8"},
        {VT_CY, "VT_CY"},           {VT_DATE, "VT_DATE"},
        {VT_BSTR, "VT_BSTR"},       {VT_DISPATCH, "VT_DISPATCH"},
        {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"},
        {VT_VARIANT, "VT_VARIANT"}, {VT_UNKNOWN, "VT_UNKNOWN"},
        {VT_DECIMAL, "VT_DECIMAL"}, {VT_I1, "VT_I1"},
        {VT_UI1, "VT_UI1"},         {VT_UI2, "VT_UI2"},
        {VT_UI4, "VT_UI4"},         {VT_I8, "VT_I8"},
        {VT_UI8, "VT_UI8"},         {VT_INT, "VT_INT"},
        {VT_UINT, "VT_UINT"},
    };
    auto it = kNames.find(type & VT_TYPEMASK);
    std::string name;
    if (it != kNames.end()) {
        name = it->second;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "VT_%#x", static_cast<unsigned>(type & VT_TYPEMASK));
        name = text;
    }
    if (type & VT_ARRAY)
        name += "|VT_ARRAY";
    if (type & VT_BYREF)
        name += "|VT_BYREF";
    return name;
}

// "VT_I4|VT_BYREF=100", "VT_BSTR="Focuser"", "VT_BOOL=-1", "VT_EMPTY".
std::string Describe(const VARIANT& value) {
    const VARTYPE base = value.vt & VT_TYPEMASK;
    const bool byRef = (value.vt & VT_BYREF) != 0;
    std::string name = TypeName(value.vt);
    if (value.vt & VT_ARRAY)
        return name;
    if (byRef && !value.byref)
        return name + "=null";
    if (byRef && base == VT_VARIANT)
        return name + "->" + Describe(*value.pvarVal);
    if (base == VT_EMPTY || base == VT_NULL)
        return name;
    if (base == VT_BOOL)
        return name + "=" + std::to_string(byRef ? *value.pboolVal : value.boolVal);
    if (base == VT_BSTR) {
        BSTR text = byRef ? *value.pbstrVal : value.bstrVal;
        return name + "=\"" + OneLine(Narrow(text, text ? SysStringLen(text) : 0)) + "\"";
    }
    LocalVariant direct, text;
    if (FAILED(VariantCopyInd(&direct.v, const_cast<VARIANT*>(&value))) ||
        FAILED(VariantChangeTypeEx(&text.v, &direct.v, LOCALE_INVARIANT, 0, VT_BSTR)))
        return name + "=?";
    return name + "=" + Narrow(text.v.bstrVal, SysStringLen(text.v.bstrVal));
}

std::string FlagNames(WORD flags) {
    static const std::pair<WORD, const char*> kFlags[] = {
        {DISPATCH_METHOD, "DISPATCH_METHOD"},
        {DISPATCH_PROPERTYGET, "DISPATCH_PROPERTYGET"},
        {DISPATCH_PROPERTYPUT, "DISPATCH_PROPERTYPUT"},
        {DISPATCH_PROPERTYPUTREF, "DISPATCH_PROPERTYPUTREF"},
    };
    std::string names;
    WORD known = 0;
    for (auto [flag, name] : kFlags) {
        known |= flag;
        if (!(flags & flag))
            continue;
        if (!names.empty())
            names += "|";
        names += name;
    }
    if (flags & ~known)
        names += (names.empty() ? "" : "|") + Hex(flags & ~known);
    return names.empty() ? "0" : names;
}

// "(VT_I4|VT_BYREF=100)", named arguments as "(DISPID_PROPERTYPUT:VT_BOOL=-1)".
std::string DescribeArgs(const DISPPARAMS& params) {
    std::string text = "(";
    for (UINT i = 0; i < params.cArgs; ++i) {
        UINT slot = params.cArgs - 1 - i;  // rgvarg holds the last argument first
        if (i > 0)
            text += ",";
        // Named arguments come first in rgvarg.
        if (slot < params.cNamedArgs && params.rgdispidNamedArgs) {
            DISPID id = params.rgdispidNamedArgs[slot];
            text += id == DISPID_PROPERTYPUT ? std::string("DISPID_PROPERTYPUT") : std::to_string(id);
            text += ":";
        }
        text += Describe(params.rgvarg[slot]);
    }
    return text + ")";
}

// Calls of each member so far in this process, for the Fail.<Member> rules. Counted
// per steering directory too, so that tests in one process that each use a fresh
// directory also count from 1.
int64_t CountCall(const std::string& member) {
    static std::mutex lock;
    static std::map<std::string, int64_t> counts;
    std::lock_guard<std::mutex> guard(lock);
    return ++counts[SimDirectory() + "|" + member];
}

// An argument without its by-reference indirection; a missing optional argument
// (VT_ERROR DISP_E_PARAMNOTFOUND) reads as absent.
bool IsMissing(const VARIANT& arg) {
    return arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND;
}

void ConvertArg(const std::vector<VARIANT*>& args, size_t index, VARTYPE type, LocalVariant& out) {
    LocalVariant direct;
    if (FAILED(VariantCopyInd(&direct.v, args[index])) ||
        FAILED(VariantChangeTypeEx(&out.v, &direct.v, LOCALE_INVARIANT, 0, type)))
        throw ArgumentError{index};
}

}  // namespace

LONG LiveObjectCount() {
    return InterlockedCompareExchange(&gLiveObjects, 0, 0);
}
void AddLiveObject() {
    InterlockedIncrement(&gLiveObjects);
}
void RemoveLiveObject() {
    InterlockedDecrement(&gLiveObjects);
    if (gObjectGone)
        gObjectGone();
}
void SetObjectGoneHandler(void (*handler)()) {
    gObjectGone = handler;
}

int32_t ArgToInt32(const std::vector<VARIANT*>& args, size_t index) {
    LocalVariant value;
    ConvertArg(args, index, VT_I4, value);
    return value.v.lVal;
}

bool ArgToBool(const std::vector<VARIANT*>& args, size_t index) {
    LocalVariant value;
    ConvertArg(args, index, VT_BOOL, value);
    return value.v.boolVal != VARIANT_FALSE;
}

std::wstring ArgToText(const std::vector<VARIANT*>& args, size_t index) {
    LocalVariant value;
    ConvertArg(args, index, VT_BSTR, value);
    return std::wstring(value.v.bstrVal, SysStringLen(value.v.bstrVal));
}

// ---- SimObject ----

SimObject::SimObject(const char* objectName) : objectName_(objectName) {
    AddLiveObject();
    AppendCallLog(std::to_string(GetTickCount()) + " " + objectName_ + " (created)");
}

SimObject::~SimObject() {
    AppendCallLog(std::to_string(GetTickCount()) + " " + objectName_ + " (released)");
    RemoveLiveObject();
}

HRESULT SimObject::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SimObject::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG SimObject::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        // The last reference owns the object (it was handed out by the class factory).
        std::unique_ptr<SimObject> owner(this);
    }
    return static_cast<ULONG>(left);
}

HRESULT SimObject::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT SimObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT SimObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    HRESULT status = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const Member& member : Members()) {
        if (names[0] && lstrcmpiW(names[0], member.name) == 0)
            ids[0] = member.id;
    }
    if (ids[0] == DISPID_UNKNOWN) {
        status = DISP_E_UNKNOWNNAME;
        std::string name = names[0] ? Narrow(names[0], wcslen(names[0])) : "(null)";
        AppendCallLog(std::to_string(GetTickCount()) + " " + objectName_ + " " + name + " GetIDsOfNames () -> ERROR " +
                      Hex(status));
    }
    // No member takes named parameters.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        status = DISP_E_UNKNOWNNAME;
    }
    return status;
}

HRESULT SimObject::Invoke(DISPID id,
                          REFIID iid,
                          LCID,
                          WORD flags,
                          DISPPARAMS* params,
                          VARIANT* result,
                          EXCEPINFO* exception,
                          UINT* argError) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none = {};
    if (!params)
        params = &none;
    if (params->cArgs > 0 && !params->rgvarg)
        return E_INVALIDARG;

    const Member* member = nullptr;
    for (const Member& m : Members()) {
        if (m.id == id)
            member = &m;
    }
    std::vector<VARIANT*> args(params->cArgs);
    for (UINT i = 0; i < params->cArgs; ++i)
        args[i] = &params->rgvarg[params->cArgs - 1 - i];

    const SimConfig config = LoadConfig();
    // Without a steering directory there is no log to describe the call for.
    const bool logging = !SimDirectory().empty();
    std::string line;
    if (logging) {
        line = std::to_string(GetTickCount()) + " " + objectName_ + " " +
               (member ? std::string(member->logName) : "#" + std::to_string(id)) + " " + FlagNames(flags) + " " +
               DescribeArgs(*params);
    }
    LocalVariant answer;
    Access access = Access::Get;
    HRESULT status = S_OK;
    std::string outcome;
    try {
        if (!member)
            throw InvokeStatus{DISP_E_MEMBERNOTFOUND};
        const int64_t callNumber = CountCall(member->logName);
        const std::string name = member->logName;

        // The checks of a type-library driven server: access kind, then argument count.
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (member->shape != Shape::ReadWrite || !(flags & DISPATCH_PROPERTYPUT))
                throw InvokeStatus{DISP_E_MEMBERNOTFOUND};
            if (params->cArgs != 1)
                throw InvokeStatus{DISP_E_BADPARAMCOUNT};
            if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                throw InvokeStatus{DISP_E_PARAMNOTFOUND};
            access = Access::Put;
        } else {
            if (params->cNamedArgs != 0)
                throw InvokeStatus{DISP_E_NONAMEDARGS};
            if (member->shape == Shape::Method) {
                if (!(flags & DISPATCH_METHOD))
                    throw InvokeStatus{DISP_E_MEMBERNOTFOUND};
                UINT given = params->cArgs;
                // A trailing optional argument may come as "missing".
                if (given > 0 && IsMissing(*args[given - 1]))
                    --given;
                if (given < member->minArgs || given > member->maxArgs)
                    throw InvokeStatus{DISP_E_BADPARAMCOUNT};
                args.resize(given);
                access = Access::Call;
            } else {
                if (!(flags & DISPATCH_PROPERTYGET))
                    throw InvokeStatus{DISP_E_MEMBERNOTFOUND};
                if (params->cArgs != 0)
                    throw InvokeStatus{DISP_E_BADPARAMCOUNT};
                access = Access::Get;
            }
        }

        // "Delay.<Member>=<ms>": the call takes that long (at most a minute) before it
        // answers, as a slow driver or a slow link to the focuser would.
        if (const int64_t delay = config.GetInt("Delay." + name, 0); delay > 0)
            Sleep(static_cast<DWORD>(std::min<int64_t>(delay, 60000)));

        if (auto rule = config.Get("Fail." + name)) {
            auto fail = FailRule::Parse(*rule);
            if (fail && fail->Fires(callNumber)) {
                HRESULT code = static_cast<HRESULT>(config.GetInt("FailCode." + name, kDriverError));
                throw DriverError{code, fail->description};
            }
        }

        Answer(*member, access, args, answer.v, config);

        if (access == Access::Get) {
            WrongType wrong = ParseWrongType(config.Get("WrongType." + name).value_or(""));
            if (wrong != WrongType::None) {
                VariantClear(&answer.v);
                switch (wrong) {
                    case WrongType::Text:
                        answer.v.vt = VT_BSTR;
                        answer.v.bstrVal = SysAllocString(L"abc");
                        break;
                    case WrongType::Real:
                        answer.v.vt = VT_R8;
                        answer.v.dblVal = 123.5;
                        break;
                    case WrongType::Big:
                        answer.v.vt = VT_I8;
                        answer.v.llVal = 5000000000LL;
                        break;
                    case WrongType::BigReal:
                        answer.v.vt = VT_R8;
                        answer.v.dblVal = 5e9;
                        break;
                    case WrongType::Null:
                        answer.v.vt = VT_NULL;
                        break;
                    case WrongType::Empty:
                    case WrongType::None:
                        break;
                }
            }
        }
        if (logging)
            outcome = access == Access::Put ? "OK" : Describe(answer.v);
    } catch (const InvokeStatus& failure) {
        status = failure.status;
        outcome = "ERROR " + Hex(status);
    } catch (const ArgumentError& failure) {
        status = DISP_E_TYPEMISMATCH;
        if (argError)
            *argError = static_cast<UINT>(params->cArgs - 1 - failure.index);
        outcome = "ERROR " + Hex(status);
    } catch (const DriverError& failure) {
        status = DISP_E_EXCEPTION;
        if (exception) {
            *exception = EXCEPINFO{};
            exception->bstrSource = SysAllocString(Widen(kSource).c_str());
            std::wstring description = Widen(failure.description);
            exception->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
            exception->scode = failure.code;
        }
        outcome = "EXCEPTION " + Hex(failure.code) + " " + OneLine(failure.description);
    } catch (const std::exception& failure) {
        status = E_UNEXPECTED;
        outcome = "ERROR " + Hex(status) + " " + failure.what();
    }
    try {
        AfterCall(config);
    } catch (const std::exception&) {
        // The state file is a courtesy to other processes; the call's answer stands.
    }
    if (logging)
        AppendCallLog(line + " -> " + outcome);
    if (status == S_OK && result && access != Access::Put) {
        *result = answer.v;  // hands the value over
        VariantInit(&answer.v);
    }
    return status;
}

// ---- SimChooser ----

namespace {
enum ChooserId : DISPID { kDeviceType = 1, kChoose = 2 };
}

SimChooser::SimChooser() : SimObject("Chooser") {}

const std::vector<SimObject::Member>& SimChooser::Members() const {
    static const std::vector<Member> kMembers = {
        {L"DeviceType", "DeviceType", kDeviceType, Shape::ReadWrite},
        {L"Choose", "Choose", kChoose, Shape::Method, 0, 1},
    };
    return kMembers;
}

void SimChooser::Answer(const Member& member,
                        Access access,
                        const std::vector<VARIANT*>& args,
                        VARIANT& result,
                        const SimConfig& config) {
    if (member.id == kDeviceType) {
        if (access == Access::Put) {
            deviceType_ = ArgToText(args, 0);
        } else {
            result.vt = VT_BSTR;
            result.bstrVal = SysAllocStringLen(deviceType_.data(), static_cast<UINT>(deviceType_.size()));
        }
        return;
    }
    // Choose: the optional argument is the identifier to preselect; it must be text.
    if (!args.empty())
        ArgToText(args, 0);
    std::wstring chosen = Widen(config.Get("ChooseResult").value_or(kDefaultChooseResult));
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocStringLen(chosen.data(), static_cast<UINT>(chosen.size()));
}

// ---- SimFocuser ----

namespace {
enum FocuserId : DISPID {
    kLink = 1,
    kConnected,
    kMaxStep,
    kAbsolute,
    kPosition,
    kIsMoving,
    kMove,
    kHalt,
    kTemperature,
};

int32_t ToInt32Clamped(int64_t value) {
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}
}  // namespace

SimFocuser::SimFocuser(const char* objectName) : SimObject(objectName) {
    PlaceAtStart(LoadConfig());
}

// NoLink=1 in sim.ini makes a newer driver that knows Connected but no longer Link;
// NoTemperature=1 a driver that has no Temperature member at all.
const std::vector<SimObject::Member>& SimFocuser::Members() const {
    static const std::vector<Member> kMembers = {
        {L"Link", "Link", kLink, Shape::ReadWrite},
        {L"Connected", "Connected", kConnected, Shape::ReadWrite},
        {L"MaxStep", "MaxStep", kMaxStep, Shape::ReadOnly},
        {L"Absolute", "Absolute", kAbsolute, Shape::ReadOnly},
        {L"Position", "Position", kPosition, Shape::ReadOnly},
        {L"IsMoving", "IsMoving", kIsMoving, Shape::ReadOnly},
        {L"Move", "Move", kMove, Shape::Method, 1, 1},
        {L"Halt", "Halt", kHalt, Shape::Method, 0, 0},
        {L"Temperature", "Temperature", kTemperature, Shape::ReadOnly},
    };
    // Link comes first and Temperature last, so each variant is a slice of the list:
    // [without Link][without Temperature].
    static const std::vector<Member> kVariants[2][2] = {
        {kMembers, std::vector<Member>(kMembers.begin(), kMembers.end() - 1)},
        {std::vector<Member>(kMembers.begin() + 1, kMembers.end()),
         std::vector<Member>(kMembers.begin() + 1, kMembers.end() - 1)},
    };
    const SimConfig config = LoadConfig();
    return kVariants[config.GetBool("NoLink", false) ? 1 : 0][config.GetBool("NoTemperature", false) ? 1 : 0];
}

// StartPosition, when sim.ini gives one, places the focuser whenever a driver object
// is created or linked. Without it the focuser stays where focuser.state says it
// is, as real hardware does between two driver objects, or starts at 10000.
void SimFocuser::PlaceAtStart(const SimConfig& config) {
    const uint32_t now = GetTickCount();
    auto start = config.Get("StartPosition");
    auto startValue = start ? ParseInt(*start) : std::nullopt;
    if (startValue) {
        motion_.Place(ToInt32Clamped(*startValue), now);
    } else if (auto saved = ReadSimFile("focuser.state")) {
        motion_.Restore(FocuserState::Parse(*saved));
    } else {
        motion_.Place(kDefaultStartPosition, now);
    }
}

void SimFocuser::Answer(const Member& member,
                        Access access,
                        const std::vector<VARIANT*>& args,
                        VARIANT& result,
                        const SimConfig& config) {
    const uint32_t now = GetTickCount();
    const int32_t maxStep = ToInt32Clamped(config.GetInt("MaxStep", kDefaultMaxStep));
    const bool absolute = config.GetBool("Absolute", true);
    const double stepsPerSecond = config.GetReal("StepsPerSecond", kDefaultStepsPerSecond);
    motion_.SetStuck(config.GetBool("Stuck", false), now);

    auto answerBool = [&result](bool value) {
        result.vt = VT_BOOL;
        result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    };
    auto answerInt = [&result](int32_t value) {
        result.vt = VT_I4;
        result.lVal = value;
    };

    if (member.id == kLink || member.id == kConnected) {
        if (access == Access::Get) {
            answerBool(linked_);
            return;
        }
        bool link = ArgToBool(args, 0);
        if (link && !linked_)
            PlaceAtStart(config);
        linked_ = link;
        return;
    }
    if (!linked_)
        throw DriverError{kNotConnected, "QmSim focuser is not connected."};
    switch (member.id) {
        case kMaxStep:
            answerInt(maxStep);
            return;
        case kAbsolute:
            answerBool(absolute);
            return;
        case kPosition:
            if (!absolute)
                throw DriverError{kNotImplemented, "Position is not available for a relative focuser."};
            answerInt(motion_.Position(now));
            return;
        case kIsMoving: {
            // Faults of drivers met in the field: IsMoving never True while the focuser
            // moves, or False once it is within IdleEarlySteps of its target.
            const int64_t left = std::llabs(int64_t{motion_.state().target} - motion_.Position(now));
            const bool early = left <= config.GetInt("IdleEarlySteps", -1) && !motion_.state().stuck;
            answerBool(motion_.IsMoving(now) && !config.GetBool("NeverMoving", false) && !early);
            return;
        }
        case kMove: {
            int32_t value = ArgToInt32(args, 0);
            const int32_t from = motion_.Position(now);
            // StopShortSteps=N: every move ends N steps before its target, never behind its start.
            const int64_t shortBy = std::max<int64_t>(config.GetInt("StopShortSteps", 0), 0);
            auto shortened = [&](int64_t distance) {
                const int64_t length = std::max<int64_t>(std::llabs(distance) - shortBy, 0);
                return distance < 0 ? -length : length;
            };
            if (absolute) {
                const int64_t target = std::clamp<int64_t>(value, 0, std::max<int32_t>(maxStep, 0));
                motion_.MoveTo(from + shortened(target - from), maxStep, stepsPerSecond, now);
            } else {
                motion_.MoveBy(shortened(value), stepsPerSecond, now);
            }
            // BlockingMove=1: Move returns only when the move is over, as some drivers do.
            if (config.GetBool("BlockingMove", false) && stepsPerSecond > 0) {
                const double seconds = std::fabs(double{motion_.state().target} - from) / stepsPerSecond;
                ReplaceSimFile("focuser.state", motion_.state().Serialize());
                Sleep(static_cast<DWORD>(std::min(seconds, 60.0) * 1000));
            }
            return;
        }
        case kHalt:
            motion_.Halt(now);
            return;
        case kTemperature: {
            // "Temperature=<°C>" is the first read's answer and every read after it adds
            // "TemperatureStep=<°C>"; without the key the driver has no thermometer and
            // says so, as ASCOM drivers do.
            const std::optional<std::string> first = config.Get("Temperature");
            if (!first)
                throw DriverError{kNotImplemented, "Temperature is not available for this focuser."};
            const double degrees = config.GetReal("Temperature", 0) +
                                   static_cast<double>(temperatureReads_) * config.GetReal("TemperatureStep", 0);
            ++temperatureReads_;
            result.vt = VT_R8;
            result.dblVal = degrees;
            return;
        }
        default:
            throw InvokeStatus{DISP_E_MEMBERNOTFOUND};
    }
}

void SimFocuser::AfterCall(const SimConfig&) {
    ReplaceSimFile("focuser.state", motion_.state().Serialize());
}

}  // namespace qm::sim
