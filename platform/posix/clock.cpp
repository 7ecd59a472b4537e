#include "platform/clock.h"

#include <time.h>

#include <atomic>
#include <cerrno>

namespace fr {

namespace {
std::atomic<SleepHook> sleepHook{nullptr};
std::atomic<NowHook> nowHook{nullptr};
}  // namespace

NowHook SetNowHook(NowHook hook) {
    return nowHook.exchange(hook);
}

TDateTime Now() {
    if (const NowHook hook = nowHook.load()) return hook();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    TDateTime date = 0, time = 0;
    TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
    // A leap second shows as the last second of its minute.
    TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                  static_cast<int>(ts.tv_nsec / 1000000), time);
    return date + time;
}

uint32_t GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

SleepHook SetSleepHook(SleepHook hook) {
    return sleepHook.exchange(hook);
}

void SleepMs(uint32_t milliseconds) {
    if (const SleepHook hook = sleepHook.load()) return hook(milliseconds);
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace fr
