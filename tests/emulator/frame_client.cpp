#include "frame_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <ctime>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tools/fremu/wire_format.h"

namespace fr::emu::test {

TFrameClient TFrameClient::ConnectTcp(int APort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(APort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect to the emulator");
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return TFrameClient(fd);
}

TFrameClient TFrameClient::OpenSerial(const std::string& APath) {
    const int fd = ::open(APath.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) throw std::runtime_error("cannot open " + APath);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    return TFrameClient(fd);
}

TFrameClient::TFrameClient(TFrameClient&& AOther) noexcept : FFd(AOther.FFd), FId(AOther.FId) {
    AOther.FFd = -1;
}

TFrameClient::~TFrameClient() {
    if (FFd >= 0) ::close(FFd);
}

int TFrameClient::ReadByte(int ATimeoutMs) {
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, ATimeoutMs) <= 0) return -1;
    unsigned char c = 0;
    const ssize_t n = ::read(FFd, &c, 1);
    if (n <= 0) return -2;
    return c;
}

void TFrameClient::Write(const std::string& ABytes) {
    ASSERT_EQ(::write(FFd, ABytes.data(), ABytes.size()), static_cast<ssize_t>(ABytes.size()));
}

int TFrameClient::Enq(int ATimeoutMs) {
    Write(std::string(1, kENQ));
    return ReadByte(ATimeoutMs);
}

std::string TFrameClient::CheckSum(const std::string& ABytes) {
    unsigned x = 0;
    for (unsigned char c : ABytes)
        x ^= c;
    static const char kHex[] = "0123456789ABCDEF";
    return {kHex[(x >> 4) & 0xF], kHex[x & 0xF]};
}

std::string TFrameClient::Frame(const std::string& APassword, uint8_t AId, const std::string& ACmd,
                                const std::vector<std::string>& AFieldsUtf8) {
    std::string body = APassword + static_cast<char>(AId) + ACmd;
    for (size_t i = 0; i < AFieldsUtf8.size(); ++i) {
        if (i > 0) body += kFS;
        body += Utf8ToOem(AFieldsUtf8[i]);
    }
    body += kETX;
    return std::string(1, kSTX) + body + CheckSum(body);
}

uint8_t TFrameClient::NextId() {
    FId = FId == 0xF0 ? 0x20 : FId + 1;
    return FId;
}

TAnswerFrame TFrameClient::ReadAnswer(int ATimeoutMs, int* AFirst) {
    TAnswerFrame a;
    const int first = ReadByte(ATimeoutMs);
    if (AFirst) *AFirst = first;
    if (first != kSTX) {
        if (first >= 0) a.Raw += static_cast<char>(first);
        return a;
    }
    a.Raw += kSTX;
    while (true) {
        const int c = ReadByte(ATimeoutMs);
        if (c < 0) return a;
        a.Raw += static_cast<char>(c);
        if (c == kETX) break;
    }
    for (int i = 0; i < 2; ++i) {
        const int c = ReadByte(ATimeoutMs);
        if (c < 0) return a;
        a.Raw += static_cast<char>(c);
    }
    a.Complete = true;
    const std::string body = a.Raw.substr(1, a.Raw.size() - 3);
    a.Check = a.Raw.substr(a.Raw.size() - 2);
    a.CheckOk = CheckSum(body) == a.Check;
    if (body.size() >= 6) {
        a.PacketID = static_cast<uint8_t>(body[0]);
        a.Command = body.substr(1, 2);
        a.Code = body.substr(3, 2);
        for (const auto& f : SplitFields(body.substr(5, body.size() - 6)))
            a.Fields.push_back(OemToUtf8(f));
    }
    return a;
}

TAnswerFrame TFrameClient::Call(const std::string& ACmd, const std::vector<std::string>& AFields,
                                const std::string& APassword) {
    const int ack = Enq();
    EXPECT_EQ(ack, kACK) << "command " << ACmd;
    if (ack != kACK) return {};
    Write(Frame(APassword, NextId(), ACmd, AFields));
    return ReadAnswer(5000);
}

namespace {

std::string Format(long ASeconds, const char* APattern) {
    const std::time_t t = std::time(nullptr) + ASeconds;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, APattern, &tm);
    return buf;
}

}  // namespace

std::string DateNow(long ASeconds) {
    return Format(ASeconds, "%d%m%y");
}
std::string TimeNow(long ASeconds) {
    return Format(ASeconds, "%H%M%S");
}

}  // namespace fr::emu::test
