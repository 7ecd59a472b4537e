#pragma once
// TBaseDriver: the root of the driver class chain. It holds the method table and
// the setting table the component object serves the host from, the last result,
// the connection state, the .sts persistence of the 7.7 platform and the focus
// stack.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/value_conversions.h"
#include "platform/variant.h"
#include "platform/window.h"
#include "support/log.h"

namespace fr {

using HResult = int32_t;
constexpr HResult kHrOk = 0;                                          // S_OK
constexpr HResult kHrFalse = 1;                                       // S_FALSE
constexpr HResult kHrNotImpl = static_cast<HResult>(0x80004001);      // E_NOTIMPL
constexpr HResult kHrFail = static_cast<HResult>(0x80004005);         // E_FAIL
constexpr HResult kHrOutOfMemory = static_cast<HResult>(0x8007000E);  // E_OUTOFMEMORY

enum TPlatformVer : uint8_t { pvUnknown = 0, pv77 = 1, pv81 = 2, pv82 = 3 };

// A handler bound to a driver object; every handler returns 0 and carries the
// business outcome in the return value, the output elements and the last result.
using TDriverMethod = std::function<HResult(Variant& pvarRetValue, SafeArray* paParams)>;
using TExternalEventProc =
    std::function<void(const std::u16string& strSource, const std::u16string& strMessage,
                       const std::u16string& strData)>;

struct TMethodStruct {
    std::u16string Name;
    std::u16string Alias;
    TDriverMethod DriverMethod;
    int32_t ParamsCount = 0;
};
using PMethodStruct = TMethodStruct*;

struct TSettingStruct {
    std::u16string ID;
    std::u16string Alias;
    Variant Value;
    TDataType ValueType = dtString;
    Variant Default;
    bool ReadOnly = false;
    std::u16string Name;
    std::u16string Description;
};
using PSettingStruct = TSettingStruct*;

struct TShortSettingStruct {
    std::u16string ID;
    Variant Value;
};

class TBaseDriver {
  public:
    TBaseDriver();
    virtual ~TBaseDriver();
    TBaseDriver(const TBaseDriver&) = delete;
    TBaseDriver& operator=(const TBaseDriver&) = delete;

    // Second half of construction: the registration operations, dispatched to the
    // most derived class (a C++ constructor cannot), then the last result reset.
    // The class registry's creation function calls it right after construction.
    void Initialize();

    // Virtual operations, in the order of the class's virtual table.
    virtual void RegisterSettings();
    virtual void RegisterMethods();
    virtual int32_t Enable(std::u16string& ResultDescription);
    virtual int32_t Enable();
    virtual void Disable();
    virtual bool ShowSettingsDlg();

    // Properties.
    const std::u16string& DeviceID() const { return FDeviceID; }
    void SetDeviceID(std::u16string value) { FDeviceID = std::move(value); }
    uint8_t DriverObjNumber() const { return FDriverObjNumber; }
    void SetDriverObjNumber(uint8_t value) { FDriverObjNumber = value; }
    bool AutoKeepFocus() const { return FAutoKeepFocus; }
    void SetAutoKeepFocus(bool value) { FAutoKeepFocus = value; }
    const TExternalEventProc& ExecExternalEvent() const { return FExternalEvent; }
    void SetExecExternalEvent(TExternalEventProc value) { FExternalEvent = std::move(value); }
    uintptr_t AppConnection() const { return FAppConnection; }
    void SetAppConnection(uintptr_t value) { FAppConnection = value; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);  // true calls Enable(), false calls Disable()
    TPlatformVer PlatformVer() const { return FPlatformVer; }
    bool CapSettingsDlg() const { return FCapSettingsDlg; }
    int32_t LastResultCode() const { return FLastResultCode; }
    // Part of the host's view; TCustomBaseDriver composes the text instead.
    virtual std::u16string LastResultDescription() const { return FLastResultDescription; }
    const std::u16string& StoredResultDescription() const { return FLastResultDescription; }
    void SetLastResultDescription(std::u16string value) {
        FLastResultDescription = std::move(value);
    }
    int32_t MethsCount() const { return static_cast<int32_t>(FMethodList.size()); }
    int32_t PropsCount() const { return static_cast<int32_t>(FSettingList.size()); }
    int32_t SettingsCount() const { return PropsCount(); }
    // This object's own log level: every type when true; when false, what WriteLog
    // gave at the last connection.
    void SetDebugLogEnabled(bool value);
    // This object's log settings; the component object makes them current for
    // the length of each host call.
    TLog::TContext& LogContext() { return FLogContext; }
    // No range check, as the host's numbers are checked by the component object.
    PMethodStruct MethodList(int32_t Index) { return &FMethodList[static_cast<size_t>(Index)]; }
    PSettingStruct PropList(int32_t Index) { return &FSettingList[static_cast<size_t>(Index)]; }
    PSettingStruct Settings(int32_t Index);  // nil when out of range

