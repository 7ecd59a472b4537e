// fremu.exe has no tape page: its HTTP server and QR encoder are Linux packages.
// --http is refused with the reason; everything else works as on Linux.

#include <stdexcept>

#include "tools/fremu/tape_server.h"

namespace httplib {
class Server {};
}  // namespace httplib

namespace fr::emu {

TTapeServer::TTapeServer(TSnapshotSource ASource, TChangeSignal& AChanges)
    : FSource(std::move(ASource)), FChanges(AChanges) {}

TTapeServer::~TTapeServer() = default;

void TTapeServer::Start(const std::string&, int) {
    throw std::runtime_error("--http: this build of fremu has no tape page (use the tape file)");
}

void TTapeServer::Stop() {}

void TTapeServer::Routes() {}

}  // namespace fr::emu
