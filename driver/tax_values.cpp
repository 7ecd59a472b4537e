#include "driver/tax_values.h"

#include "platform/text.h"

namespace fr {
namespace {

struct TTaxRate {
    std::u16string_view Rate;  // as the host writes it
    uint8_t TaxNumber;         // the register's tax number
};

// The VAT rates in index order. The 18 % rates were replaced by 20 % ones; a host
// still sending them gets the numbers of their successors.
constexpr TTaxRate kTaxRates[] = {
    {u"20", 0},   {u"18", 0},     {u"10", 1},     {u"0", 2},
    {u"none", 3}, {u"20/120", 4}, {u"18/118", 4}, {u"10/110", 5},
};

}  // namespace

TTaxValues::TTaxValues() {
    AfterConstruction();
}

void TTaxValues::AfterConstruction() {
    FItems.clear();
    for (const auto& rate : kTaxRates)
        FItems.emplace_back(rate.Rate);
}

int32_t TTaxValues::IDOfTax(std::u16string_view ATaxValue) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameText(FItems[i], ATaxValue)) return static_cast<int32_t>(i);
    return -1;
}

int32_t TTaxValues::TaxNumberOf(std::u16string_view ATaxValue) const {
    const int32_t index = IDOfTax(ATaxValue);
    return index < 0 ? -1 : kTaxRates[static_cast<size_t>(index)].TaxNumber;
}

}  // namespace fr
