#pragma once
// The portable component object linked into frhost itself: the way the tests and
// a Linux support engineer reach the driver.

#include "host/add_in_object.h"
#include "tools/frhost/component.h"

namespace fr {

class TDirectComponent final : public TFrComponent {
  public:
    TAddInObject& Object() { return object_; }

    // The object answers a failed Init with a code; the session wants the reason.
    HResult Init() override {
        const HResult hr = object_.Init(nullptr);
        if (hr != kHrOk && !object_.LastBoundaryError().empty())
            throw Exception(object_.LastBoundaryError());
        return hr;
    }
    HResult Done() override { return object_.Done(); }
    HResult GetInfo(SafeArray* pInfo) override { return object_.GetInfo(pInfo); }
    HResult RegisterExtensionAs(std::u16string& name) override {
        return object_.RegisterExtensionAs(name);
    }
    HResult GetNProps(int32_t& count) override { return object_.GetNProps(count); }
    HResult FindProp(const std::u16string& name, int32_t& num) override {
        return object_.FindProp(name, num);
    }
    HResult GetPropName(int32_t num, int32_t alias, std::u16string& name) override {
        return object_.GetPropName(num, alias, name);
    }
    HResult GetPropVal(int32_t num, Variant& value) override {
        return object_.GetPropVal(num, value);
    }
    HResult SetPropVal(int32_t num, const Variant& value) override {
        return object_.SetPropVal(num, value);
    }
    HResult IsPropReadable(int32_t num, bool& flag) override {
        return object_.IsPropReadable(num, flag);
    }
    HResult IsPropWritable(int32_t num, bool& flag) override {
        return object_.IsPropWritable(num, flag);
    }
    HResult GetNMethods(int32_t& count) override { return object_.GetNMethods(count); }
    HResult FindMethod(const std::u16string& name, int32_t& num) override {
        return object_.FindMethod(name, num);
    }
    HResult GetMethodName(int32_t num, int32_t alias, std::u16string& name) override {
        return object_.GetMethodName(num, alias, name);
    }
    HResult GetNParams(int32_t num, int32_t& count) override {
        return object_.GetNParams(num, count);
    }
    HResult GetParamDefValue(int32_t num, int32_t param, Variant& value) override {
        return object_.GetParamDefValue(num, param, value);
    }
    HResult HasRetVal(int32_t num, bool& flag) override { return object_.HasRetVal(num, flag); }
    HResult CallAsProc(int32_t num, SafeArray* params) override {
        return object_.CallAsProc(num, params);
    }
    HResult CallAsFunc(int32_t num, Variant& result, SafeArray* params) override {
        return object_.CallAsFunc(num, result, params);
    }
    HResult SetLocale(const std::u16string& locale) override { return object_.SetLocale(locale); }
    HResult CapSettingsDlg(bool& value) override { return object_.CapSettingsDlg(value); }
    HResult ChangeSettings() override { return object_.ChangeSettings(); }
    HResult GetPages(std::vector<TGuid>& pages) override { return object_.GetPages(pages); }
    HResult GetTypeInfoCount() override { return object_.GetTypeInfoCount(); }
    HResult GetTypeInfo() override { return object_.GetTypeInfo(); }
    HResult GetIDsOfNames() override { return object_.GetIDsOfNames(); }
    HResult Invoke() override { return object_.Invoke(); }

  private:
    TAddInObject object_;
};

}  // namespace fr
