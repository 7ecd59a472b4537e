// The parameter table the host shows and the settings the driver keeps are two
// lists of one thing: a setting added to one and missed in the other would be
// offered and then ignored, or kept and never offered.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "driver/driver_registry.h"
#include "host/base_driver.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "resources/resources.h"
#include "support/xml_document.h"

namespace fr {
namespace {

const std::map<std::u16string, TDataType> kTypeOfTableValue = {
    {u"Number", dtNumber}, {u"String", dtString}, {u"Boolean", dtBoolean}, {u"Date", dtDateTime}};

// Where the table's default is not the driver's, and why that is right.
const std::map<std::u16string, std::u16string> kDefaultDifferences = {
    // The table offers the port registers listen on out of the box; the driver's
    // own default is the port of a register configured by hand.
    {u"IPPort", u"50003"},
    // The table switches the log on for a new connection; a driver created
    // without the table writes none.
    {u"WriteLog", u"true"},
};

// Shown to the user, never set: the driver fills in its data folder.
const std::u16string kShownOnly = u"LogDir";

// A default as the table writes it: Booleans as "true"/"false", numbers and
// text as they read.
std::u16string TableText(const Variant& value) {
    if (value.Type() == vtBoolean) return value.BoolValue() ? u"true" : u"false";
    return VarToStr(value);
}

void CollectParameters(const XmlNode& node, std::vector<XmlNode>& out) {
    for (const XmlNode& child : node.ChildElements()) {
        if (child.NodeName() == u"Parameter") out.push_back(child);
        CollectParameters(child, out);
    }
}

TEST(DriverSettingsTable, TheTableAndTheSettingsAgree) {
    RegisterDriverClasses();
    std::unique_ptr<TBaseDriver> driver = CreateDriverByClassName(u"TDriver");
    ASSERT_TRUE(driver);
    std::string bytes;
    ASSERT_TRUE(FindResourceData(u"TableParameters", bytes));
    XmlDocument table;
    table.LoadFromText(Utf8ToUtf16(bytes.substr(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0)));
    std::vector<XmlNode> parameters;
    CollectParameters(table.DocumentElement(), parameters);
    ASSERT_GE(parameters.size(), 8u);

    size_t differences = 0;
    for (const XmlNode& parameter : parameters) {
        const std::u16string name = VarToStr(parameter.Attribute(u"Name"));
        SCOPED_TRACE(Utf16ToUtf8(name));
        if (name == kShownOnly) continue;
        const PSettingStruct setting = driver->FindSetting(name);
        ASSERT_NE(setting, nullptr) << "offered by the table, unknown to the driver";
        const auto type = kTypeOfTableValue.find(VarToStr(parameter.Attribute(u"TypeValue")));
        ASSERT_NE(type, kTypeOfTableValue.end());
        EXPECT_EQ(setting->ValueType, type->second);
        const std::u16string tableDefault = VarToStr(parameter.Attribute(u"DefaultValue"));
        const std::u16string driverDefault = TableText(setting->Default);
        const auto difference = kDefaultDifferences.find(name);
        if (difference != kDefaultDifferences.end()) {
            EXPECT_EQ(tableDefault, difference->second);
            EXPECT_NE(tableDefault, driverDefault);
            ++differences;
        } else {
            EXPECT_EQ(Utf16ToUtf8(tableDefault), Utf16ToUtf8(driverDefault));
        }
    }
    EXPECT_EQ(differences, kDefaultDifferences.size());
}

}  // namespace
}  // namespace fr
