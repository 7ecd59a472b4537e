#include "tools/frhost/log_echo.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "platform/text.h"

namespace fr {
namespace {

std::mutex gEchoLock;

void EchoBytes(std::string bytes) {
    std::string plain;
    plain.reserve(bytes.size());
    for (char c : bytes)
        if (c != '\r') plain += c;
    std::lock_guard<std::mutex> guard(gEchoLock);
    std::fwrite(plain.data(), 1, plain.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

void EchoLogText(std::u16string_view text) {
    EchoBytes(Utf16ToUtf8(text));
}

TLogFolderEcho::TLogFolderEcho(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        if (entry.path().extension() == ".log")
            offsets_[entry.path()] = std::filesystem::file_size(entry.path(), ec);
    }
    thread_ = std::thread([this] {
        while (!stopping_.load()) {
            Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
}

TLogFolderEcho::~TLogFolderEcho() {
    stopping_.store(true);
    thread_.join();
    Poll();
}

void TLogFolderEcho::Poll() {
    std::error_code ec;
    // The file names carry the date, so the greatest name is today's file.
    std::filesystem::path newest;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        if (entry.path().extension() == ".log" && entry.path() > newest) newest = entry.path();
    }
    if (newest.empty()) return;
    const uintmax_t size = std::filesystem::file_size(newest, ec);
    if (ec) return;
    uintmax_t& offset = offsets_[newest];
    if (size < offset) offset = 0;  // replaced
    if (size == offset) return;
    std::ifstream file(newest, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(static_cast<size_t>(size - offset), '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(file.gcount()));
    // Only whole lines: the rest waits for its line end.
    const size_t end = bytes.rfind('\n');
    if (end == std::string::npos) return;
    bytes.resize(end + 1);
    offset += bytes.size();
    EchoBytes(bytes);
}

}  // namespace fr
