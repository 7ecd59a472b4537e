// The fiscal methods' layouts, conversions and guards, driven through the
// component object.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "recording_driver.h"
#include "support/xml_document.h"

namespace fr::test {
namespace {

const char16_t kInput[] =
    u"<InputParameters><Parameters CashierName=\"Иванов И.И.\" CashierVATIN=\"771234567890\"/>"
    u"</InputParameters>";
const char16_t kCheck[] =
    u"<CheckPackage><Parameters CashierName=\"Петров\"/><Positions/></CheckPackage>";
const char16_t kUntouched[] = u"не тронуто";

struct TMethodCase {
    const char16_t* Name;
    std::vector<Variant> Params;
    std::vector<size_t> Outputs;  // elements the handler writes on success
};

// Every fiscal method with well-formed inputs and a marker in its output elements.
std::vector<TMethodCase> FiscalCases() {
    const Variant u(kUntouched);
    return {
        {u"GetDataKKT", {Variant(u"0"), u}, {1}},
        {u"PrintTextDocument", {Variant(u"0"), Variant(u"<Document><Positions/></Document>")}, {}},
        {u"ProcessCorrectionCheck",
         {Variant(u"0"), Variant(u"<CheckCorrectionPackage/>"), u, u, u, u},
         {2, 3, 4, 5}},
        {u"ProcessCheck",
         {Variant(u"0"), Variant(false), Variant(kCheck), u, u, u, u},
         {3, 4, 5, 6}},
        {u"OperationFN", {Variant(u"0"), Variant(1), Variant(u"<ParametersFiscal/>")}, {}},
        {u"OpenShift", {Variant(u"0"), Variant(kInput), u, u, u}, {2, 3, 4}},
        {u"CloseShift", {Variant(u"0"), Variant(kInput), u, u, u}, {2, 3, 4}},
        {u"CashInOutcome", {Variant(u"0"), Variant(kInput), Variant(10.0)}, {}},
        {u"PrintXReport", {Variant(u"0"), Variant(kInput)}, {}},
        {u"ReportCurrentStatusOfSettlements", {Variant(u"0"), Variant(kInput), u}, {2}},
        {u"GetCurrentStatus", {Variant(u"0"), u, u, u, u}, {1, 2, 3, 4}},
    };
}

std::u16string ParserMessage(std::u16string_view text) {
    try {
        XmlDocument document;
        document.LoadFromText(text);
    } catch (const Exception& e) {
        return e.Message();
    }
    return u"(parsed)";
}

std::u16string Root(const IXMLDocument& document) {
    return document ? document->DocumentElement().NodeName() : u"(none)";
}

using EquipmentFiscalMethods = EquipmentFixture;

TEST_F(EquipmentFiscalMethods, RegistersTheThirteenMethodsAfterTheStandardOnes) {
    struct Row {
        const char16_t* Name;
        const char16_t* Alias;
        int32_t Params;
    };
    const Row rows[] = {
        {u"GetDataKKT", u"ПолучитьПараметрыККТ", 2},
        {u"PrintTextDocument", u"НапечататьТекстовыйДокумент", 2},
        {u"ProcessCorrectionCheck", u"СформироватьЧекКоррекции", 6},
        {u"ProcessCheck", u"СформироватьЧек", 7},
        {u"OperationFN", u"ОперацияФН", 3},
        {u"OpenShift", u"ОткрытьСмену", 5},
        {u"CloseShift", u"ЗакрытьСмену", 5},
        {u"CashInOutcome", u"НапечататьЧекВнесенияВыемки", 3},
        {u"PrintXReport", u"НапечататьОтчетБезГашения", 2},
        {u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов", 3},
        {u"GetCurrentStatus", u"ПолучитьТекущееСостояние", 5},
        {u"OpenCashDrawer", u"ОткрытьДенежныйЯщик", 1},
        {u"GetLineLength", u"ПолучитьШиринуСтроки", 2},
    };
    int32_t total = 0;
    Object().GetNMethods(total);
    ASSERT_EQ(total, 2 + 9 + 13);
    int32_t index = 11;
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf16ToUtf8(row.Name));
        int32_t byName = -1, byAlias = -1, byLower = -1, count = -1;
        Object().FindMethod(row.Name, byName);
        Object().FindMethod(UpperCase(row.Alias), byAlias);
        Object().FindMethod(LowerCase(row.Name), byLower);
        EXPECT_EQ(byName, index);
        EXPECT_EQ(byAlias, index);
        EXPECT_EQ(byLower, index);
        std::u16string reported;
        Object().GetMethodName(index, 1, reported);
        EXPECT_EQ(reported, row.Name);  // English primary names here
        Object().GetNParams(index, count);
        EXPECT_EQ(count, row.Params);
        ++index;
    }
}

TEST_F(EquipmentFiscalMethods, TheCutStringSettingFollowsTheBaseSetting) {
    ASSERT_EQ(Driver().SettingsCount(), 3);  // DebugLogEnabled, CutString, LogRetentionDays
    const PSettingStruct cut = Driver().Settings(1);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->ID, u"CutString");
    EXPECT_EQ(cut->Alias, u"");
    EXPECT_EQ(cut->ValueType, dtString);
    EXPECT_TRUE(IsStr(cut->Default, u""));
    EXPECT_FALSE(cut->ReadOnly);
    EXPECT_EQ(cut->Name, u"Маркер отреза бумаги");
    EXPECT_NE(cut->Description.find(u"\"[cut]\""), std::u16string::npos);
}

