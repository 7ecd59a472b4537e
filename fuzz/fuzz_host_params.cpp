// A method number and a parameter array of any VARIANT kinds into CallAsFunc
// and CallAsProc of the real component object, and property values into its
// property operations. Methods that open a link are left out: with settings
// from the input they would reach for real ports and hosts.

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>

#include "driver/driver_registry.h"
#include "fuzz/fuzz_support.h"
#include "host/add_in_object.h"
#include "platform/exception.h"

namespace fr::fuzz {

namespace {

TAddInObject& Component() {
    static std::unique_ptr<TAddInObject> object = [] {
        UseScratchDataFolder();
        RegisterDriverClasses();
        auto o = std::make_unique<TAddInObject>();
        if (o->Init(nullptr) != kHrOk || o->Driver() == nullptr) std::abort();
        return o;
    }();
    return *object;
}

bool OpensLink(TBaseDriver& driver, int32_t method) {
    if (method < 0 || method >= driver.MethsCount()) return false;
    const TMethodStruct& m = *driver.MethodList(method);
    for (const char16_t* name : {u"Open", u"DeviceTest"})
        if (m.Name == name || m.Alias == name) return true;
    return false;
}

SafeArrayPtr DecodeParams(FuzzedDataProvider& data, TVariantDecoder& decoder, int32_t count) {
    switch (data.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return nullptr;
        case 1:
            count = data.ConsumeIntegralInRange<int32_t>(0, 9);
            break;
        case 2: {
            // Not the shape the host passes: a bound other than zero, two dimensions.
            auto odd = std::make_shared<SafeArray>(
                vtVariant,
                std::vector<SafeArrayBound>{{data.ConsumeIntegralInRange<int32_t>(-2, 2),
                                             data.ConsumeIntegralInRange<uint32_t>(0, 8)},
                                            {0, data.ConsumeIntegralInRange<uint32_t>(0, 2)}});
            for (Variant& v : odd->Elements())
                v = decoder.Decode();
            return odd;
        }
        default:
            break;
    }
    auto params = SafeArray::Vector(static_cast<size_t>(count < 0 ? 0 : count));
    for (Variant& v : params->Elements())
        v = decoder.Decode();
    return params;
}

}  // namespace

int FuzzHostParams(const uint8_t* AData, size_t ASize) {
    TAddInObject& component = Component();
    TBaseDriver& driver = *component.Driver();
    // Each input starts from the same driver state.
    driver.SetAllSettingsDefault();
    driver.SetDeviceID(u"default");
    driver.ClearError();

    FuzzedDataProvider data(AData, ASize);
    std::deque<Variant> arena;
    TVariantDecoder decoder(data, arena);
    int32_t methods = 0, props = 0;
    component.GetNMethods(methods);
    component.GetNProps(props);

    for (int call = 0; call < 3 && data.remaining_bytes() > 0; ++call) {
        const bool property = data.ConsumeIntegralInRange<int>(0, 4) == 0;
        if (property) {
            const int32_t number = data.ConsumeIntegralInRange<int32_t>(-1, props);
            Variant value = decoder.Decode();
            try {
                component.SetPropVal(number, value);
            } catch (const Exception&) {
                // Property writes let the driver's errors through to the COM wrapper.
            }
            Variant back;
            component.GetPropVal(number, back);
            continue;
        }
        const int32_t method = data.ConsumeIntegralInRange<int32_t>(-1, methods);
        if (OpensLink(driver, method)) continue;
        int32_t count = 0;
        component.GetNParams(method, count);
        SafeArrayPtr params = DecodeParams(data, decoder, count);
        Variant result;
        if (data.ConsumeBool())
            component.CallAsFunc(method, result, params.get());
        else
            component.CallAsProc(method, params.get());
        Variant defaultValue;
        component.GetParamDefValue(method, data.ConsumeIntegralInRange<int32_t>(-1, 8),
                                   defaultValue);
    }
    return 0;
}

}  // namespace fr::fuzz

FR_FUZZ_TARGET(fr::fuzz::FuzzHostParams)
