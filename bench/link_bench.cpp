// One exchange over a real TCP connection on loopback, against a peer thread that
// answers at once: what the link itself costs per exchange. Beside the time it
// counts the socket system calls the driver's thread makes (the executable is
// linked with --wrap for each of them), the figure that moves when the link starts
// to make a call per byte, however fast or slow the machine's calls are that day.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

#include "device/device.h"
#include "support/common_utils.h"
#include "support/log.h"
#include "transport/socket_device.h"

// Counted on the thread that sets the flag only: the peer's calls are its own.
thread_local bool tCounting = false;
std::atomic<uint64_t> gSocketCalls{0};

extern "C" {
ssize_t __real_recv(int, void*, size_t, int);
ssize_t __real_send(int, const void*, size_t, int);
int __real_setsockopt(int, int, int, const void*, socklen_t);
int __real_poll(pollfd*, nfds_t, int);
int __real_ioctl(int, unsigned long, ...);

ssize_t __wrap_recv(int fd, void* buf, size_t len, int flags) {
    if (tCounting) gSocketCalls.fetch_add(1, std::memory_order_relaxed);
    return __real_recv(fd, buf, len, flags);
}
ssize_t __wrap_send(int fd, const void* buf, size_t len, int flags) {
    if (tCounting) gSocketCalls.fetch_add(1, std::memory_order_relaxed);
    return __real_send(fd, buf, len, flags);
}
int __wrap_setsockopt(int fd, int level, int name, const void* value, socklen_t len) {
    if (tCounting) gSocketCalls.fetch_add(1, std::memory_order_relaxed);
    return __real_setsockopt(fd, level, name, value, len);
}
int __wrap_poll(pollfd* fds, nfds_t count, int timeout) {
    if (tCounting) gSocketCalls.fetch_add(1, std::memory_order_relaxed);
    return __real_poll(fds, count, timeout);
}
int __wrap_ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (tCounting) gSocketCalls.fetch_add(1, std::memory_order_relaxed);
    return __real_ioctl(fd, request, arg);
}
}

namespace {

using namespace fr;

constexpr double kLineBaud = 115200;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A register that answers ENQ with ACK and every frame with one status answer, each
// in one write, as soon as the request is in.
class TInstantPeer {
  public:
    TInstantPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(addr);
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("no loopback listener");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TInstantPeer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int Port() const { return port_; }
    uint64_t LineBytes() const { return lineBytes_.load(); }

  private:
    void Serve() {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        std::string in;
        char buffer[512];
        for (;;) {
            const ssize_t r = ::read(fd, buffer, sizeof(buffer));
            if (r <= 0) break;
            in.append(buffer, static_cast<size_t>(r));
            lineBytes_ += static_cast<uint64_t>(r);
            while (!in.empty()) {
                std::string answer;
                if (in[0] == ENQ) {
                    answer.assign(1, ACK);
                    in.erase(0, 1);
                } else {
                    const size_t etx = in.find(ETX);
                    if (etx == std::string::npos || in.size() < etx + 3) break;
                    std::string body(1, in[5]);
                    body += in.substr(6, 2);
                    body += "00";
                    body += "0";
                    body += FS;
                    body += "12";
                    body += FS;
                    body += "0";
                    body += ETX;
                    answer = std::string(1, STX) + body + GetCheckSum(body);
                    in.erase(0, etx + 3);
                }
                lineBytes_ += answer.size();
                if (::write(fd, answer.data(), answer.size()) < 0) break;
            }
        }
        ::close(fd);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<uint64_t> lineBytes_{0};
    std::thread thread_;
};

void BM_TcpStatusRoundTrip(benchmark::State& state) {
    TLog::SetLogLevel(0);
    TInstantPeer peer;
    TSocketDevice dev;
    dev.SetIPAddress(u"127.0.0.1");
    dev.SetTCPPort(peer.Port());
    dev.Enable();
    uint8_t fatal = 0, document = 0;
    uint16_t current = 0;
    const uint64_t bytes0 = peer.LineBytes();
    const uint64_t calls0 = gSocketCalls.load();
    const double cpu0 = ThreadCpuSeconds();
    tCounting = true;
    for (auto _ : state) {
        dev.GetECRStatus(fatal, current, document);
        benchmark::DoNotOptimize(current);
    }
    tCounting = false;
    const double n = static_cast<double>(state.iterations());
    const double cpu = ThreadCpuSeconds() - cpu0;
    dev.Disable();
    const double bytes = static_cast<double>(peer.LineBytes() - bytes0) / n;
    state.counters["socket_calls_per_exchange"] =
        static_cast<double>(gSocketCalls.load() - calls0) / n;
    state.counters["driver_cpu_us_per_exchange"] = cpu / n * 1e6;
    state.counters["bytes_per_exchange"] = bytes;
    state.counters["wire_us_115200"] = bytes * 10.0 / kLineBaud * 1e6;
}
BENCHMARK(BM_TcpStatusRoundTrip)->MinTime(0.5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