TEST_F(EquipmentFiscalMethods, SuccessWritesEveryOutputWithItsType) {
    for (const TMethodCase& c : FiscalCases()) {
        SCOPED_TRACE(Utf16ToUtf8(c.Name));
        const THostCall call = Call(c.Name, c.Params);
        EXPECT_EQ(call.Hr, kHrOk);
        EXPECT_TRUE(IsBool(call.Return, true));
        EXPECT_EQ(Driver().LastCall(), c.Name);
        for (size_t i : c.Outputs) {
            EXPECT_FALSE(IsStr(call.Params[i], kUntouched)) << "element " << i;
        }
    }
}

TEST_F(EquipmentFiscalMethods, ProcessCheckHandsOverItsArgumentsAndReturnsTheOutputs) {
    const THostCall call =
        Call(u"СформироватьЧек", {Variant(u"0"), Variant(true), Variant(kCheck)});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(Driver().Electronically);
    EXPECT_EQ(Root(Driver().Package), u"CheckPackage");
    EXPECT_TRUE(IsDouble(call.Params[3], 17.0));
    EXPECT_TRUE(IsDouble(call.Params[4], 12.0));
    EXPECT_TRUE(IsStr(call.Params[5], u"3826117489"));
    EXPECT_TRUE(IsStr(call.Params[6], u"www.tax-service.example"));
}

TEST_F(EquipmentFiscalMethods, ProcessCorrectionCheckWritesElementsTwoToFive) {
    const THostCall call =
        Call(u"ProcessCorrectionCheck", {Variant(u"0"), Variant(u"<CheckCorrectionPackage/>")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Root(Driver().Package), u"CheckCorrectionPackage");
    EXPECT_TRUE(IsDouble(call.Params[2], 3.0));
    EXPECT_TRUE(IsDouble(call.Params[3], 4.0));
    EXPECT_TRUE(IsStr(call.Params[4], u"12345"));
    EXPECT_TRUE(IsStr(call.Params[5], u"site"));
}

TEST_F(EquipmentFiscalMethods, ShiftsReturnTheOutputDocumentAndCountsAsDoubles) {
    THostCall call = Call(u"OpenShift", {Variant(u"0"), Variant(kInput)});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().CashierName, u"Иванов И.И.");
    EXPECT_EQ(Driver().CashierVATIN, u"771234567890");
    ASSERT_EQ(call.Params[2].Type(), vtOleStr);
    XmlDocument output;
    output.LoadFromText(call.Params[2].StrValue());
    EXPECT_EQ(output.DocumentElement().NodeName(), u"OutputParameters");
    EXPECT_EQ(call.Params[2].StrValue().find(u"<?xml version=\"1.0\""), 0u);
    EXPECT_TRUE(IsDouble(call.Params[3], 12.0));
    EXPECT_TRUE(IsDouble(call.Params[4], 345.0));

    call = Call(u"ЗакрытьСмену", {Variant(u"0"), Variant(kInput)});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().LastCall(), u"CloseShift");
    EXPECT_TRUE(IsDouble(call.Params[3], 13.0));
    EXPECT_TRUE(IsDouble(call.Params[4], 9007199254740992.0));
}

TEST_F(EquipmentFiscalMethods, GetCurrentStatusWritesTheShiftStateAsAnInteger) {
    const THostCall call = Call(u"GetCurrentStatus");
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(IsDouble(call.Params[1], 8.0));
    EXPECT_TRUE(IsDouble(call.Params[2], 9.0));
    EXPECT_TRUE(IsInt(call.Params[3], 2));
    ASSERT_EQ(call.Params[4].Type(), vtOleStr);
    EXPECT_NE(call.Params[4].StrValue().find(u"<StatusParameters"), std::u16string::npos);
}

