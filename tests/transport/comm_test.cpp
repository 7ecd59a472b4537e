// The serial port class on a pseudo-terminal pair: the test holds the master end.

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "scripted_peer.h"
#include "transport/comm.h"

namespace fr {
namespace {

using namespace transport_test;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

class TransportComm : public ::testing::Test {
  protected:
    void SetUp() override { com_.SetPortNumber(PtyPort::kComNumber); }

    PtyPort pty_;
    TCOM com_;
};

TEST_F(TransportComm, InitialStateOfTheRegisterLine) {
    TComm plain;
    EXPECT_FALSE(plain.Opened());
    EXPECT_EQ(plain.PortNumber(), 1);
    EXPECT_EQ(plain.BaudRate(), br9600);
    EXPECT_EQ(plain.Timeouts(), (CommTimeouts{100, 0, 100, 50, 100}));
    EXPECT_EQ(plain.XonLimit(), 256);
    EXPECT_EQ(plain.XoffLimit(), 256);

    EXPECT_FALSE(com_.Opened());
    EXPECT_EQ(com_.BaudRate(), br57600);
    EXPECT_EQ(com_.DataBits(), 8);
    EXPECT_EQ(com_.Parity(), prNone);
    EXPECT_EQ(com_.StopBits(), sbOneStopBit);
    EXPECT_EQ(com_.Timeouts(), (CommTimeouts{100, 0, 500, 50, 100}));
}

TEST_F(TransportComm, BaudRateAsIntAcceptsOnlyTheThirteenSpeeds) {
    const struct {
        int32_t value;
        TBaudRate rate;
    } speeds[] = {{110, br110},      {300, br300},     {600, br600},     {1200, br1200},
                  {2400, br2400},    {4800, br4800},   {9600, br9600},   {14400, br14400},
                  {19200, br19200},  {38400, br38400}, {56000, br56000}, {57600, br57600},
                  {115200, br115200}};
    for (const auto& s : speeds) {
        com_.SetBaudRateAsInt(s.value);
        EXPECT_EQ(com_.BaudRate(), s.rate) << s.value;
        EXPECT_EQ(com_.BaudRateAsInt(), s.value);
    }
    for (const int32_t other : {128000, 0, -9600, 9601, 256000}) {
        com_.SetBaudRateAsInt(other);
        EXPECT_EQ(com_.BaudRate(), br115200) << other;
    }
    EXPECT_FALSE(com_.Opened());  // storing a speed does not open the port
}

TEST_F(TransportComm, OpenOnANumberWithoutADeviceFailsWithTheSystemText) {
    TCOM missing;
    missing.SetPortNumber(200);  // no link com200, no /dev/ttyS199
    EXPECT_FALSE(missing.Open());
    EXPECT_FALSE(missing.Opened());
    const std::u16string prefix = u"Ошибка открытия порта. ";
    EXPECT_TRUE(StartsWith(missing.ExtResultDescription(), prefix));
    EXPECT_GT(missing.ExtResultDescription().size(), prefix.size());
}

TEST_F(TransportComm, OpenFollowsADanglingLinkToItsFailure) {
    const std::string link = pty_.dir() + "/com43";
    ASSERT_EQ(symlink("/nonexistent/tty", link.c_str()), 0);
    TCOM com;
    com.SetPortNumber(43);
    EXPECT_FALSE(com.Open());
    EXPECT_TRUE(StartsWith(com.ExtResultDescription(), u"Ошибка открытия порта. "));
    unlink(link.c_str());
}

TEST_F(TransportComm, OpenAppliesRawEightBitsNoParityAtTheSpeed) {
    ASSERT_TRUE(com_.Open()) << testing::PrintToString(com_.ExtResultDescription());
    EXPECT_TRUE(com_.Opened());
    EXPECT_TRUE(com_.Open());  // at once when open
    termios tio{};
    ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ISIG | ECHO), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);

