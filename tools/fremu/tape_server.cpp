#include "tools/fremu/tape_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <stdexcept>

#include "tools/fremu/wire_format.h"

namespace fr::emu {

namespace {

// Threads of the server; long requests for changes take at most kMostWaiting of
// them, so that a page, its QR codes and a script are served meanwhile.
constexpr size_t kThreads = 12;
constexpr int kMostWaiting = 6;
constexpr size_t kLongestQrText = 1024;

// A query number, or ADefault when absent or not a number.
uint64_t Number(const httplib::Request& ARequest, const char* AName, uint64_t ADefault) {
    if (!ARequest.has_param(AName)) return ADefault;
    const auto v = ParseInteger(ARequest.get_param_value(AName));
    return v && *v >= 0 ? static_cast<uint64_t>(*v) : ADefault;
}

}  // namespace

TTapeServer::TTapeServer(TSnapshotSource ASource, TChangeSignal& AChanges)
    : FSource(std::move(ASource)),
      FChanges(AChanges),
      FServer(std::make_unique<httplib::Server>()) {}

TTapeServer::~TTapeServer() {
    Stop();
}

void TTapeServer::Routes() {
    FServer->Get("/", [](const httplib::Request&, httplib::Response& AResponse) {
        AResponse.set_header("Cache-Control", "no-store");
        AResponse.set_content(TapePage(), "text/html; charset=utf-8");
    });
    // ?since=N: the strips from N on; &version=V: wait until the tape is no
    // longer at version V (or kLongestWait passed).
    FServer->Get(
        "/documents.json", [this](const httplib::Request& ARequest, httplib::Response& AResponse) {
            const uint64_t since = Number(ARequest, "since", 0);
            if (ARequest.has_param("version")) {
                const uint64_t known = Number(ARequest, "version", 0);
                if (FWaiting.fetch_add(1) < kMostWaiting &&
                    FChanges.WaitPast(known, kLongestWait) != known)
                    FChanges.Pause(kSettle);
                FWaiting.fetch_sub(1);
            }
            const TTapeSnapshot snapshot = FSource(static_cast<size_t>(since));
            AResponse.set_header("Cache-Control", "no-store");
            AResponse.set_content(
                TapeToJson(snapshot).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                "application/json; charset=utf-8");
        });
    FServer->Get("/qr.svg", [](const httplib::Request& ARequest, httplib::Response& AResponse) {
        const std::string text = ARequest.get_param_value("text");
        try {
            if (text.size() > kLongestQrText) throw std::runtime_error("text too long");
            AResponse.set_header("Cache-Control", "max-age=86400");
            AResponse.set_content(QrSvg(text), "image/svg+xml");
        } catch (const std::exception& e) {
            AResponse.status = 400;
            AResponse.set_content(std::string(e.what()) + "\n", "text/plain; charset=utf-8");
        }
    });
}

void TTapeServer::Start(const std::string& AAddress, int APort) {
    FServer->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    FServer->set_read_timeout(5, 0);
    FServer->set_write_timeout(5, 0);
    // Not the library's default, which shares the port (SO_REUSEPORT): a second
    // emulator asking for a port in use must fail, not split the browsers.
    FServer->set_socket_options([](int ASocket) {
        const int yes = 1;
        ::setsockopt(ASocket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    Routes();
    if (APort == 0) {
        FPort = FServer->bind_to_any_port(AAddress);
        if (FPort <= 0) throw std::runtime_error("cannot listen for HTTP on " + AAddress);
    } else if (FServer->bind_to_port(AAddress, APort)) {
        FPort = APort;
    } else {
        throw std::runtime_error("cannot listen for HTTP on " + AAddress + ":" +
                                 std::to_string(APort));
    }
    FThread = std::thread([this] {
        FServer->listen_after_bind();
        FListenEnded = true;
    });
}

void TTapeServer::Stop() {
    FChanges.Stop();
    if (!FThread.joinable()) return;
    // The server's own stop works only once it runs: wait for that (or for its
    // end, when listening failed).
    while (!FListenEnded && !FServer->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    FServer->stop();
    FThread.join();
}

}  // namespace fr::emu
