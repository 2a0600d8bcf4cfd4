// QmSimAscom.dll: an in-process COM server with a simulated ASCOM chooser
// ("DriverHelper.Chooser") and a simulated focuser ("QmSim.Focuser", and
// "QmSim.Focuser2" as a second driver), for tests under Wine.
//
// NEVER register this server on a real Windows system: it takes over the ProgID
// "DriverHelper.Chooser" and would shadow the real ASCOM chooser. It is meant only
// for private Wine prefixes (scripts/sim_ascom_register.sh).
//
// The module exports the four standard entry points. DllRegisterServer writes the
// classes under HKEY_CLASSES_ROOT (ProgID -> CLSID, CLSID\InprocServer32 with
// ThreadingModel Apartment); it also registers "QmSim.MissingDll", whose server
// file does not exist, so that tests can see what a broken registration does.
#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include <memory>
#include <string>

#include "tools/sim_ascom/sim_objects_win.h"
#include "tools/sim_ascom/sim_registry_win.h"

namespace qm::sim {
namespace {

// {9F0FE849-C325-44CF-BE24-708E08F12705}
constexpr CLSID kChooserClass = {0x9F0FE849, 0xC325, 0x44CF, {0xBE, 0x24, 0x70, 0x8E, 0x08, 0xF1, 0x27, 0x05}};
// {3F3BA5FB-4F38-43ED-AF5E-CAD51C8872DC}
constexpr CLSID kFocuserClass = {0x3F3BA5FB, 0x4F38, 0x43ED, {0xAF, 0x5E, 0xCA, 0xD5, 0x1C, 0x88, 0x72, 0xDC}};
// {744F154B-34AC-4CD9-833D-9AF4C7B09854}
constexpr CLSID kFocuser2Class = {0x744F154B, 0x34AC, 0x4CD9, {0x83, 0x3D, 0x9A, 0xF4, 0xC7, 0xB0, 0x98, 0x54}};
// {80752A75-8DFA-4534-8BAF-ECE959AC2A3F}
constexpr CLSID kMissingDllClass = {0x80752A75, 0x8DFA, 0x4534, {0x8B, 0xAF, 0xEC, 0xE9, 0x59, 0xAC, 0x2A, 0x3F}};

constexpr const wchar_t* kMissingDllName = L"QmSimMissing.dll";

enum class Kind { Chooser, Focuser, Focuser2, MissingDll };

struct ClassEntry {
    const CLSID& id;
    const wchar_t* progId;
    const wchar_t* description;
    Kind kind;
};

const ClassEntry kClasses[] = {
    {kChooserClass, L"DriverHelper.Chooser", L"QmSim simulated ASCOM chooser", Kind::Chooser},
    {kFocuserClass, L"QmSim.Focuser", L"QmSim simulated focuser", Kind::Focuser},
    {kFocuser2Class, L"QmSim.Focuser2", L"QmSim simulated focuser (second driver)", Kind::Focuser2},
    {kMissingDllClass, L"QmSim.MissingDll", L"QmSim class whose server file is missing", Kind::MissingDll},
};

HMODULE gModule = nullptr;
LONG gLocks = 0;

// The class factories live as long as the module; their reference counts only
// keep the module loaded.
class ClassFactory : public IClassFactory {
  public:
    explicit ClassFactory(Kind kind) : kind_(kind) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        InterlockedIncrement(&gLocks);
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        InterlockedDecrement(&gLocks);
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        try {
            std::unique_ptr<SimObject> created;
            switch (kind_) {
                case Kind::Chooser:
                    created = std::make_unique<SimChooser>();
                    break;
                case Kind::Focuser:
                    created = std::make_unique<SimFocuser>("Focuser");
                    break;
                case Kind::Focuser2:
                    created = std::make_unique<SimFocuser>("Focuser2");
                    break;
                case Kind::MissingDll:
                    return CLASS_E_CLASSNOTAVAILABLE;
            }
            // The object starts with one reference, which the caller's QueryInterface
            // result replaces; from here on COM reference counting owns it.
            SimObject* raw = created.release();
            HRESULT status = raw->QueryInterface(iid, object);
            raw->Release();
            return status;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&gLocks);
        else
            InterlockedDecrement(&gLocks);
        return S_OK;
    }

  private:
    Kind kind_;
};

ClassFactory gChooserFactory(Kind::Chooser);
ClassFactory gFocuserFactory(Kind::Focuser);
ClassFactory gFocuser2Factory(Kind::Focuser2);

std::wstring ModulePath() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

}  // namespace
}  // namespace qm::sim

using namespace qm::sim;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualCLSID(classId, kChooserClass))
        return gChooserFactory.QueryInterface(iid, object);
    if (IsEqualCLSID(classId, kFocuserClass))
        return gFocuserFactory.QueryInterface(iid, object);
    if (IsEqualCLSID(classId, kFocuser2Class))
        return gFocuser2Factory.QueryInterface(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return LiveObjectCount() == 0 && InterlockedCompareExchange(&gLocks, 0, 0) == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    const std::wstring server = ModulePath();
    if (server.empty())
        return SELFREG_E_CLASS;
    const std::wstring folder = server.substr(0, server.find_last_of(L"\\/") + 1);
    for (const ClassEntry& entry : kClasses) {
        const std::wstring server32 = L"CLSID\\" + GuidText(entry.id) + L"\\InprocServer32";
        const std::wstring file = entry.kind == Kind::MissingDll ? folder + kMissingDllName : server;
        bool ok = RegisterClassNames(entry.progId, entry.id, entry.description) &&
                  SetClassesValue(server32, L"", file) && SetClassesValue(server32, L"ThreadingModel", L"Apartment");
        if (!ok)
            return SELFREG_E_CLASS;
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    for (const ClassEntry& entry : kClasses)
        UnregisterClassNames(entry.progId, entry.id);
    return S_OK;
}
