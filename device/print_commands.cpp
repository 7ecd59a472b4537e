#include "device/device.h"
#include "device/device_errors.h"
#include "device/device_fields.h"
#include "platform/codepage.h"
#include "support/texts.h"

namespace fr {

namespace {

using enum TDeviceCommand;

constexpr int kPrintTextLength = 72;
constexpr int kOFDValueLength = 256;
constexpr uint8_t kFontMask = 0x0F;
constexpr uint8_t kDoubleHeightBit = 0x10;
constexpr uint8_t kDoubleWidthBit = 0x20;
constexpr uint8_t kSixthBit = 0x40;

}  // namespace

uint8_t TDevice::PrintAttributes(uint8_t AFont, bool ADoubleHeight, bool ADoubleWidth,
                                 bool ASixthBit) {
    uint8_t flags = AFont & kFontMask;
    if (ADoubleHeight) flags |= kDoubleHeightBit;
    if (ADoubleWidth) flags |= kDoubleWidthBit;
    if (ASixthBit) flags |= kSixthBit;
    return flags;
}

void TDevice::PrintString(std::string_view S) {
    Execute(dcPrintString, {TextField(S, FLineLength)});
}

void TDevice::PrintString(std::string_view S, uint8_t AFont, bool ADoubleHeight,
                          bool ADoubleWidth) {
    // Without a line width the text cannot be cut into lines.
    if (FLineLength <= 0) throw EDeviceError(std::u16string(texts::kBadLineLength));
    const std::string flags = IntField(PrintAttributes(AFont, ADoubleHeight, ADoubleWidth));
    const std::string cutMarker = UnicodeToAnsi(FCutString);
    const size_t width = static_cast<size_t>(FLineLength);
    for (size_t pos = 0; pos < S.size(); pos += width) {
        const std::string_view piece = S.substr(pos, width);
        if (!cutMarker.empty() && piece.find(cutMarker) != std::string_view::npos)
            Cut();
        else
            Execute(dcPrintString, {TextField(piece, kPrintTextLength), flags});
    }
}

void TDevice::PrintProps(std::u16string_view S, uint8_t AFont, bool ADoubleHeight,
                         bool ADoubleWidth) {
    Execute(dcPrintProps, {"0", IntField(PrintAttributes(AFont, ADoubleHeight, ADoubleWidth)),
                           TextField(S, kPrintTextLength), "", "", ""});
}

void TDevice::PrintOFDProps(uint32_t ACode, std::u16string_view AName, std::u16string_view AValue,
                            uint8_t AFont, bool ASixthBit, bool ADoubleHeight, bool ADoubleWidth) {
    Execute(
        dcPrintOFDProps,
        {IntField(ACode), IntField(PrintAttributes(AFont, ADoubleHeight, ADoubleWidth, ASixthBit)),
         TextField(AName, kPrintTextLength), TextField(AValue, kOFDValueLength)});
}

void TDevice::PrintBarcode(uint8_t AOptions, uint8_t AWidth, uint8_t AHeight, uint8_t AType,
                           std::string_view AData) {
    Execute(dcPrintBarcode, {IntField(AOptions), IntField(AWidth), IntField(AHeight),
                             IntField(AType), TextField(AData, 0)});
}

}  // namespace fr
