// The emulator's operating-system seam, on this system's side: the stop channel
// wakes a wait, sockets read and write through it, a listening address is
// checked, and the state file is replaced whole or not at all.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tools/fremu/os_seam.h"

namespace fr::emu::test {
namespace {

TEST(OsSeam, TheStopChannelWakesAWaitAndASocketCarriesBytes) {
    int stop[2] = {-1, -1};
    os::MakeStopChannel(stop);
    int port = 0;
    const int listener = os::ListenTcp("127.0.0.1", port);
    ASSERT_GT(port, 0);

    // Nothing to accept yet: the wait times out, then the stop wakes it.
    os::PollFd p[2] = {{listener, os::kPollIn, 0}, {stop[0], os::kPollIn, 0}};
    EXPECT_EQ(os::Poll(p, 2, 50), 0);
    os::SignalStop(stop[1]);
    EXPECT_EQ(os::Poll(p, 2, 5000), 1);
    EXPECT_EQ(p[0].revents, 0);
    EXPECT_NE(p[1].revents & os::kPollIn, 0);
    // Standard input is not read once the stop came.
    char buf[16];
    EXPECT_EQ(os::ReadInput(buf, sizeof buf, stop[0]), 0);
    os::CloseStopChannel(stop);
    EXPECT_EQ(stop[0], -1);
    EXPECT_EQ(stop[1], -1);

    // A second listener on the same port is refused with the address in the text.
    int same = port;
    try {
        os::ListenTcp("127.0.0.1", same);
        ADD_FAILURE() << "a second listener on port " << port;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(port)),
                  std::string::npos)
            << e.what();
    }
    int any = 0;
    EXPECT_THROW(os::ListenTcp("no.such.address", any), std::runtime_error);

    // A connection accepted non-blocking: an empty read says EAGAIN, not end.
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const int server = os::Accept(listener);
    ASSERT_GE(server, 0);
    EXPECT_EQ(os::Read(server, buf, sizeof buf), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(os::Send(server, "ab", 2), 2);
    EXPECT_EQ(::recv(client, buf, 2, MSG_WAITALL), 2);
    ASSERT_EQ(::send(client, "xyz", 3, 0), 3);
    os::PollFd r{server, os::kPollIn, 0};
    ASSERT_EQ(os::Poll(&r, 1, 5000), 1);
    EXPECT_EQ(os::Read(server, buf, sizeof buf), 3);
    // The peer gone: the wait reports it and the read says end.
    ::close(client);
    ASSERT_EQ(os::Poll(&r, 1, 5000), 1);
    EXPECT_EQ(os::Read(server, buf, sizeof buf), 0);
    os::Close(server);
    os::Close(listener);
}

TEST(OsSeam, AFileIsReplacedWholeOrNotAtAll) {
    std::random_device rd;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("fr_os_seam_" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "state.json").string();
    os::ReplaceWhole(path, "first");
    os::ReplaceWhole(path, "second, longer");
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "second, longer");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    // A folder that is not there: refused with the file named, nothing made.
    const std::string missing = (dir / "no" / "state.json").string();
    try {
        os::ReplaceWhole(missing, "x");
        ADD_FAILURE() << "written into a missing folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(missing + ".tmp"), std::string::npos) << e.what();
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace fr::emu::test
