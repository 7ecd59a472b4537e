// One deadline per exchange, late bytes and lost connections, on both links
// against a scripted register: a pseudo-terminal for the serial line, loopback
// TCP for the network link. Bounds are loose: they tell a bounded wait from an
// unbounded one, not speed.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "link_peers.h"
#include "platform/text.h"
#include "transport/link_timing.h"
#include "transport/socket_results.h"

namespace fr {
namespace {

using namespace transport_test;

// What an exchange may take beyond its time-out: the rest of the answer, the last
// byte wait and draining late bytes, with room for a loaded machine.
constexpr int64_t kMarginMs = 9000;

// Sends STX, then one byte every AEveryMs until AStop is set or the line goes.
void Trickle(int fd, int AEveryMs, const std::atomic<bool>& AStop) {
    WriteAll(fd, std::string(1, STX));
    while (!AStop.load()) {
        PauseMs(AEveryMs);
        WriteAll(fd, "7");
    }
}

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ---- serial line -------------------------------------------------------------

class TransportLinkDeadlineSerial : public SerialLinkTest {
  protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        Enable();
    }
};

// Bytes less than half a second apart never end the answer by themselves: the
// answer's own time ends it.
TEST_F(TransportLinkDeadlineSerial, SlowATrickleEndsWithinTheTimeoutAndMargin) {
    std::atomic<bool> stop{false};
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        ReadFrame(fd(), kPeerWaitMs);
        Trickle(fd(), 300, stop);
    });
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }),
              u"Ошибка при чтении данных из порта");
    const int64_t elapsed = MsSince(start);
    stop = true;
    EXPECT_GE(elapsed, static_cast<int64_t>(kAnswerRestLimitMs) - 200);
    EXPECT_LT(elapsed, 15000 + kMarginMs);
}

// The rest of a stalled answer arrives while the next handshake waits: those
// bytes are dropped and the register's ACK that follows them counts.
TEST_F(TransportLinkDeadlineSerial, ALateAnswerDoesNotAnswerTheNextHandshake) {
    PeerThread peer([&] {
        if (!ServeHandshake(fd())) return;
        RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
        const std::string late = Answer(frame.id, frame.cmd, "00", {"1"});
        WriteAll(fd(), late.substr(0, 3));
        PauseMs(1200);
        WriteAll(fd(), late.substr(3));
        if (!ServeHandshake(fd())) return;
        frame = ReadFrame(fd(), kPeerWaitMs);
        WriteAll(fd(), Answer(frame.id, frame.cmd, "00", {"2"}));
    });
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("31", {}, 15000); }), u"Устройство не отвечает");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("78", {"3"}, 15000); }), u"(no error)");
    EXPECT_EQ(device_.Data(), std::vector<std::string>{"2"});
}

TEST_F(TransportLinkDeadlineSerial, LeftoverBytesBeforeTheAckAreDropped) {
    const struct {
        const char* name;
        std::string reply;
        const char16_t* error;
    } table[] = {
        {"leftovers then ACK",
         std::string("\x1C"
                     "12\x03"
                     "4F\x06",
                     7),
         u"(no error)"},
        {"leftovers then NAK", std::string("12\x03\x15", 4), u"Ошибка протокола обмена"},
        {"leftovers only", std::string("12\x03", 3), u"Ошибка протокола обмена"},
    };
    for (const auto& row : table) {
        PeerThread peer([&] {
            if (ReadByte(fd(), kPeerWaitMs) != ENQ) return;
            WriteAll(fd(), row.reply);
            if (row.reply.back() != ACK) return;
            const RequestFrame frame = ReadFrame(fd(), kPeerWaitMs);
            WriteAll(fd(), Answer(frame.id, frame.cmd, "00", {"ok"}));
        });
        EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), row.error) << row.name;
    }
}

TEST_F(TransportLinkDeadlineSerial, APortThatCannotOpenNamesItself) {
    TCOMDevice other;
    other.Com().SetPortNumber(200);
    const std::u16string error = ErrorOf([&] { other.Enable(); });
    EXPECT_TRUE(StartsWith(error, u"Ошибка открытия порта. ")) << testing::PrintToString(error);
    EXPECT_NE(error.find(u"COM200"), std::u16string::npos) << testing::PrintToString(error);
}

// ---- TCP ------------------------------------------------------------------------

class TransportLinkDeadlineTcp : public TcpLinkTest {
  protected:
    void TearDown() override { device_.Disable(); }
};

// The command's own time-out rules the first byte, not a fixed 5 s.
TEST_F(TransportLinkDeadlineTcp, SlowAFirstByteSixSecondsLateSucceeds) {
    PeerThread peer(Serve([](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
        PauseMs(6000);
        WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"65"}));
        ReadByte(fd, 2000);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("31", {}, 15000); }), u"(no error)");
    EXPECT_GE(MsSince(start), 5500);
    EXPECT_EQ(device_.Data(), std::vector<std::string>{"65"});
}

TEST_F(TransportLinkDeadlineTcp, SlowNoFirstByteFailsAtTheCommandTimeout) {
    PeerThread peer(Serve([](int fd) {
        if (ServeHandshake(fd) && ServeHandshake(fd)) ReadFrame(fd, kPeerWaitMs);
        ReadByte(fd, 10000);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 2000); }),
              u"Ошибка при получении ответа от сервера");
    const int64_t elapsed = MsSince(start);
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 2000 + kMarginMs);
}

