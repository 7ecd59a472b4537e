// JustifyLine: the left text at the start, the right text flush right.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "driver/driver.h"
#include "tests/driver/driver_fixture.h"

namespace fr::test {
namespace {

class TJustifyProbe : public TDriver {
  public:
    using TDriver::JustifyLine;
    void SetLineLen(int32_t AValue) { FLineLen = AValue; }
};

struct TJustifyCase {
    std::u16string Left;
    std::u16string Right;
    int32_t Width;
    int32_t LineLen;
    std::u16string Expected;
};

void PrintTo(const TJustifyCase& ACase, std::ostream* AOut) {
    *AOut << '"' << U8(ACase.Left) << "\" \"" << U8(ACase.Right) << "\" " << ACase.Width;
}

class DocumentsJustifyLine : public ::testing::TestWithParam<TJustifyCase> {};

TEST_P(DocumentsJustifyLine, FillsTheWidth) {
    const TJustifyCase& c = GetParam();
    TJustifyProbe driver;
    driver.SetLineLen(c.LineLen);
    EXPECT_EQ(U8(driver.JustifyLine(c.Left, c.Right, c.Width)), U8(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    DocumentsLines, DocumentsJustifyLine,
    ::testing::Values(TJustifyCase{u"Скидка", u"12.50", 20, 40, u"Скидка         12.50"},
                      // Width 0 takes the line length, then 24.
                      TJustifyCase{u"Скидка", u"12.50", 0, 16, u"Скидка     12.50"},
                      TJustifyCase{u"Наценка", u"3.00", 0, 0, u"Наценка             3.00"},
                      // The left text is cut to the room the right text leaves; the right never.
                      TJustifyCase{u"Очень длинное название", u"100.00", 12, 0, u"Очень 100.00"},
                      TJustifyCase{u"Скидка", u"1234567.00", 8, 0, u"1234567.00"},
                      TJustifyCase{u"Скидка", u"123.00", 6, 0, u"123.00"},
                      TJustifyCase{u"", u"5.00", 8, 0, u"    5.00"},
                      TJustifyCase{u"Итог", u"", 6, 0, u"Итог  "},
                      // A negative width from a confused register still gives a line.
                      TJustifyCase{u"Скидка", u"1.00", -5, 0, u"1.00"}));

}  // namespace
}  // namespace fr::test
