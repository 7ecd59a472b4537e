// The exchange sequence: frames, packet ids, password, handshake, resends,
// bounded body, link failures and the exchange log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "device/device_errors.h"
#include "platform/text.h"
#include "scripted_device.h"
#include "support/log.h"
#include "support/texts.h"
#include "test_util.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DeviceExchangeTest : public ::testing::Test {
  protected:
    void Run(const std::string& cmd = "00", const std::vector<std::string>& fields = {},
             int timeout = 15000) {
        dev.RunCommand(cmd, fields, timeout);
    }
    TScriptedDevice dev;
};

TEST_F(DeviceExchangeTest, CheckCharactersAreXorInUpperCaseHex) {
    EXPECT_EQ(Xor("abc"), "60");  // the test's own reference
    dev.QueueReply();
    Run("00", {"abc"});
    // KVMT, id 0x21, "00", "abc", ETX
    const std::string body = std::string("KVMT") + '\x21' + "00abc\x03";
    EXPECT_EQ(dev.Frames().at(0), std::string(1, STX) + body + Xor(body));
}

TEST_F(DeviceExchangeTest, FrameJoinsFieldsWithSeparatorsOnlyBetweenThem) {
    struct Case {
        std::vector<std::string> fields;
        std::string part;
    };
    const Case cases[] = {
        {{}, ""},
        {{"a"}, "a"},
        {{"a", "b"},
         "a\x1c"
         "b"},
        {{"", ""}, "\x1c"},
        {{"1", "", "3"},
         "1\x1c\x1c"
         "3"},
    };
    uint8_t id = 0x21;
    for (const auto& c : cases) {
        dev.QueueReply();
        Run("42", c.fields);
        const std::string body = std::string("KVMT") + static_cast<char>(id) + "42" + c.part + ETX;
        EXPECT_EQ(dev.Frames().back(), std::string(1, STX) + body + Xor(body)) << c.part;
        ++id;
    }
}

TEST_F(DeviceExchangeTest, PacketIdsRunFrom21ToF0ThenWrapTo20) {
    EXPECT_EQ(dev.PacketID(), 0x20);
    std::vector<int> ids;
    for (int i = 0; i < 210; ++i)
        ids.push_back(dev.NextPacketID());
    EXPECT_EQ(ids.front(), 0x21);
    EXPECT_EQ(ids[207], 0xF0);
    EXPECT_EQ(ids[208], 0x20);
    EXPECT_EQ(ids[209], 0x21);
    for (int id : ids)
        EXPECT_TRUE(id >= 0x20 && id <= 0xF0) << id;
}

TEST_F(DeviceExchangeTest, FramesCarryConsecutiveIdsAcrossTheWrap) {
    for (int i = 0; i < 210; ++i) {
        dev.QueueReply();
        Run();
    }
    const auto frames = dev.Frames();
    ASSERT_EQ(frames.size(), 210u);
    EXPECT_EQ(static_cast<uint8_t>(frames[0][5]), 0x21);
    EXPECT_EQ(static_cast<uint8_t>(frames[207][5]), 0xF0);
    EXPECT_EQ(static_cast<uint8_t>(frames[208][5]), 0x20);
    EXPECT_EQ(static_cast<uint8_t>(frames[209][5]), 0x21);
}

TEST_F(DeviceExchangeTest, PasswordOfThreeCharactersFailsAfterHandshakeWithoutTakingAnId) {
    dev.SetConnectionPassword(u"123");
    dev.QueueAck();
    EXPECT_EQ(MessageOf([&] { Run(); }), texts::kBadPassword);
    EXPECT_THAT(dev.Sent(), ElementsAre(std::string(1, ENQ)));
    EXPECT_EQ(dev.PacketID(), 0x20);

    dev.SetConnectionPassword(u"1234");
    dev.QueueReply();
    Run();
    EXPECT_EQ(dev.Frames().at(0), RequestFrame(0x21, "00", {}, "1234"));
}

