#pragma once
// The COM object the host creates: reference counting, interface lookup and value
// conversion around the portable component object. Interface table order:
// IPropertyLink, ILanguageExtender, ISpecifyPropertyPages, IInitDone, IDispatch.

#include <windows.h>

#include <ocidl.h>

#include <map>
#include <vector>

#include "com/com_interfaces.h"
#include "com/variant_bridge.h"
#include "host/add_in_object.h"

namespace fr::com {

class TAddInComObject final : public IPropertyLink,
                              public ILanguageExtender,
                              public ISpecifyPropertyPages,
                              public IInitDone,
                              public IDispatch {
  public:
    TAddInComObject();
    TAddInComObject(const TAddInComObject&) = delete;
    TAddInComObject& operator=(const TAddInComObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPropertyLink
    HRESULT STDMETHODCALLTYPE ChangeSettings() override;
    HRESULT STDMETHODCALLTYPE CapSettingsDlg(BYTE* Value) override;

    // ILanguageExtender
    HRESULT STDMETHODCALLTYPE RegisterExtensionAs(BSTR* bstrExtensionName) override;
    HRESULT STDMETHODCALLTYPE GetNProps(long* plProps) override;
    HRESULT STDMETHODCALLTYPE FindProp(BSTR bstrPropName, long* plPropNum) override;
    HRESULT STDMETHODCALLTYPE GetPropName(long lPropNum, long lPropAlias,
                                          BSTR* pbstrPropName) override;
    HRESULT STDMETHODCALLTYPE GetPropVal(long lPropNum, VARIANT* pvarPropVal) override;
    HRESULT STDMETHODCALLTYPE SetPropVal(long lPropNum, VARIANT* varPropVal) override;
    HRESULT STDMETHODCALLTYPE IsPropReadable(long lPropNum, BOOL* pboolPropRead) override;
    HRESULT STDMETHODCALLTYPE IsPropWritable(long lPropNum, BOOL* pboolPropWrite) override;
    HRESULT STDMETHODCALLTYPE GetNMethods(long* plMethods) override;
    HRESULT STDMETHODCALLTYPE FindMethod(BSTR bstrMethodName, long* plMethodNum) override;
    HRESULT STDMETHODCALLTYPE GetMethodName(long lMethodNum, long lMethodAlias,
                                            BSTR* pbstrMethodName) override;
    HRESULT STDMETHODCALLTYPE GetNParams(long lMethodNum, long* plParams) override;
    HRESULT STDMETHODCALLTYPE GetParamDefValue(long lMethodNum, long lParamNum,
                                               VARIANT* pvarParamDefValue) override;
    HRESULT STDMETHODCALLTYPE HasRetVal(long lMethodNum, BOOL* pboolRetValue) override;
    HRESULT STDMETHODCALLTYPE CallAsProc(long lMethodNum, SAFEARRAY** paParams) override;
    HRESULT STDMETHODCALLTYPE CallAsFunc(long lMethodNum, VARIANT* pvarRetValue,
                                         SAFEARRAY** paParams) override;
    HRESULT STDMETHODCALLTYPE SetLocale(BSTR wsLocale) override;

    // ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pPages) override;

    // IInitDone
    HRESULT STDMETHODCALLTYPE Init(IDispatch* pConnection) override;
    HRESULT STDMETHODCALLTYPE Done() override;
    HRESULT STDMETHODCALLTYPE GetInfo(SAFEARRAY** pInfo) override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  private:
    ~TAddInComObject();
    HRESULT Call(long lMethodNum, VARIANT* pvarRetValue, SAFEARRAY** paParams, bool asFunction);
    // A dispatch value going out is handed back only while its object is known alive:
    // one the host passed into the current call, or one kept for a property.
    IDispatch* ResolveDispatch(uintptr_t pointer) const;
    void KeepPropertyDispatches(long lPropNum, const VARIANT& value);

    LONG refs_ = 1;
    TAddInObject object_;
    std::map<long, std::vector<IDispatch*>> propertyDispatches_;  // references held
    std::vector<IDispatch*> callDispatches_;                      // borrowed for one call
};

}  // namespace fr::com
