// PrintTextDocument end to end against the emulated register.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "documents_fixture.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::u16string DocumentXml(const std::u16string& APositions,
                           const std::u16string& ARootAttributes = u"") {
    return u"<?xml version=\"1.0\"?><Document " + ARootAttributes + u"><Positions>" + APositions +
           u"</Positions></Document>";
}

class DocumentsTextDocument : public DocumentsFixture {
  protected:
    void SetUp() override {
        DocumentsFixture::SetUp();
        StartEmulator();
    }
    void Open(int32_t AFont, const std::u16string& ACutString = u"") {
        SetProp(u"FontNumber", Variant(AFont));
        SetProp(u"CutString", Variant(ACutString));
        OpenTcp();
    }
};

TEST_F(DocumentsTextDocument, LinesWrapAtTheWidthInTheSettingsFont) {
    Open(3);  // 32 characters a line
    const std::string text = "Товар надлежащего качества можно вернуть в течение 14 дней.";
    const uint64_t mark = LastSeq();
    const TDriverCall call =
        TextDocument(DocumentXml(u"<TextString Text=\"" + U16(text) + u"\"/>"));
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_THAT(Commands(mark), ElementsAre("00", "30", "40", "40", "31"));
    const auto lines = RequestsOf("40", mark);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Fields[0] + lines[1].Fields[0], text);
    EXPECT_EQ(U16(lines[0].Fields[0]).size(), 32u);
    // The attribute byte: the font alone, never double height or width.
    EXPECT_EQ(lines[0].Fields[1], "3");
    EXPECT_THAT(LastFields("30", mark), ElementsAre("1", "1", "", "1", "0"));
    EXPECT_TRUE(LogHas("PrintTextDocument [0] - Нет ошибок"));
}

TEST_F(DocumentsTextDocument, CutMarkerLineCutsThePaperInstead) {
    Open(1, u"[cut]");
    const uint64_t mark = LastSeq();
    const TDriverCall call = TextDocument(DocumentXml(
        u"<TextString Text=\"до\"/><TextString Text=\"[cut]\"/><TextString Text=\"после\"/>"));
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_THAT(Commands(mark), ElementsAre("00", "30", "40", "34", "40", "31"));
}

TEST_F(DocumentsTextDocument, NoCutDecidesTheCutCode) {
    Open(1);
    struct TCase {
        const char16_t* Attributes;
        const char* CutCode;
    };
    const TCase cases[] = {
        {u"NoCut=\"true\"", "1"},
        {u"NoCut=\"TRUE\"", "1"},
        {u"NoCut=\"false\"", "0"},
        {u"NoCut=\"1\"", "0"},
        {u"NoCut=\"yes\"", "0"},
        {u"NoCut=\"\"", "0"},
        {u"", "0"},
    };
    for (const auto& c : cases) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = TextDocument(DocumentXml(u"", c.Attributes));
        ASSERT_TRUE(call.Ok()) << U8(c.Attributes) << " " << U8(call.ErrorText);
        // No positions: an empty service document is still opened and closed.
        EXPECT_THAT(Commands(mark), ElementsAre("00", "30", "31")) << U8(c.Attributes);
        EXPECT_THAT(LastFields("31", mark), ElementsAre(c.CutCode, "")) << U8(c.Attributes);
    }
}

TEST_F(DocumentsTextDocument, BarcodesOfKnownTypesOnlyAndOtherElementsSkipped) {
    Open(1);
    const uint64_t mark = LastSeq();
    const TDriverCall call = TextDocument(
        DocumentXml(u"<Barcode BarcodeType=\"EAN8\" Barcode=\"4601234\"/>"
                    u"<Barcode BarcodeType=\"EAN13\" Barcode=\"4601234567893\"/>"
                    u"<Barcode BarcodeType=\"CODE39\" Barcode=\"AB-1\"/>"
                    u"<Barcode BarcodeType=\"QR\" Barcode=\"https://example.ru\"/>"
                    u"<Barcode BarcodeType=\"ean13\" Barcode=\"4601234567893\"/>"
                    u"<Barcode BarcodeType=\"PDF417\" Barcode=\"x\"/>"
                    u"<FiscalString Name=\"x\" Quantity=\"1\" PriceWithDiscount=\"1\" Tax=\"20\"/>"
                    u"<textstring Text=\"wrong case\"/><TextString/>"));
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_THAT(Commands(mark), ElementsAre("00", "30", "41", "41", "41", "41", "31"));
    const auto barcodes = RequestsOf("41", mark);
    ASSERT_EQ(barcodes.size(), 4u);
    EXPECT_THAT(barcodes[0].Fields, ElementsAre("2", "0", "80", "3", "4601234"));
    EXPECT_THAT(barcodes[1].Fields, ElementsAre("2", "0", "80", "2", "4601234567893"));
    EXPECT_THAT(barcodes[2].Fields, ElementsAre("2", "2", "80", "4", "AB-1"));
    EXPECT_THAT(barcodes[3].Fields, ElementsAre("0", "6", "0", "8", "https://example.ru"));
}

TEST_F(DocumentsTextDocument, PackagesWithoutPositionsAreRefusedWith1004) {
    Open(1);
    for (const char16_t* xml :
         {u"<Document NoCut=\"true\"/>", u"<Document><positions/></Document>",
          u"<?xml version=\"1.0\"?><!-- only a comment --><Document><Lines/></Document>"}) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = TextDocument(xml);
        EXPECT_EQ(call.Code, 1004) << U8(xml);
        EXPECT_EQ(U8(call.ErrorText), "Ошибка входных параметров команды");
        EXPECT_THAT(Commands(mark), ElementsAre("00")) << U8(xml);
    }
    EXPECT_FALSE(LogHas("PrintTextDocument ["));
}

TEST_F(DocumentsTextDocument, AnotherRootWithPositionsFailsWithoutPrinting) {
    Open(1);
    const uint64_t mark = LastSeq();
    const TDriverCall call = TextDocument(
        u"<Slip NoCut=\"true\"><Positions><TextString Text=\"x\"/></Positions></Slip>");
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 1001);
    EXPECT_THAT(U8(call.ErrorText), StartsWith("[1001] - "));
    EXPECT_THAT(U8(call.ErrorText), HasSubstr("Document"));
    EXPECT_THAT(Commands(mark), ElementsAre("00"));
    EXPECT_TRUE(LogHas("PrintTextDocument [1001] - [1001] - "));
}

TEST_F(DocumentsTextDocument, RefusedLineLeavesTheDocumentForThePreCheck) {
    Open(1);
    Control({{"cmd", "fault"}, {"kind", "error"}, {"command", "40"}, {"code", 3}});
    const TDriverCall call = TextDocument(DocumentXml(u"<TextString Text=\"a\"/>"));
    EXPECT_EQ(call.Code, 3);
    EXPECT_THAT(U8(call.ErrorText), StartsWith("[03] - "));
    const uint64_t mark = LastSeq();
    const TDriverCall again = TextDocument(DocumentXml(u"<TextString Text=\"b\"/>"));
    ASSERT_TRUE(again.Ok()) << U8(again.ErrorText);
    EXPECT_THAT(Commands(mark), ElementsAre("00", "32", "30", "40", "31"));
}

}  // namespace
}  // namespace fr::test
