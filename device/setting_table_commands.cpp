#include "device/device.h"
#include "device/device_fields.h"
#include "support/common_utils.h"

namespace fr {

namespace {

using enum TDeviceCommand;

}  // namespace

std::string TDevice::ReadSettingTableStr(uint8_t ANum, uint8_t AInd) {
    Execute(dcReadSettingTable, {IntField(ANum), IntField(AInd)});
    return GetDataAsString(0);
}

uint16_t TDevice::ReadSettingTableWord(uint8_t ANum, uint8_t AInd) {
    Execute(dcReadSettingTable, {IntField(ANum), IntField(AInd)});
    return static_cast<uint16_t>(GetDataAsInteger(0));
}

uint8_t TDevice::ReadSettingTableByte(uint8_t ANum, uint8_t AInd) {
    return static_cast<uint8_t>(ReadSettingTableWord(ANum, AInd) & 0xFF);
}

double TDevice::ReadSettingTableFloat(uint8_t ANum, uint8_t AInd) {
    Execute(dcReadSettingTable, {IntField(ANum), IntField(AInd)});
    return GetDataAsFloat(0);
}

void TDevice::WriteSettingTableStr(uint8_t ANum, uint8_t AInd, std::string_view AValue) {
    Execute(dcWriteSettingTable, {IntField(ANum), IntField(AInd), TextField(AValue, 0)});
}

void TDevice::WriteSettingTableWord(uint8_t ANum, uint8_t AInd, uint16_t AValue) {
    Execute(dcWriteSettingTable, {IntField(ANum), IntField(AInd), IntField(AValue)});
}

void TDevice::WriteSettingTableByte(uint8_t ANum, uint8_t AInd, uint8_t AValue) {
    WriteSettingTableWord(ANum, AInd, AValue);
}

void TDevice::WriteSettingTableFloat(uint8_t ANum, uint8_t AInd, double AValue) {
    Execute(dcWriteSettingTable, {IntField(ANum), IntField(AInd), FloatToDeviceStr(AValue)});
}

}  // namespace fr
