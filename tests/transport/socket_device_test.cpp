// The TCP link against a scripted register listening on loopback.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "link_peers.h"
#include "platform/text.h"
#include "transport/socket_results.h"

namespace fr {
namespace {

using namespace transport_test;
using TransportSocketDevice = TcpLinkTest;

// Blocks until the driver closes its end (or the wait runs out).
void AwaitClose(int fd) {
    while (ReadByte(fd, kPeerWaitMs) >= 0) {
    }
}

uint16_t ClosedPortOf(const TSocketDevice& device) {
    return static_cast<uint16_t>(device.TCPPort());
}

const std::u16string kReceiveText = u"Ошибка при получении ответа от сервера";

TEST_F(TransportSocketDevice, ResultTextsOfTheSocketSteps) {
    const struct {
        int32_t code;
        const char16_t* text;
    } table[] = {
        {600, u"Ошибка при создании сокета"},
        {601, u"Ошибка при установлении подключения к ФР"},
        {602, u"Не является целым числом"},
        {603, u"Номер порта должен лежать в диапазоне 1-65535"},
        {604, u"Синтаксическая ошибка в IP-адресе"},
        {605, u"Ошибка при отправке данных серверу"},
        {606, u"Ошибка при получении ответа от сервера"},
        {607, u"Ошибка инициализации библиотеки WinSock"},
    };
    for (const auto& row : table)
        EXPECT_EQ(SocketResultText(row.code), row.text) << row.code;
    EXPECT_EQ(SocketResultText(0), u"");
}

TEST_F(TransportSocketDevice, AddressesAndPortsThatCannotBeReached) {
    const struct {
        const char16_t* address;
        int32_t port;
        int32_t code;
    } table[] = {
        {u"localhost", 1, kSocketAddressSyntax},
        {u"255.255.255.255", 1, kSocketAddressSyntax},
        {u"", 1, kSocketAddressSyntax},
        {u"127.0.0.1:5555", 1, kSocketAddressSyntax},
        {u"127.0.0.ꙮ", 1, kSocketAddressSyntax},
        {u"127.0.0.1", 0, kSocketPortOutOfRange},
        {u"127.0.0.1", 65536, kSocketPortOutOfRange},
        {u"127.0.0.1", -5555, kSocketPortOutOfRange},
    };
    const int before = CountOpenDescriptors();
    for (const auto& row : table) {
        EXPECT_EQ(device_.Connect(row.address, row.port), row.code)
            << testing::PrintToString(std::u16string(row.address));
        EXPECT_EQ(device_.ExtResultDescription(), SocketResultText(row.code));
        EXPECT_FALSE(device_.Connected());
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(TransportSocketDevice, BlanksAroundTheAddressAreTrimmed) {
    device_.SetIPAddress(u" 127.0.0.1 ");
    PeerThread peer(Serve([](int fd) {
        ServeHandshake(fd);
        AwaitClose(fd);
    }));
    EXPECT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_TRUE(device_.Connected());
    device_.Disable();
}

TEST_F(TransportSocketDevice, ARefusedConnectionSendsNoHandshake) {
    device_.SetTCPPort(ClosedPort());
    const int before = CountOpenDescriptors();
    const std::u16string error = ErrorOf([&] { device_.Enable(); });
    // The text, then which register could not be reached.
    const std::u16string expected = u"Ошибка при установлении подключения к ФР (127.0.0.1:" +
                                    Utf8ToUtf16(std::to_string(ClosedPortOf(device_))) + u", ";
    EXPECT_EQ(error.substr(0, expected.size()), expected) << testing::PrintToString(error);
    EXPECT_FALSE(device_.Connected());
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(TransportSocketDevice, AnotherHandshakeByteFailsEnable) {
    PeerThread peer(Serve([](int fd) {
        if (ReadByte(fd, kPeerWaitMs) == ENQ) WriteAll(fd, std::string(1, kNak));
        AwaitClose(fd);
    }));
    EXPECT_EQ(ErrorOf([&] { device_.Enable(); }), u"Ошибка протокола обмена");
    device_.Disable();
}

TEST_F(TransportSocketDevice, AGoodExchange) {
    EXPECT_EQ(device_.ClassName(), u"TSocketDevice");
    RequestFrame frame;
    PeerThread peer(Serve([&](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        frame = ReadFrame(fd, kPeerWaitMs);
        WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"", "4.5", "ККТ"}));
        AwaitClose(fd);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("13", {}, 15000); }), u"(no error)");
    device_.Disable();
    peer.Join();
    EXPECT_TRUE(frame.complete);
    EXPECT_TRUE(frame.check_ok);
    EXPECT_EQ(frame.id, 0x21);
    EXPECT_EQ(frame.cmd, "13");
    EXPECT_EQ(device_.Data(), (std::vector<std::string>{"", "4.5", "ККТ"}));
}

TEST_F(TransportSocketDevice, TheExchangeLogCarriesTheLinkName) {
    LogCapture log;
    PeerThread peer(Serve([](int fd) {
        ServeHandshake(fd);
        AwaitClose(fd);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    device_.Disable();
    const std::string text = log.Text();
    EXPECT_NE(text.find("TSocketDevice"), std::string::npos) << text;
    EXPECT_NE(text.find("-> 05"), std::string::npos) << text;
    EXPECT_NE(text.find("<- 06"), std::string::npos) << text;
}

TEST_F(TransportSocketDevice, APeerClosingMidAnswerFailsAtOnce) {
    PeerThread peer(Serve([](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
        WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"1"}).substr(0, 5));
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), kReceiveText);
    EXPECT_LT(MsSince(start), 4000);  // not the 5 s receive time-out
}

TEST_F(TransportSocketDevice, APeerClosingBeforeTheHandshakeFailsEnable) {
    PeerThread peer(Serve([](int) {}));
    EXPECT_EQ(ErrorOf([&] { device_.Enable(); }), kReceiveText);
}

TEST_F(TransportSocketDevice, WritingToAClosedPeerFailsWithoutASignal) {
    PeerThread peer(Serve([](int fd) { ServeHandshake(fd); }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    peer.Join();
    listener_.Close();  // gone for good: every attempt to connect again is refused
    PauseMs(100);
    const std::u16string send_text = u"Ошибка при отправке данных серверу";
    const std::u16string connect_text = u"Ошибка при установлении подключения к ФР";
    const auto is_connect_text = [&](const std::u16string& error) {
        return error.compare(0, connect_text.size(), connect_text) == 0;
    };
    for (int i = 0; i < 3; ++i) {
        const std::u16string error = ErrorOf([&] { device_.RunCommand("00", {}, 15000); });
        EXPECT_TRUE(error == send_text || error == kReceiveText || is_connect_text(error))
            << testing::PrintToString(error);
    }
    // Once the loss is seen, the next exchanges try to connect again.
    EXPECT_TRUE(is_connect_text(ErrorOf([&] { device_.RunCommand("00", {}, 15000); })));
}

// A register that dropped the connection in the middle of an answer is reached
// again by the next exchange, without a new Enable.
TEST_F(TransportSocketDevice, ADroppedConnectionIsMadeAgainAtTheNextExchange) {
    PeerThread peer([this] {
        int fd = listener_.Accept(kPeerWaitMs);
        if (fd < 0) return;
        if (ServeHandshake(fd) && ServeHandshake(fd)) {
            const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
            WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"1"}).substr(0, 5));
        }
        close(fd);
        fd = listener_.Accept(kPeerWaitMs);
        if (fd < 0) return;
        if (ServeHandshake(fd)) {
            const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
            WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"2"}));
        }
        AwaitClose(fd);
        close(fd);
    });
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), kReceiveText);
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)");
    EXPECT_EQ(device_.Data(), std::vector<std::string>{"2"});
    device_.Disable();
}

