// QmSimFocuserServer.exe: the simulated focuser as a local (out-of-process) COM
// server, "QmSim.FocuserLocal". Its objects are those of QmSimAscom.dll (same
// members, same sim.ini steering, same calls.log), so a test can compare what a
// program sends across the process boundary with what it sends in process.
//
//   QmSimFocuserServer.exe /RegServer     registers the class: ProgID, CLSID and
//                                         LocalServer32 naming this file, in the
//                                         registry view of the exe's own architecture
//   QmSimFocuserServer.exe /UnregServer   removes that registration
//   QmSimFocuserServer.exe -Embedding     started by COM: serves one object of the class
//                                         (single use) and ends when it is released
//
// With "ClassUse=multiple" in sim.ini (read when the server starts) the class is
// registered for many clients (REGCLS_MULTIPLEUSE), as most ASCOM local servers and
// hubs register theirs: one process then serves every object created while it runs,
// and ends when the last is released. Under Wine such a registration outlives a killed
// server (see docs/WINE-NOTES.md), which the default single-use registration hides.
//
// With "ServerStartDelay=<ms>" in sim.ini the server waits that long (at most a
// minute) after it started before it registers its class, as a slow driver does
// while it opens its device: the client's creation call is under way meanwhile.
//
// NEVER register it on a real Windows system; it is meant only for private Wine
// prefixes (scripts/sim_ascom_register.sh).
//
// Each start writes "<tick> LocalServer (started) pid=<process id>" into calls.log
// and each normal end "<tick> LocalServer (ended) pid=<process id>", so a test can
// tell one server process from the next and find the one to kill.
#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>

#include "tools/sim_ascom/sim_env_win.h"
#include "tools/sim_ascom/sim_objects_win.h"
#include "tools/sim_ascom/sim_registry_win.h"

namespace qm::sim {
namespace {

// {00F4EB86-2A5C-4175-A223-E334D9BD6BEC}
constexpr CLSID kFocuserLocalClass = {0x00F4EB86, 0x2A5C, 0x4175, {0xA2, 0x23, 0xE3, 0x34, 0xD9, 0xBD, 0x6B, 0xEC}};
constexpr const wchar_t* kProgId = L"QmSim.FocuserLocal";
constexpr const wchar_t* kDescription = L"QmSim simulated focuser (local server)";

// Ends the server when nothing holds it any more: no object and no lock.
DWORD gMainThread = 0;
bool gObjectEverCreated = false;

void ReleaseServer() {
    if (CoReleaseServerProcess() == 0)
        PostThreadMessageW(gMainThread, WM_QUIT, 0, 0);
}

class LocalClassFactory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory lives as long as the process; COM's registration holds it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        try {
            // Held for the object before it exists: its release ends the server.
            CoAddRefServerProcess();
            gObjectEverCreated = true;
            SimObject* raw = std::make_unique<SimFocuser>("Focuser").release();
            HRESULT status = raw->QueryInterface(iid, object);
            raw->Release();
            return status;
        } catch (const std::bad_alloc&) {
            ReleaseServer();
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            CoAddRefServerProcess();
        else
            ReleaseServer();
        return S_OK;
    }
};

int Register() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2)
        return 1;
    bool ok = RegisterClassNames(kProgId, kFocuserLocalClass, kDescription) &&
              SetClassesValue(L"CLSID\\" + GuidText(kFocuserLocalClass) + L"\\LocalServer32", L"",
                              L"\"" + std::wstring(path, length) + L"\"");
    return ok ? 0 : 1;
}

int Unregister() {
    UnregisterClassNames(kProgId, kFocuserLocalClass);
    return 0;
}

void LogServer(const char* event) {
    AppendCallLog(std::to_string(GetTickCount()) + " LocalServer (" + event + ") pid=" +
                  std::to_string(GetCurrentProcessId()));
}

int Serve() {
    gMainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the thread's queue exists from here
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    LogServer("started");
    SetObjectGoneHandler(&ReleaseServer);
    static LocalClassFactory factory;
    DWORD cookie = 0;
    // By default one object per server process. Wine's activation service keeps the
    // class registration of a server that was killed and hands it out again, so every
    // later creation would fail; a single-use registration is used up by its one
    // creation, and the next client starts a new server process.
    const SimConfig config = LoadConfig();
    if (const int64_t delay = config.GetInt("ServerStartDelay", 0); delay > 0) {
        LogServer(("waits " + std::to_string(delay) + " ms").c_str());
        Sleep(static_cast<DWORD>(std::min<int64_t>(delay, 60000)));
    }
    const std::optional<std::string> classUse = config.Get("ClassUse");
    const bool multipleUse = classUse && EqualsNoCase(*classUse, "multiple");
    if (multipleUse) LogServer("registers for many clients");
    HRESULT status = CoRegisterClassObject(kFocuserLocalClass, &factory, CLSCTX_LOCAL_SERVER,
                                           multipleUse ? REGCLS_MULTIPLEUSE : REGCLS_SINGLEUSE, &cookie);
    if (SUCCEEDED(status)) {
        // A server whose client gave up before creating anything must not linger.
        constexpr UINT kIdleLimitMs = 30000;
        UINT_PTR idleTimer = SetTimer(nullptr, 0, kIdleLimitMs, nullptr);
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == idleTimer) {
                KillTimer(nullptr, idleTimer);
                if (!gObjectEverCreated)
                    break;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        CoRevokeClassObject(cookie);
    }
    SetObjectGoneHandler(nullptr);
    LogServer("ended");
    CoUninitialize();
    return SUCCEEDED(status) ? 0 : 1;
}

bool HasSwitch(const char* commandLine, const char* name) {
    std::string line(commandLine ? commandLine : "");
    for (char& c : line)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return line.find(name) != std::string::npos;
}

}  // namespace
}  // namespace qm::sim

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    using namespace qm::sim;
    if (HasSwitch(commandLine, "regserver") && !HasSwitch(commandLine, "unregserver"))
        return Register();
    if (HasSwitch(commandLine, "unregserver"))
        return Unregister();
    return Serve();
}