TEST_F(EquipmentFiscalMethods, ReportCurrentStatusOfSettlementsReturnsItsDocument) {
    const THostCall call =
        Call(u"ReportCurrentStatusOfSettlements", {Variant(u"0"), Variant(kInput)});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().CashierName, u"Иванов И.И.");
    ASSERT_EQ(call.Params[2].Type(), vtOleStr);
    EXPECT_NE(call.Params[2].StrValue().find(u"<OutputParameters"), std::u16string::npos);
}

TEST_F(EquipmentFiscalMethods, LineLengthAndCashDrawerAreTheBaseClassAnswers) {
    THostCall call = Call(u"ПолучитьШиринуСтроки");
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(IsInt(call.Params[1], 40));

    call = Call(u"OpenCashDrawer", {Variant(u"0")});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_EQ(LastError(),
              std::make_pair(1003, std::u16string(u"Команда не поддерживается устройством")));
}

TEST_F(EquipmentFiscalMethods, AFailedOperationWritesNoOutputsButGetDataKKTsDocument) {
    Driver().OperationResult = 3005;
    Driver().OperationFailureText = u"[05] - Смена закрыта";
    for (const TMethodCase& c : FiscalCases()) {
        SCOPED_TRACE(Utf16ToUtf8(c.Name));
        const THostCall call = Call(c.Name, c.Params);
        EXPECT_TRUE(IsBool(call.Return, false));
        EXPECT_EQ(LastError(), std::make_pair(3005, std::u16string(u"[05] - Смена закрыта")));
        for (size_t i : c.Outputs) {
            if (std::u16string_view(c.Name) == u"GetDataKKT") continue;
            EXPECT_TRUE(IsStr(call.Params[i], kUntouched)) << "element " << i;
        }
        if (std::u16string_view(c.Name) == u"GetDataKKT") {
            // What the operation had read before failing still reaches the host.
            ASSERT_EQ(call.Params[1].Type(), vtOleStr);
            EXPECT_NE(call.Params[1].StrValue().find(u"<Parameters KKTNumber=\"0001\""),
                      std::u16string::npos);
        }
    }
}

TEST_F(EquipmentFiscalMethods, WithoutAnOverrideEveryOperationAnswersNotSupported) {
    Driver().UseBase = true;
    for (const TMethodCase& c : FiscalCases()) {
        SCOPED_TRACE(Utf16ToUtf8(c.Name));
        Driver().SetLastResultDescription(u"");
        const THostCall call = Call(c.Name, c.Params);
        EXPECT_TRUE(IsBool(call.Return, false));
        EXPECT_EQ(LastError(),
                  std::make_pair(1003, std::u16string(u"Команда не поддерживается устройством")));
        for (size_t i : c.Outputs) {
            if (std::u16string_view(c.Name) == u"GetDataKKT") continue;
            EXPECT_TRUE(IsStr(call.Params[i], kUntouched)) << "element " << i;
        }
    }
    // GetDataKKT still hands back its document: created empty, declaration only.
    const THostCall call = Call(u"GetDataKKT");
    ASSERT_EQ(call.Params[1].Type(), vtOleStr);
    XmlDocument document;
    const std::u16string text = call.Params[1].StrValue();
    EXPECT_EQ(text.find(u"<?xml version=\"1.0\""), 0u);
    EXPECT_EQ(text.find(u"encoding"), std::u16string::npos);
    document.LoadFromText(text + u"<r/>");
    EXPECT_EQ(document.DocumentElement().NodeName(), u"r");
}

// A success after a failure must not read as code 0 with the failure's text.
TEST_F(EquipmentFiscalMethods, FiscalHandlersDropAnEarlierDescription) {
    Driver().SetLastResultDescription(u"[05] - прежняя ошибка");
    EXPECT_TRUE(IsBool(Call(u"GetLineLength").Return, true));
    EXPECT_EQ(LastError(), std::make_pair(0, std::u16string(u"Нет ошибок")));
}

// --- input parameters documents -----------------------------------------------------

