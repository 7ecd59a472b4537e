#include "platform/clock.h"

#include <windows.h>

#include <atomic>

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
    SYSTEMTIME st{};
    GetLocalTime(&st);
    TDateTime date = 0, time = 0;
    TryEncodeDate(st.wYear, st.wMonth, st.wDay, date);
    TryEncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, time);
    return date + time;
}

uint32_t GetTickCount() {
    return static_cast<uint32_t>(::GetTickCount());
}

SleepHook SetSleepHook(SleepHook hook) {
    return sleepHook.exchange(hook);
}

void SleepMs(uint32_t milliseconds) {
    if (const SleepHook hook = sleepHook.load()) return hook(milliseconds);
    ::Sleep(milliseconds);
}

}  // namespace fr
