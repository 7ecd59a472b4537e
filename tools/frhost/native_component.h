#pragma once
// The component reached the way the platform reaches a Native API library: the
// library loaded by file, its object created through its exports and driven
// through its three tables. The platform's side (the tables as it calls them,
// its memory manager and its connection object) is declared here from the
// interface's published layout, never from the library's own declarations, so
// a layout mistake in the library shows here instead of being mirrored.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/frhost/component.h"

namespace fr {

// A library that cannot be used as the platform would use it.
class ENativeLoadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TNativeAddError {
    uint16_t Code = 0;
    std::u16string Source;
    std::u16string Description;
    int64_t Scode = 0;
};

struct TNativeOptions {
    // Without it the component must answer false wherever it has to hand memory over.
    bool GiveMemoryManager = true;
    // Dates go in as calendar times (TM) instead of DATE.
    bool DatesAsTm = false;
    // An empty string goes in as a null pointer, as a careless platform might pass it.
    bool EmptyStringsAsNull = false;
    // Each AddError is also written here as one line.
    std::ostream* Diagnostics = nullptr;
};

class TNativeComponent final : public TFrComponent {
  public:
    // Loads the library, creates its first class's object and checks that its
    // tables answer as laid out; raises ENativeLoadError saying what is wrong.
    explicit TNativeComponent(const std::string& libraryPath, TNativeOptions options = {});
    // Destroys the object through the library and unloads it.
    ~TNativeComponent() override;
    TNativeComponent(const TNativeComponent&) = delete;
    TNativeComponent& operator=(const TNativeComponent&) = delete;

    // The class names the library gave, and the extension name of its object.
    const std::u16string& ClassNames() const;
    const std::u16string& ExtensionName() const;
    // What the component reported through AddError.
    const std::vector<TNativeAddError>& Errors() const;
    // Breaches of the platform's rules seen so far: memory handed over that the
    // memory manager did not allocate, blocks freed twice or never, calls of a
    // destructor slot.
    const std::vector<std::string>& Faults() const;
    // Checks that the object released nothing it should not and destroys it;
    // afterwards only Faults() may be used.
    void Destroy();

    HResult Init() override;
    HResult Done() override;
    HResult GetInfo(SafeArray* pInfo) override;
    HResult RegisterExtensionAs(std::u16string& bstrExtensionName) override;
    HResult GetNProps(int32_t& plProps) override;
    HResult FindProp(const std::u16string& bstrPropName, int32_t& plPropNum) override;
    HResult GetPropName(int32_t lPropNum, int32_t lPropAlias,
                        std::u16string& pbstrPropName) override;
    HResult GetPropVal(int32_t lPropNum, Variant& pvarPropVal) override;
    HResult SetPropVal(int32_t lPropNum, const Variant& varPropVal) override;
    HResult IsPropReadable(int32_t lPropNum, bool& pboolPropRead) override;
    HResult IsPropWritable(int32_t lPropNum, bool& pboolPropWrite) override;
    HResult GetNMethods(int32_t& plMethods) override;
    HResult FindMethod(const std::u16string& bstrMethodName, int32_t& plMethodNum) override;
    HResult GetMethodName(int32_t lMethodNum, int32_t lMethodAlias,
                          std::u16string& pbstrMethodName) override;
    HResult GetNParams(int32_t lMethodNum, int32_t& plParams) override;
    HResult GetParamDefValue(int32_t lMethodNum, int32_t lParamNum,
                             Variant& pvarParamDefValue) override;
    HResult HasRetVal(int32_t lMethodNum, bool& pboolRetValue) override;
    HResult CallAsProc(int32_t lMethodNum, SafeArray* paParams) override;
    HResult CallAsFunc(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams) override;
    HResult SetLocale(const std::u16string& wsLocale) override;

    // Calls with a null name or a null parameter array of `count` elements, as a
    // careless platform might.
    int64_t FindMethodNull();
    bool CallAsFuncWithoutArray(int32_t lMethodNum, int64_t count, Variant& result);

    struct TImpl;

  private:
    std::unique_ptr<TImpl> impl_;
};

// frhost --native: the protocol of RunHostSession over the library. Returns the
// exit status: 1 when the library cannot be loaded or broke the platform's rules.
int RunNativeHostSession(const std::string& libraryPath, std::istream& in, std::ostream& out,
                         std::ostream& diagnostics);

}  // namespace fr