TEST_F(EquipmentFiscalMethods, UnusableInputParametersAnswer1004WithoutCallingTheOperation) {
    const char16_t* badInputs[] = {
        u"<InputParameters><Parameters CashierName=\"Иванов\"/></InputParameters>",
        u"<InputParameters><Parameters CashierVATIN=\"7701\"/></InputParameters>",
        u"<InputParameters><Other CashierName=\"Иванов\" CashierVATIN=\"7701\"/></InputParameters>",
        u"<Parameters CashierName=\"Иванов\" CashierVATIN=\"7701\"/>",  // the root is not the child
        u"<InputParameters><Parameters CashierName=\"Иванов\"",         // does not parse
        u"",
    };
    const char16_t* methods[] = {u"OpenShift", u"CloseShift", u"CashInOutcome", u"PrintXReport",
                                 u"ReportCurrentStatusOfSettlements"};
    for (const char16_t* method : methods) {
        for (const char16_t* input : badInputs) {
            SCOPED_TRACE(Utf16ToUtf8(method) + " " + Utf16ToUtf8(input));
            Driver().Calls.clear();
            Driver().SetLastResultDescription(u"прежний текст");
            const THostCall call =
                Call(method, {Variant(u"0"), Variant(input), Variant(kUntouched)});
            EXPECT_TRUE(IsBool(call.Return, false));
            EXPECT_TRUE(Driver().Calls.empty());
            EXPECT_EQ(Driver().LastResultCode(), 1004);
            EXPECT_EQ(Driver().StoredResultDescription(), u"");
            if (std::u16string_view(method) != u"CashInOutcome") {
                EXPECT_TRUE(IsStr(call.Params[2], kUntouched));
            }
        }
        // A null document is unreadable too.
        Driver().Calls.clear();
        Call(method, {Variant(u"0"), Variant::Null(), Variant(1)});
        EXPECT_EQ(Driver().LastResultCode(), 1004);
        EXPECT_TRUE(Driver().Calls.empty());
    }
}

TEST_F(EquipmentFiscalMethods, InputParametersAcceptAnEmptyVATINAndAnyRootAndOrder) {
    const THostCall call =
        Call(u"PrintXReport",
             {Variant(u"0"),
              Variant(u"<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
                      u"<Любой><Other/><Parameters CashierName=\"Сидоров\" CashierVATIN=\"\"/>"
                      u"<Parameters CashierName=\"Второй\" CashierVATIN=\"1\"/></Любой>")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().CashierName, u"Сидоров");
    EXPECT_EQ(Driver().CashierVATIN, u"");
}

TEST_F(EquipmentFiscalMethods, CashInOutcomePassesTheAmountAsMoney) {
    THostCall call = Call(u"CashInOutcome", {Variant(u"0"), Variant(kInput), Variant(100.5)});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().Amount.raw, 1005000);
    EXPECT_EQ(Driver().CashierVATIN, u"771234567890");

    call = Call(u"CashInOutcome", {Variant(u"0"), Variant(kInput), Variant(-20)});
    EXPECT_EQ(Driver().Amount.raw, -200000);

    // An amount that is no number: 1001 with the conversion's message, no call.
    Driver().Calls.clear();
    std::u16string expected;
    try {
        VarToCurr(Variant(u"сто"));
    } catch (const Exception& e) {
        expected = e.Message();
    }
    ASSERT_FALSE(expected.empty());
    call = Call(u"CashInOutcome", {Variant(u"0"), Variant(kInput), Variant(u"сто")});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_EQ(LastError(), std::make_pair(1001, expected));
}

// --- conversions and cleaning ---------------------------------------------------------

TEST_F(EquipmentFiscalMethods, OperationFNTakesTheLowByteOfTheType) {
    struct Row {
        Variant Type;
        uint8_t Expected;
    };
    const Row rows[] = {{Variant(257), 1},
                        {Variant(2), 2},
                        {Variant(u"255"), 255},
                        {Variant(-1), 255},
                        {Variant(512.0), 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.Expected));
        const THostCall call =
            Call(u"ОперацияФН", {Variant(u"0"), row.Type, Variant(u"<ParametersFiscal/>")});
        EXPECT_TRUE(IsBool(call.Return, true));
        EXPECT_EQ(Driver().OperationType, row.Expected);
    }
}

TEST_F(EquipmentFiscalMethods, AnUnconvertibleElementAnswers1001WithTheConvertersMessage) {
    std::u16string boolMessage, intMessage;
    try {
        VarToBool(Variant(u"abc"));
    } catch (const Exception& e) {
        boolMessage = e.Message();
    }
    try {
        VarToInt(Variant(u"abc"));
    } catch (const Exception& e) {
        intMessage = e.Message();
    }
    ASSERT_FALSE(boolMessage.empty());
    ASSERT_FALSE(intMessage.empty());

    THostCall call = Call(u"ProcessCheck",
                          {Variant(u"0"), Variant(u"abc"), Variant(kCheck), Variant(kUntouched)});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_TRUE(IsStr(call.Params[3], kUntouched));
    EXPECT_EQ(LastError(), std::make_pair(1001, boolMessage));

    call = Call(u"OperationFN", {Variant(u"0"), Variant(u"abc"), Variant(u"<P/>")});
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_EQ(LastError(), std::make_pair(1001, intMessage));
}

