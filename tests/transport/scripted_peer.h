#pragma once
// The register's side of a link in the transport tests: byte helpers over a
// descriptor (a pseudo-terminal's master or a connected TCP socket), frame
// building and parsing, a peer thread, a pseudo-terminal mapped to a COM number,
// and a loopback listener.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fr::transport_test {

// Bytes as the register sends them.
std::string CheckChars(std::string_view body);
// STX, id, command, error code, fields joined by FS, ETX, check characters.
std::string Answer(uint8_t id, std::string_view cmd, std::string_view error,
                   const std::vector<std::string>& fields);

struct RequestFrame {
    bool complete = false;  // STX .. ETX and two check characters came
    bool check_ok = false;
    std::string password;
    uint8_t id = 0;
    std::string cmd;
    std::string raw;
};

// At most n bytes, each waited for at most timeout_ms.
std::string ReadBytes(int fd, size_t n, int timeout_ms);
// One byte, or -1 when none came within timeout_ms.
int ReadByte(int fd, int timeout_ms);
// A request frame (skipping nothing: the first byte must be STX).
RequestFrame ReadFrame(int fd, int timeout_ms);
void WriteAll(int fd, std::string_view bytes);
void PauseMs(int ms);

// The open descriptors of this process.
int CountOpenDescriptors();

// Runs a script on its own thread; joined on destruction.
class PeerThread {
  public:
    explicit PeerThread(std::function<void()> script) : thread_(std::move(script)) {}
    ~PeerThread() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::thread thread_;
};

// A pseudo-terminal pair whose slave is COM port kComNumber through a temporary
// FR_COM_DIR; the master is the register's end.
class PtyPort {
  public:
    static constexpr int kComNumber = 42;
    PtyPort();
    ~PtyPort();
    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& dir() const { return dir_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string dir_;
};

// A listening TCP socket on 127.0.0.1 with a port of the system's choosing.
class Listener {
  public:
    Listener();
    ~Listener();
    uint16_t port() const { return port_; }
    // The next connection, or -1 when none came within timeout_ms.
    int Accept(int timeout_ms);
    void Close();

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Every log line goes to a file of its own while this lives.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    std::string Text() const;  // UTF-8

  private:
    std::string dir_;
    std::string file_;
};

// A loopback port that nothing listens on.
uint16_t ClosedPort();

}  // namespace fr::transport_test
