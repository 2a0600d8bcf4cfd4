// Tests of the IDispatch layer (DispatchObject, ComObjectFactory) in two halves:
//  - against a recording IDispatch written here, for the exact Invoke protocol
//    (locale, flags, argument order, named argument) and the error records;
//  - against the simulated chooser and focuser (QmSimAscom.dll) loaded in process,
//    steered through QM_SIM_DIR, for what a driver receives and answers. These
//    skip when the simulator is not registered in the prefix
//    (scripts/sim_ascom_register.sh).
#include <ole2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "com/late_bound_win.h"
#include "tools/sim_ascom/focuser_state.h"

namespace qm::win {
namespace {

// ---------------------------------------------------------------------------
// A recording IDispatch

struct RecordedInvoke {
    DISPID id = 0;
    bool nullIid = false;
    LCID locale = 1;
    WORD flags = 0;
    std::vector<VARTYPE> types;  // rgvarg order (last argument first)
    std::vector<DISPID> named;
    bool hadResultSlot = false;
};

class RecordingDispatch : public IDispatch {
  public:
    // What Invoke does: fill the result, or return a status with an exception record.
    std::function<HRESULT(DISPPARAMS*, VARIANT*, EXCEPINFO*)> behaviour = [](DISPPARAMS*, VARIANT*, EXCEPINFO*) {
        return S_OK;
    };
    std::vector<std::wstring> resolvedNames;
    std::vector<LCID> resolveLocales;
    std::vector<RecordedInvoke> invokes;
    std::vector<std::string> events;  // "resolve Name" / "invoke"
    LONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
        EXPECT_EQ(count, 1u);
        resolvedNames.emplace_back(names[0]);
        resolveLocales.push_back(locale);
        events.push_back("resolve");
        if (std::wstring(names[0]) == L"Unknown") {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = static_cast<DISPID>(resolvedNames.size() + 10);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id,
                                     REFIID iid,
                                     LCID locale,
                                     WORD flags,
                                     DISPPARAMS* params,
                                     VARIANT* result,
                                     EXCEPINFO* info,
                                     UINT*) override {
        RecordedInvoke call;
        call.id = id;
        call.nullIid = IsEqualIID(iid, IID_NULL);
        call.locale = locale;
        call.flags = flags;
        for (UINT i = 0; i < params->cArgs; ++i)
            call.types.push_back(params->rgvarg[i].vt);
        for (UINT i = 0; i < params->cNamedArgs; ++i)
            call.named.push_back(params->rgdispidNamedArgs[i]);
        call.hadResultSlot = result != nullptr;
        invokes.push_back(call);
        events.push_back("invoke");
        return behaviour(params, result, info);
    }
};

// A DispatchObject over a RecordingDispatch that the test keeps (the object's
// reference is added here and dropped by the DispatchObject).
struct Recorded {
    RecordingDispatch fake;
    DispatchObject object{[this] {
        ComPtr<IDispatch> p;
        fake.QueryInterface(IID_IDispatch, p.put_void());
        return p;
    }()};
};

TEST(DispatchProtocol, EveryCallResolvesItsNameFirstInTheThreadLocale) {
    Recorded r;
    r.object.Read("Position");
    r.object.Read("Position");
    r.object.PutProperty("Link", AutoValue::Bool(true));
    EXPECT_EQ(r.fake.events, (std::vector<std::string>{"resolve", "invoke", "resolve", "invoke", "resolve", "invoke"}));
    EXPECT_EQ(r.fake.resolvedNames, (std::vector<std::wstring>{L"Position", L"Position", L"Link"}));
    for (LCID locale : r.fake.resolveLocales)
        EXPECT_EQ(locale, GetThreadLocale());
    for (const auto& call : r.fake.invokes) {
        EXPECT_TRUE(call.nullIid);
        EXPECT_EQ(call.locale, 0u);
    }
    // Each call uses the DISPID of its own resolution.
    EXPECT_EQ(r.fake.invokes[0].id, 11);
    EXPECT_EQ(r.fake.invokes[1].id, 12);
}

TEST(DispatchProtocol, FlagsArgumentsAndNamedArgumentPerKindOfCall) {
    Recorded r;
    int32_t steps = 5;
    r.object.PutProperty("DeviceType", AutoValue::Text("Focuser"));
    r.object.Read("Choose");
    r.object.CallMethod("Move", {AutoValue::Int32Ref(&steps)});
    r.object.CallMethod("Three", {AutoValue::Text("a"), AutoValue::Int32Ref(&steps), AutoValue::Bool(false)});

    const auto& put = r.fake.invokes[0];
    EXPECT_EQ(put.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(put.types, (std::vector<VARTYPE>{VT_BSTR}));
    EXPECT_EQ(put.named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));
    EXPECT_FALSE(put.hadResultSlot);

    const auto& read = r.fake.invokes[1];
    EXPECT_EQ(read.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_TRUE(read.types.empty());
    EXPECT_TRUE(read.named.empty());
    EXPECT_TRUE(read.hadResultSlot);

    const auto& move = r.fake.invokes[2];
    EXPECT_EQ(move.flags, DISPATCH_METHOD);
    EXPECT_EQ(move.types, (std::vector<VARTYPE>{VT_I4 | VT_BYREF}));
    EXPECT_TRUE(move.named.empty());

    // COM order: the last argument comes first.
    EXPECT_EQ(r.fake.invokes[3].types, (std::vector<VARTYPE>{VT_BOOL, VT_I4 | VT_BYREF, VT_BSTR}));
}

TEST(DispatchProtocol, ArgumentValuesReachTheCalleeAndByRefWritesComeBack) {
    Recorded r;
    int32_t target = 1234;
    std::wstring text;
    VARIANT_BOOL flag = 0;
    LONG* seenPointer = nullptr;
    r.fake.behaviour = [&](DISPPARAMS* params, VARIANT*, EXCEPINFO*) {
        text.assign(params->rgvarg[2].bstrVal, SysStringLen(params->rgvarg[2].bstrVal));
        seenPointer = params->rgvarg[1].plVal;
        *params->rgvarg[1].plVal = 99;
        flag = params->rgvarg[0].boolVal;
        return S_OK;
    };
    r.object.CallMethod("Three", {AutoValue::Text("Focuser"), AutoValue::Int32Ref(&target), AutoValue::Bool(true)});
    EXPECT_EQ(text, L"Focuser");
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(reinterpret_cast<void*>(seenPointer), reinterpret_cast<void*>(&target));
    EXPECT_EQ(target, 99);
}

TEST(DispatchProtocol, UnknownNameFailsBeforeInvoke) {
    Recorded r;
    try {
        r.object.Read("Unknown");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "Method 'Unknown' not supported by automation object");
        EXPECT_EQ(e.status(), DISP_E_UNKNOWNNAME);
    }
    EXPECT_TRUE(r.fake.invokes.empty());
}

// The deferred fill-in of one test case.
HRESULT STDMETHODCALLTYPE FillInLater(EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(L"Filled in later.\r\n");
    info->scode = static_cast<HRESULT>(0x80040501);
    return S_OK;
}

struct ExceptionCase {
    const char* name;
    const wchar_t* description;  // nullptr: no description
    HRESULT scode;
    WORD wCode;
    bool deferred;
    std::string message;  // "" = the status message of `status`
    HRESULT status;
};

TEST(DispatchErrors, DriverExceptionRecordsBecomeMessages) {
    const HRESULT kDriver = static_cast<HRESULT>(0x80040500);
    const ExceptionCase cases[] = {
        {"trailing line break and stop", L"Focuser stalled.\r\n", kDriver, 0, false, "Focuser stalled", kDriver},
        {"blanks, tabs and several stops", L"Bad value...\t  . ", kDriver, 0, false, "Bad value", kDriver},
        {"inner stops kept", L"Use v1.2 or later", kDriver, 0, false, "Use v1.2 or later", kDriver},
        {"empty description", L"", kDriver, 0, false, "OLE error 80040500", kDriver},
        {"no description at all", nullptr, kDriver, 0, false, "OLE error 80040500", kDriver},
        {"description of stops only", L" ... ", kDriver, 0, false, "OLE error 80040500", kDriver},
        {"wCode instead of scode", L"", 0, 5, false, "OLE error 80040205", static_cast<HRESULT>(0x80040205)},
        {"neither code: still a failure", L"Oops", 0, 0, false, "Oops", DISP_E_EXCEPTION},
        {"deferred fill-in", nullptr, 0, 0, true, "Filled in later", static_cast<HRESULT>(0x80040501)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        r.fake.behaviour = [&](DISPPARAMS*, VARIANT*, EXCEPINFO* info) {
            info->bstrSource = SysAllocString(L"QmTest");
            info->bstrHelpFile = SysAllocString(L"help.chm");
            info->dwHelpContext = 42;
            if (c.description)
                info->bstrDescription = SysAllocString(c.description);
            info->scode = c.scode;
            info->wCode = c.wCode;
            if (c.deferred)
                info->pfnDeferredFillIn = FillInLater;
            return DISP_E_EXCEPTION;
        };
        try {
            r.object.Read("Position");
            ADD_FAILURE() << "no error";
        } catch (const AutomationError& e) {
            EXPECT_EQ(std::string(e.what()), c.message.empty() ? StatusMessage(c.status) : c.message);
            EXPECT_EQ(e.status(), c.status);
            EXPECT_EQ(e.source(), "QmTest");
            EXPECT_EQ(e.helpFile(), "help.chm");
            EXPECT_EQ(e.helpContext(), 42u);
        }
    }
}

TEST(DispatchErrors, OtherStatusesUseTheSystemTextOrOleError) {
    // A status the system has no text for.
    EXPECT_EQ(StatusMessage(static_cast<HRESULT>(0x80040500)), "OLE error 80040500");
    EXPECT_EQ(StatusMessage(static_cast<HRESULT>(0x8004ABCD)), "OLE error 8004abcd");
    // A status it has text for: never compared word for word, but without the line break.
    std::string text = StatusMessage(E_OUTOFMEMORY);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.rfind("OLE error", 0), 0u) << text;
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_NE(text.back(), ' ');

    Recorded r;
    r.fake.behaviour = [](DISPPARAMS*, VARIANT*, EXCEPINFO*) { return DISP_E_BADPARAMCOUNT; };
    try {
        r.object.CallMethod("Move", {AutoValue::Int(1)});
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(std::string(e.what()), StatusMessage(DISP_E_BADPARAMCOUNT));
        EXPECT_EQ(e.status(), DISP_E_BADPARAMCOUNT);
        EXPECT_TRUE(e.source().empty());
    }
}

// ---------------------------------------------------------------------------
// Result conversion

struct VariantCase {
    const char* name;
    std::function<void(VARIANT&)> fill;
    AutoValue::Kind kind;
    int64_t intValue;
    double realValue;
    std::string text;
};

TEST(DispatchResults, VariantsBecomeAutoValues) {
    static LONG byRefLong = -77;
    static VARIANT inner;
    inner.vt = VT_I2;
    inner.iVal = 12;
    const VariantCase cases[] = {
        {"empty", [](VARIANT&) {}, AutoValue::Kind::Empty, 0, 0, ""},
        {"bool true",
         [](VARIANT& v) {
             v.vt = VT_BOOL;
             v.boolVal = VARIANT_TRUE;
         },
         AutoValue::Kind::Bool, 1, 0, ""},
        {"bool false",
         [](VARIANT& v) {
             v.vt = VT_BOOL;
             v.boolVal = VARIANT_FALSE;
         },
         AutoValue::Kind::Bool, 0, 0, ""},
        {"i1",
         [](VARIANT& v) {
             v.vt = VT_I1;
             v.cVal = -5;
         },
         AutoValue::Kind::Int, -5, 0, ""},
        {"ui1",
         [](VARIANT& v) {
             v.vt = VT_UI1;
             v.bVal = 250;
         },
         AutoValue::Kind::Int, 250, 0, ""},
        {"i2",
         [](VARIANT& v) {
             v.vt = VT_I2;
             v.iVal = -300;
         },
         AutoValue::Kind::Int, -300, 0, ""},
        {"ui2",
         [](VARIANT& v) {
             v.vt = VT_UI2;
             v.uiVal = 65000;
         },
         AutoValue::Kind::Int, 65000, 0, ""},
        {"i4",
         [](VARIANT& v) {
             v.vt = VT_I4;
             v.lVal = -2147483647 - 1;
         },
         AutoValue::Kind::Int, -2147483648LL, 0, ""},
        {"ui4",
         [](VARIANT& v) {
             v.vt = VT_UI4;
             v.ulVal = 4000000000u;
         },
         AutoValue::Kind::Int, 4000000000LL, 0, ""},
        {"int",
         [](VARIANT& v) {
             v.vt = VT_INT;
             v.intVal = 7;
         },
         AutoValue::Kind::Int, 7, 0, ""},
        {"uint",
         [](VARIANT& v) {
             v.vt = VT_UINT;
             v.uintVal = 8;
         },
         AutoValue::Kind::Int, 8, 0, ""},
        {"i8",
         [](VARIANT& v) {
             v.vt = VT_I8;
             v.llVal = 5000000000LL;
         },
         AutoValue::Kind::Int, 5000000000LL, 0, ""},
        {"ui8 beyond signed range",
         [](VARIANT& v) {
             v.vt = VT_UI8;
             v.ullVal = 18446744073709551615ull;
         },
         AutoValue::Kind::Real, 0, 18446744073709551615.0, ""},
        {"r4",
         [](VARIANT& v) {
             v.vt = VT_R4;
             v.fltVal = 2.5f;
         },
         AutoValue::Kind::Real, 0, 2.5, ""},
        {"r8",
         [](VARIANT& v) {
             v.vt = VT_R8;
             v.dblVal = -123.5;
         },
         AutoValue::Kind::Real, 0, -123.5, ""},
        {"cy",
         [](VARIANT& v) {
             v.vt = VT_CY;
             v.cyVal.int64 = 15000;
         },
         AutoValue::Kind::Real, 0, 1.5, ""},
        {"date",
         [](VARIANT& v) {
             v.vt = VT_DATE;
             v.date = 2.25;
         },
         AutoValue::Kind::Real, 0, 2.25, ""},
        {"decimal",
         [](VARIANT& v) {
             VarDecFromR8(42.75, &v.decVal);
             v.vt = VT_DECIMAL;
         },
         AutoValue::Kind::Real, 0, 42.75, ""},
        {"bstr",
         [](VARIANT& v) {
             v.vt = VT_BSTR;
             v.bstrVal = SysAllocString(L"QmSim.Focuser");
         },
         AutoValue::Kind::Text, 0, 0, "QmSim.Focuser"},
        {"null bstr",
         [](VARIANT& v) {
             v.vt = VT_BSTR;
             v.bstrVal = nullptr;
         },
         AutoValue::Kind::Text, 0, 0, ""},
        {"null", [](VARIANT& v) { v.vt = VT_NULL; }, AutoValue::Kind::Other, 0, 0, "Null"},
        {"dispatch",
         [](VARIANT& v) {
             v.vt = VT_DISPATCH;
             v.pdispVal = nullptr;
         },
         AutoValue::Kind::Other, 0, 0, "Dispatch"},
        {"i4 by reference",
         [](VARIANT& v) {
             v.vt = VT_I4 | VT_BYREF;
             v.plVal = &byRefLong;
         },
         AutoValue::Kind::Int, -77, 0, ""},
        {"variant by reference",
         [](VARIANT& v) {
             v.vt = VT_VARIANT | VT_BYREF;
             v.pvarVal = &inner;
         },
         AutoValue::Kind::Int, 12, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Variant v;
        c.fill(*v.get());
        const VARTYPE filled = v.get()->vt;
        AutoValue value = FromVariant(*v.get());
        // By-reference values are not ours to clear.
        if (v.get()->vt & VT_BYREF)
            v.get()->vt = VT_EMPTY;
        EXPECT_EQ(value.kind(), c.kind);
        // The type it arrived as is kept; a variant inside a variant keeps the inner one's.
        EXPECT_EQ(value.variantType(), filled == (VT_VARIANT | VT_BYREF) ? inner.vt : filled);
        if (c.kind == AutoValue::Kind::Int || c.kind == AutoValue::Kind::Bool) {
            EXPECT_EQ(value.intValue(), c.intValue);
        } else if (c.kind == AutoValue::Kind::Real) {
            EXPECT_DOUBLE_EQ(value.realValue(), c.realValue);
        } else if (c.kind == AutoValue::Kind::Text || c.kind == AutoValue::Kind::Other) {
            EXPECT_EQ(value.text(), c.text);
        }
    }
}

TEST(DispatchResults, TextRoundTripsThroughTheSystemCodePage) {
    std::string text = "Focuser 1";
    for (int c = 0xA0; c < 0x100; ++c)
        text += static_cast<char>(c);  // what the code page maps one to one
    std::wstring wide = WideFromAnsi(text);
    if (GetACP() == 1252) {
        EXPECT_EQ(wide.size(), text.size());
    }
    EXPECT_EQ(AnsiFromWide(wide.data(), wide.size()), text);
    EXPECT_EQ(WideFromAnsi(""), L"");
    EXPECT_EQ(AnsiFromWide(nullptr, 0), "");
}

// ---------------------------------------------------------------------------
// Against the simulated chooser and focuser

bool SimRegistered() {
    CLSID id;
    return SUCCEEDED(CLSIDFromProgID(L"QmSim.Focuser", &id)) &&
           SUCCEEDED(CLSIDFromProgID(L"DriverHelper.Chooser", &id));
}

// Where the test command registered the simulator (QM_SIM_REQUIRED=1) or in CI, a
// simulator test that cannot reach it fails instead of skipping.
bool SimRequired() {
    char value[8] = {};
    const DWORD n = GetEnvironmentVariableA("QM_SIM_REQUIRED", value, sizeof value);
    if (n > 0 && n < sizeof value && std::string(value) == "1")
        return true;
    const DWORD ci = GetEnvironmentVariableA("CI", value, sizeof value);
    return ci > 0 && ci < sizeof value && std::string(value) == "true";
}

#define REQUIRE_SIM()                                                                           \
    do {                                                                                        \
        if (!SimRegistered()) {                                                                 \
            if (SimRequired())                                                                  \
                FAIL() << "QmSimAscom.dll is not registered in this prefix, although the "      \
                          "test command registered it";                                         \
            GTEST_SKIP() << "QmSimAscom.dll is not registered in this prefix "                  \
                            "(run scripts/sim_ascom_register.sh PREFIX BUILD64 BUILD32 first)"; \
        }                                                                                       \
    } while (0)

// A fresh steering directory per test, named in QM_SIM_DIR for the in-process sim.
class SimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static int serial = 0;
        dir_ = std::string(base) + "qmsim-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
        CreateDirectoryA(dir_.c_str(), nullptr);
        SetEnvironmentVariableA("QM_SIM_DIR", dir_.c_str());
        WriteIni("StepsPerSecond=0\n");
    }
    void TearDown() override {
        SetEnvironmentVariableA("QM_SIM_DIR", nullptr);
        for (const char* name : {"sim.ini", "calls.log", "focuser.state"})
            DeleteFileA((dir_ + "\\" + name).c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    void WriteIni(const std::string& text) { std::ofstream(dir_ + "\\sim.ini", std::ios::binary) << text; }
    std::string ReadFile(const char* name) const {
        std::ifstream in(dir_ + "\\" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // calls.log without the tick in front of each line.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile("calls.log"));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line.substr(line.find(' ') + 1));
        }
        return lines;
    }
    bool Logged(const std::string& line) const {
        for (const auto& l : LogLines()) {
            if (l == line)
                return true;
        }
        return false;
    }
    std::unique_ptr<LateBoundObject> Create(const char* progId) { return factory_.Create(progId); }
    std::unique_ptr<LateBoundObject> LinkedFocuser() {
        auto focuser = Create("QmSim.Focuser");
        focuser->PutProperty("Link", AutoValue::Bool(true));
        return focuser;
    }

    std::string dir_;
    ComObjectFactory factory_;
};

TEST_F(SimTest, ChooserReceivesDeviceTypeAsTextAndChooseEitherWay) {
    REQUIRE_SIM();
    WriteIni("ChooseResult=QmSim.Focuser2\n");
    auto chooser = Create("DriverHelper.Chooser");
    chooser->PutProperty("DeviceType", AutoValue::Text("Focuser"));
    EXPECT_EQ(ToText(chooser->CallMethod("Choose", {AutoValue::Text("QmSim.Focuser")})), "QmSim.Focuser2");
    EXPECT_EQ(ToText(chooser->Read("Choose")), "QmSim.Focuser2");
    EXPECT_EQ(ToText(chooser->Read("DeviceType")), "Focuser");
    WriteIni("ChooseResult=\n");
    EXPECT_EQ(ToText(chooser->Read("Choose")), "");
    chooser.reset();
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{
                  "Chooser (created)",
                  "Chooser DeviceType DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BSTR=\"Focuser\") -> OK",
                  "Chooser Choose DISPATCH_METHOD (VT_BSTR=\"QmSim.Focuser\") -> VT_BSTR=\"QmSim.Focuser2\"",
                  "Chooser Choose DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_BSTR=\"QmSim.Focuser2\"",
                  "Chooser DeviceType DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_BSTR=\"Focuser\"",
                  "Chooser Choose DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_BSTR=\"\"",
                  "Chooser (released)",
              }));
}

TEST_F(SimTest, FocuserReceivesTheArgumentKindsOfTheContract) {
    REQUIRE_SIM();
    WriteIni("StepsPerSecond=0\nMaxStep=5000\nStartPosition=1000\n");
    auto focuser = LinkedFocuser();
    EXPECT_EQ(ToInt32(focuser->Read("MaxStep")), 5000);
    EXPECT_TRUE(ToBool(focuser->Read("Absolute")));
    EXPECT_EQ(ToInt32(focuser->Read("Position")), 1000);
    int32_t target = 2500;
    focuser->CallMethod("Move", {AutoValue::Int32Ref(&target)});
    EXPECT_FALSE(ToBool(focuser->Read("IsMoving")));
    EXPECT_EQ(ToInt32(focuser->Read("Position")), 2500);
    focuser->PutProperty("Link", AutoValue::Bool(false));
    focuser.reset();
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "Focuser (created)",
                              "Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=-1) -> OK",
                              "Focuser MaxStep DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_I4=5000",
                              "Focuser Absolute DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_BOOL=-1",
                              "Focuser Position DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_I4=1000",
                              "Focuser Move DISPATCH_METHOD (VT_I4|VT_BYREF=2500) -> VT_EMPTY",
                              "Focuser IsMoving DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_BOOL=0",
                              "Focuser Position DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_I4=2500",
                              "Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=0) -> OK",
                              "Focuser (released)",
                          }));
}

