// What the queries read back from their answers, and the multi-command operations.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "device/device_errors.h"
#include "scripted_device.h"
#include "test_util.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;

class DeviceCommandResultTest : public ::testing::Test {
  protected:
    TScriptedDevice dev;
};

TEST_F(DeviceCommandResultTest, EcrStatusFields) {
    dev.QueueReply("00", {"3", "12", "x"});
    uint8_t fatal = 9, document = 9;
    uint16_t current = 9;
    dev.GetECRStatus(fatal, current, document);
    EXPECT_EQ(fatal, 3);
    EXPECT_EQ(current, 12);
    EXPECT_EQ(document, 0);
}

TEST_F(DeviceCommandResultTest, DayStateFromTheStatusBits) {
    struct Case {
        const char* status;
        uint8_t state;
    };
    const Case cases[] = {{"0", 1}, {"8", 1}, {"4", 0}, {"12", 2}, {"15", 2}, {"x", 1}};
    for (const auto& c : cases) {
        dev.QueueReply("00", {"0", c.status, "0"});
        EXPECT_EQ(dev.GetDayState(), c.state) << c.status;
    }
}

TEST_F(DeviceCommandResultTest, PrinterStateMustBeANumber) {
    dev.QueueReply("00", {"5"});
    EXPECT_EQ(dev.GetPrinterState(), 5);
    dev.QueueReply("00", {"busy"});
    EXPECT_THROW(dev.GetPrinterState(), EConvertError);
}

TEST_F(DeviceCommandResultTest, DrawerStateAndSettingTableReads) {
    dev.QueueReply("00", {"z"});
    EXPECT_EQ(dev.GetDrawerState(), 0);
    dev.QueueReply("00", {"258"});
    EXPECT_EQ(dev.ReadSettingTableByte(1, 1), 2);  // the low byte
    dev.QueueReply("00", {"65535"});
    EXPECT_EQ(dev.ReadSettingTableWord(1, 1), 65535);
    dev.QueueReply("00", {"1.25"});
    EXPECT_EQ(dev.ReadSettingTableFloat(1, 1), 1.25);
    dev.QueueReply("00", {Oem(u"Магазин")});
    EXPECT_EQ(dev.ReadSettingTableStr(1, 1), "\xCC\xE0\xE3\xE0\xE7\xE8\xED");
}

TEST_F(DeviceCommandResultTest, QueriesReturnTheWholeAnswer) {
    dev.QueueReply("00", {"a", "", "c"});
    EXPECT_THAT(dev.GetECRInfo(1), ElementsAre("a", "", "c"));
    dev.QueueReply("00", {"1"});
    EXPECT_THAT(dev.GetCounterValue(1), ElementsAre("1"));
    dev.QueueReply("00", {"x", "y"});
    EXPECT_THAT(dev.FNGetInfo(1, 0, 0), ElementsAre("x", "y"));
}

TEST_F(DeviceCommandResultTest, LastReceiptInfo) {
    dev.QueueReply(
        "00", {"0", "2", "00012", "4000000000", "17", "1234.56789", "0.00004", "-1", "\x31\x8A"});
    uint8_t type = 0;
    std::u16string counter, kpk;
    uint32_t recNumber = 0, docNumber = 0;
    Currency sum, discount, margin;
    dev.GetLastReceiptInfo(type, counter, recNumber, docNumber, sum, discount, margin, kpk);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(counter, u"00012");
    EXPECT_EQ(recNumber, 4000000000u);
    EXPECT_EQ(docNumber, 17u);
    EXPECT_EQ(sum, Currency::FromRaw(12345679));
    EXPECT_EQ(discount, Currency::FromRaw(0));
    EXPECT_EQ(margin, Currency::FromRaw(-10000));
    EXPECT_EQ(kpk, u"1\u0409");  // 1251 text, not converted from 866
}

TEST_F(DeviceCommandResultTest, DateTimeAddsDateAndTime) {
    dev.QueueReply("00", {"311299", "235959"});
    TDateTime value = 0;
    dev.GetDateTime(value);
    EXPECT_NEAR(value, EncodeDate(2099, 12, 31) + EncodeTime(23, 59, 59, 0), 1e-9);
    dev.QueueReply("00", {"311299"});
    dev.GetDateTime(value);
    EXPECT_EQ(value, EncodeDate(2099, 12, 31));
}

TEST_F(DeviceCommandResultTest, LastFiscalDocumentRecord) {
    dev.QueueReply("00", {"0", "17"});
    dev.QueueReply("00", {"0", "180305070804030201EFBEADDEFF"});
    TDateTime date = 0;
    uint32_t number = 0, sign = 0;
    dev.FNGetLastDocInfo(date, number, sign);
    EXPECT_NEAR(date, EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 0, 0), 1e-9);
    EXPECT_EQ(number, 0x01020304u);
    EXPECT_EQ(sign, 0xDEADBEEFu);
    const auto frames = dev.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], RequestFrame(0x21, "78", {"3", "0", "0"}));
    EXPECT_EQ(frames[1], RequestFrame(0x22, "78", {"11", "17", "0"}));
}

TEST_F(DeviceCommandResultTest, LastFiscalDocumentRecordTooShort) {
    dev.QueueReply("00", {"0", "17"});
    dev.QueueReply("00", {"0", "180305070804030201EFBEAD"});  // 12 bytes
    TDateTime date = 0;
    uint32_t number = 0, sign = 0;
    EXPECT_EQ(MessageOf([&] { dev.FNGetLastDocInfo(date, number, sign); }), u"invalid data length");
}

TEST_F(DeviceCommandResultTest, RegisterItemExStopsAtTheFailingDiscountLine) {
    dev.QueueReply();
    dev.QueueReply("08");
    EXPECT_EQ(MessageOf([&] {
                  dev.RegisterItemEx(u"X", u"", Currency::FromRaw(20000),
                                     Currency::FromRaw(1000000), 0, Currency::FromRaw(100000), "",
                                     false);
              }),
              u"Конец бумаги");
    const auto frames = dev.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].substr(6, 2), "42");
    EXPECT_EQ(frames[1].substr(6, 2), "40");
}

TEST_F(DeviceCommandResultTest, MultiLinePrintStopsAtTheFirstRefusal) {
    dev.SetLineLength(2);
    dev.QueueReply();
    dev.QueueReply("08");
    EXPECT_EQ(MessageOf([&] { dev.PrintString("aabbcc", 0, false, false); }), u"Конец бумаги");
    EXPECT_EQ(dev.Frames().size(), 2u);
}

}  // namespace
}  // namespace fr::test
