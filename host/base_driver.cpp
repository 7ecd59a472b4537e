#include "host/base_driver.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "host/method_table.h"
#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "support/common_utils.h"
#include "support/equipment_errors.h"
#include "support/log.h"
#include "support/product.h"

namespace fr {

namespace {

constexpr std::u16string_view kDebugLogEnabled = u"DebugLogEnabled";
constexpr std::u16string_view kLogRetentionDays = u"LogRetentionDays";
constexpr int32_t kDefaultLogRetentionDays = 30;
constexpr std::u16string_view kSettingsSection = u"SETTINGS";
constexpr std::u16string_view kSettingsFileExt = u".sts";

// The device identity names a file: anything that could leave the settings
// folder or is no file-name character becomes "_".
std::u16string SafeFileNamePart(std::u16string_view text) {
    std::u16string name(text);
    for (char16_t& c : name) {
        if (c < u' ' || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            c = u'_';
    }
    if (name.find_first_not_of(u'.') == std::u16string::npos) name.assign(name.size(), u'_');
    return name;
}

struct TClassRegistry {
    std::mutex Lock;
    std::map<std::u16string, TDriverFactory> Factories;  // by upper-case class name
};

TClassRegistry& ClassRegistry() {
    static TClassRegistry registry;
    return registry;
}

}  // namespace

TPlatformVer DetectPlatformVer(std::u16string_view executablePath) {
    // The host names a Windows path; either delimiter ends the folder part.
    const size_t slash = executablePath.find_last_of(u"\\/");
    const std::u16string_view fileName =
        slash == std::u16string_view::npos ? executablePath : executablePath.substr(slash + 1);
    const std::u16string prefix = UpperCase(fileName.substr(0, 4));
    if (prefix == u"1CV7") return pv77;
    if (prefix == u"1CV8") return pv81;
    return pvUnknown;
}

TBaseDriver::TBaseDriver() : FPlatformVer(DetectPlatformVer(HostExecutablePath())) {}

TBaseDriver::~TBaseDriver() = default;

void TBaseDriver::Initialize() {
    RegisterSettings();
    // After every class's own settings: the numbers the host knows them by stay.
    AddSetting(std::u16string(kLogRetentionDays), std::u16string(kLogRetentionDays), dtNumber,
               Variant(kDefaultLogRetentionDays), false, u"Хранить лог, дней",
               u"Файлы лога старше этого числа дней удаляются; 0 - хранить все");
    RegisterMethods();
    FLastResultCode = 0;
    FAppConnection = 0;
}

void TBaseDriver::RegisterSettings() {
    AddSetting(std::u16string(kDebugLogEnabled), std::u16string(kDebugLogEnabled), dtBoolean,
               Variant(false), false, u"Отладочный лог",
               u"Если равно True, ведется отладочный лог");
}

void TBaseDriver::RegisterMethods() {
    static constexpr TMethodRow<TBaseDriver> kBaseMethods[] = {
        {u"ShowSettingsDlg", u"ОтобразитьФормуНастроек", 0, &TBaseDriver::HostShowSettingsDlg},
        {u"GetVersion", u"ПолучитьНомерВерсии", 0, &TBaseDriver::HostGetVersion},
    };
    // The settings file is the 7.7 platform's only.
    static constexpr TMethodRow<TBaseDriver> kSettingsFileMethods[] = {
        {u"ReadSettings", u"СчитатьНастройки", 0, &TBaseDriver::HostReadSettings},
        {u"SaveSettings", u"ЗаписатьНастройки", 0, &TBaseDriver::HostSaveSettings},
        {u"SetDeviceID", u"УстановитьИдентификаторУстройства", 1, &TBaseDriver::HostSetDeviceID},
    };
    static_assert(MethodNamesAreDistinct(kBaseMethods));
    static_assert(MethodNamesAreDistinct(kSettingsFileMethods));
    AddMethodRows(this, kBaseMethods);
    if (FPlatformVer == pv77) AddMethodRows(this, kSettingsFileMethods);
}

int32_t TBaseDriver::Enable(std::u16string& ResultDescription) {
    ResultDescription.clear();
    return kResultNotSupported;
}

int32_t TBaseDriver::Enable() {
    std::u16string description;
    const int32_t result = Enable(description);
    FEnabled = result == 0;
    return result;
}

void TBaseDriver::Disable() {}

bool TBaseDriver::ShowSettingsDlg() {
    return false;
}

void TBaseDriver::SetEnabled(bool value) {
    if (value) {
        FEnabled = Enable() == 0;
    } else {
        Disable();
        FEnabled = false;
    }
}

void TBaseDriver::SetDebugLogEnabled(bool value) {
    FLogContext.SetDebugLog(value);
}

void TBaseDriver::OpenOwnLog(bool AWriteLog, const std::u16string& AFolder) {
    FLogContext.SetWriteLog(AWriteLog);
    FLogContext.SetFolder(AFolder, std::u16string(kProductName),
                          GetSettingValueInt(kLogRetentionDays));
    // Current already inside a host call; made so here for a caller outside one.
    const TLog::TScope scope(&FLogContext);
    TLog::RemoveOldFiles();
    TLog::Start();
    const auto flag = [](bool on) { return std::u16string(on ? u"true" : u"false"); };
    std::u16string text;
    const std::u16string tag = FLogContext.Tag();
    if (!tag.empty()) text += u"object " + tag + u"; ";
    const std::u16string connection = LogConnectionText();
    if (!connection.empty()) text += connection + u"; ";
    text += u"WriteLog=" + flag(AWriteLog) + u"; DebugLogEnabled=" +
            flag(GetSettingValueBool(kDebugLogEnabled)) + u"; LogRetentionDays=" +
            IntToStr(GetSettingValueInt(kLogRetentionDays));
    TLog::Append(u"Log", text, TLog::mtInfo);
}

std::u16string TBaseDriver::LogConnectionText() {
    return std::u16string();
}

PSettingStruct TBaseDriver::Settings(int32_t Index) {
    if (Index < 0 || Index >= SettingsCount()) return nullptr;
    return &FSettingList[static_cast<size_t>(Index)];
}

int32_t TBaseDriver::AddMethod(std::u16string Name, std::u16string Alias,
                               TDriverMethod DriverMethod, int32_t ParamsCount) {
    FMethodList.push_back(
        TMethodStruct{std::move(Name), std::move(Alias), std::move(DriverMethod), ParamsCount});
    return MethsCount() - 1;
}

int32_t TBaseDriver::AddSetting(std::u16string ID, std::u16string Alias, TDataType ValueType,
                                Variant Default, bool ReadOnly, std::u16string Name,
                                std::u16string Description) {
    for (size_t i = 0; i < FSettingList.size(); ++i) {
        TSettingStruct& s = FSettingList[i];
        if (!SameText(s.ID, ID)) continue;
        // A subclass re-registering a setting changes its default, not its identity.
        s.Value = Default;
        s.Default = std::move(Default);
        s.ReadOnly = ReadOnly;
        s.Description = std::move(Description);
        s.Alias = std::move(Alias);
        return static_cast<int32_t>(i);
    }
    TSettingStruct s;
    s.ID = std::move(ID);
    s.Alias = std::move(Alias);
    s.Value = Default;
    s.ValueType = ValueType;
    s.Default = std::move(Default);
    s.ReadOnly = ReadOnly;
    s.Name = std::move(Name);
    s.Description = std::move(Description);
    FSettingList.push_back(std::move(s));
    return PropsCount() - 1;
}

int32_t TBaseDriver::GetMethodNum(std::u16string_view MethName) const {
    if (MethName.empty()) return -1;
    for (size_t i = 0; i < FMethodList.size(); ++i) {
        const TMethodStruct& m = FMethodList[i];
        if (SameText(m.Name, MethName) || SameText(m.Alias, MethName))
            return static_cast<int32_t>(i);
    }
    return -1;
}

PMethodStruct TBaseDriver::FindMethod(std::u16string_view MethName) {
    const int32_t index = GetMethodNum(MethName);
    return index < 0 ? nullptr : &FMethodList[static_cast<size_t>(index)];
}

int32_t TBaseDriver::GetPropNum(std::u16string_view PropName) const {
    if (PropName.empty()) return -1;
    for (size_t i = 0; i < FSettingList.size(); ++i) {
        const TSettingStruct& s = FSettingList[i];
        if (SameText(s.ID, PropName) || SameText(s.Alias, PropName)) return static_cast<int32_t>(i);
    }
    return -1;
}

PSettingStruct TBaseDriver::FindSetting(std::u16string_view ID) {
    const int32_t index = GetPropNum(ID);
    return index < 0 ? nullptr : &FSettingList[static_cast<size_t>(index)];
}

Variant TBaseDriver::GetSettingValue(std::u16string_view ID, bool Default) {
    const PSettingStruct s = FindSetting(ID);
    if (!s) return Variant();
    return Default ? s->Default : s->Value;
}

bool TBaseDriver::GetSettingValueBool(std::u16string_view ID) {
    return VarToBool(GetSettingValue(ID, false));
}

int32_t TBaseDriver::GetSettingValueInt(std::u16string_view ID) {
    const Variant v = GetSettingValue(ID, false);
    return v.IsEmpty() ? 0 : VarToInt(v);
}

Currency TBaseDriver::GetSettingValueCurr(std::u16string_view ID) {
    const Variant v = GetSettingValue(ID, false);
    return v.IsEmpty() ? Currency{} : VarToCurr(v);
}

double TBaseDriver::GetSettingValueDbl(std::u16string_view ID) {
    const Variant v = GetSettingValue(ID, false);
    return v.IsEmpty() ? 0.0 : VarToDouble(v);
}

std::u16string TBaseDriver::GetSettingValueStr(std::u16string_view ID) {
    return VarToStr(GetSettingValue(ID, false));
}

double TBaseDriver::GetSettingValueDate(std::u16string_view ID) {
    const Variant v = GetSettingValue(ID, false);
    return v.IsEmpty() ? 0.0 : VarToDateTime(v);
}

bool TBaseDriver::GetSettingReadOnly(std::u16string_view ID) {
    const PSettingStruct s = FindSetting(ID);
    return s && s->ReadOnly;
}

void TBaseDriver::SetSettingValue(std::u16string_view ID, const Variant& Value, bool CastToType) {
    const PSettingStruct s = FindSetting(ID);
    if (!s) return;
    // A by-reference value is stored as the value it refers to: the referent
    // belongs to the caller and does not outlive the call.
    const Variant& v = Value.Deref();
    if (VarMatchesDataType(v, s->ValueType)) {
        s->Value = v;
    } else if (CastToType && v.IsString()) {
        s->Value = SettingStrToVar(VarToStr(v), s->ValueType);
    }
}

void TBaseDriver::SetAllSettingsDefault() {
    for (TSettingStruct& s : FSettingList)
        s.Value = s.Default;
}

void TBaseDriver::StoreSettings(const std::vector<std::u16string>& ASettings) {
    FBufSettings.clear();
    for (const std::u16string& id : ASettings)
        FBufSettings.push_back(TShortSettingStruct{id, GetSettingValue(id, false)});
}

void TBaseDriver::RestoreSettings() {
    for (const TShortSettingStruct& saved : FBufSettings) {
        if (const PSettingStruct s = FindSetting(saved.ID)) s->Value = saved.Value;
    }
    FBufSettings.clear();
}

void TBaseDriver::UpdateDebugLogEnabled() {
    SetDebugLogEnabled(GetSettingValueBool(kDebugLogEnabled));
}

void TBaseDriver::ClearError() {
    FLastResultCode = 0;
    FLastResultDescription.clear();
}

std::u16string TBaseDriver::GetSettingsFileName() {
    const std::u16string folder =
        GetSpecialFolder(CSIDL_COMMON_APPDATA_CODE) + std::u16string(kProductName);
    if (!DirectoryExists(folder)) CreateDir(folder);
    return folder + PathDelimiter() + SafeFileNamePart(FDeviceID) +
           std::u16string(kSettingsFileExt);
}

void TBaseDriver::ReadSettings() {
    if (FPlatformVer != pv77) return;
    const std::u16string fileName = GetSettingsFileName();
    if (!FileExists(fileName)) return;
    const std::vector<TIniEntry> entries = IniFile(fileName).ReadSection(kSettingsSection);
    for (size_t i = 0; i < FSettingList.size(); ++i) {
        const std::u16string id = FSettingList[i].ID;
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const TIniEntry& e) { return SameText(e.Key, id); });
        const std::u16string text = entry != entries.end() ? entry->Value : std::u16string();
        // Decoded by the setting's type before it is set: text as it stands would
        // fit a string setting and keep the \n marks SaveSettings wrote.
        SetSettingValue(id, SettingStrToVar(text, FSettingList[i].ValueType), true);
    }
}