TEST_F(SimTest, MemberNamesAreMatchedWithoutRegardToCase) {
    REQUIRE_SIM();
    auto focuser = Create("QmSim.Focuser");
    focuser->PutProperty("link", AutoValue::Bool(true));
    EXPECT_TRUE(ToBool(focuser->Read("CONNECTED")));
    EXPECT_EQ(ToInt32(focuser->Read("position")), 10000);  // default start
}

TEST_F(SimTest, AbsoluteMovesAreClampedAndRelativeMovesGoByTheStepCount) {
    REQUIRE_SIM();
    struct Case {
        const char* ini;
        int32_t move;
        int32_t expectedTarget;
    };
    const Case cases[] = {
        {"MaxStep=5000\nStartPosition=100\n", -20, 0},
        {"MaxStep=5000\nStartPosition=100\n", 7000, 5000},
        {"MaxStep=5000\nStartPosition=100\n", 5000, 5000},
        {"Absolute=0\nMaxStep=5000\nStartPosition=10000\n", 100, 10100},
        {"Absolute=0\nMaxStep=5000\nStartPosition=10000\n", -10, 9990},
        {"Absolute=0\nStartPosition=2147483600\n", 100, 2147483647},  // stops at the limit, no overflow
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " move " + std::to_string(c.move));
        WriteIni(std::string("StepsPerSecond=0\n") + c.ini);
        auto focuser = LinkedFocuser();
        int32_t steps = c.move;
        focuser->CallMethod("Move", {AutoValue::Int32Ref(&steps)});
        EXPECT_EQ(steps, c.move);  // the driver reads the reference, never writes it
        sim::FocuserState state = sim::FocuserState::Parse(ReadFile("focuser.state"));
        EXPECT_EQ(state.target, c.expectedTarget);
        if (c.ini[0] != 'A') {
            EXPECT_EQ(ToInt32(focuser->Read("Position")), c.expectedTarget);
        }
    }
}

