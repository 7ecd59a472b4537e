#include "equipment/custom_base_driver.h"

#include "host/method_table.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "resources/resources.h"
#include "support/equipment_errors.h"
#include "support/texts.h"
#include "support/xml_document.h"

namespace fr {
namespace {

// The standard's own methods: Russian primary names, English aliases.
constexpr TMethodRow<TCustomBaseDriver> kStandardMethods[] = {
    {u"ПолучитьОписание", u"GetDescription", 7, &TCustomBaseDriver::HostGetDescription},
    {u"ПолучитьОшибку", u"GetLastError", 1, &TCustomBaseDriver::HostGetLastError},
    {u"ПолучитьПараметры", u"GetParameters", 1, &TCustomBaseDriver::HostGetParameters},
    {u"УстановитьПараметр", u"SetParameter", 2, &TCustomBaseDriver::HostSetParameter},
    {u"Подключить", u"Open", 1, &TCustomBaseDriver::HostOpen},
    {u"Отключить", u"Close", 1, &TCustomBaseDriver::HostClose},
    {u"ПолучитьДополнительныеДействия", u"GetAdditionalActions", 1,
     &TCustomBaseDriver::HostGetAdditionalActions},
    {u"ВыполнитьДополнительноеДействие", u"DoAdditionalAction", 1,
     &TCustomBaseDriver::HostDoAdditionalAction},
    {u"ТестУстройства", u"DeviceTest", 2, &TCustomBaseDriver::HostDeviceTest},
};
static_assert(MethodNamesAreDistinct(kStandardMethods));

constexpr int32_t kInterfaceRevision = 2002;

// Booleans as the parameter table spells them; everything else as plain text.
std::u16string DefaultValueText(const Variant& value) {
    const Variant& v = value.Deref();
    if (v.BaseType() == vtBoolean) return v.BoolValue() ? u"true" : u"false";
    return VarToStr(v);
}

}  // namespace

TCustomBaseDriver::TCustomBaseDriver() {
    FDriverInfo.Name = u"Стеллум: ККТ Норвейн ONLINE";
    FDriverInfo.Description = u"Драйвер ККТ Норвейн ONLINE \"1С:Совместимо\"";
    FDriverInfo.EquipmentType.clear();
    FDriverInfo.InterfaceRevision = kInterfaceRevision;
    FDriverInfo.DownloadURL = u"https://stellum-kkt.example/downloads/norvane-online";
    ClearError();
}

void TCustomBaseDriver::RegisterMethods() {
    TBaseDriver::RegisterMethods();
    AddMethodRows(this, kStandardMethods);
}

std::u16string TCustomBaseDriver::LastResultText() const {
    if (!FLastResultDescription.empty()) return FLastResultDescription;
    if (IsCommonResultCode(FLastResultCode)) return EquipmentErrorText(FLastResultCode, u"", u"");
    return DeviceResultText(FLastResultCode);
}

std::u16string TCustomBaseDriver::DeviceResultText(int32_t ACode) const {
    return EquipmentErrorText(ACode, FLastResultDescription, u"");
}

HResult TCustomBaseDriver::HostGetDescription(Variant& pvarRetValue, SafeArray* paParams) {
    FLastResultDescription.clear();
    std::u16string name, description, equipmentType, downloadURL;
    int32_t interfaceRevision = 0;
    bool integrationLibrary = false;
    bool mainDriverInstalled = false;
    FLastResultCode = GetDescription(name, description, equipmentType, interfaceRevision,
                                     integrationLibrary, mainDriverInstalled, downloadURL);
    PutParamStr(paParams, 0, name);
    PutParamStr(paParams, 1, description);
    PutParamStr(paParams, 2, equipmentType);
    PutParamInt(paParams, 3, interfaceRevision);
    PutParam(paParams, 4, Variant(integrationLibrary));
    PutParam(paParams, 5, Variant(mainDriverInstalled));
    PutParamStr(paParams, 6, downloadURL);
    SetReturnBool(pvarRetValue, FLastResultCode == 0);
    return kHrOk;
}

HResult TCustomBaseDriver::HostGetLastError(Variant& pvarRetValue, SafeArray* paParams) {
    PutParamStr(paParams, 0, LastResultText());
    pvarRetValue = Variant(FLastResultCode);
    return kHrOk;
}

HResult TCustomBaseDriver::HostGetParameters(Variant& pvarRetValue, SafeArray* paParams) {
    FLastResultDescription.clear();
    PutParamStr(paParams, 0, GetParameters());
    FLastResultCode = 0;
    SetReturnBool(pvarRetValue, true);
    return kHrOk;
}

HResult TCustomBaseDriver::HostSetParameter(Variant& pvarRetValue, SafeArray* paParams) {
    FLastResultDescription.clear();
    const std::u16string name = VarToStr(GetParam(paParams, 0));
    SetSettingValue(name, GetParam(paParams, 1), false);
    if (SameText(name, u"DebugLogEnabled")) UpdateDebugLogEnabled();
    FLastResultCode = 0;
    SetReturnBool(pvarRetValue, true);
    return kHrOk;
}

HResult TCustomBaseDriver::HostOpen(Variant& pvarRetValue, SafeArray* paParams) {
    FLastResultDescription.clear();
    UpdateDebugLogEnabled();
    FLastResultCode = Enable();
    // The device identifier the host keeps for this connection.
    PutParamStr(paParams, 0, u"0");
    SetReturnBool(pvarRetValue, FLastResultCode == 0);
    FEnabled = FLastResultCode == 0;
    return kHrOk;
}

HResult TCustomBaseDriver::HostClose(Variant& pvarRetValue, SafeArray* /*paParams*/) {
    FLastResultDescription.clear();
    Disable();
    FLastResultCode = 0;
    SetReturnBool(pvarRetValue, true);
    FEnabled = false;
    return kHrOk;
}

HResult TCustomBaseDriver::HostGetAdditionalActions(Variant& pvarRetValue, SafeArray* paParams) {
    PutParamStr(paParams, 0, GetAdditionalActions());
    FLastResultCode = 0;
    SetReturnBool(pvarRetValue, true);
    return kHrOk;
}

HResult TCustomBaseDriver::HostDoAdditionalAction(Variant& pvarRetValue, SafeArray* paParams) {
    const std::u16string action = VarToStr(GetParam(paParams, 0));
    FLastResultCode = DoAdditionalAction(action);
    SetReturnBool(pvarRetValue, FLastResultCode == 0);
    return kHrOk;
}

HResult TCustomBaseDriver::HostDeviceTest(Variant& pvarRetValue, SafeArray* paParams) {
    FLastResultDescription.clear();
    FLastResultCode = Enable();
    std::u16string text = Trim(DeviceResultText(FLastResultCode));
    if (FLastResultCode == 0) {
        FLastResultCode = DeviceTest(text);
        // A test that connected always leaves the device disconnected.
        Disable();
    }
    PutParamStr(paParams, 0, text);
    PutParamStr(paParams, 1, u"");
    SetReturnBool(pvarRetValue, FLastResultCode == 0);
    return kHrOk;
}

int32_t TCustomBaseDriver::GetDescription(std::u16string& Name, std::u16string& Description,
                                          std::u16string& EquipmentType, int32_t& InterfaceRevision,
                                          bool& IntegrationLibrary, bool& MainDriverInstalled,
                                          std::u16string& DownloadURL) {
    Name = FDriverInfo.Name;
    Description = FDriverInfo.Description;
    EquipmentType = FDriverInfo.EquipmentType;
    InterfaceRevision = FDriverInfo.InterfaceRevision;
    IntegrationLibrary = false;
    MainDriverInstalled = true;
    DownloadURL = FDriverInfo.DownloadURL;
    return 0;
}

std::u16string TCustomBaseDriver::GetParameters() {
    std::string bytes;
    if (!FindResourceData(u"TableParameters", bytes)) return BuildParametersFromSettings();
    XmlDocument document;
    document.LoadFromUtf8(bytes);
    return document.Xml();
}

std::u16string TCustomBaseDriver::BuildParametersFromSettings() const {
    auto document = XmlDocument::Create();
    XmlNode page = document->AddChild(u"Settings").AddChild(u"Page");
    page.SetAttribute(u"Caption", Variant(std::u16string(texts::kParametersPage)));
    for (const auto& setting : FSettingList) {
        XmlNode parameter = page.AddChild(u"Parameter");
        parameter.SetAttribute(u"Name", Variant(setting.ID));
        parameter.SetAttribute(u"Caption", Variant(setting.Name));
        parameter.SetAttribute(u"TypeValue", Variant(DataTypeName(setting.ValueType)));
        parameter.SetAttribute(u"DefaultValue", Variant(DefaultValueText(setting.Default)));
    }
    return document->Xml();
}

int32_t TCustomBaseDriver::DeviceTest(std::u16string& Description) {
    Description = std::u16string(texts::kNoErrors);
    return 0;
}

std::u16string TCustomBaseDriver::GetAdditionalActions() {
    return {};
}

int32_t TCustomBaseDriver::DoAdditionalAction(const std::u16string& /*ActionName*/) {
    return kResultNotSupported;
}

}  // namespace fr