void TBaseDriver::SaveSettings() {
    if (FPlatformVer != pv77) return;
    std::vector<TIniEntry> entries;
    for (const TSettingStruct& s : FSettingList)
        entries.push_back({s.ID, VarToSettingStr(s.Value)});
    IniFile(GetSettingsFileName()).WriteSection(kSettingsSection, entries);
}

void TBaseDriver::StoreFocus() {
    const WindowHandle window = GetForegroundWindowHandle();
    FWindows.push_back(window);
    if (window != 0) EnableWindowInput(window, false);
}

void TBaseDriver::RestoreFocus() {
    if (FWindows.empty()) return;
    const WindowHandle window = FWindows.back();
    if (window != 0) {
        EnableWindowInput(window, true);
        if (window != GetForegroundWindowHandle()) {
            BringWindowToForeground(window);
            SendSetFocus(window);
        }
    }
    FWindows.pop_back();
}

Variant TBaseDriver::GetParam(SafeArray* Params, int32_t Index) {
    Variant value;
    if (!Params || !Params->Get(Index, value)) return Variant();
    return value;
}

void TBaseDriver::PutParam(SafeArray* Params, int32_t Index, const Variant& Value) {
    if (Params) Params->Put(Index, Value);
}

void TBaseDriver::PutParamStr(SafeArray* Params, int32_t Index, const std::u16string& Value) {
    PutParam(Params, Index, Variant(Value));
}

