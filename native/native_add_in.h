#pragma once
// The object the platform creates through GetClassObject: the Native API tables
// around the portable component object, with value conversion and nothing else.
// No exception leaves any of these operations.

#include <string>

#include "host/add_in_object.h"
#include "native/native_abi.h"
#include "support/product.h"

namespace fr::native {

// The one class the library offers; also the extension name.
inline constexpr char16_t kClassName[] = u"" FR_PRODUCT_NAME;

class TNativeAddIn final : public IComponentBase {
  public:
    // The platform shows a method's error from AddError: no box of the component's.
    TNativeAddIn() { object_.SetShowErrorBox(false); }
    TNativeAddIn(const TNativeAddIn&) = delete;
    TNativeAddIn& operator=(const TNativeAddIn&) = delete;

    // IInitDoneBase
    bool FR_NATIVE_CALL Init(void* disp) override;
    bool FR_NATIVE_CALL setMemManager(void* mem) override;
    long FR_NATIVE_CALL GetInfo() override;
    void FR_NATIVE_CALL Done() override;

    // ILanguageExtenderBase
    bool FR_NATIVE_CALL RegisterExtensionAs(WCHAR_T** wsExtensionName) override;
    long FR_NATIVE_CALL GetNProps() override;
    long FR_NATIVE_CALL FindProp(const WCHAR_T* wsPropName) override;
    const WCHAR_T* FR_NATIVE_CALL GetPropName(long lPropNum, long lPropAlias) override;
    bool FR_NATIVE_CALL GetPropVal(const long lPropNum, tVariant* pvarPropVal) override;
    bool FR_NATIVE_CALL SetPropVal(const long lPropNum, tVariant* varPropVal) override;
    bool FR_NATIVE_CALL IsPropReadable(const long lPropNum) override;
    bool FR_NATIVE_CALL IsPropWritable(const long lPropNum) override;
    long FR_NATIVE_CALL GetNMethods() override;
    long FR_NATIVE_CALL FindMethod(const WCHAR_T* wsMethodName) override;
    const WCHAR_T* FR_NATIVE_CALL GetMethodName(const long lMethodNum,
                                                const long lMethodAlias) override;
    long FR_NATIVE_CALL GetNParams(const long lMethodNum) override;
    bool FR_NATIVE_CALL GetParamDefValue(const long lMethodNum, const long lParamNum,
                                         tVariant* pvarParamDefValue) override;
    bool FR_NATIVE_CALL HasRetVal(const long lMethodNum) override;
    bool FR_NATIVE_CALL CallAsProc(const long lMethodNum, tVariant* paParams,
                                   const long lSizeArray) override;
    bool FR_NATIVE_CALL CallAsFunc(const long lMethodNum, tVariant* pvarRetValue,
                                   tVariant* paParams, const long lSizeArray) override;

    // LocaleBase
    void FR_NATIVE_CALL SetLocale(const WCHAR_T* loc) override;

  private:
    bool Call(long lMethodNum, tVariant* pvarRetValue, tVariant* paParams, long lSizeArray);
    // Tells the platform why a call failed; the script sees the text.
    void ReportError(const std::u16string& text);
    bool ValidProp(long lPropNum);

    TAddInObject object_;
    IMemoryManager* memory_ = nullptr;
    IAddInDefBase* connection_ = nullptr;
};

}  // namespace fr::native
