// Answer handling: the checks in their order, the data split, the error code
// with its extended request, and the typed accessors.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>

#include "device/device_errors.h"
#include "platform/clock.h"
#include "scripted_device.h"
#include "support/texts.h"
#include "test_util.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class DeviceAnswerTest : public ::testing::Test {
  protected:
    void Run(const std::string& cmd = "00") { dev.RunCommand(cmd, {}, 15000); }
    // A successful command leaving these fields behind.
    void Prime(std::vector<std::string> fields) {
        dev.QueueReply("00", std::move(fields));
        Run();
    }
    // ACK and an answer built from this body as it stands.
    void QueueRawAnswer(const std::string& body, const std::string& check) {
        dev.QueueAck();
        dev.QueueBytes(std::string(1, STX) + body + check);
    }
    TScriptedDevice dev;
};

TEST_F(DeviceAnswerTest, RefusedAnswersLeaveErrorCodeAndDataAlone) {
    // A body whose check characters hold a hexadecimal letter.
    std::string lettered;
    for (char c = 'a'; c <= 'z' && lettered.empty(); ++c) {
        const std::string body = AnswerBody(0x22, "00", "00", {std::string(1, c)});
        if (Lower(Xor(body)) != Xor(body)) lettered = body;
    }
    ASSERT_FALSE(lettered.empty());

    struct Case {
        const char* name;
        std::string body;  // for the second command, whose id is 0x22
        std::string check;
        std::u16string_view message;
    };
    const std::string shortBody = std::string("\x22") + "00" + ETX;
    const std::string wrongId = AnswerBody(0x21, "00", "00", {"x"});
    const std::string wrongCmd = AnswerBody(0x22, "01", "00", {"x"});
    const std::string good = AnswerBody(0x22, "00", "00", {"x"});
    const Case cases[] = {
        {"lower-case check characters", lettered, Lower(Xor(lettered)), texts::kCheckSumError},
        {"wrong check characters", good, "00", texts::kCheckSumError},
        {"body shorter than 5", shortBody, Xor(shortBody), texts::kProtocolError},
        {"wrong packet id", wrongId, Xor(wrongId), texts::kProtocolError},
        {"wrong command echo", wrongCmd, Xor(wrongCmd), texts::kProtocolError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedDevice d;
        d.QueueReply("00", {"old"});
        d.RunCommand("00", {}, 15000);
        d.SetErrorCode(0x0E);
        d.QueueAck();
        d.QueueBytes(std::string(1, STX) + c.body + c.check);
        EXPECT_EQ(MessageOf([&] { d.RunCommand("00", {}, 15000); }), c.message);
        EXPECT_EQ(d.ErrorCode(), 0x0E);
        EXPECT_THAT(d.Data(), ElementsAre("old"));
    }
}

TEST_F(DeviceAnswerTest, AnswerWithoutDataKeepsThePreviousData) {
    Prime({"a", "b"});
    dev.QueueReply("00", {});  // a 6-byte body
    Run();
    EXPECT_THAT(dev.Data(), ElementsAre("a", "b"));
    EXPECT_EQ(dev.ErrorCode(), 0);
}

TEST_F(DeviceAnswerTest, DataPartSplitRules) {
    struct Case {
        std::string data;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {"a\x1c"
         "b",
         {"a", "b"}},
        {"a\x1c\x1c"
         "b",
         {"a", "", "b"}},
        {"\x1c"
         "a",
         {"", "a"}},
        {"7\x1c", {"7"}},
        {"\x1c", {""}},
        {"abc", {"abc"}},
    };
    for (const auto& c : cases) {
        Prime({"stale", "stale"});
        const std::string body = AnswerBody(dev.PacketID() + 1, "00", "00", {c.data});
        QueueRawAnswer(body, Xor(body));
        Run();
        EXPECT_EQ(dev.Data(), c.fields) << Hex(c.data);
    }
}

TEST_F(DeviceAnswerTest, FieldPastTheEndReadsEmpty) {
    const std::string body = AnswerBody(0x21, "00", "00", {"7\x1c"});
    QueueRawAnswer(body, Xor(body));
    Run();
    ASSERT_THAT(dev.Data(), ElementsAre("7"));
    EXPECT_EQ(dev.GetDataAsInteger(0), 7);
    EXPECT_EQ(dev.GetDataAsString(1), "");
    EXPECT_EQ(dev.GetDataAsInteger(1), 0);
    EXPECT_EQ(dev.GetDataAsFloat(1), 0.0);
    EXPECT_EQ(dev.GetDataAsString(-1), "");
}

TEST_F(DeviceAnswerTest, ErrorCodeIsKeptAfterATransportFailureAndResetBySuccess) {
    dev.QueueReply("0E");
    EXPECT_EQ(MessageOf([&] { Run(); }), u"Отрицательный результат");
    EXPECT_EQ(dev.ErrorCode(), 0x0E);

    dev.QueueAck();  // then silence
    EXPECT_EQ(MessageOf([&] { Run(); }), dev.LinkText);
    EXPECT_EQ(dev.ErrorCode(), 0x0E);

    dev.QueueReply();
    Run();
    EXPECT_EQ(dev.ErrorCode(), 0);
}

TEST_F(DeviceAnswerTest, AnswerErrorCodes) {
    struct Case {
        std::string code;
        uint8_t errorCode;
        std::u16string message;
    };
    const Case cases[] = {
        {"0E", 0x0E, u"Отрицательный результат"},
        {"0e", 0x0E, u"Отрицательный результат"},
        {"02", 0x02, u"В команде указан неверный номер функции"},
        {"1F", 0x1F, u"Неизвестная ошибка - (31)"},
        {"53", 0x53, u"Неизвестная ошибка - (83)"},
        {"XY", 0xFF, u"Ошибка протокола обмена"},
        {"G0", 0xFF, u"Ошибка протокола обмена"},
        {"FF", 0xFF, u"Ошибка протокола обмена"},
        {"63", 0x63, u"Слишком длинная команда для посылки в ФН"},
    };
    for (const auto& c : cases) {
        Prime({"old"});
        dev.QueueReply(c.code, {"new"});
        EXPECT_EQ(MessageOf([&] { Run(); }), c.message) << c.code;
        EXPECT_EQ(dev.ErrorCode(), c.errorCode) << c.code;
        EXPECT_THAT(dev.Data(), ElementsAre("old")) << c.code;
    }
}

TEST_F(DeviceAnswerTest, ErrorCodeOfOneAsksForTheExtendedReason) {
    dev.QueueReply("01");
    dev.QueueReply("00", {"0", "20"});
    EXPECT_EQ(MessageOf([&] { Run("30"); }),
              u"Функция невыполнима при данном статусе ККМ. Смена не открыта");
    EXPECT_EQ(dev.ErrorCode(), 1);
    const auto frames = dev.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], RequestFrame(0x22, "06", {"1"}));
    EXPECT_EQ(dev.Command(), "06");
    EXPECT_THAT(dev.Data(), ElementsAre("0", "20"));
    EXPECT_THAT(dev.FirstByteTimeouts(), ElementsAre(15000, 15000));
}