// The rest of a spoilt answer that is still on its way when the exchange fails
// is taken in by that exchange, so the next one starts on a quiet line.
TEST_F(TransportSocketDevice, LateBytesOfAFailedAnswerDoNotSpoilTheNextExchange) {
    PeerThread peer(Serve([](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
        const std::string answer = Answer(frame.id, frame.cmd, "00", {"1"});
        WriteAll(fd, answer.substr(0, answer.size() - 1));
        PauseMs(300);
        WriteAll(fd, answer.substr(answer.size() - 1) + "\x06\x06");
        if (!ServeHandshake(fd)) return;
        frame = ReadFrame(fd, kPeerWaitMs);
        WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"2"}));
        AwaitClose(fd);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }),
              u"Ошибка контрольной суммы ответа");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)");
    EXPECT_EQ(device_.Data(), std::vector<std::string>{"2"});
    device_.Disable();
}

TEST_F(TransportSocketDevice, CheckCharactersInTwoSegmentsFailTheCheckSum) {
    PeerThread peer(Serve([](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
        const std::string answer = Answer(frame.id, frame.cmd, "00", {"1"});
        WriteAll(fd, answer.substr(0, answer.size() - 1));
        PauseMs(300);
        WriteAll(fd, answer.substr(answer.size() - 1));
        AwaitClose(fd);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }),
              u"Ошибка контрольной суммы ответа");
    device_.Disable();
}

