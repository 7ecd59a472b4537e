#include "platform/clock.h"

#include <windows.h>

namespace fr {

TDateTime Now() {
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

void SleepMs(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

}  // namespace fr
