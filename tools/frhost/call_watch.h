#pragma once
// A sign of life while one call runs long: after a few seconds, and again at the
// same interval, one line says which call frhost waits for and for how long.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/frhost/component.h"

namespace fr {

class TCallWatch {
  public:
    using TSink = std::function<void(const std::string& line)>;
    TCallWatch(std::chrono::milliseconds interval, TSink sink);
    ~TCallWatch();
    TCallWatch(const TCallWatch&) = delete;
    TCallWatch& operator=(const TCallWatch&) = delete;

    void Begin(const std::string& call);
    // No line for this call comes after End returns; when the call was
    // announced, End gives the sink one empty line to close it.
    void End();

    // "frhost: NAME: ожидание ответа ККТ, N с…"
    static std::string NoticeText(const std::string& call, long long seconds);

  private:
    void Run();

    const std::chrono::milliseconds interval_;
    const TSink sink_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool active_ = false;
    bool emitting_ = false;
    bool announced_ = false;
    unsigned long long generation_ = 0;
    std::string call_;
    std::chrono::steady_clock::time_point started_;
    std::thread thread_;
};

// Any component, with a watch around each call.
class TWatchedComponent final : public TFrComponent {
  public:
    TWatchedComponent(std::unique_ptr<TFrComponent> inner, TCallWatch& watch)
        : inner_(std::move(inner)), watch_(watch) {}

    TFrComponent& Inner() { return *inner_; }

    HResult Init() override { return inner_->Init(); }
    HResult Done() override { return inner_->Done(); }
    HResult GetInfo(SafeArray* p) override { return inner_->GetInfo(p); }
    HResult RegisterExtensionAs(std::u16string& n) override {
        return inner_->RegisterExtensionAs(n);
    }
    HResult GetNProps(int32_t& c) override { return inner_->GetNProps(c); }
    HResult FindProp(const std::u16string& n, int32_t& i) override {
        return inner_->FindProp(n, i);
    }
    HResult GetPropName(int32_t i, int32_t a, std::u16string& n) override {
        return inner_->GetPropName(i, a, n);
    }
    HResult GetPropVal(int32_t i, Variant& v) override { return inner_->GetPropVal(i, v); }
    HResult SetPropVal(int32_t i, const Variant& v) override { return inner_->SetPropVal(i, v); }
    HResult IsPropReadable(int32_t i, bool& f) override { return inner_->IsPropReadable(i, f); }
    HResult IsPropWritable(int32_t i, bool& f) override { return inner_->IsPropWritable(i, f); }
    HResult GetNMethods(int32_t& c) override { return inner_->GetNMethods(c); }
    HResult FindMethod(const std::u16string& n, int32_t& i) override {
        return inner_->FindMethod(n, i);
    }
    HResult GetMethodName(int32_t i, int32_t a, std::u16string& n) override {
        return inner_->GetMethodName(i, a, n);
    }
    HResult GetNParams(int32_t i, int32_t& c) override { return inner_->GetNParams(i, c); }
    HResult GetParamDefValue(int32_t i, int32_t p, Variant& v) override {
        return inner_->GetParamDefValue(i, p, v);
    }
    HResult HasRetVal(int32_t i, bool& f) override { return inner_->HasRetVal(i, f); }
    HResult CallAsProc(int32_t i, SafeArray* p) override;
    HResult CallAsFunc(int32_t i, Variant& r, SafeArray* p) override;
    HResult SetLocale(const std::u16string& l) override { return inner_->SetLocale(l); }
    HResult CapSettingsDlg(bool& v) override { return inner_->CapSettingsDlg(v); }
    HResult ChangeSettings() override { return inner_->ChangeSettings(); }
    HResult GetPages(std::vector<TGuid>& p) override { return inner_->GetPages(p); }
    HResult GetTypeInfoCount() override { return inner_->GetTypeInfoCount(); }
    HResult GetTypeInfo() override { return inner_->GetTypeInfo(); }
    HResult GetIDsOfNames() override { return inner_->GetIDsOfNames(); }
    HResult Invoke() override { return inner_->Invoke(); }
    std::vector<std::u16string> OtherAliases(bool methods) override {
        return inner_->OtherAliases(methods);
    }

  private:
    std::string CallName(int32_t num);

    std::unique_ptr<TFrComponent> inner_;
    TCallWatch& watch_;
};

}  // namespace fr
