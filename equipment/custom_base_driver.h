#pragma once
// TCustomBaseDriver: the methods the platform's equipment standard asks of every
// equipment driver (description, last error, parameter table, setting a
// parameter, open, close, additional actions, device test) and the record that
// describes the driver.

#include <cstdint>
#include <string>

#include "host/base_driver.h"

namespace fr {

struct TDriverInfo {
    std::u16string Name;
    std::u16string Description;
    std::u16string EquipmentType;
    int32_t InterfaceRevision = 0;
    std::u16string DownloadURL;
};

class TCustomBaseDriver : public TBaseDriver {
  public:
    TCustomBaseDriver();

    const TDriverInfo& DriverInfo() const { return FDriverInfo; }

    // The host reads the composed text, not the stored field.
    std::u16string LastResultDescription() const override { return LastResultText(); }
    // The stored description first, then the catalogue for the common ranges, then
    // the device's own text.
    std::u16string LastResultText() const;

    void RegisterMethods() override;

    // Host handlers; registered through the virtual table, so an override is the
    // one the host reaches.
    virtual HResult HostGetDescription(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostGetLastError(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostGetParameters(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostSetParameter(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostOpen(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostClose(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostGetAdditionalActions(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostDoAdditionalAction(Variant& pvarRetValue, SafeArray* paParams);
    virtual HResult HostDeviceTest(Variant& pvarRetValue, SafeArray* paParams);

    // The text of a device-specific result code.
    virtual std::u16string DeviceResultText(int32_t ACode) const;

    // Typed operations.
    virtual int32_t GetDescription(std::u16string& Name, std::u16string& Description,
                                   std::u16string& EquipmentType, int32_t& InterfaceRevision,
                                   bool& IntegrationLibrary, bool& MainDriverInstalled,
                                   std::u16string& DownloadURL);
    // The parameter table as XML text.
    virtual std::u16string GetParameters();
    virtual int32_t DeviceTest(std::u16string& Description);
    virtual std::u16string GetAdditionalActions();
    virtual int32_t DoAdditionalAction(const std::u16string& ActionName);

  protected:
    // The table built from the setting table, for a module without the resource.
    std::u16string BuildParametersFromSettings() const;
    static void SetReturnBool(Variant& pvarRetValue, bool value) { pvarRetValue = Variant(value); }

    TDriverInfo FDriverInfo;
};

}  // namespace fr
