#pragma once
// The driver's end of a link in the transport tests, facing a scripted register:
// the serial link on a pseudo-terminal, the TCP link on a loopback listener, and
// what the cases of both ask of a call.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "scripted_peer.h"
#include "transport/com_device.h"
#include "transport/socket_device.h"

namespace fr::transport_test {

using Clock = std::chrono::steady_clock;

// How long a scripted register waits for the driver's next byte.
constexpr int kPeerWaitMs = 8000;
constexpr char kNak = 0x15;

int64_t MsSince(Clock::time_point start);

// The message the call raises, or "(no error)".
std::u16string ErrorOf(const std::function<void()>& call);

// ENQ answered with ACK; false when no ENQ came.
bool ServeHandshake(int fd);

// A TCOMDevice on the pseudo-terminal's COM number; the register is at fd().
class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override { device_.Com().SetPortNumber(PtyPort::kComNumber); }

    // Enable, with the register answering its handshake.
    void Enable();

    int fd() const { return pty_.master(); }

    PtyPort pty_;
    TCOMDevice device_;
};

// A TSocketDevice aimed at the loopback listener.
class TcpLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device_.SetIPAddress(u"127.0.0.1");
        device_.SetTCPPort(listener_.port());
    }

    // Accepts one connection and runs the script on it, closing it afterwards.
    std::function<void()> Serve(std::function<void(int)> script);

    Listener listener_;
    TSocketDevice device_;
};

}  // namespace fr::transport_test
