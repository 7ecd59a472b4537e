// The standard's common methods, driven through the component object.

#include <gtest/gtest.h>

#include "platform/text.h"
#include "recording_driver.h"
#include "support/log.h"

namespace fr::test {
namespace {

using EquipmentCommonMethods = EquipmentFixture;

TEST_F(EquipmentCommonMethods, RegistersTheNineMethodsAfterTheBaseOnesInOrder) {
    struct Row {
        const char16_t* Name;
        const char16_t* Alias;
        int32_t Params;
    };
    const Row rows[] = {
        {u"ПолучитьОписание", u"GetDescription", 7},
        {u"ПолучитьОшибку", u"GetLastError", 1},
        {u"ПолучитьПараметры", u"GetParameters", 1},
        {u"УстановитьПараметр", u"SetParameter", 2},
        {u"Подключить", u"Open", 1},
        {u"Отключить", u"Close", 1},
        {u"ПолучитьДополнительныеДействия", u"GetAdditionalActions", 1},
        {u"ВыполнитьДополнительноеДействие", u"DoAdditionalAction", 1},
        {u"ТестУстройства", u"DeviceTest", 2},
    };
    // On an 8.x host the base methods are ShowSettingsDlg and GetVersion.
    int32_t index = 2;
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf16ToUtf8(row.Alias));
        int32_t byName = -1, byAlias = -1, count = -1;
        Object().FindMethod(row.Name, byName);
        Object().FindMethod(LowerCase(row.Alias), byAlias);
        EXPECT_EQ(byName, index);
        EXPECT_EQ(byAlias, index);
        std::u16string reported;
        EXPECT_EQ(Object().GetMethodName(index, 1, reported), kHrOk);
        EXPECT_EQ(reported, row.Name);  // the Russian name is the primary one here
        Object().GetNParams(index, count);
        EXPECT_EQ(count, row.Params);
        ++index;
    }
}

TEST_F(EquipmentCommonMethods, GetDescriptionWritesTheDriverRecordWithItsTypes) {
    const THostCall call = Call(u"GetDescription");
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(IsStr(call.Params[0], u"Стеллум: ККТ Норвейн ONLINE"));
    EXPECT_TRUE(IsStr(call.Params[1], u"Драйвер ККТ Норвейн ONLINE \"1С:Совместимо\""));
    EXPECT_TRUE(IsStr(call.Params[2], u"ККТ"));
    EXPECT_TRUE(IsInt(call.Params[3], 2002));
    EXPECT_TRUE(IsBool(call.Params[4], false));
    EXPECT_TRUE(IsBool(call.Params[5], true));
    ASSERT_EQ(call.Params[6].Type(), vtOleStr);
    EXPECT_EQ(call.Params[6].StrValue().rfind(u"https://", 0), 0u);
    EXPECT_EQ(Driver().DriverInfo().InterfaceRevision, 2002);
}

TEST_F(EquipmentCommonMethods, GetLastErrorOnAFreshDriverIsZeroAndNoErrors) {
    const auto first = LastError();
    EXPECT_EQ(first.first, 0);
    EXPECT_EQ(first.second, u"Нет ошибок");
    EXPECT_EQ(LastError(), first);
}

// The composed text: a stored description first, then the catalogue of the common
// ranges, then the device's text for the code.
TEST_F(EquipmentCommonMethods, GetLastErrorComposesTheTextByTheCatalogueRule) {
    struct Row {
        int32_t Code;
        const char16_t* Stored;
        const char16_t* Expected;
    };
    const Row rows[] = {
        {1004, u"", u"Ошибка входных параметров команды"},
        {1003, u"", u"Команда не поддерживается устройством"},
        {3016, u"", u"Неизвестная ошибка"},  // a common range without a row
        {1001, u"", u"Неизвестная ошибка"},  // outside the ranges: the device's text
        {70, u"", u"Устройство не включено"},
        {5000, u"", u"Неизвестная ошибка"},
        {70, u"[46] - Нет связи с ККТ", u"[46] - Нет связи с ККТ"},
        {5000, u"особый текст", u"особый текст"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Code);
        // DoAdditionalAction leaves the description as it was.
        Driver().SetLastResultDescription(row.Stored);
        const THostCall action = Call(u"DoAdditionalAction", {Variant(IntToStr(row.Code))});
        EXPECT_TRUE(IsBool(action.Return, false));
        const auto error = LastError();
        EXPECT_EQ(error.first, row.Code);
        EXPECT_EQ(error.second, row.Expected);
        // Asking again changes nothing.
        EXPECT_EQ(LastError(), error);
        EXPECT_EQ(Driver().LastResultDescription(), row.Expected);
    }
}

TEST_F(EquipmentCommonMethods, AStoredDescriptionWinsEvenForCodeZero) {
    Driver().SetLastResultDescription(u"текст прошлой ошибки");
    EXPECT_TRUE(IsBool(Call(u"DoAdditionalAction", {Variant(u"0")}).Return, true));
    EXPECT_EQ(LastError(), std::make_pair(0, std::u16string(u"текст прошлой ошибки")));
}