TEST_F(SimTest, MovesTakeTimeAndAStuckFocuserNeverArrives) {
    REQUIRE_SIM();
    WriteIni("StepsPerSecond=2000\nStartPosition=1000\n");
    auto focuser = LinkedFocuser();
    int32_t target = 1600;  // 0.3 s
    focuser->CallMethod("Move", {AutoValue::Int32Ref(&target)});
    EXPECT_TRUE(ToBool(focuser->Read("IsMoving")));
    int32_t midway = ToInt32(focuser->Read("Position"));
    EXPECT_GE(midway, 1000);
    EXPECT_LT(midway, 1600);
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_FALSE(ToBool(focuser->Read("IsMoving")));
    EXPECT_EQ(ToInt32(focuser->Read("Position")), 1600);

    WriteIni("StepsPerSecond=0\nStuck=1\n");
    target = 2000;
    focuser->CallMethod("Move", {AutoValue::Int32Ref(&target)});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(ToBool(focuser->Read("IsMoving")));
    EXPECT_EQ(ToInt32(focuser->Read("Position")), 1600);
    focuser->CallMethod("Halt", {});
    EXPECT_TRUE(ToBool(focuser->Read("IsMoving")));  // stuck means stuck
}

TEST_F(SimTest, DriverExceptionsCarryTrimmedDescriptionAndSource) {
    REQUIRE_SIM();
    WriteIni("StepsPerSecond=0\nAbsolute=0\n");
    auto focuser = Create("QmSim.Focuser");
    try {
        focuser->Read("Position");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "QmSim focuser is not connected");
        EXPECT_EQ(e.source(), "QmSim");
        EXPECT_EQ(e.status(), static_cast<int32_t>(0x80040407));
    }
    focuser->PutProperty("Link", AutoValue::Bool(true));
    try {
        focuser->Read("Position");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "Position is not available for a relative focuser");
        EXPECT_EQ(e.status(), static_cast<int32_t>(0x80040400));
    }
    try {
        focuser->Read("Focus");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "Method 'Focus' not supported by automation object");
    }
    EXPECT_TRUE(Logged("Focuser Focus GetIDsOfNames () -> ERROR 0x80020006"));
}

