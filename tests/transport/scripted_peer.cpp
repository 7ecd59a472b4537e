#include "scripted_peer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/text.h"
#include "support/log.h"

namespace fr::transport_test {

std::string CheckChars(std::string_view body) {
    uint8_t sum = 0;
    for (const char c : body)
        sum ^= static_cast<uint8_t>(c);
    char text[3];
    std::snprintf(text, sizeof(text), "%02X", sum);
    return text;
}

std::string Answer(uint8_t id, std::string_view cmd, std::string_view error,
                   const std::vector<std::string>& fields) {
    std::string body(1, static_cast<char>(id));
    body += cmd;
    body += error;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) body += '\x1C';
        body += fields[i];
    }
    body += '\x03';
    return '\x02' + body + CheckChars(body);
}

int ReadByte(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return -1;
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        unsigned char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n == 1) return c;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n < 0 && errno == EIO) {  // a pseudo-terminal whose slave is closed for now
            PauseMs(5);
            continue;
        }
        return -1;
    }
}

std::string ReadBytes(int fd, size_t n, int timeout_ms) {
    std::string out;
    while (out.size() < n) {
        const int c = ReadByte(fd, timeout_ms);
        if (c < 0) break;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

RequestFrame ReadFrame(int fd, int timeout_ms) {
    RequestFrame frame;
    int c = ReadByte(fd, timeout_ms);
    if (c != 0x02) {
        if (c >= 0) frame.raw.push_back(static_cast<char>(c));
        return frame;
    }
    frame.raw.push_back('\x02');
    std::string body;
    while ((c = ReadByte(fd, timeout_ms)) >= 0) {
        body.push_back(static_cast<char>(c));
        if (c == 0x03) break;
    }
    frame.raw += body;
    if (c != 0x03) return frame;
    const std::string check = ReadBytes(fd, 2, timeout_ms);
    frame.raw += check;
    if (check.size() != 2 || body.size() < 8) return frame;
    frame.complete = true;
    frame.check_ok = check == CheckChars(body);
    frame.password = body.substr(0, 4);
    frame.id = static_cast<uint8_t>(body[4]);
    frame.cmd = body.substr(5, 2);
    return frame;
}

void WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the driver's end is gone; the test's checks tell
        done += static_cast<size_t>(n);
    }
}

void PauseMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int CountOpenDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1;  // the directory stream's own
}

PtyPort::PtyPort() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    char pattern[] = "/tmp/transport_com_XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const std::string link = dir_ + "/com" + std::to_string(kComNumber);
    if (symlink(name, link.c_str()) != 0) throw std::runtime_error("symlink failed");
    setenv("FR_COM_DIR", dir_.c_str(), 1);
}

PtyPort::~PtyPort() {
    unsetenv("FR_COM_DIR");
    unlink((dir_ + "/com" + std::to_string(kComNumber)).c_str());
    rmdir(dir_.c_str());
    close(slave_);
    close(master_);
}

Listener::Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd_, 8) != 0) {
        throw std::runtime_error("listen failed");
    }
    socklen_t len = sizeof(addr);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

Listener::~Listener() {
    Close();
}

void Listener::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

int Listener::Accept(int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return -1;
    return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

LogCapture::LogCapture() {
    char pattern[] = "/tmp/transport_log_XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    file_ = dir_ + "/exchange.log";
    TLog::SetLogFileName(Utf8ToUtf16(file_));
    TLog::SetLogLevel(3);
}

LogCapture::~LogCapture() {
    TLog::SetLogLevel(0);
    TLog::SetLogFileName(u"");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string LogCapture::Text() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint16_t ClosedPort() {
    Listener listener;
    const uint16_t port = listener.port();
    listener.Close();
    return port;
}

}  // namespace fr::transport_test
