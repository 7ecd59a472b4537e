// Registration data read back from the register (GetDataKKT) and registrations
// sent to it (OperationFN), end to end through the component object.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/driver.h"
#include "driver_fixture.h"
#include "support/log.h"
#include "tools/fremu/register_state.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::vector<std::string> kKKTAttributes = {"Fiscal",           "FNSerialNumber",
                                                 "KKTNumber",        "FFDVersionFN",
                                                 "FFDVersionKKT",    "KKTSerialNumber",
                                                 "DocumentNumber",   "DateTime",
                                                 "OrganizationName", "VATIN",
                                                 "AddressSettle",    "PlaceSettle",
                                                 "TaxVariant",       "DataEncryption",
                                                 "OfflineMode",      "AutomaticMode",
                                                 "ServiceSign",      "BSOSing",
                                                 "CalcOnlineSign",   "SaleExcisableGoods",
                                                 "SignOfGambling",   "SignOfLottery",
                                                 "SignOfAgent",      "PrinterAutomatic",
                                                 "AutomaticNumber",  "OFDOrganizationName",
                                                 "OFDVATIN",         "FNSWebSite",
                                                 "SenderEmail"};

class DriverFiscalStorage : public DriverFixture {
  protected:
    // Starts the register from a changed factory state, then opens over TCP.
    void StartWith(const std::function<void(emu::TRegisterState&)>& AChange,
                   bool ARegistered = true) {
        emu::TRegisterState state = emu::MakeFactoryState(std::time(nullptr), ARegistered);
        AChange(state);
        StartEmulator({}, emu::StateToJson(state).dump());
        OpenTcp();
    }

    TDriverCall GetDataKKT() { return Call(u"GetDataKKT"); }

    TDriverCall OperationFN(int AType, const std::u16string& AAttributes) {
        const std::u16string xml =
            u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><ParametersFiscal " + AAttributes + u"/>";
        return Call(u"OperationFN", {Variant(u"0"), Variant(int32_t{AType}), Variant(xml)});
    }

    // The fields of the registration command after ASince.
    std::vector<std::string> Registration(uint64_t ASince) { return LastFields("60", ASince); }

    static std::string Attr(const TDriverCall& ACall, const char16_t* AName) {
        return XmlAttr(ACall.Param(1), u"Parameters", AName);
    }
};

TEST_F(DriverFiscalStorage, DriverGetDataKKTReadsAll29AttributesInOrder) {
    StartWith([](emu::TRegisterState& s) {
        s.TaxSystems = 33;                  // bits 0 and 5
        s.WorkMode = 0x0500 | 0x01 | 0x80;  // agents 0 and 2, encryption, gambling
        s.Lottery = true;
        s.PrinterAutomatic = true;
        s.FfdKkt = 2;
        s.FfdFn = 3;
        s.Tables["30.0"] = "ООО \"Ромашка\" ";
        s.Tables["30.1"] = " и партнёры";
        s.Tables["70.0"] = "AUTO01";
    });
    const uint64_t mark = LastSeq();
    const TDriverCall call = GetDataKKT();
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_EQ(XmlRootName(call.Param(1)), "Parameters");
    EXPECT_EQ(XmlAttrNames(call.Param(1), u"Parameters"), kKKTAttributes);

    EXPECT_EQ(Attr(call, u"Fiscal"), "true");
    EXPECT_EQ(Attr(call, u"FNSerialNumber"), "9999078900012345");
    EXPECT_EQ(Attr(call, u"KKTNumber"), "0000000001012345");
    EXPECT_EQ(Attr(call, u"FFDVersionFN"), "1.1");
    EXPECT_EQ(Attr(call, u"FFDVersionKKT"), "1.0.5");
    EXPECT_EQ(Attr(call, u"KKTSerialNumber"), "0107000000000001");
    EXPECT_EQ(Attr(call, u"DocumentNumber"), "1");
    EXPECT_EQ(Attr(call, u"OrganizationName"), "ООО \"Ромашка\"и партнёры");
    EXPECT_EQ(Attr(call, u"VATIN"), "7700000000");
    EXPECT_EQ(Attr(call, u"AddressSettle"), "г. Москва, ул. Тестовая, д. 1");
    EXPECT_EQ(Attr(call, u"PlaceSettle"), "Торговый зал");
    EXPECT_EQ(Attr(call, u"TaxVariant"), "0,5");
    EXPECT_EQ(Attr(call, u"DataEncryption"), "true");
    EXPECT_EQ(Attr(call, u"OfflineMode"), "false");
    EXPECT_EQ(Attr(call, u"SignOfGambling"), "true");
    EXPECT_EQ(Attr(call, u"SignOfLottery"), "true");
    EXPECT_EQ(Attr(call, u"SignOfAgent"), "0,2");
    EXPECT_EQ(Attr(call, u"PrinterAutomatic"), "true");
    EXPECT_EQ(Attr(call, u"AutomaticNumber"), "AUTO01");
    EXPECT_EQ(Attr(call, u"OFDOrganizationName"), "ООО \"Оператор данных\"");
    EXPECT_EQ(Attr(call, u"OFDVATIN"), "7709999999");
    EXPECT_EQ(Attr(call, u"FNSWebSite"), "www.nalog.gov.ru");
    EXPECT_EQ(Attr(call, u"SenderEmail"), "kassa@example.ru");

    // One request at a time in table order; no pre-check.
    std::vector<std::string> sequence;
    for (const auto& r : Requests(mark))
        sequence.push_back(r.Command + ":" + r.Fields.at(0) +
                           (r.Command == "11" ? "." + r.Fields.at(1) : ""));
    EXPECT_THAT(sequence,
                ElementsAre("78:2", "78:1", "02:4", "78:14", "02:1", "78:5", "78:6", "11:30.0",
                            "11:30.1", "02:3", "11:30.2", "11:30.3", "11:85.0", "02:23", "11:70.0",
                            "11:81.0", "11:71.0", "11:83.0", "11:82.0"));
}