TEST_F(SimTest, TheSimulatorRejectsMisusedMembersAsAServerWould) {
    REQUIRE_SIM();
    auto focuser = LinkedFocuser();
    auto expectStatus = [](const std::function<void()>& call, HRESULT status) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.status(), status);
            EXPECT_EQ(std::string(e.what()), StatusMessage(status));
        }
    };
    expectStatus([&] { focuser->PutProperty("Move", AutoValue::Int(1)); }, DISP_E_MEMBERNOTFOUND);
    expectStatus([&] { focuser->PutProperty("Position", AutoValue::Int(1)); }, DISP_E_MEMBERNOTFOUND);
    expectStatus([&] { focuser->CallMethod("Move", {}); }, DISP_E_BADPARAMCOUNT);
    expectStatus([&] { focuser->CallMethod("Move", {AutoValue::Int(1), AutoValue::Int(2)}); }, DISP_E_BADPARAMCOUNT);
    expectStatus([&] { focuser->CallMethod("Position", {}); }, DISP_E_MEMBERNOTFOUND);
    expectStatus([&] { focuser->CallMethod("Move", {AutoValue::Text("far")}); }, DISP_E_TYPEMISMATCH);
    // By value is accepted as well as by reference.
    focuser->CallMethod("Move", {AutoValue::Int(10)});
    EXPECT_TRUE(Logged("Focuser Move DISPATCH_METHOD (VT_I4=10) -> VT_EMPTY"));
}

