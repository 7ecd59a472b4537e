// The serial link against a scripted register on the master end of a
// pseudo-terminal pair.

#include <gtest/gtest.h>

#include <string>

#include "link_peers.h"

namespace fr {
namespace {

using namespace transport_test;
using TransportComDevice = SerialLinkTest;

TEST_F(TransportComDevice, AGoodExchangeCarriesTheFrameAndReturnsTheFields) {
    EXPECT_EQ(device_.ClassName(), u"TCOMDevice");
    ASSERT_NO_THROW(Enable());
    EXPECT_TRUE(device_.Com().Opened());
    RequestFrame frame;
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        frame = ReadFrame(fd(), kPeerWaitMs);
        WriteAll(fd(), Answer(frame.id, frame.cmd, "00", {"12", "ABC"}));
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("02", {"7", "x"}, 15000); }), u"(no error)");
    peer.Join();
    EXPECT_TRUE(frame.complete);
    EXPECT_TRUE(frame.check_ok);
    EXPECT_EQ(frame.password, "KVMT");
    EXPECT_EQ(frame.id, 0x21);
    EXPECT_EQ(frame.cmd, "02");
    EXPECT_EQ(frame.raw.substr(8, 3), std::string("7\x1Cx", 3));
    EXPECT_EQ(device_.Data(), (std::vector<std::string>{"12", "ABC"}));
    EXPECT_EQ(device_.ErrorCode(), 0);
}

TEST_F(TransportComDevice, TheExchangeLogCarriesTheLinkName) {
    LogCapture log;
    ASSERT_NO_THROW(Enable());
    const std::string text = log.Text();
    EXPECT_NE(text.find("TCOMDevice"), std::string::npos) << text;
    EXPECT_NE(text.find("-> 05"), std::string::npos) << text;
    EXPECT_NE(text.find("<- 06"), std::string::npos) << text;
}

TEST_F(TransportComDevice, EnableWithoutAPortDeviceRaisesTheOpenText) {
    device_.Com().SetPortNumber(200);
    const std::u16string error = ErrorOf([&] { device_.Enable(); });
    EXPECT_EQ(error.rfind(u"Ошибка открытия порта. ", 0), 0u) << testing::PrintToString(error);
    EXPECT_FALSE(device_.Com().Opened());
}

TEST_F(TransportComDevice, ASilentRegisterFailsTheHandshakeAfterHalfASecond) {
    int first = -1;
    PeerThread peer([&] { first = ReadByte(fd(), kPeerWaitMs); });
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.Enable(); }), u"Устройство не отвечает");
    const int64_t elapsed = MsSince(start);
    peer.Join();
    EXPECT_EQ(first, ENQ);
    EXPECT_GE(elapsed, 450);
    EXPECT_LT(elapsed, 5000);
}

TEST_F(TransportComDevice, AnotherHandshakeByteSendsNoFrame) {
    ASSERT_NO_THROW(Enable());
    std::string after;
    PeerThread peer([&] {
        if (ReadByte(fd(), kPeerWaitMs) != ENQ) return;
        WriteAll(fd(), std::string(1, kNak));
        after = ReadBytes(fd(), 1, 400);
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"Ошибка протокола обмена");
    peer.Join();
    EXPECT_TRUE(after.empty());
}

TEST_F(TransportComDevice, NoFirstByteWithinTheCommandTimeout) {
    ASSERT_NO_THROW(Enable());
    PeerThread peer([&] {
        if (ServeHandshake(fd())) ReadFrame(fd(), kPeerWaitMs);
    });
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 300); }),
              u"Ошибка при чтении данных из порта");
    EXPECT_GE(MsSince(start), 280);
}