TEST_F(TransportLinkDeadlineTcp, SlowATrickleEndsWithinTheTimeoutAndMargin) {
    std::atomic<bool> stop{false};
    PeerThread peer(Serve([&](int fd) {
        if (!ServeHandshake(fd) || !ServeHandshake(fd)) return;
        ReadFrame(fd, kPeerWaitMs);
        Trickle(fd, 300, stop);
    }));
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }),
              u"Ошибка при получении ответа от сервера");
    const int64_t elapsed = MsSince(start);
    stop = true;
    EXPECT_GE(elapsed, static_cast<int64_t>(kAnswerRestLimitMs) - 200);
    EXPECT_LT(elapsed, 15000 + kMarginMs);
}

// A register that closed the idle connection is connected to again by the same
// exchange, which then succeeds.
TEST_F(TransportLinkDeadlineTcp, AnIdleConnectionClosedByThePeerIsMadeAgainInTheSameCall) {
    const struct {
        const char* name;
        bool close_at_enq;  // false: closed while idle; true: closed on the next ENQ
    } table[] = {{"closed while idle", false}, {"closed on ENQ", true}};
    for (const auto& row : table) {
        int frames_on_first = 0;
        PeerThread peer([&] {
            int fd = listener_.Accept(kPeerWaitMs);
            if (fd < 0) return;
            ServeHandshake(fd);
            if (row.close_at_enq) {
                if (ReadByte(fd, kPeerWaitMs) == ENQ) {
                    // Closed without an answer: nothing else may come on it.
                    frames_on_first = static_cast<int>(ReadBytes(fd, 1, 200).size());
                }
            }
            close(fd);
            fd = listener_.Accept(kPeerWaitMs);
            if (fd < 0) return;
            if (ServeHandshake(fd)) {
                const RequestFrame frame = ReadFrame(fd, kPeerWaitMs);
                WriteAll(fd, Answer(frame.id, frame.cmd, "00", {"again"}));
            }
            ReadByte(fd, 2000);
            close(fd);
        });
        ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)") << row.name;
        if (!row.close_at_enq) PauseMs(300);  // the close has reached this end
        EXPECT_EQ(ErrorOf([&] { device_.RunCommand("00", {}, 15000); }), u"(no error)") << row.name;
        EXPECT_EQ(device_.Data(), std::vector<std::string>{"again"}) << row.name;
        device_.Disable();
        peer.Join();
        EXPECT_EQ(frames_on_first, 0) << row.name;
    }
}

// A frame that may have reached the register is never sent again on a new
// connection: the exchange fails and the next one connects.
TEST_F(TransportLinkDeadlineTcp, AConnectionLostAfterTheFrameIsNotRetried) {
    int frames = 0;
    PeerThread peer([&] {
        int fd = listener_.Accept(kPeerWaitMs);
        if (fd < 0) return;
        if (ServeHandshake(fd) && ServeHandshake(fd) && ReadFrame(fd, kPeerWaitMs).complete)
            ++frames;
        close(fd);
        fd = listener_.Accept(1500);
        if (fd < 0) return;
        if (ServeHandshake(fd) && ReadFrame(fd, 1500).complete) ++frames;
        close(fd);
    });
    ASSERT_EQ(ErrorOf([&] { device_.Enable(); }), u"(no error)");
    EXPECT_EQ(ErrorOf([&] { device_.RunCommand("31", {}, 15000); }),
              u"Ошибка при получении ответа от сервера");
    peer.Join();
    EXPECT_EQ(frames, 1);
}

// Another loopback address with nothing listening on the port: the attempt ends
// within the connect time-out, naming the address (the tests reach no address
// outside this machine; the full listen queue below is the connect that hangs).
TEST_F(TransportLinkDeadlineTcp, AnAddressWithNothingListeningFailsWithinTheConnectTimeout) {
    const uint16_t port = ClosedPort();
    const auto start = Clock::now();
    const int32_t code = device_.Connect(u"127.0.0.2", port);
    const int64_t elapsed = MsSince(start);
    EXPECT_EQ(code, kSocketConnectError);
    const std::u16string text = device_.ExtResultDescription();
    EXPECT_TRUE(StartsWith(text, u"Ошибка при установлении подключения к ФР ("))
        << testing::PrintToString(text);
    EXPECT_NE(text.find(u"127.0.0.2:" + Utf8ToUtf16(std::to_string(port))), std::u16string::npos)
        << testing::PrintToString(text);
    EXPECT_LT(elapsed, static_cast<int64_t>(kConnectTimeoutMs) + 3000);
    EXPECT_FALSE(device_.Connected());
}

// A listener whose queue is full drops the handshake of a new connection, so the
// attempt hangs: the connect time-out ends it.
TEST_F(TransportLinkDeadlineTcp, SlowAFullListenQueueFailsAtTheConnectTimeout) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(listen(server, 0), 0);
    socklen_t len = sizeof(addr);
    getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        fillers.push_back(c);
    }
    PauseMs(200);
    const auto start = Clock::now();
    const int32_t code = device_.Connect(u"127.0.0.1", ntohs(addr.sin_port));
    const int64_t elapsed = MsSince(start);
    for (const int c : fillers)
        close(c);
    close(server);
    if (code == kSocketOk) GTEST_SKIP() << "this system accepted past a full listen queue";
    EXPECT_EQ(code, kSocketConnectError);
    EXPECT_GE(elapsed, static_cast<int64_t>(kConnectTimeoutMs) - 300);
    EXPECT_LT(elapsed, static_cast<int64_t>(kConnectTimeoutMs) + 3000);
    EXPECT_NE(device_.ExtResultDescription().find(u"127.0.0.1:"), std::u16string::npos);
}

}  // namespace
}  // namespace fr