TEST_F(SimTest, EveryMemberCanFailAtItsNthCall) {
    REQUIRE_SIM();
    struct Case {
        const char* member;
        std::function<void(LateBoundObject&)> call;
        bool chooser;
    };
    int32_t steps = 1;
    const Case cases[] = {
        {"DeviceType", [](LateBoundObject& o) { o.PutProperty("DeviceType", AutoValue::Text("Focuser")); }, true},
        {"Choose", [](LateBoundObject& o) { o.Read("Choose"); }, true},
        {"Link", [](LateBoundObject& o) { o.PutProperty("Link", AutoValue::Bool(true)); }, false},
        {"MaxStep", [](LateBoundObject& o) { o.Read("MaxStep"); }, false},
        {"Absolute", [](LateBoundObject& o) { o.Read("Absolute"); }, false},
        {"Position", [](LateBoundObject& o) { o.Read("Position"); }, false},
        {"IsMoving", [](LateBoundObject& o) { o.Read("IsMoving"); }, false},
        {"Move", [&](LateBoundObject& o) { o.CallMethod("Move", {AutoValue::Int32Ref(&steps)}); }, false},
        {"Halt", [](LateBoundObject& o) { o.CallMethod("Halt", {}); }, false},
    };
    for (const auto& c : cases) {
        for (bool andLater : {false, true}) {
            SCOPED_TRACE(std::string(c.member) + (andLater ? " +2" : " 2"));
            TearDown();
            SetUp();  // fresh directory: the call count starts again
            WriteIni(std::string("StepsPerSecond=0\nFail.") + c.member + "=" + (andLater ? "+" : "") + "2:" + c.member +
                     " broke.\\r\\n\\s\n");
            auto object = Create(c.chooser ? "DriverHelper.Chooser" : "QmSim.Focuser");
            if (!c.chooser && std::string(c.member) != "Link")
                object->PutProperty("Link", AutoValue::Bool(true));
            std::vector<bool> failed;
            for (int i = 0; i < 3; ++i) {
                try {
                    c.call(*object);
                    failed.push_back(false);
                } catch (const AutomationError& e) {
                    failed.push_back(true);
                    EXPECT_EQ(std::string(e.what()), std::string(c.member) + " broke");
                    EXPECT_EQ(e.source(), "QmSim");
                    EXPECT_EQ(e.status(), static_cast<int32_t>(0x80040500));
                }
            }
            EXPECT_EQ(failed, (std::vector<bool>{false, true, andLater}));
        }
    }
}