TEST_F(EquipmentCommonMethods, SetParameterFollowsTheSettingRules) {
    const int32_t props = Driver().PropsCount();

    // A name that is no setting: true, and nothing changes.
    THostCall call = Call(u"УстановитьПараметр", {Variant(u"NoSuchSetting"), Variant(5)});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().PropsCount(), props);

    // A string setting takes a string, by any letter case of its name, and ignores a number.
    call = Call(u"SetParameter", {Variant(u"cutstring"), Variant(u"[cut]")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().GetSettingValueStr(u"CutString"), u"[cut]");
    Call(u"SetParameter", {Variant(u"CutString"), Variant(7)});
    EXPECT_EQ(Driver().GetSettingValueStr(u"CutString"), u"[cut]");

    // DebugLogEnabled as a Boolean switches the whole log on at once; as text it is ignored.
    TLog::SetLogLevel(0);
    Call(u"SetParameter", {Variant(u"DebugLogEnabled"), Variant(u"True")});
    EXPECT_FALSE(Driver().GetSettingValueBool(u"DebugLogEnabled"));
    EXPECT_EQ(Driver().LogContext().Level(), 0);
    Call(u"SetParameter", {Variant(u"DebugLogEnabled"), Variant(true)});
    EXPECT_TRUE(Driver().GetSettingValueBool(u"DebugLogEnabled"));
    EXPECT_EQ(Driver().LogContext().Level(), 3);
    EXPECT_EQ(TLog::LogLevel(), 0) << "the object's own level, not the process's";

    // The call clears an earlier description and the result.
    Driver().SetLastResultDescription(u"старое");
    Call(u"DoAdditionalAction", {Variant(u"1003")});
    Call(u"SetParameter", {Variant(u"CutString"), Variant(u"")});
    EXPECT_EQ(LastError(), std::make_pair(0, std::u16string(u"Нет ошибок")));
}

TEST_F(EquipmentCommonMethods, OpenAlwaysWritesTheDeviceIdentifierZero) {
    for (const int32_t enableResult : {0, 1007}) {
        SCOPED_TRACE(enableResult);
        Driver().EnableResult = enableResult;
        const THostCall call = Call(u"Подключить", {Variant(u"прежнее")});
        EXPECT_TRUE(IsStr(call.Params[0], u"0"));
        EXPECT_TRUE(IsBool(call.Return, enableResult == 0));
        EXPECT_EQ(Driver().Enabled(), enableResult == 0);
        EXPECT_EQ(LastError().first, enableResult);
    }
}

TEST_F(EquipmentCommonMethods, CloseDisconnectsAndAlwaysSucceeds) {
    Call(u"Open");
    ASSERT_TRUE(Driver().Enabled());
    Driver().SetLastResultDescription(u"старое");
    const THostCall call = Call(u"Close", {Variant(u"0")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().DisableCalls, 1);
    EXPECT_FALSE(Driver().Enabled());
    EXPECT_EQ(LastError(), std::make_pair(0, std::u16string(u"Нет ошибок")));
}

TEST_F(EquipmentCommonMethods, DeviceTestWithAFailingConnectionReportsTheTrimmedText) {
    Driver().EnableResult = 0x46;
    Driver().EnableFailureText = u" \t[46] - Нет связи с ККТ\r\n";
    const THostCall call = Call(u"ТестУстройства", {Variant(u"x"), Variant(u"y")});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_TRUE(IsStr(call.Params[0], u"[46] - Нет связи с ККТ"));
    EXPECT_TRUE(IsStr(call.Params[1], u""));
    EXPECT_EQ(Driver().EnableCalls, 1);
    EXPECT_EQ(Driver().DisableCalls, 0);
    EXPECT_EQ(LastError().first, 0x46);
}

TEST_F(EquipmentCommonMethods, DeviceTestThatConnectsEndsDisconnected) {
    // Also when the host had opened the device before the test.
    Call(u"Open");
    Driver().SetLastResultDescription(u"старое");
    const THostCall call = Call(u"DeviceTest", {Variant(u"x"), Variant(u"y")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(IsStr(call.Params[0], u"Нет ошибок"));
    EXPECT_TRUE(IsStr(call.Params[1], u""));
    EXPECT_EQ(Driver().EnableCalls, 2);
    EXPECT_EQ(Driver().DisableCalls, 1);
    EXPECT_EQ(LastError(), std::make_pair(0, std::u16string(u"Нет ошибок")));
}

TEST_F(EquipmentCommonMethods, AdditionalActionsAreNoneAndUnsupported) {
    Driver().SetLastResultDescription(u"старое");
    THostCall call = Call(u"GetAdditionalActions");
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(IsStr(call.Params[0], u""));
    // The description is left as it was.
    EXPECT_EQ(LastError(), std::make_pair(0, std::u16string(u"старое")));

    Driver().UseBase = true;
    Driver().SetLastResultDescription(u"");
    call = Call(u"DoAdditionalAction", {Variant(u"Печать")});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_EQ(LastError(),
              std::make_pair(1003, std::u16string(u"Команда не поддерживается устройством")));
}

}  // namespace
}  // namespace fr::test
