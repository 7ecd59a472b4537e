#include "platform/module.h"

#include <mutex>

namespace fr {

namespace {

std::mutex& OverrideLock() {
    static std::mutex lock;
    return lock;
}

std::u16string& OverridePath() {
    static std::u16string path;
    return path;
}

}  // namespace

std::u16string HostExecutablePath() {
    {
        std::lock_guard<std::mutex> guard(OverrideLock());
        if (!OverridePath().empty()) return OverridePath();
    }
    return SystemHostExecutablePath();
}

void SetHostExecutablePathOverride(std::u16string path) {
    std::lock_guard<std::mutex> guard(OverrideLock());
    OverridePath() = std::move(path);
}

}  // namespace fr