TEST_F(SimTest, AFailureWithoutDescriptionFallsBackToTheStatus) {
    REQUIRE_SIM();
    WriteIni("Fail.IsMoving=1:\nFail.Absolute=1:\nFailCode.Absolute=0x80004005\n");
    auto focuser = LinkedFocuser();
    try {
        focuser->Read("IsMoving");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "OLE error 80040500");
        EXPECT_EQ(e.source(), "QmSim");
    }
    try {
        focuser->Read("Absolute");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(std::string(e.what()), StatusMessage(E_FAIL));  // the system's text for E_FAIL
        EXPECT_EQ(e.status(), E_FAIL);
    }
}

TEST_F(SimTest, WrongTypedAnswersConvertOrFail) {
    REQUIRE_SIM();
    struct Case {
        const char* member;
        const char* type;
        bool asBool;
        bool converts;
        int32_t value;
    };
    const Case cases[] = {
        {"Position", "text", false, false, 0},    {"Position", "real", false, true, 124},
        {"MaxStep", "real", false, true, 124},    {"MaxStep", "big", false, false, 0},
        {"Position", "bigreal", false, false, 0}, {"Position", "empty", false, true, 0},
        {"Position", "null", false, false, 0},    {"IsMoving", "empty", true, true, 0},
        {"IsMoving", "real", true, true, 1},      {"Absolute", "text", true, false, 0},
        {"Absolute", "big", true, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.member) + " as " + c.type);
        WriteIni(std::string("StepsPerSecond=0\nWrongType.") + c.member + "=" + c.type + "\n");
        auto focuser = LinkedFocuser();
        AutoValue answer = focuser->Read(c.member);
        try {
            int32_t value = c.asBool ? (ToBool(answer) ? 1 : 0) : ToInt32(answer);
            EXPECT_TRUE(c.converts);
            EXPECT_EQ(value, c.value);
        } catch (const AutomationError& e) {
            EXPECT_FALSE(c.converts) << e.what();
        }
    }
}

