#include "link_peers.h"

#include <unistd.h>

#include <utility>

namespace fr::transport_test {

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::u16string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EDeviceError& e) {
        return e.Message();
    }
    return u"(no error)";
}

bool ServeHandshake(int fd) {
    if (ReadByte(fd, kPeerWaitMs) != ENQ) return false;
    WriteAll(fd, std::string(1, ACK));
    return true;
}

void SerialLinkTest::Enable() {
    PeerThread peer([&] { ServeHandshake(fd()); });
    device_.Enable();
}

std::function<void()> TcpLinkTest::Serve(std::function<void(int)> script) {
    return [this, script = std::move(script)] {
        const int fd = listener_.Accept(kPeerWaitMs);
        if (fd < 0) return;
        script(fd);
        close(fd);
    };
}

}  // namespace fr::transport_test
