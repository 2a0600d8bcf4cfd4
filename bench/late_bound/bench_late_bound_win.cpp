// Measures what a late-bound call costs: reads of Position through DispatchObject
// (name resolved before every call, result converted), the position refresh of an
// absolute focuser (Absolute, then Position), and as the baseline plain
// IDispatch::Invoke calls with a DISPID resolved once. Runs against the simulated
// focuser loaded in process, first without a steering directory (the layer's own
// cost) and then with one (the simulator re-reads sim.ini, logs and writes its
// state file on every call, as in the end-to-end tests).
//   bench_late_bound.exe [calls]     (default 10000)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/late_bound_win.h"

namespace {

using qm::AutoValue;
using qm::win::ComObjectFactory;
using qm::win::DispatchObject;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double MicrosecondsPerCall(int calls, F&& call) {
    for (int i = 0; i < calls / 100 + 1; ++i)
        call();  // warm up
    double start = Now();
    for (int i = 0; i < calls; ++i)
        call();
    return (Now() - start) * 1e6 / calls;
}

int RunOnce(const char* label, int calls) {
    ComObjectFactory factory;
    auto object = factory.Create("QmSim.Focuser");
    object->PutProperty("Link", AutoValue::Bool(true));
    auto* dispatch = static_cast<DispatchObject*>(object.get())->get();

    volatile int32_t sink = 0;
    double read = MicrosecondsPerCall(calls, [&] { sink = qm::ToInt32(object->Read("Position")); });
    double refresh = MicrosecondsPerCall(calls, [&] {
        if (qm::ToBool(object->Read("Absolute")))
            sink = qm::ToInt32(object->Read("Position"));
    });

    wchar_t name[] = L"Position";
    LPOLESTR names[1] = {name};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &id)))
        return 1;
    auto rawInvoke = [&] {
        DISPPARAMS none = {};
        VARIANT result;
        VariantInit(&result);
        dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        sink = result.lVal;
        VariantClear(&result);
    };
    double cached = MicrosecondsPerCall(calls, rawInvoke);
    double resolved = MicrosecondsPerCall(calls, [&] {
        dispatch->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &id);
        rawInvoke();
    });

    std::printf("%s (%d calls each)\n", label, calls);
    std::printf("  DispatchObject Read(\"Position\")        %8.3f us/call\n", read);
    std::printf("  position refresh (Absolute+Position)   %8.3f us/refresh\n", refresh);
    std::printf("  raw GetIDsOfNames + Invoke             %8.3f us/call\n", resolved);
    std::printf("  raw Invoke, cached DISPID (baseline)   %8.3f us/call\n", cached);
    std::printf("  ratio Read / baseline                  %8.2f\n", read / cached);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int calls = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (calls <= 0)
        calls = 10000;
    qm::win::ComApartment com;
    try {
        SetEnvironmentVariableA("QM_SIM_DIR", nullptr);
        if (RunOnce("in-process simulator, no steering directory", calls))
            return 1;

        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string dir = std::string(temp) + "qm-bench-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        SetEnvironmentVariableA("QM_SIM_DIR", dir.c_str());
        int rc = RunOnce("in-process simulator with steering directory (sim.ini, calls.log, focuser.state)",
                         calls / 10 > 0 ? calls / 10 : 1);
        SetEnvironmentVariableA("QM_SIM_DIR", nullptr);
        for (const char* name : {"\\calls.log", "\\focuser.state", "\\sim.ini"})
            DeleteFileA((dir + name).c_str());
        RemoveDirectoryA(dir.c_str());
        return rc;
    } catch (const qm::AutomationError& e) {
        std::fprintf(stderr, "bench_late_bound: %s (is QmSimAscom.dll registered?)\n", e.what());
        return 1;
    }
}
