// An XML text into each XML-taking host method through the component boundary,
// against a fresh in-process emulator per input so that every input meets the
// same register.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "driver/driver_registry.h"
#include "fuzz/fuzz_support.h"
#include "host/add_in_object.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "platform/window.h"
#include "support/log.h"

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

void SetUpProcess() {
    static const bool done = [] {
        UseScratchDataFolder();
        SetMessageBoxHook([](const std::u16string&, const std::u16string&) {});
        RegisterDriverClasses();
        return true;
    }();
    (void)done;
}

constexpr char16_t kCashier[] =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><InputParameters><Parameters "
    u"CashierName=\"Кассир\" CashierVATIN=\"500100732259\"/></InputParameters>";

Variant Call(TAddInObject& component, std::u16string_view name, SafeArray& params) {
    int32_t number = -1;
    component.FindMethod(std::u16string(name), number);
    if (number < 0) std::abort();  // the method table lost an XML method
    Variant result;
    component.CallAsFunc(number, result, &params);
    return result;
}

}  // namespace

int FuzzHostXml(const uint8_t* AData, size_t ASize) {
    SetUpProcess();
    // A fresh component per input: the driver starts the register's work session
    // once per driver object, and each input meets a fresh register.
    TAddInObject component;
    if (component.Init(nullptr) != kHrOk || component.Driver() == nullptr) std::abort();
    TBaseDriver& driver = *component.Driver();
    FuzzedDataProvider data(AData, ASize);
    const TXmlMethod method = data.PickValueInArray(kXmlMethods);
    const uint8_t extra = data.ConsumeIntegral<uint8_t>();
    const std::u16string xml = Utf8ToUtf16(data.ConsumeRemainingBytesAsString());

    std::u16string deviceId = u"0";
#ifdef FR_FUZZ_WITH_EMULATOR
    emu::TEmulatorOptions options;
    options.Port = 0;
    options.StdinControl = false;
    options.ControlPort = -1;
    emu::TEmulator emulator(options);
    emulator.Start();
    driver.SetSettingValue(u"PortNumber", Variant(int32_t{9999}), true);
    driver.SetSettingValue(u"IPAddress", Variant(u"127.0.0.1"), true);
    driver.SetSettingValue(u"IPPort", Variant(int32_t{emulator.TcpPort()}), true);
    auto openParams = SafeArray::Vector(1);
    if (!Call(component, u"Open", *openParams).BoolValue()) std::abort();
    deviceId = VarToStr(openParams->Elements()[0]);
    if ((extra & 2) != 0) {
        // Receipts and cash need an open shift.
        auto shiftParams = SafeArray::Vector(5);
        shiftParams->Put(0, Variant(deviceId));
        shiftParams->Put(1, Variant(kCashier));
        Call(component, u"OpenShift", *shiftParams);
    }
#endif

    int32_t number = -1, count = 0;
    component.FindMethod(method.Name, number);
    component.GetNParams(number, count);
    auto params = SafeArray::Vector(static_cast<size_t>(count));
    params->Put(0, Variant(deviceId));
    params->Put(method.XmlElement, Variant(xml));
    if (std::u16string_view(method.Name) == u"ProcessCheck")
        params->Put(1, Variant((extra & 1) != 0));
    else if (std::u16string_view(method.Name) == u"OperationFN")
        params->Put(1, Variant(int32_t{extra >> 4}));
    else if (std::u16string_view(method.Name) == u"CashInOutcome")
        params->Put(2, Variant(((extra >> 2) - 16) * 10.5));
    const Variant result = Call(component, method.Name, *params);
    // For triage: what the method answered, on standard error.
    if (std::getenv("FR_FUZZ_VERBOSE") != nullptr)
        std::fprintf(stderr, "%s: %s, %d %s\n", Utf16ToUtf8(method.Name).c_str(),
                     Utf16ToUtf8(VarToStr(result)).c_str(), driver.LastResultCode(),
                     Utf16ToUtf8(driver.LastResultDescription()).c_str());
#ifdef FR_FUZZ_WITH_EMULATOR
    if (std::getenv("FR_FUZZ_VERBOSE") != nullptr)
        for (const auto& request : emulator.Requests())
            std::fprintf(stderr, "  %s -> %d\n", request.Command.c_str(), request.Error);
#endif

#ifdef FR_FUZZ_WITH_EMULATOR
    auto closeParams = SafeArray::Vector(1);
    closeParams->Put(0, Variant(deviceId));
    Call(component, u"Close", *closeParams);
    emulator.Stop();
#endif
    component.Done();
    return 0;
}

}  // namespace fr::fuzz

#ifdef FR_FUZZ_ENTRY
// The driver waits half a second before it reads a document's result; the
// emulator has it ready at once, and the pause would make receipts the slowest
// inputs by far. The link flag keeps this definition over the platform's.
namespace fr {
void SleepMs(uint32_t) {}
}  // namespace fr
#endif

FR_FUZZ_TARGET(fr::fuzz::FuzzHostXml)
