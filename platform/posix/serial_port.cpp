// Serial port over termios. The descriptor stays non-blocking with VMIN and VTIME
// at 0; the Win32 read and write time-outs are emulated with poll.

#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

namespace fr {

namespace {

constexpr intptr_t kClosed = -1;

struct SpeedEntry {
    uint32_t baud;
    speed_t code;
};

// 14400, 56000 and 128000 have no termios code: setting them fails with EINVAL.
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedCode(uint32_t baud, speed_t& code) {
    for (const auto& entry : kSpeeds) {
        if (entry.baud == baud) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

uint32_t SpeedBaud(speed_t code) {
    for (const auto& entry : kSpeeds) {
        if (entry.code == code) return entry.baud;
    }
    return 0;
}

std::string DevicePath(int32_t number) {
    if (const char* dir = std::getenv("FR_COM_DIR"); dir != nullptr && *dir != '\0') {
        std::string link = std::string(dir) + "/com" + std::to_string(number);
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0) return link;
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits for the events on fd for at most timeout_ms (negative: without limit).
// Returns the revents, 0 on time-out, -1 on failure (errno set).
int WaitFor(int fd, short events, int64_t timeout_ms) {
    pollfd p{fd, events, 0};
    const int64_t deadline = timeout_ms < 0 ? -1 : NowMs() + timeout_ms;
    for (;;) {
        int wait = -1;
        if (deadline >= 0) {
            const int64_t left = deadline - NowMs();
            if (left <= 0) return 0;
            wait = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
        }
        const int r = poll(&p, 1, wait);
        if (r > 0) return p.revents;
        if (r == 0) {
            if (deadline >= 0 && deadline - NowMs() <= 0) return 0;
            continue;
        }
        if (errno != EINTR) return -1;
    }
}

void SetModemLine(int fd, int line, bool on) {
    int bits = line;
    // Lines a device lacks (a pseudo-terminal has none) are not an error of the state.
    (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

}  // namespace

SerialPort::SerialPort() : handle_(kClosed) {}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Fail() {
    last_error_ = errno;
    return false;
}

std::string SerialPort::DeviceName(int32_t APortNumber) {
    return DevicePath(APortNumber);
}

bool SerialPort::Open(int32_t APortNumber) {
    if (IsOpen()) Close();
    if (APortNumber < 1) {
        errno = ENOENT;
        return Fail();
    }
    const std::string path = DevicePath(APortNumber);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail();
    if (!isatty(fd)) {
        errno = ENOTTY;
        Fail();
        close(fd);
        return false;
    }
    // Not shared: a second open by an ordinary process is refused while we hold it.
    (void)ioctl(fd, TIOCEXCL);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        Fail();
        close(fd);
        return false;
    }
    // Raw bytes: no line discipline may turn ETX into a signal or CR into LF.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~HUPCL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        Fail();
        close(fd);
        return false;
    }
    handle_ = fd;
    timeouts_ = CommTimeouts{};
    return true;
}

bool SerialPort::IsOpen() const {
    return handle_ != kClosed;
}

void SerialPort::Close() {
    if (!IsOpen()) return;
    const int fd = static_cast<int>(handle_);
    (void)ioctl(fd, TIOCNXCL);
    close(fd);
    handle_ = kClosed;
}

bool SerialPort::SetupQueues(uint32_t, uint32_t) {
    if (!IsOpen()) {
        errno = EBADF;
        return Fail();
    }
    return true;
}

bool SerialPort::Purge(bool) {
    // Transfers are blocking calls of this thread, so nothing is pending to abort.
    if (tcflush(static_cast<int>(handle_), TCIOFLUSH) != 0) return Fail();
    return true;
}

bool SerialPort::GetState(SerialPortState& AState) {
    const int fd = static_cast<int>(handle_);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return Fail();
    AState.BaudRate = SpeedBaud(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            AState.ByteSize = 5;
            break;
        case CS6:
            AState.ByteSize = 6;
            break;
        case CS7:
            AState.ByteSize = 7;
            break;
        default:
            AState.ByteSize = 8;
            break;
    }
    if (!(tio.c_cflag & PARENB)) {
        AState.Parity = 0;
    } else if (tio.c_cflag & CMSPAR) {
        AState.Parity = (tio.c_cflag & PARODD) ? 3 : 4;
    } else {
        AState.Parity = (tio.c_cflag & PARODD) ? 1 : 2;
    }
    AState.StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
    AState.ParityCheck = (tio.c_iflag & INPCK) != 0;
    AState.OutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    if (AState.OutxCtsFlow) AState.RtsControl = 2;
    AState.OutX = (tio.c_iflag & IXON) != 0;
    AState.InX = (tio.c_iflag & IXOFF) != 0;
    AState.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    AState.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return true;
}

bool SerialPort::SetState(const SerialPortState& AState) {
    const int fd = static_cast<int>(handle_);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return Fail();
    speed_t speed{};
    if (!SpeedCode(AState.BaudRate, speed)) {
        errno = EINVAL;
        return Fail();
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (AState.ByteSize) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        case 8:
            tio.c_cflag |= CS8;
            break;
        default:
            errno = EINVAL;
            return Fail();
    }
    switch (AState.Parity) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            errno = EINVAL;
            return Fail();
    }
    // One and a half stop bits exist only with five data bits; termios gives two.
    if (AState.StopBits > 2) {
        errno = EINVAL;
        return Fail();
    }
    if (AState.StopBits != 0) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    if (AState.ParityCheck && AState.Parity != 0) tio.c_iflag |= INPCK;
    // Hardware output flow: termios has one switch for CTS (with RTS handshake).
    if (AState.OutxCtsFlow || AState.RtsControl == 2) tio.c_cflag |= CRTSCTS;
    if (AState.OutX) tio.c_iflag |= IXON;
    if (AState.InX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(AState.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(AState.XoffChar);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return Fail();
    SetModemLine(fd, TIOCM_DTR, AState.DtrControl != 0);
    if (AState.RtsControl != 2) SetModemLine(fd, TIOCM_RTS, AState.RtsControl == 1);
    return true;
}

bool SerialPort::SetTimeouts(const CommTimeouts& ATimeouts) {
    if (!IsOpen()) {
        errno = EBADF;
        return Fail();
    }
    timeouts_ = ATimeouts;
    return true;
}

bool SerialPort::InQueueCount(uint32_t& ACount) {
    int count = 0;
    if (ioctl(static_cast<int>(handle_), FIONREAD, &count) != 0) return Fail();
    ACount = count < 0 ? 0 : static_cast<uint32_t>(count);
    return true;
}

bool SerialPort::Read(void* ABuffer, uint32_t ASize, uint32_t& ARead) {
    ARead = 0;
    if (!IsOpen()) {
        errno = EBADF;
        return Fail();
    }
    if (ASize == 0) return true;
    const int fd = static_cast<int>(handle_);
    auto* out = static_cast<unsigned char*>(ABuffer);
    const CommTimeouts& t = timeouts_;
    // MAXDWORD, 0, 0: take what is queued and return at once.
    const bool immediate = t.ReadIntervalTimeout == kMaxDword &&
                           t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    // MAXDWORD, MAXDWORD, c: return as soon as anything came, waiting at most c for it.
    const bool first_only =
        t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword;
    int64_t total = -1;  // no limit
    if (first_only) {
        total = t.ReadTotalTimeoutConstant;
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        total =
            static_cast<int64_t>(t.ReadTotalTimeoutMultiplier) * ASize + t.ReadTotalTimeoutConstant;
    }
    const bool use_interval =
        !first_only && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
    const int64_t start = NowMs();
    int64_t last_byte = start;
    for (;;) {
        const ssize_t r = read(fd, out + ARead, ASize - ARead);
        if (r > 0) {
            ARead += static_cast<uint32_t>(r);
            last_byte = NowMs();
            if (ARead == ASize || first_only) return true;
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Fail();
        if (immediate) return true;
        const int64_t now = NowMs();
        int64_t wait = -1;  // no limit
        if (total >= 0) wait = std::max<int64_t>(0, start + total - now);
        if (use_interval && ARead > 0) {
            const int64_t gap = std::max<int64_t>(0, last_byte + t.ReadIntervalTimeout - now);
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        if (wait == 0) return true;  // time-out: what came is the result
        const int ev = WaitFor(fd, POLLIN, wait);
        if (ev < 0) return Fail();
        if (ev == 0) return true;  // time-out: what came is the result
        if ((ev & (POLLHUP | POLLERR | POLLNVAL)) && !(ev & POLLIN)) {
            errno = EIO;
            return Fail();
        }
    }
}

bool SerialPort::Write(const void* ABuffer, uint32_t ASize, uint32_t& AWritten) {
    AWritten = 0;
    if (!IsOpen()) {
        errno = EBADF;
        return Fail();
    }
    const int fd = static_cast<int>(handle_);
    const auto* in = static_cast<const unsigned char*>(ABuffer);
    const CommTimeouts& t = timeouts_;
    int64_t total = -1;
    if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
        total = static_cast<int64_t>(t.WriteTotalTimeoutMultiplier) * ASize +
                t.WriteTotalTimeoutConstant;
    }
    const int64_t start = NowMs();
    while (AWritten < ASize) {
        const ssize_t r = write(fd, in + AWritten, ASize - AWritten);
        if (r > 0) {
            AWritten += static_cast<uint32_t>(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Fail();
        int64_t wait = -1;
        if (total >= 0) {
            wait = start + total - NowMs();
            if (wait <= 0) return true;  // time-out: the count tells the caller
        }
        const int ev = WaitFor(fd, POLLOUT, wait);
        if (ev < 0) return Fail();
        if (ev == 0) return true;
        if ((ev & (POLLHUP | POLLERR | POLLNVAL)) && !(ev & POLLOUT)) {
            errno = EIO;
            return Fail();
        }
    }
    return true;
}

bool SerialPort::SetDTR(bool AOn) {
    int bits = TIOCM_DTR;
    if (ioctl(static_cast<int>(handle_), AOn ? TIOCMBIS : TIOCMBIC, &bits) != 0) return Fail();
    return true;
}

bool SerialPort::SetRTS(bool AOn) {
    int bits = TIOCM_RTS;
    if (ioctl(static_cast<int>(handle_), AOn ? TIOCMBIS : TIOCMBIC, &bits) != 0) return Fail();
    return true;
}

}  // namespace fr
