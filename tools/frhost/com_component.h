#pragma once
// The component reached through COM, as the platform reaches it: created by its
// programmatic identifier from the registration, or from a DLL file without one.

#include <filesystem>
#include <memory>
#include <string>

#include "tools/frhost/com_host_interfaces.h"
#include "tools/frhost/component.h"

namespace fr {

class TComComponent final : public TFrComponent {
  public:
    // An empty `dllPath` creates by the programmatic identifier. nullptr, with
    // `error` saying what is missing and how to register, when it fails.
    static std::unique_ptr<TComComponent> Create(const std::wstring& dllPath, std::string& error);
    ~TComComponent() override;
    TComComponent(const TComComponent&) = delete;
    TComComponent& operator=(const TComComponent&) = delete;

    // Where the component writes its log: the common application data folder
    // and the DLL's own name.
    std::filesystem::path LogFolder() const;

    HResult Init() override;
    HResult Done() override;
    HResult GetInfo(SafeArray* pInfo) override;
    HResult RegisterExtensionAs(std::u16string& name) override;
    HResult GetNProps(int32_t& count) override;
    HResult FindProp(const std::u16string& name, int32_t& num) override;
    HResult GetPropName(int32_t num, int32_t alias, std::u16string& name) override;
    HResult GetPropVal(int32_t num, Variant& value) override;
    HResult SetPropVal(int32_t num, const Variant& value) override;
    HResult IsPropReadable(int32_t num, bool& flag) override;
    HResult IsPropWritable(int32_t num, bool& flag) override;
    HResult GetNMethods(int32_t& count) override;
    HResult FindMethod(const std::u16string& name, int32_t& num) override;
    HResult GetMethodName(int32_t num, int32_t alias, std::u16string& name) override;
    HResult GetNParams(int32_t num, int32_t& count) override;
    HResult GetParamDefValue(int32_t num, int32_t param, Variant& value) override;
    HResult HasRetVal(int32_t num, bool& flag) override;
    HResult CallAsProc(int32_t num, SafeArray* params) override;
    HResult CallAsFunc(int32_t num, Variant& result, SafeArray* params) override;
    HResult SetLocale(const std::u16string& locale) override;
    HResult CapSettingsDlg(bool& value) override;
    HResult ChangeSettings() override;
    HResult GetPages(std::vector<TGuid>& pages) override;
    HResult GetTypeInfoCount() override;
    HResult GetTypeInfo() override;
    HResult GetIDsOfNames() override;
    HResult Invoke() override;
    // COM gives one name per entry; the driver linked into frhost knows the
    // others. Only those this component itself finds are answered.
    std::vector<std::u16string> OtherAliases(bool methods) override;

  private:
    TComComponent() = default;
    bool Attach(IUnknown* object, std::string& error);
    HResult ViaDispatch(int operation);

    bool comStarted_ = false;
    HMODULE module_ = nullptr;
    std::wstring modulePath_;
    host::IHostInitDone* initDone_ = nullptr;
    host::IHostLanguageExtender* extender_ = nullptr;
    host::IHostPropertyLink* propertyLink_ = nullptr;
};

}  // namespace fr
