#pragma once
// Wall clock, millisecond ticks and blocking sleep.

#include <cstdint>

#include "platform/date_time.h"

namespace fr {

TDateTime Now();          // local date and time, or the clock hook's
uint32_t GetTickCount();  // milliseconds, wrapping like the system counter
void SleepMs(uint32_t milliseconds);

// Takes the place of SleepMs's wait for the whole process; nullptr gives the
// wait back. Returns the hook it replaces. For harnesses whose peer answers at
// once, never for the driver.
using SleepHook = void (*)(uint32_t milliseconds);
SleepHook SetSleepHook(SleepHook hook);

// Takes the place of the wall clock for the whole process, so that a test can
// walk the driver across midnight or days ahead without waiting; nullptr gives
// the system clock back. Returns the hook it replaces.
using NowHook = TDateTime (*)();
NowHook SetNowHook(NowHook hook);

}  // namespace fr
