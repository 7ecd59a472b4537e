// An XML text into each XML-taking host method through the component boundary,
// against an in-process emulator. Every input meets the same register: a
// component opened on a fresh emulator, with or without an open shift. Most
// inputs are refused before anything reaches the register; the session they
// leave is as good as a fresh one and serves the next input, while a session
// whose register took any frame is replaced at once.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "driver/driver_registry.h"
#include "fuzz/fuzz_support.h"
#include "host/add_in_object.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "platform/window.h"

#ifdef FR_FUZZ_WITH_EMULATOR
#include "tools/fremu/emulator.h"
#endif

namespace fr::fuzz {

namespace {

struct TXmlMethod {
    const char16_t* Name;
    int XmlElement;  // where the XML text goes; element 0 is the device id
};

// Every method that reads an XML text from the host.
constexpr TXmlMethod kXmlMethods[] = {
    {u"ProcessCheck", 2},
    {u"ProcessCorrectionCheck", 1},
    {u"PrintTextDocument", 1},
    {u"OperationFN", 2},
    {u"OpenShift", 1},
    {u"CloseShift", 1},
    {u"CashInOutcome", 1},
    {u"PrintXReport", 1},
    {u"ReportCurrentStatusOfSettlements", 1},
};

constexpr char16_t kCashier[] =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><InputParameters><Parameters "
    u"CashierName=\"Кассир\" CashierVATIN=\"500100732259\"/></InputParameters>";

void SetUpProcess() {
    static const bool done = [] {
        UseScratchDataFolder();
        SetMessageBoxHook([](const std::u16string&, const std::u16string&) {});
        // The driver pauses before it reads a document's result; the emulator has
        // it ready at once, and the pause would make receipts the slowest inputs.
        SetSleepHook([](uint32_t) {});
        RegisterDriverClasses();
        return true;
    }();
    (void)done;
}

Variant Call(TAddInObject& component, std::u16string_view name, SafeArray& params) {
    int32_t number = -1;
    component.FindMethod(std::u16string(name), number);
    if (number < 0) std::abort();  // the method table lost an XML method
    Variant result;
    component.CallAsFunc(number, result, &params);
    return result;
}

bool Verbose() {
    return std::getenv("FR_FUZZ_VERBOSE") != nullptr;
}

#ifdef FR_FUZZ_WITH_EMULATOR
emu::TEmulatorOptions EmulatorOptions() {
    emu::TEmulatorOptions options;
    options.Port = 0;
    options.StdinControl = false;
    options.ControlPort = -1;
    return options;
}
#endif

// One component whose driver is connected to a register of its own.
class TSession {
  public:
    explicit TSession(bool AShiftOpen) {
        // The 8.x host: the methods answer with Booleans. Other targets of the
        // same process may have named another host.
        SetHostExecutablePathOverride(u"C:\\1cv8.exe");
        if (FComponent.Init(nullptr) != kHrOk || FComponent.Driver() == nullptr) std::abort();
#ifdef FR_FUZZ_WITH_EMULATOR
        FEmulator.Start();
        TBaseDriver& driver = *FComponent.Driver();
        driver.SetSettingValue(u"PortNumber", Variant(int32_t{9999}), true);
        driver.SetSettingValue(u"IPAddress", Variant(u"127.0.0.1"), true);
        driver.SetSettingValue(u"IPPort", Variant(int32_t{FEmulator.TcpPort()}), true);
        auto openParams = SafeArray::Vector(1);
        if (!Call(FComponent, u"Open", *openParams).BoolValue()) std::abort();
        FDeviceId = VarToStr(openParams->Elements()[0]);
        if (AShiftOpen) {
            // Receipts and cash need an open shift.
            auto shiftParams = SafeArray::Vector(5);
            shiftParams->Put(0, Variant(FDeviceId));
            shiftParams->Put(1, Variant(kCashier));
            Call(FComponent, u"OpenShift", *shiftParams);
        }
        FReadyRequests = FEmulator.Requests().size();
#else
        (void)AShiftOpen;
#endif
    }

