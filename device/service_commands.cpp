#include "device/device.h"
#include "device/device_fields.h"
#include "platform/clock.h"

namespace fr {

namespace {

using enum TDeviceCommand;

constexpr uint16_t kMinBeepMs = 10;
constexpr uint16_t kMaxBeepMs = 2000;

std::vector<std::string> DateTimeFields(TDateTime AValue) {
    return {DateField(AValue), TimeField(AValue)};
}

}  // namespace

void TDevice::StartSeans() {
    Execute(dcStartSeans, DateTimeFields(Now()));
}

void TDevice::SetDateTime(TDateTime ADateTime) {
    Execute(dcSetDateTime, DateTimeFields(ADateTime));
}

void TDevice::TechnologicalReset() {
    Execute(dcTechnologicalReset, DateTimeFields(Now()));
}

void TDevice::Beep(uint16_t ADuration) {
    CheckParameter(ADuration, kMinBeepMs, kMaxBeepMs);
    Execute(dcBeep, {IntField(ADuration)});
}

void TDevice::OpenDrawer() {
    Execute(dcOpenDrawer);
}

void TDevice::Cut() {
    Execute(dcCut);
}

void TDevice::Feed() {}

void TDevice::PrintServiceData() {
    Execute(dcPrintServiceData);
}

}  // namespace fr
