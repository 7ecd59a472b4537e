#pragma once
// The component's interfaces as the platform, the caller, declares them: frhost
// keeps its own declarations so that a layout mistake in the component's shows
// up here as a failing call rather than agreeing with itself.

#include <windows.h>

#include <oleauto.h>

namespace fr::host {

// {AB634001-F13D-11D0-A459-004095E1DAEA}
inline constexpr IID kIInitDone = {
    0xAB634001, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
// {AB634003-F13D-11D0-A459-004095E1DAEA}
inline constexpr IID kILanguageExtender = {
    0xAB634003, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
// {B59789E1-2E8B-11D1-A4E7-004095E1DAEA}
inline constexpr IID kIPropertyLink = {
    0xB59789E1, 0x2E8B, 0x11D1, {0xA4, 0xE7, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};

// Every operation after the three of IUnknown, stdcall, answering an HRESULT.
struct IHostInitDone : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Init(IDispatch* connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE Done() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo(SAFEARRAY** info) = 0;
};

struct IHostLanguageExtender : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterExtensionAs(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNProps(long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindProp(BSTR name, long* num) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropName(long num, long alias, BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropVal(long num, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropVal(long num, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPropReadable(long num, BOOL* flag) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPropWritable(long num, BOOL* flag) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNMethods(long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindMethod(BSTR name, long* num) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodName(long num, long alias, BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNParams(long num, long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamDefValue(long num, long param, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasRetVal(long num, BOOL* flag) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallAsProc(long num, SAFEARRAY** params) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallAsFunc(long num, VARIANT* result, SAFEARRAY** params) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLocale(BSTR locale) = 0;
};

struct IHostPropertyLink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ChangeSettings() = 0;
    virtual HRESULT STDMETHODCALLTYPE CapSettingsDlg(BYTE* value) = 0;  // one-byte Boolean
};

}  // namespace fr::host

namespace fr::host {

// The component's class, for a DLL loaded without registration:
// {4E1D7C52-8A3F-4B6E-9D21-5C7A0F3B8E64}.
inline constexpr CLSID kComponentClass = {
    0x4E1D7C52, 0x8A3F, 0x4B6E, {0x9D, 0x21, 0x5C, 0x7A, 0x0F, 0x3B, 0x8E, 0x64}};
inline constexpr wchar_t kComponentProgId[] = L"AddIn.fr_norvane1c83";
inline constexpr wchar_t kComponentDllName[] = L"fr_norvane1c83.dll";

}  // namespace fr::host