TEST_F(EquipmentFiscalMethods, CleanedPackagesLoseControlCharactersPlainOnesAreRejected) {
    const std::u16string withBell =
        u"<CheckPackage><Parameters Text=\"A\u0007B\tC\" Other=\"\u0001\u001F\"/></CheckPackage>";
    // Cleaned: the bell and the other control bytes are gone, TAB stays (as the
    // parser normalises it inside an attribute).
    THostCall call = Call(u"ProcessCheck", {Variant(u"0"), Variant(false), Variant(withBell)});
    EXPECT_TRUE(IsBool(call.Return, true));
    const XmlNode parameters = Driver().Package->DocumentElement().ChildNamed(u"Parameters");
    const std::u16string text = VarToStr(parameters.Attribute(u"Text"));
    EXPECT_EQ(text.substr(0, 2), u"AB");
    EXPECT_EQ(text.back(), u'C');
    EXPECT_TRUE(IsStr(parameters.Attribute(u"Other"), u""));

    for (const char16_t* method : {u"PrintTextDocument", u"OperationFN"}) {
        SCOPED_TRACE(Utf16ToUtf8(method));
        const size_t slot = std::u16string_view(method) == u"OperationFN" ? 2 : 1;
        std::vector<Variant> params{Variant(u"0"), Variant(1), Variant()};
        params[slot] = Variant(withBell);
        EXPECT_TRUE(IsBool(Call(method, params).Return, true));
        EXPECT_EQ(Driver().LastCall(), method);
    }

    call = Call(u"OpenShift",
                {Variant(u"0"),
                 Variant(u"<I><Parameters CashierName=\"Ив\u0007ан\" CashierVATIN=\"\"/></I>")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_EQ(Driver().CashierName, u"Иван");
}

// XML 1.0 admits no control characters but TAB, LF and CR: a plain package keeps
// them and the parser must refuse it.
TEST_F(EquipmentFiscalMethods, PlainPackagesWithControlCharactersAreRejected) {
    THostCall call;
    const std::u16string correction = u"<CheckCorrectionPackage Text=\"A\u0007B\"/>";
    const std::u16string message = ParserMessage(correction);
    ASSERT_NE(message, u"(parsed)") << "the XML layer must refuse characters XML 1.0 forbids";
    Driver().Calls.clear();
    call = Call(u"ProcessCorrectionCheck", {Variant(u"0"), Variant(correction)});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_EQ(LastError(), std::make_pair(1001, message));

    // With an input parameters document the plain rejection is a 1004.
    call = Call(
        u"PrintXReport",
        {Variant(u"0"), Variant(u"<I><Parameters CashierName=\"\u0007\" CashierVATIN=\"\"/></I>")});
    EXPECT_EQ(Driver().LastResultCode(), 1004);
    EXPECT_TRUE(Driver().Calls.empty());
}

TEST_F(EquipmentFiscalMethods, CharactersOutsideCodePage1251ArriveReplaced) {
    const THostCall call =
        Call(u"ProcessCheck",
             {Variant(u"0"), Variant(false), Variant(u"<CheckPackage Text=\"Чек 中 №1 €\"/>")});
    EXPECT_TRUE(IsBool(call.Return, true));
    EXPECT_TRUE(IsStr(Driver().Package->DocumentElement().Attribute(u"Text"), u"Чек ? №1 €"));
}

TEST_F(EquipmentFiscalMethods, APackageThatDoesNotParseAnswers1001WithTheParsersMessage) {
    const std::u16string broken = u"<CheckPackage><Positions></CheckPackage>";
    const THostCall call = Call(u"ProcessCheck", {Variant(u"0"), Variant(true), Variant(broken)});
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_EQ(LastError(), std::make_pair(1001, ParserMessage(broken)));

    // A null package fails the strict conversion.
    Call(u"PrintTextDocument", {Variant(u"0"), Variant::Null()});
    EXPECT_EQ(Driver().LastResultCode(), 1001);
    EXPECT_FALSE(Driver().StoredResultDescription().empty());
}

TEST_F(EquipmentFiscalMethods, AnErrorFromTheOperationItselfIsCaughtAs1001) {
    Driver().ThrowFromOperation = true;
    const THostCall call = Call(u"ProcessCheck", {Variant(u"0"), Variant(true), Variant(kCheck)});
    EXPECT_EQ(call.Hr, kHrOk);
    EXPECT_TRUE(IsBool(call.Return, false));
    EXPECT_EQ(LastError(), std::make_pair(1001, std::u16string(u"сбой операции")));
}

}  // namespace
}  // namespace fr::test