TEST_F(TransportSocketDevice, ReceiveDataFillsWhatDidNotComeWithZeros) {
    ASSERT_EQ(device_.Connect(u"127.0.0.1", listener_.port()), kSocketOk);
    PeerThread peer(Serve([](int fd) {
        WriteAll(fd, "A");
        AwaitClose(fd);
    }));
    std::string data;
    EXPECT_EQ(device_.ReceiveData(2, data), kSocketOk);
    EXPECT_EQ(data, std::string("A\0", 2));
    device_.Disable();
    EXPECT_EQ(device_.ReceiveData(2, data), kSocketReceiveError);
    EXPECT_EQ(data, std::string(2, '\0'));
}

// One receive takes every byte that waits; the byte and data reads after it are
// served from what it took first, then from the socket.
TEST_F(TransportSocketDevice, BytesReceivedTogetherAreTakenInOrder) {
    const struct {
        const char* sent;
        std::string first;
        std::string data;  // ReceiveData(2) after the byte
    } table[] = {
        {"ABC", "A", "BC"},
        {"AB", "A", std::string("B\0", 2)},
        {"ABCD", "A", "BC"},
    };
    for (const auto& row : table) {
        ASSERT_EQ(device_.Connect(u"127.0.0.1", listener_.port()), kSocketOk);
        PeerThread peer(Serve([&row](int fd) {
            WriteAll(fd, row.sent);
            AwaitClose(fd);
        }));
        uint8_t byte = 0;
        ASSERT_EQ(device_.ReceiveByte(byte), kSocketOk) << row.sent;
        EXPECT_EQ(std::string(1, static_cast<char>(byte)), row.first) << row.sent;
        std::string data;
        EXPECT_EQ(device_.ReceiveData(2, data), kSocketOk) << row.sent;
        EXPECT_EQ(data, row.data) << row.sent;
        device_.Disable();
    }
}

TEST_F(TransportSocketDevice, AnUnconnectedLinkFailsToSend) {
    uint8_t byte = 0;
    EXPECT_EQ(device_.ReceiveByte(byte), kSocketReceiveError);
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }),
              u"Ошибка при отправке данных серверу");
}

TEST_F(TransportSocketDevice, BytesLeftFromAnEarlierAnswerAreDropped) {
    PeerThread peer(Serve([](int fd) {
        if (!ServeHandshake(fd)) return;
        for (int i = 0; i < 2; ++i) {
            if (!ServeHandshake(fd)) return;
            const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
            WriteAll(fd, Answer(frame.id, frame.cmd, "00", {std::to_string(i)}) + "\x06\x02junk");
        }
        AwaitClose(fd);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)");
    PauseMs(100);
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)");
    EXPECT_EQ(device_.Data(), std::vector<std::string>{"1"});
    device_.Disable();
}

TEST_F(TransportSocketDevice, ReconnectingClosesTheOldConnectionAndLeaksNothing) {
    constexpr int kConnections = 5;
    const int before = CountOpenDescriptors();
    int served = 0;
    {
        // One connection at a time: the next handshake is answered only after the
        // previous connection was closed.
        PeerThread peer([&] {
            for (int i = 0; i < kConnections; ++i) {
                const int fd = listener_.Accept(kPeerWaitMs);
                if (fd < 0) return;
                if (ServeHandshake(fd)) ++served;
                AwaitClose(fd);
                close(fd);
            }
        });
        for (int i = 0; i < kConnections; ++i) {
            ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)") << i;
            EXPECT_TRUE(device_.Connected());
        }
        device_.Disable();
        EXPECT_FALSE(device_.Connected());
    }
    EXPECT_EQ(served, kConnections);
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(TransportSocketDevice, DestroyingTheLinkClosesTheConnection) {
    const int before = CountOpenDescriptors();
    bool closed = false;
    {
        PeerThread peer(Serve([&](int fd) {
            ServeHandshake(fd);
            AwaitClose(fd);
            closed = true;
        }));
        auto device = std::make_unique<TSocketDevice>();
        device->SetIPAddress(u"127.0.0.1");
        device->SetTCPPort(listener_.port());
        ASSERT_EQ(ErrorOf([&] { device->Enable(); }), u"(no error)");
        device.reset();
    }
    EXPECT_TRUE(closed);
    EXPECT_EQ(CountOpenDescriptors(), before);
}

// A report is given its own time-out for the first byte of its answer, not the
// 5 s receive time-out of the other steps.
TEST_F(TransportSocketDevice, SlowAFirstByteLaterThanFiveSecondsIsWaitedForUnderItsTimeout) {
    PeerThread peer(Serve([](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
        PauseMs(5600);
        WriteAll(fd, Answer(frame.id, frame.cmd, "00", {}));
        AwaitClose(fd);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("20", {}, 88000); }), u"(no error)");
    EXPECT_GE(MsSince(start), 5000);
    device_.Disable();
}

}  // namespace
}  // namespace fr