void TBaseDriver::PutParamInt(SafeArray* Params, int32_t Index, int32_t Value) {
    PutParam(Params, Index, Variant(Value));
}

void TBaseDriver::PutParamDouble(SafeArray* Params, int32_t Index, double Value) {
    PutParam(Params, Index, Variant(Value));
}

HResult TBaseDriver::HostShowSettingsDlg(Variant& pvarRetValue, SafeArray*) {
    pvarRetValue = Variant(ShowSettingsDlg());
    return kHrOk;
}

HResult TBaseDriver::HostGetVersion(Variant& pvarRetValue, SafeArray*) {
    pvarRetValue = Variant(GetFileVersionStr(u""));
    return kHrOk;
}

HResult TBaseDriver::HostReadSettings(Variant&, SafeArray*) {
    ReadSettings();
    return kHrOk;
}

HResult TBaseDriver::HostSaveSettings(Variant&, SafeArray*) {
    SaveSettings();
    return kHrOk;
}

HResult TBaseDriver::HostSetDeviceID(Variant&, SafeArray* paParams) {
    FDeviceID = VarToStr(GetParam(paParams, 0));
    return kHrOk;
}

void RegisterDriverClass(std::u16string_view className, TDriverFactory factory) {
    TClassRegistry& registry = ClassRegistry();
    const std::lock_guard<std::mutex> lock(registry.Lock);
    registry.Factories[UpperCase(className)] = std::move(factory);
}

std::unique_ptr<TBaseDriver> CreateDriverByClassName(std::u16string_view className) {
    TDriverFactory factory;
    {
        TClassRegistry& registry = ClassRegistry();
        const std::lock_guard<std::mutex> lock(registry.Lock);
        const auto it = registry.Factories.find(UpperCase(className));
        if (it == registry.Factories.end()) return nullptr;
        factory = it->second;
    }
    // Outside the lock: a constructor may itself use the registry.
    std::unique_ptr<TBaseDriver> driver = factory ? factory() : nullptr;
    if (driver) driver->Initialize();
    return driver;
}

}  // namespace fr
