#pragma once
// Reading the host's document packages (receipts, corrections, text documents)
// and the one barcode vocabulary they share.

#include <cstdint>
#include <string>
#include <string_view>

#include "device/device.h"
#include "platform/currency.h"
#include "support/xml_document.h"

namespace fr::package {

// The attribute's value as it stands; empty when absent.
std::u16string AttrText(const XmlNode& ANode, std::u16string_view AName);
// The low byte of the attribute read as a trimmed decimal integer (ADefault when
// absent or no integer).
uint8_t AttrByte(const XmlNode& ANode, std::u16string_view AName, int32_t ADefault = 0);
// A trimmed floating-point number with "." (0 when absent or unreadable).
double AttrFloat(const XmlNode& ANode, std::u16string_view AName);
// A float that stands for money: rounded to 1/10000, ties to even.
Currency AttrFloatMoney(const XmlNode& ANode, std::u16string_view AName);
// Money read as money text (0 when absent or unreadable).
Currency AttrMoney(const XmlNode& ANode, std::u16string_view AName);

// Prints a barcode of a known type (compared case-sensitively); any other type
// prints nothing. Returns whether anything was sent.
bool PrintBarcodeOfType(TDevice& ADevice, std::u16string_view ABarcodeType,
                        std::u16string_view AData);

}  // namespace fr::package