    // Lookup by primary name or alias, without regard to letter case.
    int32_t GetMethodNum(std::u16string_view MethName) const;
    PMethodStruct FindMethod(std::u16string_view MethName);
    int32_t GetPropNum(std::u16string_view PropName) const;
    PSettingStruct FindSetting(std::u16string_view ID);

    // Setting values.
    Variant GetSettingValue(std::u16string_view ID, bool Default);
    bool GetSettingValueBool(std::u16string_view ID);
    int32_t GetSettingValueInt(std::u16string_view ID);
    Currency GetSettingValueCurr(std::u16string_view ID);
    double GetSettingValueDbl(std::u16string_view ID);
    std::u16string GetSettingValueStr(std::u16string_view ID);
    double GetSettingValueDate(std::u16string_view ID);
    bool GetSettingReadOnly(std::u16string_view ID);
    void SetSettingValue(std::u16string_view ID, const Variant& Value, bool CastToType);
    void SetAllSettingsDefault();
    void StoreSettings(const std::vector<std::u16string>& ASettings);
    void RestoreSettings();
    void UpdateDebugLogEnabled();

    void ClearError();

    // The .sts file of the 7.7 platform.
    void ReadSettings();
    void SaveSettings();
    std::u16string GetSettingsFileName();

    void StoreFocus();
    void RestoreFocus();

    // Parameter-array operations used by every host handler.
    static Variant GetParam(SafeArray* Params, int32_t Index);
    static void PutParam(SafeArray* Params, int32_t Index, const Variant& Value);
    static void PutParamStr(SafeArray* Params, int32_t Index, const std::u16string& Value);
    static void PutParamInt(SafeArray* Params, int32_t Index, int32_t Value);
    static void PutParamDouble(SafeArray* Params, int32_t Index, double Value);

  protected:
    int32_t AddMethod(std::u16string Name, std::u16string Alias, TDriverMethod DriverMethod,
                      int32_t ParamsCount);
    // Adds the rows of a method table in order; the handler is a member of the
    // most derived class that owns the table and dispatches virtually.
    template <class TOwner, class TRow, size_t N>
    void AddMethodRows(TOwner* AOwner, const TRow (&ARows)[N]) {
        for (const TRow& row : ARows) {
            const auto handler = row.Handler;
            AddMethod(
                std::u16string(row.Name), std::u16string(row.Alias),
                [AOwner, handler](Variant& pvarRetValue, SafeArray* paParams) {
                    return (AOwner->*handler)(pvarRetValue, paParams);
                },
                row.ParamsCount);
        }
    }
    int32_t AddSetting(std::u16string ID, std::u16string Alias, TDataType ValueType,
                       Variant Default, bool ReadOnly, std::u16string Name,
                       std::u16string Description);

    // Host handlers of the base methods.
    HResult HostShowSettingsDlg(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostGetVersion(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostReadSettings(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostSaveSettings(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostSetDeviceID(Variant& pvarRetValue, SafeArray* paParams);

    // At each connection: this object's lines go to the daily files of AFolder,
    // information and errors when AWriteLog is true; files older than the setting
    // LogRetentionDays are removed; a line names the object and its connection.
    void OpenOwnLog(bool AWriteLog, const std::u16string& AFolder);
    // The connection as the Open line names it; empty when there is none to name.
    virtual std::u16string LogConnectionText();

    std::u16string FDeviceID = u"default";
    uint8_t FDriverObjNumber = 0;
    std::vector<WindowHandle> FWindows;
    bool FAutoKeepFocus = false;
    TExternalEventProc FExternalEvent;
    uintptr_t FAppConnection = 0;
    bool FEnabled = false;
    TPlatformVer FPlatformVer = pvUnknown;
    bool FCapSettingsDlg = false;
    int32_t FLastResultCode = 0;
    std::u16string FLastResultDescription;
    std::vector<TMethodStruct> FMethodList;
    std::vector<TSettingStruct> FSettingList;
    std::vector<TShortSettingStruct> FBufSettings;
    TLog::TContext FLogContext;
};

// The platform from the host executable's file name (after the last backslash or slash):
// "1CV7…" gives pv77, "1CV8…" pv81, in any letter case.
TPlatformVer DetectPlatformVer(std::u16string_view executablePath);

// The process-wide class registry the component object creates its driver from.
using TDriverFactory = std::function<std::unique_ptr<TBaseDriver>()>;
// Registers (or replaces) the class under the name.
void RegisterDriverClass(std::u16string_view className, TDriverFactory factory);
// Constructs the registered class and runs Initialize; nil when none is registered.
std::unique_ptr<TBaseDriver> CreateDriverByClassName(std::u16string_view className);

template <class T>
void RegisterDriverClass(std::u16string_view className) {
    RegisterDriverClass(className, [] { return std::unique_ptr<TBaseDriver>(new T()); });
}

}  // namespace fr
