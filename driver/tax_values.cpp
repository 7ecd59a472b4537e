#include "driver/tax_values.h"

#include "platform/text.h"

namespace fr {
namespace {

struct TTaxRate {
    std::u16string_view Rate;  // as the host writes it
    uint8_t TaxNumber;         // the register's tax number
};

// The VAT rates in index order. The general rate went from 18 % to 20 % and then
// to 22 %: every general rate shares its register tax number, whose rate the
// register's own tax table fixes for the date. The earlier rates stay for
// documents about earlier periods; new ones go last so earlier indexes hold.
constexpr TTaxRate kTaxRates[] = {
    {u"20", 0},     {u"18", 0},     {u"10", 1},     {u"0", 2},  {u"none", 3},
    {u"20/120", 4}, {u"18/118", 4}, {u"10/110", 5}, {u"22", 0}, {u"22/122", 4},
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