TEST_F(DeviceExchangeTest, PasswordRules) {
    struct Case {
        std::u16string written;
        std::string sent;
    };
    const Case cases[] = {
        {u"", "KVMT"},
        {u"123456", "1234"},
        {u"abcd", "abcd"},
        {u"Пароль", "\xCF\xE0\xF0\xEE"},  // 1251, not converted further
    };
    for (const auto& c : cases) {
        TScriptedDevice d;
        d.SetConnectionPassword(c.written);
        EXPECT_EQ(d.ConnectionPassword(), c.sent);
        d.QueueReply();
        d.RunCommand("00", {}, 15000);
        EXPECT_EQ(d.Frames().at(0), RequestFrame(0x21, "00", {}, c.sent));
    }
}

TEST_F(DeviceExchangeTest, HandshakeAnsweredWithAnotherByteSendsNoFrame) {
    dev.QueueBytes("\x15");
    EXPECT_EQ(MessageOf([&] { Run(); }), texts::kProtocolError);
    EXPECT_THAT(dev.Frames(), IsEmpty());
    EXPECT_EQ(dev.PacketID(), 0x20);
}

TEST_F(DeviceExchangeTest, HandshakeFailuresRaiseTheLinkText) {
    dev.LinkText = u"Нет ответа";
    EXPECT_EQ(MessageOf([&] { Run(); }), u"Нет ответа");  // silent register
    EXPECT_THAT(dev.Frames(), IsEmpty());

    TScriptedDevice d;
    d.LinkText = u"Запись не удалась";
    d.FailSend(0);
    d.QueueReply();
    EXPECT_EQ(MessageOf([&] { d.RunCommand("00", {}, 15000); }), u"Запись не удалась");
    EXPECT_EQ(d.Sent().size(), 1u);
    EXPECT_EQ(d.PendingBytes(), 1u);  // the ACK was never read
}

TEST_F(DeviceExchangeTest, ElevenWrongFirstBytesGiveElevenSendsAndElevenPauses) {
    dev.QueueAck();
    dev.QueueBytes(std::string(11, '\x15'));
    dev.QueueAnswer();  // never reached
    EXPECT_EQ(MessageOf([&] { Run(); }), texts::kProtocolError);
    const auto frames = dev.Frames();
    ASSERT_EQ(frames.size(), 11u);
    for (const auto& f : frames)
        EXPECT_EQ(f, frames[0]);  // same frame, same id
    EXPECT_EQ(dev.Pauses(), 11);
    EXPECT_EQ(dev.PacketID(), 0x21);
}

TEST_F(DeviceExchangeTest, StxAfterTenWrongBytesIsStillAccepted) {
    dev.QueueAck();
    dev.QueueBytes(std::string(10, '\x00'));
    dev.QueueAnswer("00", {"ok"});
    Run();
    EXPECT_EQ(dev.Frames().size(), 11u);
    EXPECT_EQ(dev.Pauses(), 10);
    EXPECT_THAT(dev.Data(), ElementsAre("ok"));
}

TEST_F(DeviceExchangeTest, FailedFrameSendOrFirstByteRaisesTheLinkText) {
    dev.LinkText = u"Ошибка записи";
    dev.FailSend(1);
    dev.QueueReply();
    EXPECT_EQ(MessageOf([&] { Run(); }), u"Ошибка записи");
    EXPECT_EQ(dev.PacketID(), 0x21);

    TScriptedDevice d;
    d.LinkText = u"Ошибка при чтении данных из порта";
    d.QueueAck();
    EXPECT_EQ(MessageOf([&] { d.RunCommand("20", {}, 88000); }),
              u"Ошибка при чтении данных из порта");
    EXPECT_THAT(d.FirstByteTimeouts(), ElementsAre(88000));
}

TEST_F(DeviceExchangeTest, EndlessBodyIsRefused) {
    dev.QueueAck();
    dev.QueueBytes(std::string(1, STX) + std::string(TDevice::kMaxAnswerBody + 100, 'A'));
    EXPECT_EQ(MessageOf([&] { Run(); }), texts::kProtocolError);
    EXPECT_EQ(dev.PendingBytes(), 100u);  // reading stopped at the bound
    ASSERT_FALSE(dev.Log().empty());
    EXPECT_EQ(dev.Log().back().Message, u"<- ");
    EXPECT_FALSE(dev.Log().back().Success);
}