TEST_F(DriverFiscalStorage, DriverGetDataKKTOfAnUnregisteredRegister) {
    StartWith([](emu::TRegisterState& s) { s.FfdFn = 4; }, false);
    const TDriverCall call = GetDataKKT();
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_EQ(Attr(call, u"Fiscal"), "false");
    EXPECT_EQ(Attr(call, u"FFDVersionFN"), "");
    EXPECT_EQ(Attr(call, u"TaxVariant"), "0");
    EXPECT_EQ(Attr(call, u"SignOfAgent"), "");
    EXPECT_EQ(Attr(call, u"OrganizationName"), "");
}

TEST_F(DriverFiscalStorage, DriverGetDataKKTFailureStillReturnsWhatWasRead) {
    StartEmulator();
    OpenTcp();
    emu::TFault fault;
    fault.Kind = emu::TFaultKind::fkError;
    fault.Command = "11";
    fault.Code = 0x33;
    Emu().AddFault(fault);
    const TDriverCall call = GetDataKKT();
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 0x33);
    EXPECT_EQ(U8(call.ErrorText).rfind("[33] - ", 0), 0u) << U8(call.ErrorText);
    EXPECT_EQ(XmlAttrNames(call.Param(1), u"Parameters"),
              std::vector<std::string>(kKKTAttributes.begin(), kKKTAttributes.begin() + 8));
}

TEST_F(DriverFiscalStorage, DriverOperationFNSendsPaddedAndSplitFields) {
    StartEmulator();
    OpenTcp();
    const std::u16string org(100, u'Я');
    const std::u16string address = std::u16string(44, u'A') + std::u16string(10, u'B');
    const uint64_t mark = LastSeq();
    const TDriverCall call = OperationFN(
        2, u"CashierName=\"Иванов\" KKTNumber=\"0000000002\" OrganizationName=\"" + org +
               u"\" VATIN=\"7700000000\" AddressSettle=\"" + address +
               u"\" PlaceSettle=\"Склад\" TaxVariant=\"1,3,5\" OfflineMode=\"tRUe\" "
               u"DataEncryption=\"1\" ReasonCode=\"4\" PrinterAutomatic=\"true\" "
               u"SignOfAgent=\"0,2\" SignOfLottery=\"true\" OFDVATIN=\"7709999998\" "
               u"OFDOrganizationName=\"ОФД\" SenderEmail=\"a@b.ru\" FNSWebSite=\"nalog.ru\"");
    ASSERT_TRUE(call.Ok()) << call.Code << " " << U8(call.ErrorText);
    const auto f = Registration(mark);
    ASSERT_EQ(f.size(), 19u);
    EXPECT_EQ(f[0], "0");  // re-registration: the reason code is not 0
    EXPECT_EQ(f[1], "0000000002      ");
    EXPECT_EQ(f[2], "7700000000");
    EXPECT_EQ(f[3], "42");
    // Offline only: "1" is no true; the agent kinds and the lottery sign have no
    // place in the one-byte work mode.
    EXPECT_EQ(f[4], "2");
    EXPECT_EQ(f[5], "Иванов");
    EXPECT_EQ(f[8], U8(org.substr(0, 44)));
    EXPECT_EQ(f[9], U8(org.substr(44, 44)));
    EXPECT_EQ(f[10], U8(address.substr(0, 44)));
    EXPECT_EQ(f[11], "BBBBBBBBBB");
    EXPECT_EQ(f[12], "Склад");
    EXPECT_EQ(f[13], std::string(12, ' '));
    EXPECT_EQ(f[14], "ОФД");
    EXPECT_EQ(f[15], "7709999998  ");
    EXPECT_EQ(f[16], "a@b.ru");
    EXPECT_EQ(f[17], "nalog.ru");
    EXPECT_EQ(f[18], "1");
    const auto state = Emu().State();
    EXPECT_EQ(state.TaxSystems, 42);
    EXPECT_EQ(state.WorkMode & 0xFF, 2);
}

