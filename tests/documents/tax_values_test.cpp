// The VAT rate vocabulary: index lookup and the register's tax numbers.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "driver/tax_values.h"
#include "tests/driver/driver_fixture.h"

namespace fr::test {
namespace {

struct TTaxCase {
    std::u16string Rate;
    int32_t Index;
    int32_t TaxNumber;
};

void PrintTo(const TTaxCase& ACase, std::ostream* AOut) {
    *AOut << '"' << U8(ACase.Rate) << '"';
}

class DocumentsTaxValues : public ::testing::TestWithParam<TTaxCase> {};

TEST_P(DocumentsTaxValues, RateFindsItsIndexAndTaxNumber) {
    const TTaxValues values;
    const TTaxCase& c = GetParam();
    EXPECT_EQ(values.IDOfTax(c.Rate), c.Index) << U8(c.Rate);
    EXPECT_EQ(values.TaxNumberOf(c.Rate), c.TaxNumber) << U8(c.Rate);
}

INSTANTIATE_TEST_SUITE_P(
    DocumentsRates, DocumentsTaxValues,
    ::testing::Values(TTaxCase{u"20", 0, 0}, TTaxCase{u"18", 1, 0}, TTaxCase{u"10", 2, 1},
                      TTaxCase{u"0", 3, 2}, TTaxCase{u"none", 4, 3}, TTaxCase{u"NONE", 4, 3},
                      TTaxCase{u"None", 4, 3}, TTaxCase{u"20/120", 5, 4}, TTaxCase{u"18/118", 6, 4},
                      TTaxCase{u"10/110", 7, 5}, TTaxCase{u"22", 8, 0}, TTaxCase{u"22/122", 9, 4},
                      // Not trimmed, not parsed as numbers, no partial matches.
                      TTaxCase{u" 20", -1, -1}, TTaxCase{u"20 ", -1, -1}, TTaxCase{u"20%", -1, -1},
                      TTaxCase{u"0.0", -1, -1}, TTaxCase{u"10/11", -1, -1}, TTaxCase{u"", -1, -1},
                      TTaxCase{u"без", -1, -1}, TTaxCase{u"22 ", -1, -1}, TTaxCase{u" 22", -1, -1},
                      TTaxCase{u"22%", -1, -1}, TTaxCase{u"22/12", -1, -1},
                      TTaxCase{u"22/1220", -1, -1}, TTaxCase{u"23", -1, -1},
                      // Rates of simplified-tax payers the register has no number for.
                      TTaxCase{u"5", -1, -1}, TTaxCase{u"7", -1, -1}, TTaxCase{u"5/105", -1, -1},
                      TTaxCase{u"7/107", -1, -1}));

TEST(DocumentsTaxValuesList, HoldsTheTenRatesInOrder) {
    const TTaxValues values;
    ASSERT_EQ(values.Count(), 10);
    const char16_t* const expected[] = {u"20",     u"18",     u"10",     u"0",  u"none",
                                        u"20/120", u"18/118", u"10/110", u"22", u"22/122"};
    for (int32_t i = 0; i < values.Count(); ++i)
        EXPECT_EQ(values[i], expected[i]) << i;
}

}  // namespace
}  // namespace fr::test