TEST_F(DeviceExchangeTest, BodyOfExactlyTheBoundWithEtxIsAccepted) {
    const std::string data(TDevice::kMaxAnswerBody - 6, 'x');
    dev.QueueReply("00", {data});
    Run();
    ASSERT_EQ(dev.Data().size(), 1u);
    EXPECT_EQ(dev.Data()[0].size(), data.size());
}

TEST_F(DeviceExchangeTest, BodyOrCheckCharactersCutShortRaiseTheLinkText) {
    dev.LinkText = u"Устройство не отвечает";
    dev.QueueAck();
    dev.QueueBytes(
        "\x02\x21"
        "00");
    EXPECT_EQ(MessageOf([&] { Run(); }), u"Устройство не отвечает");
    EXPECT_EQ(dev.Log().back().Message, u"<- ");
    EXPECT_FALSE(dev.Log().back().Success);

    TScriptedDevice d;
    d.QueueAck();
    d.QueueBytes(
        "\x02\x21"
        "00"
        "00\x03");  // no check characters at all
    EXPECT_EQ(MessageOf([&] { d.RunCommand("00", {}, 15000); }), d.LinkText);

    TScriptedDevice one;  // one check character only: compared as it came
    const std::string body = AnswerBody(0x21, "00", "00", {});
    one.QueueAck();
    one.QueueBytes(std::string(1, STX) + body + Xor(body).substr(0, 1));
    EXPECT_EQ(MessageOf([&] { one.RunCommand("00", {}, 15000); }), texts::kCheckSumError);
}

TEST_F(DeviceExchangeTest, ExchangeLogLinesInOrder) {
    dev.QueueAck();
    dev.QueueBytes("\x15");
    dev.QueueAnswer("00", {"7"});
    Run("00", {"1"});
    const std::string frame = dev.Frames().at(0);
    const std::string body = AnswerBody(0x21, "00", "00", {"7"});
    std::vector<std::u16string> lines;
    for (const auto& l : dev.Log()) {
        EXPECT_EQ(l.Caption, u"TScriptedDevice");
        EXPECT_TRUE(l.Success);
        lines.push_back(l.Message);
    }
    const auto hex = [](std::string_view b) { return AsciiToUtf16(Hex(b)); };
    EXPECT_THAT(lines, ElementsAre(u"-> 05 ", u"<- 06 ", u"-> " + hex(frame), u"<- 15 ",
                                   u"-> " + hex(frame), u"<- 02 ", u"<- " + hex(body),
                                   u"<- " + hex(Xor(body))));
}

TEST_F(DeviceExchangeTest, CommandIsRecordedEvenWhenTheExchangeFails) {
    EXPECT_NE(MessageOf([&] { Run("23"); }), u"");
    EXPECT_EQ(dev.Command(), "23");
}

TEST(DeviceExchangeLogTest, LinesReachTheDriverLogWithTheLinkCaption) {
    char folder[] = "/tmp/device_log_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("FR_COMMON_APPDATA", folder, 1);
    const uint8_t level = TLog::LogLevel();
    TLog::SetLogLevel(3);

    TScriptedDevice dev;
    dev.WriteDriverLog = true;
    dev.QueueAck();
    dev.QueueBytes(std::string(1, STX) + "\x21");  // then silence inside the body
    EXPECT_EQ(MessageOf([&] { dev.RunCommand("00", {}, 15000); }), dev.LinkText);
    TLog::SetLogLevel(level);

    std::ifstream file(Utf16ToUtf8(TLog::GetAbsolutePath(false)), std::ios::binary);
    ASSERT_TRUE(file.is_open());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        if (line.find("TScriptedDevice") != std::string::npos) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find("-> 05"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("<- 06"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("-> 02 4B 56 4D 54 21 30 30 03"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("<- 02"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("<-"), std::string::npos) << lines[4];
    EXPECT_NE(lines[4].find("ERROR"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[3].find("ERROR"), std::string::npos) << lines[3];
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace fr::test