TEST_F(SimTest, MissingProgIdAndMissingServerFileFailToCreate) {
    REQUIRE_SIM();
    try {
        Create("QmSim.NoSuchDriver");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.status(), CO_E_CLASSSTRING);
        EXPECT_EQ(std::string(e.what()), StatusMessage(CO_E_CLASSSTRING));
    }
    try {
        Create("QmSim.MissingDll");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        // Wine answers REGDB_E_CLASSNOTREG; Windows a file-not-found status.
        EXPECT_LT(e.status(), 0);
        EXPECT_EQ(std::string(e.what()), StatusMessage(e.status()));
    }
}

TEST_F(SimTest, TheStateFileFollowsTheFocuserAndASecondDriverSharesIt) {
    REQUIRE_SIM();
    WriteIni("StepsPerSecond=0\n");
    {
        auto focuser = LinkedFocuser();
        int32_t target = 4321;
        focuser->CallMethod("Move", {AutoValue::Int32Ref(&target)});
    }
    EXPECT_EQ(sim::FocuserState::Parse(ReadFile("focuser.state")).target, 4321);
    // Without StartPosition a new driver object finds the focuser where it was left.
    auto second = factory_.Create("QmSim.Focuser2");
    second->PutProperty("Link", AutoValue::Bool(true));
    EXPECT_EQ(ToInt32(second->Read("Position")), 4321);
    EXPECT_TRUE(Logged("Focuser2 Position DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> VT_I4=4321"));
}

// The machine type in the PE header of the running executable.
WORD RunningMachine() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    std::ifstream in(path, std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    IMAGE_FILE_HEADER file{};
    DWORD signature = 0;
    if (!in.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    in.seekg(dos.e_lfanew);
    if (!in.read(reinterpret_cast<char*>(&signature), sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
        !in.read(reinterpret_cast<char*>(&file), sizeof file))
        return 0;
    return file.Machine;
}

// The same tests run in the x86_64 and the i686 build: the build that ran is the one the
// test command meant (QM_EXPECT_BITS), and the executable is of the machine type it
// thinks it is.
TEST(BuildBitness, TheBuildThatRanIsTheOneMeant) {
    const int bits = static_cast<int>(sizeof(void*) * 8);
    std::printf("win_tests is a %d-bit program\n", bits);
    EXPECT_EQ(RunningMachine(), bits == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    char expected[8] = {};
    const DWORD n = GetEnvironmentVariableA("QM_EXPECT_BITS", expected, sizeof expected);
    if (n > 0 && n < sizeof expected)
        EXPECT_EQ(std::to_string(bits), std::string(expected));
}

}  // namespace
}  // namespace qm::win
