#pragma once
// TAddInObject: the component object the host platform talks to, in portable
// form. Each public operation is one operation of the host's component
// interfaces, in interface order, taking portable values; the Windows COM server
// wraps it one to one (VARIANT <-> Variant, SAFEARRAY <-> SafeArray, BSTR <->
// std::u16string) and only adds reference counting and interface lookup.
//
// Every operation runs with the driver's own log context current on the calling
// thread, so each line written inside it (down to the link's bytes) is this
// object's, with its level, tag and file.
//
// Exceptions: none leaves an operation. A method handler that throws (anything)
// answers 1 with an "EXCEPTION" log line and the error box; any other operation
// that throws answers its failure (the host's own code when the host refused a
// call, else 1) with the log line.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/base_driver.h"
#include "platform/exception.h"
#include "platform/variant.h"
#include "support/product.h"

namespace fr {

// A failure HRESULT answered by one of the host's own interfaces.
class EOleError : public Exception {
  public:
    EOleError(HResult code, std::u16string message) : Exception(std::move(message)), code_(code) {}
    HResult Code() const noexcept { return code_; }

  private:
    HResult code_;
};

inline bool HrFailed(HResult hr) {
    return hr < 0;
}

// The host's event sink (IAsyncEvent {AB634004-F13D-11D0-A459-004095E1DAEA}).
class IAsyncEventSink {
  public:
    virtual ~IAsyncEventSink() = default;
    // The first operation: the depth of the host's event buffer.
    virtual HResult SetEventBufferDepth(int32_t lDepth) = 0;
    // The third operation: one external event.
    virtual HResult ExternalEvent(const std::u16string& bstrSource,
                                  const std::u16string& bstrMessage,
                                  const std::u16string& bstrData) = 0;
};

// The host's window support (IExtWndsSupport {EFE19EA0-09E4-11D2-A601-008048DA00DE}):
// obtained and released, never called.
class IExtWndsSupport {
  public:
    virtual ~IExtWndsSupport() = default;
};

// The connection object the host passes to Init. Each query answers a new
// reference (nullptr when the host does not have the interface); dropping the
// pointer releases it.
class IHostConnection {
  public:
    virtual ~IHostConnection() = default;
    virtual std::shared_ptr<IAsyncEventSink> QueryAsyncEvent() = 0;
    virtual std::shared_ptr<IExtWndsSupport> QueryExtWndsSupport() = 0;
};

// A class identifier in its binary layout (GUID).
struct TGuid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    std::array<uint8_t, 8> Data4{};
    friend bool operator==(const TGuid&, const TGuid&) = default;
};

// The property page class answered by GetPages: {6F0C2A51-3B7E-4C1D-9A42-8E5D17B3C904}.
// The component registers no page class under it, so the host shows no page.
inline constexpr TGuid kAddInPageClassId{
    0x6F0C2A51, 0x3B7E, 0x4C1D, {0x9A, 0x42, 0x8E, 0x5D, 0x17, 0xB3, 0xC9, 0x04}};

// Name the component registers its extension under (RegisterExtensionAs).
inline constexpr char16_t kExtensionName[] = u"" FR_PRODUCT_NAME;
// Class name the component creates its driver from.
inline constexpr char16_t kDriverClassName[] = u"TDriver";

class TAddInObject {
  public:
    // Starts the log.
    TAddInObject();
    // Frees a driver the host left behind without Done.
    ~TAddInObject();
    TAddInObject(const TAddInObject&) = delete;
    TAddInObject& operator=(const TAddInObject&) = delete;

    // IPropertyLink
    HResult ChangeSettings();
    HResult CapSettingsDlg(bool& Value);

    // ILanguageExtender
    HResult RegisterExtensionAs(std::u16string& bstrExtensionName);
    HResult GetNProps(int32_t& plProps);
    HResult FindProp(const std::u16string& bstrPropName, int32_t& plPropNum);
    HResult GetPropName(int32_t lPropNum, int32_t lPropAlias, std::u16string& pbstrPropName);
    HResult GetPropVal(int32_t lPropNum, Variant& pvarPropVal);
    HResult SetPropVal(int32_t lPropNum, const Variant& varPropVal);
    HResult IsPropReadable(int32_t lPropNum, bool& pboolPropRead);
    HResult IsPropWritable(int32_t lPropNum, bool& pboolPropWrite);
    HResult GetNMethods(int32_t& plMethods);
    HResult FindMethod(const std::u16string& bstrMethodName, int32_t& plMethodNum);
    HResult GetMethodName(int32_t lMethodNum, int32_t lMethodAlias,
                          std::u16string& pbstrMethodName);
    HResult GetNParams(int32_t lMethodNum, int32_t& plParams);
    HResult GetParamDefValue(int32_t lMethodNum, int32_t lParamNum, Variant& pvarParamDefValue);
    HResult HasRetVal(int32_t lMethodNum, bool& pboolRetValue);
    // paParams is the host's parameter array (one dimension, zero-based), or nullptr.
    HResult CallAsProc(int32_t lMethodNum, SafeArray* paParams);
    HResult CallAsFunc(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams);
    HResult SetLocale(const std::u16string& wsLocale);

    // ISpecifyPropertyPages: the wrapper copies Pages into task-allocator memory.
    HResult GetPages(std::vector<TGuid>& Pages);

    // IInitDone. pConnection may be nullptr (a host without events).
    HResult Init(IHostConnection* pConnection);
    HResult Done();
    HResult GetInfo(SafeArray* pInfo);

    // IDispatch: not implemented.
    HResult GetTypeInfoCount();
    HResult GetTypeInfo();
    HResult GetIDsOfNames();
    HResult Invoke();

    // Delivers one external event to the host; a failure answer raises EOleError.
    void ExecExternalEvent(const std::u16string& strSource, const std::u16string& strMessage,
                           const std::u16string& strData);

    TBaseDriver* Driver() const { return FDriver.get(); }
    // The text of the last exception an operation stopped at the boundary (kept
    // for host tools that show why an operation failed; empty until one).
    const std::u16string& LastBoundaryError() const { return FLastBoundaryError; }
    // The message of the exception the last method call caught; empty when it
    // caught none. A wrapper without a message box reports it to its host.
    const std::u16string& LastCallException() const { return FLastCallException; }
    int32_t ObjectNumber() const { return FObjectNumber; }
    // Whether a method that raised shows the error box (when the system has a user
    // to see it). A wrapper whose host shows the error itself turns it off.
    void SetShowErrorBox(bool AShow) { FShowErrorBox = AShow; }
    // Component objects initialised in this process so far.
    static int32_t ObjectCounter();

  private:
    HResult CallMethod(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams,
                       bool asFunction) noexcept;
    HResult CallMethodBody(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams,
                           bool asFunction);
    bool ValidMethod(int32_t lMethodNum) const;
    bool ValidProp(int32_t lPropNum) const;
    void ReleaseDriver();
    // Runs an operation with this object's log current, stopping what it throws.
    template <class Body>
    HResult Guard(Body&& body) noexcept;

    std::unique_ptr<TBaseDriver> FDriver;
    int32_t FObjectNumber = 0;
    std::shared_ptr<IAsyncEventSink> pEvent;
    std::shared_ptr<IExtWndsSupport> pExtWnds;
    std::u16string FLastBoundaryError;
    std::u16string FLastCallException;
    bool FShowErrorBox = true;
};

}  // namespace fr