TEST_F(DeviceAnswerTest, ExtendedReasonVariants) {
    struct Case {
        const char* name;
        std::function<void(TScriptedDevice&)> extended;  // what follows the "01" answer
        std::u16string suffix;
        size_t frames;
    };
    const Case cases[] = {
        {"unknown extended code",
         [](TScriptedDevice& d) {
             d.QueueReply("00", {"0", "36"});
         },
         u"Неизвестная ошибка (36)", 2},
        {"not a number",
         [](TScriptedDevice& d) {
             d.QueueReply("00", {"0", "2x"});
         },
         u"Неизвестная ошибка (-1)", 2},
        {"missing field", [](TScriptedDevice& d) { d.QueueReply("00", {"5"}); },
         u"Неизвестная ошибка (-1)", 2},
        {"no data at all", [](TScriptedDevice& d) { d.QueueReply("00", {}); },
         u"Неизвестная ошибка (-1)", 2},
        {"quotes kept",
         [](TScriptedDevice& d) {
             d.QueueReply("00", {"0", "1"});
         },
         u"Не была вызвана функция “Начало работы”", 2},
        {"register silent", [](TScriptedDevice&) {}, u"", 1},
        {"extended request refused", [](TScriptedDevice& d) { d.QueueReply("0E"); }, u"", 2},
        {"extended request refused with 01", [](TScriptedDevice& d) { d.QueueReply("01"); }, u"",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedDevice d;
        // Data from an earlier command that must not be taken for the extended answer.
        d.QueueReply("00", {"9", "20"});
        d.RunCommand("00", {}, 15000);
        d.QueueReply("01");
        c.extended(d);
        EXPECT_EQ(MessageOf([&] { d.RunCommand("42", {}, 15000); }),
                  u"Функция невыполнима при данном статусе ККМ. " + c.suffix);
        EXPECT_EQ(d.ErrorCode(), 1);
        EXPECT_EQ(d.Frames().size(), 1 + c.frames);
    }
}

TEST_F(DeviceAnswerTest, ExtendedDescriptionCalledDirectly) {
    dev.QueueReply("00", {"0", "40"});
    EXPECT_EQ(dev.GetExtErrorDescription(), u"Неверный параметр \"Тип документа\"");
    dev.QueueReply("0E");
    EXPECT_EQ(MessageOf([&] { dev.GetExtErrorDescription(); }), u"Отрицательный результат");
}

TEST_F(DeviceAnswerTest, DateAndTimeAccessors) {
    Prime({"311299", "300299", "2359", "235959", "12.5", "x", "-3", "1a"});
    EXPECT_EQ(dev.GetDataAsDate(0), EncodeDate(2099, 12, 31));
    EXPECT_EQ(dev.GetDataAsDate(1), 0.0);
    EXPECT_EQ(dev.GetDataAsTime(2), 0.0);
    EXPECT_NEAR(dev.GetDataAsTime(3), EncodeTime(23, 59, 59, 0), 1e-9);
    EXPECT_EQ(dev.GetDataAsFloat(4), 12.5);
    EXPECT_EQ(dev.GetDataAsFloat(5), 0.0);
    EXPECT_EQ(dev.GetDataAsInteger(6), -3);
    EXPECT_EQ(dev.GetDataAsInteger(7), 0);

    const TDateTime before = Now();
    const TDateTime date = dev.GetDataAsDate(8);
    const TDateTime time = dev.GetDataAsTime(99);
    const TDateTime after = Now();
    EXPECT_GE(date, before);
    EXPECT_LE(date, after);
    EXPECT_GE(time, before);
    EXPECT_LE(time, after);
}

// What a document's witness is read with: a missing or spoilt field is an error
// of that exchange, never 0.
TEST_F(DeviceAnswerTest, RequiredFieldsRefuseWhatIsNotThere) {
    Prime({"57", "-3", "12.50", "", "x", "1a", "9999078900012345"});
    EXPECT_EQ(dev.RequireInteger(0), 57);
    EXPECT_EQ(dev.RequireInteger(1), -3);
    EXPECT_EQ(dev.RequireFloat(2), 12.5);
    EXPECT_EQ(dev.RequireString(6), "9999078900012345");
    const auto refused = [&](auto AAccess, int AIndex) {
        try {
            AAccess(AIndex);
        } catch (const EDeviceError& e) {
            return e.Message() == texts::kProtocolError;
        }
        return false;
    };
    const auto integer = [&](int i) { return dev.RequireInteger(i); };
    const auto real = [&](int i) { return dev.RequireFloat(i); };
    const auto text = [&](int i) { return dev.RequireString(i); };
    for (const int index : {3, 4, 5, 8, -1}) {
        EXPECT_TRUE(refused(integer, index)) << index;
        EXPECT_TRUE(refused(real, index)) << index;
    }
    EXPECT_TRUE(refused(integer, 2));
    EXPECT_TRUE(refused(text, 3));
    EXPECT_TRUE(refused(text, 8));
}

TEST_F(DeviceAnswerTest, StringAccessorConvertsFromTheRegistersCodePage) {
    Prime({Oem(u"Касса №1 ё")});
    EXPECT_EQ(dev.GetDataAsString(0),
              "\xCA\xE0\xF1\xF1\xE0 \xB9"
              "1 \xB8");
}

}  // namespace
}  // namespace fr::test
