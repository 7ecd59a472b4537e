#include "support/xml_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/format_settings.h"
#include "platform/text.h"

namespace fr {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr char16_t kDeclaration[] = u"<?xml version=\"1.0\"?>";

IXMLDocument Parse(std::u16string_view text) {
    auto doc = std::make_shared<XmlDocument>();
    doc->LoadFromText(text);
    return doc;
}

std::string MessageOf(std::u16string_view text) {
    try {
        Parse(text);
    } catch (const EXmlError& e) {
        return Utf16ToUtf8(e.Message());
    }
    return "<parsed>";
}

TEST(SupportXmlDocumentTest, NewDocumentIsOnlyTheDeclaration) {
    IXMLDocument doc = XmlDocument::Create();
    EXPECT_TRUE(doc->DocumentElement().IsNil());
    EXPECT_EQ(doc->Xml(), kDeclaration);
}

TEST(SupportXmlDocumentTest, BuiltDocumentSerialisesAndLoadsBack) {
    FormatSettings saved = GetFormatSettings();
    SetDecimalSeparator(u'.');
    IXMLDocument doc = XmlDocument::Create();
    XmlNode root = doc->AddChild(u"Table");
    XmlNode row = root.AddChild(u"Parameter");
    row.SetAttribute(u"Name", Variant(u"Кассир \"Иванов\" & <Ко>"));
    row.SetAttribute(u"Count", Variant(int32_t{-42}));
    row.SetAttribute(u"Flag", Variant(true));
    row.SetAttribute(u"Off", Variant(false));
    row.SetAttribute(u"Sum", Variant(12.5));
    row.SetAttribute(u"Byte", Variant::FromByte(200));
    row.SetAttribute(u"Money", Variant(Currency::FromRaw(15000)));
    const TDateTime when = EncodeDate(2024, 5, 17) + EncodeTime(13, 45, 10, 0);
    row.SetAttribute(u"When", Variant::FromDate(when));
    row.SetAttribute(u"Count", Variant(int32_t{7}));  // replaces
    root.AddChild(u"Second");
    const std::u16string xml = doc->Xml();
    SetFormatSettings(saved);

    EXPECT_THAT(Utf16ToUtf8(xml), StartsWith("<?xml version=\"1.0\"?>"));
    IXMLDocument back = Parse(xml);
    XmlNode r = back->DocumentElement().ChildNamed(u"Parameter");
    ASSERT_FALSE(r.IsNil());
    EXPECT_EQ(r.Attribute(u"Name"), Variant(u"Кассир \"Иванов\" & <Ко>"));
    EXPECT_EQ(r.Attribute(u"Count"), Variant(u"7"));
    EXPECT_EQ(r.Attribute(u"Flag"), Variant(u"true"));
    EXPECT_EQ(r.Attribute(u"Off"), Variant(u"false"));
    EXPECT_EQ(r.Attribute(u"Sum"), Variant(u"12.5"));
    EXPECT_EQ(r.Attribute(u"Byte"), Variant(u"200"));
    EXPECT_EQ(r.Attribute(u"Money"), Variant(u"1.5"));
    EXPECT_EQ(r.Attribute(u"When"), Variant(DateTimeToStr(when)));
    EXPECT_EQ(back->DocumentElement().ChildCount(), 2);
    EXPECT_EQ(back->DocumentElement().Child(1).NodeName(), u"Second");
    // Count was replaced, not added twice.
    EXPECT_EQ(Utf16ToUtf8(xml).find("Count=", Utf16ToUtf8(xml).find("Count=") + 1),
              std::string::npos);
}

TEST(SupportXmlDocumentTest, AttributesAbsentAreNullAndEmptyAreEmpty) {
    IXMLDocument doc =
        Parse(u"<CheckPackage><Parameters CashierName=\"\" Tax=\"0\"/></CheckPackage>");
    XmlNode p = doc->DocumentElement().ChildNamed(u"Parameters");
    ASSERT_FALSE(p.IsNil());
    EXPECT_TRUE(p.Attribute(u"CustomerEmail").IsNull());
    const Variant empty = p.Attribute(u"CashierName");
    ASSERT_FALSE(empty.IsNull());
    EXPECT_EQ(empty.Type(), vtOleStr);
    EXPECT_EQ(empty.StrValue(), u"");
    EXPECT_EQ(p.Attribute(u"Tax"), Variant(u"0"));
    EXPECT_TRUE(p.Attribute(u"tax").IsNull()) << "names compare case-sensitively";
}

TEST(SupportXmlDocumentTest, TextLoadsWhateverEncodingItDeclares) {
    const std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
        u"<CheckPackage><Position Name=\"Молоко «Весёлое»\" Price=\"89.90\"/></CheckPackage>";
    IXMLDocument doc = Parse(text);
    XmlNode pos = doc->DocumentElement().ChildNamed(u"Position");
    ASSERT_FALSE(pos.IsNil());
    EXPECT_EQ(pos.Attribute(u"Name"), Variant(u"Молоко «Весёлое»"));
    // The serialised text is UTF-16 and declares no other encoding.
    const std::u16string xml = doc->Xml();
    EXPECT_THAT(Utf16ToUtf8(xml), StartsWith("<?xml version=\"1.0\"?>"));
    EXPECT_THAT(Utf16ToUtf8(xml), ::testing::Not(HasSubstr("windows-1251")));
    EXPECT_THAT(Utf16ToUtf8(xml), HasSubstr("Молоко «Весёлое»"));

    IXMLDocument withBom = Parse(u"\xFEFF<a b=\"1\"/>");
    EXPECT_EQ(withBom->DocumentElement().NodeName(), u"a");
}

TEST(SupportXmlDocumentTest, Utf8BytesLoadWithAndWithoutByteOrderMark) {
    for (const std::string prefix : {"", "\xEF\xBB\xBF"}) {
        XmlDocument doc;
        doc.LoadFromUtf8(prefix +
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Таблица Имя=\"Порт\"/>");
        ASSERT_FALSE(doc.DocumentElement().IsNil());
        EXPECT_EQ(doc.DocumentElement().NodeName(), u"Таблица");
        EXPECT_EQ(doc.DocumentElement().Attribute(u"Имя"), Variant(u"Порт"));
    }
}

TEST(SupportXmlDocumentTest, BadTextRaisesTheParserMessage) {
    EXPECT_THAT(MessageOf(u"<a><b></a>"), HasSubstr("mismatch"));
    EXPECT_THAT(MessageOf(u"<a><b></a>"), HasSubstr("позиция 8"));
    EXPECT_THAT(MessageOf(u"<Ключ атрибут=1/>"), HasSubstr("позиция"));
    EXPECT_NE(MessageOf(u"<a>"), "<parsed>");
    EXPECT_NE(MessageOf(u"not xml"), "<parsed>");
    EXPECT_NE(MessageOf(u""), "<parsed>");
    EXPECT_THAT(MessageOf(u"<a/><b/>"), HasSubstr("позиция 4"));
    EXPECT_NE(MessageOf(u"<a/>tail"), "<parsed>");
    EXPECT_NE(MessageOf(u"<!-- only a comment -->"), "<parsed>");
    // Control characters other than TAB, LF and CR are no XML 1.0 text.
    EXPECT_THAT(MessageOf(u"<a t=\"x\u0007y\"/>"), HasSubstr("позиция 7"));
    EXPECT_NE(MessageOf(std::u16string(u"<a>\0</a>", 8)), "<parsed>");
    EXPECT_EQ(MessageOf(u"<a t=\"\t\"> \r\n </a>"), "<parsed>");
}

TEST(SupportXmlDocumentTest, ChildLookupIsCaseSensitiveAndNeverCreates) {
    IXMLDocument doc = Parse(u"<R><Positions/><positions n=\"2\"/></R>");
    XmlNode root = doc->DocumentElement();
    EXPECT_TRUE(root.ChildNamed(u"POSITIONS").IsNil());
    EXPECT_TRUE(root.ChildNamed(u"Payments").IsNil());
    EXPECT_EQ(root.ChildNamed(u"positions").Attribute(u"n"), Variant(u"2"));
    EXPECT_EQ(root.ChildCount(), 2);
}

TEST(SupportXmlDocumentTest, ChildListKeepsNonElementsInOrder) {
    IXMLDocument doc = Parse(u"<R>text<!-- note --><A/><?pi x?><B></B></R>");
    XmlNode root = doc->DocumentElement();
    ASSERT_EQ(root.ChildCount(), 5);
    const char16_t* names[] = {u"", u"", u"A", u"", u"B"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(root.Child(i).NodeName(), names[i]) << i;
        EXPECT_EQ(root.Child(i).IsElement(), names[i][0] != 0) << i;
    }
    // Non-element nodes are not found by name.
    EXPECT_TRUE(root.ChildNamed(u"pi").IsNil());
    EXPECT_THROW(root.Child(5), EXmlError);
    EXPECT_THROW(root.Child(-1), EXmlError);

    const std::vector<XmlNode> elements = root.ChildElements();
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0].NodeName(), u"A");
    EXPECT_EQ(elements[1].NodeName(), u"B");
    EXPECT_TRUE(elements[0].ChildElements().empty());
}

