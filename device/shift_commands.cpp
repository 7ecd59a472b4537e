#include "device/device.h"
#include "device/device_fields.h"

namespace fr {

namespace {

using enum TDeviceCommand;

}  // namespace

void TDevice::OpenDay(std::string_view ACashier) {
    Execute(dcOpenDay, {TextField(ACashier, kCashierFieldLength)});
}

void TDevice::XReport() {
    Execute(dcXReport);
}

void TDevice::ZReport(std::u16string_view ACashier) {
    Execute(dcZReport, {TextField(ACashier, kCashierFieldLength)});
}

void TDevice::SettlementsCurrStatusReport(std::string_view ACashier) {
    Execute(dcSettlementsReport, {TextField(ACashier, kCashierFieldLength)});
}

}  // namespace fr
