// The parameter table the host shows the user: the embedded resource, and the
// table built from the settings when a module has no resource.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/variant_convert.h"
#include "recording_driver.h"
#include "resources/resources.h"
#include "support/xml_document.h"

namespace fr::test {
namespace {

std::vector<XmlNode> Elements(const XmlNode& node) {
    std::vector<XmlNode> out;
    for (int i = 0; i < node.ChildCount(); ++i) {
        if (node.Child(i).IsElement()) out.push_back(node.Child(i));
    }
    return out;
}

std::u16string Attr(const XmlNode& node, std::u16string_view name) {
    const Variant value = node.Attribute(name);
    return value.IsNull() ? u"<absent>" : VarToStr(value);
}

TEST(EquipmentResources, FindsTheTableByAnyLetterCase) {
    std::string upper, mixed, lower, other;
    EXPECT_TRUE(FindResourceData(u"TABLEPARAMETERS", upper));
    EXPECT_TRUE(FindResourceData(u"TableParameters", mixed));
    EXPECT_TRUE(FindResourceData(u"tableparameters", lower));
    EXPECT_FALSE(FindResourceData(u"TableParameter", other));
    EXPECT_EQ(upper, mixed);
    EXPECT_EQ(upper, lower);
    // UTF-8 with a byte-order mark, then the declaration.
    EXPECT_EQ(upper.rfind("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
}

using EquipmentParameterTable = EquipmentFixture;

TEST_F(EquipmentParameterTable, HostGetsTheResourceTableInDocumentOrder) {
    const THostCall call = Call(u"ПолучитьПараметры", {Variant()});
    EXPECT_TRUE(IsBool(call.Return, true));
    ASSERT_EQ(call.Params[0].Type(), vtOleStr);
    XmlDocument document;
    document.LoadFromText(call.Params[0].StrValue());
    const XmlNode settings = document.DocumentElement();
    ASSERT_EQ(settings.NodeName(), u"Settings");

    struct Row {
        const char16_t* Page;
        const char16_t* Group;
        const char16_t* Name;
        const char16_t* Caption;
        const char16_t* Type;
        const char16_t* Default;
        const char16_t* ReadOnly;
        size_t Choices;
    };
    const Row rows[] = {
        {u"Параметры", u"Параметры подключения", u"PortNumber", u"Порт", u"Number", u"1",
         u"<absent>", 129},
        {u"Параметры", u"Параметры подключения", u"BaudRate", u"Скорость", u"Number", u"115200",
         u"<absent>", 8},
        {u"Параметры", u"Параметры подключения", u"ConnectionPassword", u"Пароль связи", u"String",
         u"KVMT", u"<absent>", 0},
        {u"Параметры", u"Параметры подключения", u"IPAddress", u"IP адрес", u"String", u"127.0.0.1",
         u"<absent>", 0},
        {u"Параметры", u"Параметры подключения", u"IPPort", u"IP порт", u"Number", u"50003",
         u"<absent>", 0},
        {u"Формат чека", u"Формат чека", u"FontNumber", u"Номер шрифта", u"Number", u"1",
         u"<absent>", 2},
        {u"Настройка лога", u"Настройка лога", u"WriteLog", u"Вести лог", u"Boolean", u"true",
         u"<absent>", 0},
        {u"Настройка лога", u"Настройка лога", u"LogDir", u"Путь к директории логов", u"String",
         u"", u"true", 0},
        {u"Настройка лога", u"Настройка лога", u"LogRetentionDays", u"Хранить лог, дней", u"Number",
         u"30", u"<absent>", 0},
    };
    std::vector<const Row*> expected;
    for (const Row& row : rows)
        expected.push_back(&row);

    size_t at = 0;
    std::vector<XmlNode> choicesOf[3];
    for (const XmlNode& page : Elements(settings)) {
        ASSERT_EQ(page.NodeName(), u"Page");
        const auto groups = Elements(page);
        ASSERT_EQ(groups.size(), 1u);
        for (const XmlNode& parameter : Elements(groups[0])) {
            ASSERT_LT(at, expected.size());
            const Row& row = *expected[at];
            SCOPED_TRACE(Utf16ToUtf8(row.Name));
            EXPECT_EQ(Attr(page, u"Caption"), row.Page);
            EXPECT_EQ(Attr(groups[0], u"Caption"), row.Group);
            EXPECT_EQ(parameter.NodeName(), u"Parameter");
            EXPECT_EQ(Attr(parameter, u"Name"), row.Name);
            EXPECT_EQ(Attr(parameter, u"Caption"), row.Caption);
            EXPECT_EQ(Attr(parameter, u"TypeValue"), row.Type);
            EXPECT_EQ(Attr(parameter, u"DefaultValue"), row.Default);
            EXPECT_EQ(Attr(parameter, u"ReadOnly"), row.ReadOnly);
            const XmlNode list = parameter.ChildNamed(u"ChoiceList");
            const auto items = list.IsNil() ? std::vector<XmlNode>{} : Elements(list);
            EXPECT_EQ(items.size(), row.Choices);
            if (at == 0) choicesOf[0] = items;
            if (at == 1) choicesOf[1] = items;
            if (at == 5) choicesOf[2] = items;
            ++at;
        }
    }
    EXPECT_EQ(at, expected.size());

    // Ports: TCP/IP first, then COM1 to COM128.
    ASSERT_EQ(choicesOf[0].size(), 129u);
    EXPECT_EQ(Attr(choicesOf[0][0], u"Value"), u"9999");
    for (int n = 1; n <= 128; ++n) {
        EXPECT_EQ(Attr(choicesOf[0][static_cast<size_t>(n)], u"Value"), IntToStr(n));
    }
    const char16_t* bauds[] = {u"1200",  u"2400",  u"4800",  u"9600",
                               u"19200", u"38400", u"57600", u"115200"};
    ASSERT_EQ(choicesOf[1].size(), 8u);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(Attr(choicesOf[1][i], u"Value"), bauds[i]);
    ASSERT_EQ(choicesOf[2].size(), 2u);
    EXPECT_EQ(Attr(choicesOf[2][0], u"Value"), u"0");
    EXPECT_EQ(Attr(choicesOf[2][1], u"Value"), u"1");
}

TEST_F(EquipmentParameterTable, ChoiceLabelsAreTheItemTexts) {
    // Labels are element text; the serialised table carries them verbatim.
    const std::u16string xml = Call(u"GetParameters").Params[0].StrValue();
    for (const char16_t* item :
         {u"<Item Value=\"9999\">TCP/IP</Item>", u"<Item Value=\"1\">COM1</Item>",
          u"<Item Value=\"128\">COM128</Item>", u"<Item Value=\"115200\">115200</Item>",
          u"<Item Value=\"0\">0 (Шрифт 12х24)</Item>",
          u"<Item Value=\"1\">1 (Шрифт 9х17)</Item>"}) {
        EXPECT_NE(xml.find(item), std::u16string::npos) << Utf16ToUtf8(item);
    }
    EXPECT_LT(xml.find(u"TCP/IP"), xml.find(u">COM1<"));
    EXPECT_LT(xml.find(u">COM1<"), xml.find(u">COM2<"));
    EXPECT_LT(xml.find(u">COM127<"), xml.find(u">COM128<"));
    EXPECT_EQ(xml.find(u"COM129"), std::u16string::npos);
}

TEST_F(EquipmentParameterTable, WithoutTheResourceTheTableComesFromTheSettings) {
    XmlDocument document;
    document.LoadFromText(Driver().ParametersFromSettings());
    const XmlNode settings = document.DocumentElement();
    ASSERT_EQ(settings.NodeName(), u"Settings");
    const auto pages = Elements(settings);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Attr(pages[0], u"Caption"), u"Параметры");
    const auto parameters = Elements(pages[0]);
    ASSERT_EQ(parameters.size(), static_cast<size_t>(Driver().SettingsCount()));
    ASSERT_EQ(parameters.size(), 3u);  // DebugLogEnabled, CutString, LogRetentionDays
    EXPECT_EQ(Attr(parameters[0], u"Name"), u"DebugLogEnabled");
    EXPECT_EQ(Attr(parameters[0], u"Caption"), u"Отладочный лог");
    EXPECT_EQ(Attr(parameters[0], u"TypeValue"), u"Boolean");
    EXPECT_EQ(Attr(parameters[0], u"DefaultValue"), u"false");
    EXPECT_EQ(Attr(parameters[0], u"ReadOnly"), u"<absent>");
    EXPECT_EQ(Attr(parameters[1], u"Name"), u"CutString");
    EXPECT_EQ(Attr(parameters[1], u"Caption"), u"Маркер отреза бумаги");
    EXPECT_EQ(Attr(parameters[1], u"TypeValue"), u"String");
    EXPECT_EQ(Attr(parameters[1], u"DefaultValue"), u"");
    EXPECT_TRUE(parameters[1].ChildNamed(u"ChoiceList").IsNil());
    EXPECT_EQ(Attr(parameters[2], u"Name"), u"LogRetentionDays");
    EXPECT_EQ(Attr(parameters[2], u"TypeValue"), u"Number");
    EXPECT_EQ(Attr(parameters[2], u"DefaultValue"), u"30");
}

}  // namespace
}  // namespace fr::test
