// The reference written from the component's tables: every method with both
// names, every setting with both defaults, and a table the descriptions do not
// match refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tools/reference/reference.h"

namespace fr::reference {
namespace {

std::string U8(const std::u16string& text) {
    return Utf16ToUtf8(text);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1))
        ++n;
    return n;
}

TEST(Reference, TheTablesGiveTwentyFourMethodsThreeMoreOn77AndTheSettings) {
    const TTables tables = ReadTables();
    size_t only77 = 0;
    for (const TMethodEntry& m : tables.Methods)
        only77 += m.Only77 ? 1 : 0;
    EXPECT_EQ(tables.Methods.size() - only77, 24u);
    EXPECT_EQ(only77, 3u);
    // The settings: at least these nine, each also a property.
    for (const char16_t* id :
         {u"DebugLogEnabled", u"CutString", u"IPPort", u"IPAddress", u"ConnectionPassword",
          u"PortNumber", u"BaudRate", u"FontNumber", u"WriteLog"}) {
        EXPECT_TRUE(std::any_of(tables.Settings.begin(), tables.Settings.end(),
                                [id](const TSettingEntry& s) { return s.ID == id; }))
            << U8(id);
    }
    EXPECT_GE(tables.Settings.size(), 9u);
    EXPECT_FALSE(tables.Table.empty());
}

TEST(Reference, BothLanguagesNameEveryMethodAndSettingWithBothDefaults) {
    const TTables tables = ReadTables();
    for (const TLanguage language : {TLanguage::Russian, TLanguage::English}) {
        std::vector<std::string> problems;
        const std::string text = WriteReference(tables, language, problems);
        ASSERT_TRUE(problems.empty()) << problems.front();
        for (const TMethodEntry& m : tables.Methods) {
            EXPECT_NE(text.find("`" + U8(m.Name) + "`"), std::string::npos) << U8(m.Name);
            EXPECT_NE(text.find("`" + U8(m.Alias) + "`"), std::string::npos) << U8(m.Alias);
        }
        for (const TSettingEntry& s : tables.Settings)
            EXPECT_NE(text.find("| `" + U8(s.ID) + "` |"), std::string::npos) << U8(s.ID);
        // The defaults that differ by path, both shown.
        EXPECT_NE(text.find("| `IPPort` | — | Number | **`5555`** | `50003` |"), std::string::npos)
            << text;
        EXPECT_NE(text.find("| `WriteLog` | `Вести лог` | Boolean | **`false`** | `true` |"),
                  std::string::npos);
        EXPECT_NE(text.find("| `ConnectionPassword` | — | String | `KVMT` | `KVMT` |"),
                  std::string::npos);
        EXPECT_NE(text.find("`LogDir`"), std::string::npos);
        EXPECT_EQ(Count(text, "\n### "), tables.Methods.size());
    }
}

TEST(Reference, ATableTheDescriptionsDoNotMatchIsRefused) {
    struct TCase {
        const char* Why;
        TMethodEntry Extra;
        int32_t ProcessCheckParams;
        const char* Problem;
    };
    const TCase cases[] = {
        {"a new method",
         {u"NewMethod", u"НовыйМетод", 1, false},
         7,
         "method NewMethod has no parameter description"},
        {"a changed count", {}, 8, "method ProcessCheck takes 8 parameters, 7 described"},
    };
    for (const TCase& c : cases) {
        TTables tables = ReadTables();
        if (!c.Extra.Name.empty()) tables.Methods.push_back(c.Extra);
        for (TMethodEntry& m : tables.Methods)
            if (m.Name == u"ProcessCheck") m.ParamsCount = c.ProcessCheckParams;
        std::vector<std::string> problems;
        EXPECT_TRUE(WriteReference(tables, TLanguage::English, problems).empty()) << c.Why;
        ASSERT_EQ(problems.size(), 1u) << c.Why;
        EXPECT_EQ(problems[0], c.Problem);
    }
    // A described method the tables lost.
    TTables tables = ReadTables();
    std::erase_if(tables.Methods, [](const TMethodEntry& m) { return m.Name == u"GetVersion"; });
    std::vector<std::string> problems;
    EXPECT_TRUE(WriteReference(tables, TLanguage::Russian, problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "method GetVersion described but absent");
}

TEST(Reference, TheParameterTableIsReadWithPagesChoicesAndReadOnly) {
    const std::vector<TTableEntry> entries = ParseParameterTable(
        R"(<Settings><Page Caption="P"><Group Caption="G">)"
        R"(<Parameter Name="A" Caption="a" TypeValue="Number" DefaultValue="1">)"
        R"(<ChoiceList><Item Value="1">one</Item><Item Value="2">two</Item><Item Value="3">3</Item></ChoiceList>)"
        R"(</Parameter><Parameter Name="B" Caption="b" TypeValue="String" DefaultValue="" )"
        R"(ReadOnly="true"/></Group></Page></Settings>)");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Page, "P");
    EXPECT_EQ(entries[0].Choices, (std::vector<std::string>{"1 one", "2 two", "3"}));
    EXPECT_FALSE(entries[0].ReadOnly);
    EXPECT_TRUE(entries[1].ReadOnly);
    EXPECT_TRUE(ParseParameterTable("<not xml").empty());
}

}  // namespace
}  // namespace fr::reference
