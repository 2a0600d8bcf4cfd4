// The simulated chooser and focuser objects: IDispatch written by hand, answering
// as a real automation server does (names matched without regard to case, access
// flags and argument counts checked, driver errors raised as DISP_E_EXCEPTION with
// an exception record), logging every call and steered by sim.ini.
#pragma once

#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tools/sim_ascom/focuser_motion.h"
#include "tools/sim_ascom/sim_config.h"

namespace qm::sim {

// Live objects of this module, for DllCanUnloadNow.
LONG LiveObjectCount();
void AddLiveObject();
void RemoveLiveObject();
// Called after each object has gone away; the local server uses it to end itself.
void SetObjectGoneHandler(void (*handler)());

// The common IDispatch machinery; a subclass lists its members and answers them.
class SimObject : public IDispatch {
  public:
    enum class Access { Get, Put, Call };
    enum class Shape { ReadOnly, ReadWrite, Method };
    struct Member {
        const wchar_t* name;
        const char* logName;
        DISPID id;
        Shape shape;
        UINT minArgs = 0;  // methods only
        UINT maxArgs = 0;
    };
    // A driver error: reported as DISP_E_EXCEPTION with this code and description.
    struct DriverError {
        HRESULT code;
        std::string description;
    };

    explicit SimObject(const char* objectName);
    virtual ~SimObject();
    SimObject(const SimObject&) = delete;
    SimObject& operator=(const SimObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id,
                                     REFIID iid,
                                     LCID locale,
                                     WORD flags,
                                     DISPPARAMS* params,
                                     VARIANT* result,
                                     EXCEPINFO* exception,
                                     UINT* argError) override;

  protected:
    virtual const std::vector<Member>& Members() const = 0;
    // Answers one validated call. `args` are in call order (first argument first).
    // Raises DriverError for a driver error and ArgumentError for an argument that
    // does not convert.
    virtual void Answer(const Member& member,
                        Access access,
                        const std::vector<VARIANT*>& args,
                        VARIANT& result,
                        const SimConfig& config) = 0;
    // After every call, successful or not.
    virtual void AfterCall(const SimConfig& /*config*/) {}

    const char* objectName_;

  private:
    LONG references_ = 1;
};

// An argument that does not convert to the type the member takes.
struct ArgumentError {
    size_t index;  // in call order
};

int32_t ArgToInt32(const std::vector<VARIANT*>& args, size_t index);
bool ArgToBool(const std::vector<VARIANT*>& args, size_t index);
std::wstring ArgToText(const std::vector<VARIANT*>& args, size_t index);

// "DriverHelper.Chooser": DeviceType and Choose; Choose answers sim.ini's ChooseResult
// without showing anything.
class SimChooser : public SimObject {
  public:
    SimChooser();

  protected:
    const std::vector<Member>& Members() const override;
    void Answer(const Member& member,
                Access access,
                const std::vector<VARIANT*>& args,
                VARIANT& result,
                const SimConfig& config) override;

  private:
    std::wstring deviceType_ = L"Telescope";
};

// "QmSim.Focuser" (and "QmSim.Focuser2"): Link/Connected, MaxStep, Absolute,
// Position, IsMoving, Move, Halt and Temperature, with moves that take time. Besides
// the failure rules, sim.ini can give it the faults of drivers met in the field:
// Stuck=1 (never arrives), BlockingMove=1, NeverMoving=1 (IsMoving never True),
// IdleEarlySteps=N (IsMoving False within N steps of the target), StopShortSteps=N and
// NoLink=1 (knows Connected only). Temperature=<°C> and TemperatureStep=<°C> give it a
// thermometer whose reads change by the step (without them Temperature is not
// implemented), NoTemperature=1 a driver without the member.
class SimFocuser : public SimObject {
  public:
    explicit SimFocuser(const char* objectName);

  protected:
    const std::vector<Member>& Members() const override;
    void Answer(const Member& member,
                Access access,
                const std::vector<VARIANT*>& args,
                VARIANT& result,
                const SimConfig& config) override;
    void AfterCall(const SimConfig& config) override;

  private:
    void PlaceAtStart(const SimConfig& config);

    bool linked_ = false;
    FocuserMotion motion_;
    int64_t temperatureReads_ = 0;  // by this object, for TemperatureStep
};

}  // namespace qm::sim
