#pragma once
// The host platform's component interfaces, as binary COM interfaces: the
// operations of each in vtable order after the three of IUnknown. The client
// under tests/wine includes this too, so both sides share one layout.

#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>

namespace fr::com {

// {B59789E1-2E8B-11D1-A4E7-004095E1DAEA}
inline constexpr IID kIID_IPropertyLink = {
    0xB59789E1, 0x2E8B, 0x11D1, {0xA4, 0xE7, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
// {AB634003-F13D-11D0-A459-004095E1DAEA}
inline constexpr IID kIID_ILanguageExtender = {
    0xAB634003, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
// {AB634001-F13D-11D0-A459-004095E1DAEA}
inline constexpr IID kIID_IInitDone = {
    0xAB634001, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
// {AB634004-F13D-11D0-A459-004095E1DAEA}
inline constexpr IID kIID_IAsyncEvent = {
    0xAB634004, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
// {EFE19EA0-09E4-11D2-A601-008048DA00DE}
inline constexpr IID kIID_IExtWndsSupport = {
    0xEFE19EA0, 0x09E4, 0x11D2, {0xA6, 0x01, 0x00, 0x80, 0x48, 0xDA, 0x00, 0xDE}};

struct IPropertyLink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ChangeSettings() = 0;
    // One-byte Boolean.
    virtual HRESULT STDMETHODCALLTYPE CapSettingsDlg(BYTE* Value) = 0;
};

struct ILanguageExtender : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterExtensionAs(BSTR* bstrExtensionName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNProps(long* plProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindProp(BSTR bstrPropName, long* plPropNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropName(long lPropNum, long lPropAlias,
                                                  BSTR* pbstrPropName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropVal(long lPropNum, VARIANT* pvarPropVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropVal(long lPropNum, VARIANT* varPropVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPropReadable(long lPropNum, BOOL* pboolPropRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPropWritable(long lPropNum, BOOL* pboolPropWrite) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNMethods(long* plMethods) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindMethod(BSTR bstrMethodName, long* plMethodNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodName(long lMethodNum, long lMethodAlias,
                                                    BSTR* pbstrMethodName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNParams(long lMethodNum, long* plParams) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamDefValue(long lMethodNum, long lParamNum,
                                                       VARIANT* pvarParamDefValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasRetVal(long lMethodNum, BOOL* pboolRetValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallAsProc(long lMethodNum, SAFEARRAY** paParams) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallAsFunc(long lMethodNum, VARIANT* pvarRetValue,
                                                 SAFEARRAY** paParams) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLocale(BSTR wsLocale) = 0;
};

struct IInitDone : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Init(IDispatch* pConnection) = 0;
    virtual HRESULT STDMETHODCALLTYPE Done() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo(SAFEARRAY** pInfo) = 0;
};

// The host's event sink. The component calls only the first and the third
// operation; the other two keep the slots of the host's table.
struct IAsyncEvent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetEventBufferDepth(long lDepth) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventBufferDepth(long* plDepth) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExternalEvent(BSTR bstrSource, BSTR bstrMessage,
                                                    BSTR bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE CleanBuffer() = 0;
};

// Obtained and released, never called.
struct IExtWndsSupport : public IUnknown {};

}  // namespace fr::com