    ~TSession() {
#ifdef FR_FUZZ_WITH_EMULATOR
        auto closeParams = SafeArray::Vector(1);
        closeParams->Put(0, Variant(FDeviceId));
        Call(FComponent, u"Close", *closeParams);
        FEmulator.Stop();
#endif
        FComponent.Done();
    }

    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    TAddInObject& Component() {
        return FComponent;
    }
    const std::u16string& DeviceId() const {
        return FDeviceId;
    }

    // True while the register has taken no frame since the session was ready,
    // so that the next input meets it as a fresh session would. Without the
    // emulator there is no such register, and each input gets a fresh driver.
    bool Untouched() const {
#ifdef FR_FUZZ_WITH_EMULATOR
        return FEmulator.Requests().size() == FReadyRequests;
#else
        return false;
#endif
    }

    // For triage: what the register was asked since the session was ready.
    void ReportRequests() const {
#ifdef FR_FUZZ_WITH_EMULATOR
        const auto requests = FEmulator.Requests();
        for (size_t i = FReadyRequests; i < requests.size(); ++i)
            std::fprintf(stderr, "  %s -> %d\n", requests[i].Command.c_str(), requests[i].Error);
#endif
    }

  private:
#ifdef FR_FUZZ_WITH_EMULATOR
    emu::TEmulator FEmulator{EmulatorOptions()};
    size_t FReadyRequests = 0;
#endif
    TAddInObject FComponent;
    std::u16string FDeviceId = u"0";
};

// The session for the next input, one per shift state. A used session is
// replaced within the input that used it, so that an input's allocations and
// frees stay balanced for the leak check.
std::unique_ptr<TSession>& SessionSlot(bool AShiftOpen) {
    static std::array<std::unique_ptr<TSession>, 2> sessions;
    return sessions[AShiftOpen ? 1 : 0];
}

}  // namespace

int FuzzHostXml(const uint8_t* AData, size_t ASize) {
    SetUpProcess();
    FuzzedDataProvider data(AData, ASize);
    const TXmlMethod method = data.PickValueInArray(kXmlMethods);
    const uint8_t extra = data.ConsumeIntegral<uint8_t>();
    const std::u16string xml = Utf8ToUtf16(data.ConsumeRemainingBytesAsString());

    std::unique_ptr<TSession>& slot = SessionSlot((extra & 2) != 0);
    if (!slot) slot = std::make_unique<TSession>((extra & 2) != 0);
    TSession& session = *slot;
    TAddInObject& component = session.Component();

    int32_t number = -1, count = 0;
    component.FindMethod(method.Name, number);
    component.GetNParams(number, count);
    auto params = SafeArray::Vector(static_cast<size_t>(count));
    params->Put(0, Variant(session.DeviceId()));
    params->Put(method.XmlElement, Variant(xml));
    if (std::u16string_view(method.Name) == u"ProcessCheck")
        params->Put(1, Variant((extra & 1) != 0));
    else if (std::u16string_view(method.Name) == u"OperationFN")
        params->Put(1, Variant(int32_t{extra >> 4}));
    else if (std::u16string_view(method.Name) == u"CashInOutcome")
        params->Put(2, Variant(((extra >> 2) - 16) * 10.5));
    const Variant result = Call(component, method.Name, *params);
    if (Verbose()) {
        const TBaseDriver& driver = *component.Driver();
        std::fprintf(stderr, "%s: %s, %d %s\n", Utf16ToUtf8(method.Name).c_str(),
                     Utf16ToUtf8(VarToStr(result)).c_str(), driver.LastResultCode(),
                     Utf16ToUtf8(driver.LastResultDescription()).c_str());
        session.ReportRequests();
    }

    if (session.Untouched()) {
        // A fresh driver has no last result; a refused call leaves one behind.
        component.Driver()->ClearError();
    } else {
        slot.reset();
        slot = std::make_unique<TSession>((extra & 2) != 0);
    }
    return 0;
}

}  // namespace fr::fuzz

FR_FUZZ_TARGET(fr::fuzz::FuzzHostXml)
