#pragma once
// The component as frhost reaches it. The platform talks to one component object
// through its host interfaces; frhost can reach that object in more than one way
// (the portable object linked in, a COM server, a Native API library), and the
// protocol is written once against this interface.

#include <cstdint>
#include <string>
#include <vector>

#include "host/add_in_object.h"
#include "platform/variant.h"

namespace fr {

class TFrComponent {
  public:
    static constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001);

    virtual ~TFrComponent() = default;

    // Lifetime (IInitDone, or the Native API's Init/Done).
    virtual HResult Init() = 0;
    virtual HResult Done() = 0;
    virtual HResult GetInfo(SafeArray* pInfo) = 0;

    // The language extension.
    virtual HResult RegisterExtensionAs(std::u16string& bstrExtensionName) = 0;
    virtual HResult GetNProps(int32_t& plProps) = 0;
    virtual HResult FindProp(const std::u16string& bstrPropName, int32_t& plPropNum) = 0;
    virtual HResult GetPropName(int32_t lPropNum, int32_t lPropAlias,
                                std::u16string& pbstrPropName) = 0;
    virtual HResult GetPropVal(int32_t lPropNum, Variant& pvarPropVal) = 0;
    virtual HResult SetPropVal(int32_t lPropNum, const Variant& varPropVal) = 0;
    virtual HResult IsPropReadable(int32_t lPropNum, bool& pboolPropRead) = 0;
    virtual HResult IsPropWritable(int32_t lPropNum, bool& pboolPropWrite) = 0;
    virtual HResult GetNMethods(int32_t& plMethods) = 0;
    virtual HResult FindMethod(const std::u16string& bstrMethodName, int32_t& plMethodNum) = 0;
    virtual HResult GetMethodName(int32_t lMethodNum, int32_t lMethodAlias,
                                  std::u16string& pbstrMethodName) = 0;
    virtual HResult GetNParams(int32_t lMethodNum, int32_t& plParams) = 0;
    virtual HResult GetParamDefValue(int32_t lMethodNum, int32_t lParamNum,
                                     Variant& pvarParamDefValue) = 0;
    virtual HResult HasRetVal(int32_t lMethodNum, bool& pboolRetValue) = 0;
    virtual HResult CallAsProc(int32_t lMethodNum, SafeArray* paParams) = 0;
    virtual HResult CallAsFunc(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams) = 0;
    virtual HResult SetLocale(const std::u16string& wsLocale) = 0;

    // What only the COM component has; another way of reaching the object answers
    // "not implemented".
    virtual HResult CapSettingsDlg(bool& Value) {
        (void)Value;
        return kNotImplemented;
    }
    virtual HResult ChangeSettings() { return kNotImplemented; }
    virtual HResult GetPages(std::vector<TGuid>& Pages) {
        (void)Pages;
        return kNotImplemented;
    }
    virtual HResult GetTypeInfoCount() { return kNotImplemented; }
    virtual HResult GetTypeInfo() { return kNotImplemented; }
    virtual HResult GetIDsOfNames() { return kNotImplemented; }
    virtual HResult Invoke() { return kNotImplemented; }

    // The other names methods or properties answer to, where this way of reaching
    // the object can tell them (GetMethodName may give one name whatever the alias).
    virtual std::vector<std::u16string> OtherAliases(bool methods) {
        (void)methods;
        return {};
    }
};

}  // namespace fr
