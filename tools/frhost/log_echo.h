#pragma once
// `--log -`: the driver's log lines on standard error as they are written.

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

namespace fr {

// Writes log text (CR LF line ends) to standard error with plain line breaks.
void EchoLogText(std::u16string_view text);

// For a component in another module, whose log this process cannot hook: the
// newest .log file of a folder, followed from its size at start.
class TLogFolderEcho {
  public:
    explicit TLogFolderEcho(std::filesystem::path folder);
    ~TLogFolderEcho();  // echoes what is left, then stops
    TLogFolderEcho(const TLogFolderEcho&) = delete;
    TLogFolderEcho& operator=(const TLogFolderEcho&) = delete;

  private:
    void Poll();
    std::filesystem::path folder_;
    std::map<std::filesystem::path, uintmax_t> offsets_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace fr