    // The speed applies at once; framing waits for the next open.
    com_.SetBaudRate(br115200);
    com_.SetParity(prEven);
    com_.SetStopBits(sbTwoStopBits);
    ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_TRUE(com_.Close());
    EXPECT_FALSE(com_.Opened());
    ASSERT_TRUE(com_.Open());
    ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
    // A pseudo-terminal keeps no parity of its own; the stop bits show the reopen.
    EXPECT_EQ(tio.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

TEST_F(TransportComm, ASpeedTheSystemLacksFailsTheOpenAndLeavesThePortClosed) {
    com_.SetBaudRate(br14400);
    EXPECT_FALSE(com_.Open());
    EXPECT_FALSE(com_.Opened());
    EXPECT_FALSE(com_.ExtResultDescription().empty());
}

TEST_F(TransportComm, EmptyWriteDoesNotOpenButPurgeDoes) {
    EXPECT_TRUE(com_.WriteStr("", 0));
    EXPECT_FALSE(com_.Opened());
    EXPECT_TRUE(com_.Purge(true));
    EXPECT_TRUE(com_.Opened());
}

TEST_F(TransportComm, WritesReachTheOtherEndByteForByte) {
    const std::string frame("\x02KVMT!00\x03\x31\x43\x00\xFF", 13);
    EXPECT_TRUE(com_.WriteStr(frame, 0));  // opens the port by itself
    EXPECT_TRUE(com_.WriteChar('\x05'));
    EXPECT_EQ(ReadBytes(pty_.master(), frame.size() + 1, 1000), frame + '\x05');
}

TEST_F(TransportComm, WaitingReadFailsWithinAPollWhenNothingIsQueued) {
    ASSERT_TRUE(com_.Open());
    char ch = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(com_.ReadChar(ch, 0));
    EXPECT_LT(MsSince(start), 400);
    EXPECT_EQ(com_.ExtResultDescription(), u"Ошибка при чтении данных из порта");

    const auto start2 = Clock::now();
    EXPECT_FALSE(com_.ReadChar(ch, 200));
    EXPECT_GE(MsSince(start2), 190);
    EXPECT_EQ(com_.ExtResultDescription(), u"Ошибка при чтении данных из порта");
}

TEST_F(TransportComm, WaitingReadTakesAByteThatComesLate) {
    ASSERT_TRUE(com_.Open());
    PeerThread peer([&] {
        PauseMs(150);
        WriteAll(pty_.master(), "\x06");
    });
    char ch = 0;
    EXPECT_TRUE(com_.ReadChar(ch, 3000));
    EXPECT_EQ(ch, '\x06');
}

TEST_F(TransportComm, OneByteReadWaitsTheTotalTimeoutThenReportsNoAnswer) {
    ASSERT_TRUE(com_.Open());
    char ch = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(com_.ReadChar(ch));
    const int64_t elapsed = MsSince(start);
    EXPECT_GE(elapsed, 450);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(com_.ExtResultDescription(), u"Устройство не отвечает");
}

TEST_F(TransportComm, ReadStringReturnsTheBytesThatCame) {
    ASSERT_TRUE(com_.Open());
    std::string buff;
    WriteAll(pty_.master(), "4");
    EXPECT_TRUE(com_.ReadString(2, buff));  // one byte, then the total time-out
    EXPECT_EQ(buff, "4");

    WriteAll(pty_.master(), "4F");
    EXPECT_TRUE(com_.ReadString(2, buff));
    EXPECT_EQ(buff, "4F");
}

TEST_F(TransportComm, ReadStringStopsWhenTheIntervalPassesBetweenTwoBytes) {
    ASSERT_TRUE(com_.Open());
    PeerThread peer([&] {
        WriteAll(pty_.master(), "A");
        PauseMs(350);  // over the 100 ms interval, within the 500 ms total
        WriteAll(pty_.master(), "B");
    });
    std::string buff;
    EXPECT_TRUE(com_.ReadString(2, buff));
    EXPECT_EQ(buff, "A");
    peer.Join();
    EXPECT_TRUE(com_.ReadString(2, buff));
    EXPECT_EQ(buff, "B");
}

TEST_F(TransportComm, ReadTimeoutsFollowTheWin32Rules) {
    // MAXDWORD, 0, 0: what is queued, at once. Writing time-outs opens the port.
    com_.SetTimeouts({kMaxDword, 0, 0, 50, 100});
    EXPECT_TRUE(com_.Opened());
    std::string buff;
    auto start = Clock::now();
    EXPECT_TRUE(com_.ReadString(4, buff));
    EXPECT_TRUE(buff.empty());
    EXPECT_LT(MsSince(start), 300);
    WriteAll(pty_.master(), "ab");
    PauseMs(50);
    EXPECT_TRUE(com_.ReadString(4, buff));
    EXPECT_EQ(buff, "ab");

    // No interval: the total is the multiplier times the count asked for.
    com_.SetTimeouts({0, 100, 0, 50, 100});
    WriteAll(pty_.master(), "x");
    start = Clock::now();
    EXPECT_TRUE(com_.ReadString(4, buff));
    EXPECT_EQ(buff, "x");
    const int64_t elapsed = MsSince(start);
    EXPECT_GE(elapsed, 380);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(TransportComm, PurgeDiscardsWhatWasQueued) {
    ASSERT_TRUE(com_.Open());
    WriteAll(pty_.master(), "stale");
    PauseMs(50);
    EXPECT_EQ(com_.InQueueCount(), 5u);
    EXPECT_TRUE(com_.Purge(true));
    EXPECT_EQ(com_.InQueueCount(), 0u);
}

TEST_F(TransportComm, QueueOperationsReportEmptyAndClosedPorts) {
    uint8_t buffer[4];
    uint32_t got = 7;
    EXPECT_FALSE(com_.ReadBytes(buffer, sizeof(buffer), got, 0));
    EXPECT_EQ(com_.ExtResultDescription(), u"Порт не открыт");
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(com_.WriteBytes(buffer, sizeof(buffer)));
    EXPECT_EQ(com_.ExtResultDescription(), u"Порт не открыт");
    EXPECT_FALSE(com_.Opened());

    ASSERT_TRUE(com_.Open());
    std::string buff;
    EXPECT_FALSE(com_.ReadString(buff, 0));
    EXPECT_EQ(com_.ExtResultDescription(), u"Данные в буфере отсутствуют");
    EXPECT_FALSE(com_.ReadBytes(buffer, sizeof(buffer), got, 0));
    EXPECT_EQ(com_.ExtResultDescription(), u"Данные в буфере отсутствуют");

    WriteAll(pty_.master(), "xyz");
    PauseMs(50);
    EXPECT_TRUE(com_.ReadBytes(buffer, 2, got, 0));
    EXPECT_EQ(got, 2u);
    EXPECT_TRUE(com_.ReadString(buff, 0));
    EXPECT_EQ(buff, "z");
}

TEST_F(TransportComm, FixedReadsTellShortFromNothing) {
    ASSERT_TRUE(com_.Open());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(com_.ReadBytes(bytes, 0));
    EXPECT_FALSE(com_.ReadBytes(bytes, 3));
    EXPECT_EQ(com_.ExtResultDescription(), u"Устройство не отвечает");
    WriteAll(pty_.master(), "\x01");
    EXPECT_FALSE(com_.ReadBytes(bytes, 3));
    EXPECT_EQ(com_.ExtResultDescription(), u"Ошибка протокола обмена");
    WriteAll(pty_.master(), "\x01\x02");
    uint8_t fixed[2] = {};
    EXPECT_TRUE(com_.ReadBytes(2, fixed));
    EXPECT_EQ(fixed[1], 0x02);

    uint8_t value = 0;
    EXPECT_EQ(com_.iReadByte(value), kResultReadError);
    EXPECT_TRUE(StartsWith(com_.ExtResultDescription(), u"Ошибка при чтении данных из порта. "));
    WriteAll(pty_.master(), "\x7F");
    EXPECT_EQ(com_.iReadByte(value), kResultOk);
    EXPECT_EQ(value, 0x7F);
}

TEST_F(TransportComm, CommandOperationsWriteThenCollectTheAnswer) {
    EXPECT_EQ(com_.SendCmd("PING"), kResultOk);
    EXPECT_EQ(ReadBytes(pty_.master(), 4, 1000), "PING");

    {
        PeerThread peer([&] {
            ReadBytes(pty_.master(), 3, 2000);
            WriteAll(pty_.master(), "OK\r12");
        });
        std::string out;
        EXPECT_EQ(com_.RunCmd("AT\r", out, "\r", 64, 3000, 2), kResultOk);
        EXPECT_EQ(out, "OK\r12");
    }
    {
        PeerThread peer([&] {
            ReadBytes(pty_.master(), 3, 2000);
            WriteAll(pty_.master(), "NO");
        });
        std::string out;
        EXPECT_EQ(com_.RunCmd("AT\r", out, "\r", 64, 800, 0), kResultProtocolError);
        EXPECT_EQ(out, "NO");
    }
    {
        std::string out;
        EXPECT_EQ(com_.RunCmd("AT\r", out, "\r", 64, 300, 0), kResultNoAnswer);
        EXPECT_TRUE(out.empty());
    }
}

TEST_F(TransportComm, EndMarkerReadsTellPartFromNothing) {
    ASSERT_TRUE(com_.Open());
    std::string data;
    WriteAll(pty_.master(), "abc;");
    EXPECT_EQ(com_.ReadStr(data, ';', 2000), kResultOk);
    EXPECT_EQ(data, "abc;");
    WriteAll(pty_.master(), "ab");
    EXPECT_EQ(com_.ReadStr(data, ';', 300), kResultProtocolError);
    EXPECT_EQ(com_.ReadStr(data, ';', 300), kResultNoAnswer);
    EXPECT_EQ(com_.ReadStr(data, 100), kResultNoAnswer);
    WriteAll(pty_.master(), "q");
    EXPECT_EQ(com_.ReadStr(data, 1000), kResultOk);
    EXPECT_EQ(data, "q");
    WriteAll(pty_.master(), "z");
    EXPECT_EQ(com_.ReadStr(3, data, true), kResultUnknownError);
    EXPECT_EQ(data, "z");
    EXPECT_EQ(com_.ReadStr(3, data, "\x03"), kResultOk);  // the marker form
    EXPECT_EQ(com_.EndSymbol(), "\x03");
}

TEST_F(TransportComm, DestroyingAnOpenPortClosesIt) {
    const int before = CountOpenDescriptors();
    {
        TCOM com;
        com.SetPortNumber(PtyPort::kComNumber);
        ASSERT_TRUE(com.Open());
        EXPECT_EQ(CountOpenDescriptors(), before + 1);
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

}  // namespace
}  // namespace fr