TEST_F(DriverFiscalStorage, DriverOperationFNWithoutReasonRegistersANewStorage) {
    StartWith([](emu::TRegisterState&) {}, false);
    const uint64_t mark = LastSeq();
    const TDriverCall call =
        OperationFN(1, u"KKTNumber=\"0000000003000000\" VATIN=\"770000000012\" TaxVariant=\"0\"");
    ASSERT_TRUE(call.Ok()) << call.Code << " " << U8(call.ErrorText);
    EXPECT_EQ(Registration(mark).at(0), "1");
    EXPECT_TRUE(Emu().State().Registered);
}

TEST_F(DriverFiscalStorage, DriverOperationFNRefusesBadLengthsBeforeSending) {
    StartEmulator();
    OpenTcp();
    const std::u16string valid = u"KKTNumber=\"0000000002\" TaxVariant=\"0\" ";
    const std::u16string cases[] = {
        u"KKTNumber=\"00000000020000000000\" VATIN=\"7700000000\"",
        valid + u"VATIN=\"77000000001\"",
        valid + u"VATIN=\"7700000000\" OFDVATIN=\"7709999999999\"",
    };
    for (const auto& attributes : cases) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = OperationFN(1, attributes);
        EXPECT_FALSE(call.Ok()) << U8(attributes);
        EXPECT_EQ(call.Code, 1001) << U8(attributes);
        EXPECT_EQ(U8(call.ErrorText), "[1001] - Неверный параметр") << U8(attributes);
        // The status and the fiscal storage's last number, which the registration
        // would move; the registration itself never leaves.
        EXPECT_THAT(Commands(mark), ElementsAre("00", "78")) << U8(attributes);
    }
}

TEST_F(DriverFiscalStorage, DriverOperationFNTypeThreeClosesTheFiscalStorage) {
    StartEmulator();
    OpenTcp();
    const uint64_t mark = LastSeq();
    const TDriverCall call = OperationFN(3, u"CashierName=\"Петров\" KKTNumber=\"1\"");
    ASSERT_TRUE(call.Ok()) << call.Code << " " << U8(call.ErrorText);
    EXPECT_THAT(Commands(mark), ElementsAre("00", "78", "71"));
    EXPECT_THAT(LastFields("71", mark), ElementsAre("Петров"));
    EXPECT_TRUE(Emu().State().FnClosed);
    EXPECT_EQ(Documents().back().Kind, "fn_close");
}

TEST_F(DriverFiscalStorage, DriverOperationFNWithoutRootElementGives1004Silently) {
    StartEmulator();
    OpenTcp();
    auto* driver = dynamic_cast<TDriver*>(Component().Driver());
    ASSERT_NE(driver, nullptr);
    driver->SetLastResultDescription(u"before");
    const uint64_t mark = LastSeq();
    EXPECT_EQ(driver->OperationFN(1, XmlDocument::Create()), 1004);
    EXPECT_THAT(Commands(mark), ElementsAre("00"));
    EXPECT_EQ(driver->StoredResultDescription(), u"before");
    for (const auto& line : LogLines())
        EXPECT_EQ(line.find("OperationFN ["), std::string::npos);
}

}  // namespace
}  // namespace fr::test