TEST_F(TransportComDevice, APauseInsideTheAnswerUnderHalfASecondIsWaitedFor) {
    ASSERT_NO_THROW(Enable());
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        const RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
        const std::string answer = Answer(frame.id, frame.cmd, "00", {"5"});
        WriteAll(fd(), answer.substr(0, 4));
        PauseMs(250);
        WriteAll(fd(), answer.substr(4));
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)");
    EXPECT_EQ(device_.Data(), std::vector<std::string>{"5"});
}

TEST_F(TransportComDevice, APauseInsideTheAnswerOverHalfASecondFails) {
    ASSERT_NO_THROW(Enable());
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        const RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
        const std::string answer = Answer(frame.id, frame.cmd, "00", {"5"});
        WriteAll(fd(), answer.substr(0, 4));
        PauseMs(900);
        WriteAll(fd(), answer.substr(4));
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"Устройство не отвечает");
}

TEST_F(TransportComDevice, AMissingCheckCharacterFailsTheCheckSum) {
    ASSERT_NO_THROW(Enable());
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        const RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
        const std::string answer = Answer(frame.id, frame.cmd, "00", {"5"});
        WriteAll(fd(), answer.substr(0, answer.size() - 1));
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }),
              u"Ошибка контрольной суммы ответа");
}

TEST_F(TransportComDevice, EnableTwiceReopensThePortAndShakesHandsAgain) {
    const int before = CountOpenDescriptors();
    {
        // A stray byte after the ACK stays queued while the port stays open.
        PeerThread peer([&] {
            if (ReadByte(fd(), kPeerWaitMs) == ENQ) WriteAll(fd(), std::string(1, ACK) + "X");
        });
        ASSERT_NO_THROW(device_.Enable());
    }
    PauseMs(50);
    ASSERT_EQ(device_.Com().InQueueCount(), 1u);
    EXPECT_EQ(CountOpenDescriptors(), before + 1);
    bool second_handshake = false;
    {
        PeerThread peer([&] { second_handshake = ServeHandshake(fd()); });
        // Only a port closed and opened again has forgotten the stray byte.
        EXPECT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    }
    EXPECT_TRUE(second_handshake);
    EXPECT_EQ(CountOpenDescriptors(), before + 1);
}

TEST_F(TransportComDevice, DisableClosesAndACommandOpensAgain) {
    const int before = CountOpenDescriptors();
    ASSERT_NO_THROW(Enable());
    device_.Disable();
    EXPECT_FALSE(device_.Com().Opened());
    EXPECT_EQ(CountOpenDescriptors(), before);
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        const RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
        WriteAll(fd(), Answer(frame.id, frame.cmd, "00", {}));
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)");
    EXPECT_TRUE(device_.Com().Opened());
}

TEST_F(TransportComDevice, DestroyingTheLinkClosesThePort) {
    const int before = CountOpenDescriptors();
    {
        TCOMDevice device;
        device.Com().SetPortNumber(PtyPort::kComNumber);
        PeerThread peer([&] { ServeHandshake(fd()); });
        ASSERT_NO_THROW(device.Enable());
        EXPECT_EQ(CountOpenDescriptors(), before + 1);
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

// Eleven frames with their 200 ms pauses: a few seconds.
TEST_F(TransportComDevice, SlowElevenWrongFirstBytesMeanElevenSends) {
    ASSERT_NO_THROW(Enable());
    int frames = 0;
    bool all_same = true;
    std::string extra;
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        std::string first;
        for (int i = 0; i < 11; ++i) {
            const RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
            if (!frame.complete) return;
            ++frames;
            if (first.empty()) first = frame.raw;
            all_same = all_same && frame.raw == first;
            WriteAll(fd(), std::string(1, kNak));
        }
        extra = ReadBytes(fd(), 1, 600);
    });
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"Ошибка протокола обмена");
    EXPECT_GE(MsSince(start), 11 * 200 - 100);
    peer.Join();
    EXPECT_EQ(frames, 11);
    EXPECT_TRUE(all_same);
    EXPECT_TRUE(extra.empty());
}

}  // namespace
}  // namespace fr
