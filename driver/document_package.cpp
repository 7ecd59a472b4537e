#include "driver/document_package.h"

#include "platform/codepage.h"
#include "platform/variant_convert.h"
#include "support/common_utils.h"

namespace fr::package {
namespace {

struct TBarcodeParameters {
    std::u16string_view BarcodeType;
    uint8_t Options;
    uint8_t Width;
    uint8_t Height;
    uint8_t Type;
};

// The barcode types the host may name, with what the register needs for each.
constexpr TBarcodeParameters kBarcodeTypes[] = {
    {u"EAN8", 2, 0, 80, 3},
    {u"EAN13", 2, 0, 80, 2},
    {u"CODE39", 2, 2, 80, 4},
    {u"QR", 0, 6, 0, 8},
};

}  // namespace

std::u16string AttrText(const XmlNode& ANode, std::u16string_view AName) {
    const Variant value = ANode.Attribute(AName);
    return value.IsNull() ? std::u16string() : VarToStr(value);
}

uint8_t AttrByte(const XmlNode& ANode, std::u16string_view AName, int32_t ADefault) {
    return static_cast<uint8_t>(VarToIntDef(ANode.Attribute(AName), ADefault) & 0xFF);
}

double AttrFloat(const XmlNode& ANode, std::u16string_view AName) {
    return VarToFloatDef(ANode.Attribute(AName), 0);
}

Currency AttrFloatMoney(const XmlNode& ANode, std::u16string_view AName) {
    return Currency::FromDouble(AttrFloat(ANode, AName));
}

Currency AttrMoney(const XmlNode& ANode, std::u16string_view AName) {
    return VarToCurrDef(ANode.Attribute(AName), Currency{});
}

bool PrintBarcodeOfType(TDevice& ADevice, std::u16string_view ABarcodeType,
                        std::u16string_view AData) {
    for (const auto& barcode : kBarcodeTypes) {
        if (barcode.BarcodeType != ABarcodeType) continue;
        ADevice.PrintBarcode(barcode.Options, barcode.Width, barcode.Height, barcode.Type,
                             UnicodeToAnsi(AData));
        return true;
    }
    return false;
}

}  // namespace fr::package
