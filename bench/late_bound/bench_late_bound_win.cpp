// Measures what a late-bound call costs: reads of Position through DispatchObject
// (name resolved before every call, result converted), the position refresh of an
// absolute focuser (Absolute, then Position), and as the baseline plain
// IDispatch::Invoke calls with a DISPID resolved once. Runs against the simulated
// focuser loaded in process, first without a steering directory (the layer's own
// cost) and then with one (the simulator re-reads sim.ini, logs and writes its
// state file on every call, as in the end-to-end tests).
//   bench_late_bound.exe [calls]     (default 2000 a case and round)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <string>
#include <vector>

#include "com/late_bound_win.h"

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

constexpr int kRounds = 5;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int RunOnce(const char* label, int calls, bool summary) {
    ComObjectFactory factory;
    auto object = factory.Create("QmSim.Focuser");
    object->PutProperty("Link", AutoValue::Bool(true));
    auto* dispatch = static_cast<DispatchObject*>(object.get())->get();

    volatile int32_t sink = 0;
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
    struct Case {
        const char* name;
        std::function<void()> call;
        std::vector<double> us;
    };
    Case cases[] = {
        {"DispatchObject Read(\"Position\")       ", [&] { sink = qm::ToInt32(object->Read("Position")); }, {}},
        {"position refresh (Absolute+Position)  ",
         [&] {
             if (qm::ToBool(object->Read("Absolute")))
                 sink = qm::ToInt32(object->Read("Position"));
         },
         {}},
        {"raw GetIDsOfNames + Invoke            ",
         [&] {
             dispatch->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &id);
             rawInvoke();
         },
         {}},
        {"raw Invoke, cached DISPID (baseline)  ", rawInvoke, {}},
    };
    constexpr size_t kCases = sizeof cases / sizeof cases[0];
    // Every case in every round, the order reversed every other round.
    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        for (size_t k = 0; k < kCases; ++k) {
            Case& c = cases[round % 2 ? kCases - 1 - k : k];
            c.us.push_back(MicrosecondsPerCall(calls, c.call));
        }
        ratios.push_back(cases[0].us.back() / cases[kCases - 1].us.back());
    }
    std::printf("%s (%d calls a case and round, %d rounds; medians)\n", label, calls, kRounds);
    for (const Case& c : cases)
        std::printf("  %s %8.3f us/call\n", c.name, Median(c.us));
    const double ratio = Median(cases[0].us) / Median(cases[kCases - 1].us);
    std::sort(ratios.begin(), ratios.end());
    std::printf("  ratio Read / baseline                  %8.2f  (rounds %.2f to %.2f)\n", ratio, ratios.front(),
                ratios.back());
    if (summary)
        std::printf("summary:\tlate-bound property read (DispatchObject::Read)\t%.2f us\tIDispatch::Invoke with a cached "
                    "DISPID, %.2f us\t%.2f\trounds %.2f-%.2f\n",
                    Median(cases[0].us), Median(cases[kCases - 1].us), ratio, ratios.front(), ratios.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (calls <= 0)
        calls = 2000;
    qm::win::ComApartment com;
    try {
        SetEnvironmentVariableA("QM_SIM_DIR", nullptr);
        if (RunOnce("in-process simulator, no steering directory", calls, true))
            return 1;

        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string dir = std::string(temp) + "qm-bench-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        SetEnvironmentVariableA("QM_SIM_DIR", dir.c_str());
        int rc = RunOnce("in-process simulator with steering directory (sim.ini, calls.log, focuser.state)",
                         calls / 10 > 0 ? calls / 10 : 1, false);
        SetEnvironmentVariableA("QM_SIM_DIR", nullptr);
        for (const char* name : {"\\calls.log", "\\focuser.state", "\\sim.ini"})
            DeleteFileA((dir + name).c_str());
        RemoveDirectoryA(dir.c_str());
        return rc;
    } catch (const qm::AutomationError& e) {
        std::printf("error: %s (is QmSimAscom.dll registered?)\n", e.what());
        return 1;
    }
}