TEST(SupportXmlDocumentTest, NilNodeOperationsRaise) {
    const XmlNode nil;
    XmlNode mutableNil;
    EXPECT_THROW(nil.NodeName(), EXmlError);
    EXPECT_THROW(nil.ChildNamed(u"a"), EXmlError);
    EXPECT_THROW(nil.ChildCount(), EXmlError);
    EXPECT_THROW(nil.Child(0), EXmlError);
    EXPECT_THROW(nil.ChildElements(), EXmlError);
    EXPECT_THROW(nil.Attribute(u"a"), EXmlError);
    EXPECT_THROW(mutableNil.SetAttribute(u"a", Variant(u"b")), EXmlError);
    EXPECT_THROW(mutableNil.AddChild(u"a"), EXmlError);
    IXMLDocument doc = XmlDocument::Create();
    EXPECT_THROW(doc->DocumentElement().Attribute(u"x"), EXmlError);
}

TEST(SupportXmlDocumentTest, InvalidStructureRaises) {
    IXMLDocument doc = XmlDocument::Create();
    XmlNode root = doc->AddChild(u"Root");
    EXPECT_THROW(doc->AddChild(u"Second"), EXmlError) << "one root only";
    EXPECT_THROW(doc->Node().AddChild(u"Second"), EXmlError);
    EXPECT_THROW(root.AddChild(u"bad name"), EXmlError);
    EXPECT_THROW(root.AddChild(u""), EXmlError);
    EXPECT_THROW(root.SetAttribute(u"1st", Variant(u"x")), EXmlError);
    EXPECT_THROW(root.SetAttribute(u"a=\"b\"", Variant(u"x")), EXmlError);
    EXPECT_THROW(root.SetAttribute(u"a", Variant::FromArray(SafeArray::Vector(1))), Exception);
    // What failed left the document whole.
    EXPECT_EQ(Parse(doc->Xml())->DocumentElement().ChildCount(), 0);
}

TEST(SupportXmlDocumentTest, LoadReplacesTheContent) {
    XmlDocument doc;
    doc.LoadFromText(u"<First/>");
    doc.LoadFromText(u"<Second/>");
    EXPECT_EQ(doc.DocumentElement().NodeName(), u"Second");
    EXPECT_THROW(doc.LoadFromText(u"<broken"), EXmlError);
    EXPECT_TRUE(doc.DocumentElement().IsNil());
}

}  // namespace
}  // namespace fr
