// Dates in frhost's JSON text form.

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "tools/frhost/json_variant.h"

namespace fr::test {
namespace {

TEST(FrhostDates, TextAndDaysConvertBothWays) {
    struct Row {
        const char* Text;
        double Days;
    };
    const Row rows[] = {
        {"1899-12-30T00:00:00.000", 0.0},
        {"1899-12-31T12:00:00.000", 1.5},
        {"1899-12-29T06:00:00.000", -1.25},  // before the epoch the time counts away from zero
        {"2024-03-05T00:00:00.000", EncodeDate(2024, 3, 5)},
        {"2024-03-05T13:45:10.250", EncodeDate(2024, 3, 5) + EncodeTime(13, 45, 10, 250)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        double days = -99;
        ASSERT_TRUE(TryJsonTextToDate(row.Text, days));
        EXPECT_NEAR(days, row.Days, 1e-9);
        EXPECT_EQ(DateToJsonText(row.Days), row.Text);
    }
}

TEST(FrhostDates, ShortFormsAreAcceptedAndNonsenseIsNot) {
    double days = 0;
    EXPECT_TRUE(TryJsonTextToDate("2024-03-05", days));
    EXPECT_NEAR(days, EncodeDate(2024, 3, 5), 1e-9);
    EXPECT_TRUE(TryJsonTextToDate("2024-03-05T01:02:03", days));
    for (const char* bad : {"", "2024", "2024-02-30", "2024-03-05T24:00:00", "2024-03-05 01:02:03",
                            "2024-03-05T01:02:03.5", "2024-03-05T01:02:03.000Z", "05.03.2024"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(TryJsonTextToDate(bad, days));
    }
}

}  // namespace
}  // namespace fr::test
