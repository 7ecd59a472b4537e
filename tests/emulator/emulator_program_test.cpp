// The fremu program: its start line, the control channel on standard input, and
// stopping on a signal.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "frame_client.h"
#include "tools/fremu/wire_format.h"

extern char** environ;

namespace fr::emu::test {
namespace {

class EmulatorProgram : public ::testing::Test {
  protected:
    void Spawn(std::vector<std::string> AArgs) {
        const char* dir = std::getenv("FR_TEST_BINARY_DIR");
        ASSERT_NE(dir, nullptr);
        const std::string path = std::string(dir) + "/tools/fremu/fremu";
        int in[2], out[2];
        ASSERT_EQ(::pipe(in), 0);
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        AArgs.insert(AArgs.begin(), path);
        std::vector<char*> argv;
        for (auto& a : AArgs)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&FPid, path.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        FIn = in[1];
        FOut = out[0];
    }

    void TearDown() override {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
        if (FIn >= 0) ::close(FIn);
        if (FOut >= 0) ::close(FOut);
    }

    // One line of standard output, or empty after 10 s.
    std::string ReadLine() {
        while (FPending.find('\n') == std::string::npos) {
            pollfd p{FOut, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return {};
            char buf[1024];
            const ssize_t n = ::read(FOut, buf, sizeof buf);
            if (n <= 0) return {};
            FPending.append(buf, static_cast<size_t>(n));
        }
        const size_t eol = FPending.find('\n');
        std::string line = FPending.substr(0, eol);
        FPending.erase(0, eol + 1);
        return line;
    }

    // The exit status, or -1 when it did not end within 10 s.
    int WaitExit() {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            }
            ::usleep(50000);
        }
        return -1;
    }

    pid_t FPid = -1;
    int FIn = -1;
    int FOut = -1;
    std::string FPending;
};

TEST_F(EmulatorProgram, PrintsWhereItListensAndObeysStandardInput) {
    Spawn({"--port", "0", "--http", "0"});
    const auto start = nlohmann::json::parse(ReadLine());
    EXPECT_EQ(start["event"], "listening");
    EXPECT_EQ(start["http"]["address"], "127.0.0.1");
    EXPECT_GT(start["http"]["port"].get<int>(), 0);
    const int port = start["tcp"]["port"].get<int>();
    ASSERT_GT(port, 0);
    auto client = TFrameClient::ConnectTcp(port);
    EXPECT_EQ(client.Call("00").Code, "00");

    const std::string fault = "{\"cmd\":\"fault\",\"kind\":\"enq_byte\",\"byte\":21}\n";
    ASSERT_EQ(::write(FIn, fault.data(), fault.size()), static_cast<ssize_t>(fault.size()));
    EXPECT_EQ(nlohmann::json::parse(ReadLine())["ok"], true);
    EXPECT_EQ(client.Enq(), 0x15);

    const std::string stop = "{\"cmd\":\"stop\"}\n";
    ASSERT_EQ(::write(FIn, stop.data(), stop.size()), static_cast<ssize_t>(stop.size()));
    EXPECT_EQ(WaitExit(), 0);
}

TEST_F(EmulatorProgram, StopsOnSigterm) {
    Spawn({"--port", "0", "--pty"});
    const auto start = nlohmann::json::parse(ReadLine());
    EXPECT_TRUE(start.contains("pty"));
    ::kill(FPid, SIGTERM);
    EXPECT_EQ(WaitExit(), 0);
}

TEST_F(EmulatorProgram, RefusesBadOptions) {
    Spawn({"--port", "x"});
    EXPECT_EQ(WaitExit(), 2);
}

}  // namespace
}  // namespace fr::emu::test
