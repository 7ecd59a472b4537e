#pragma once
// Wall clock, millisecond ticks and blocking sleep.

#include <cstdint>

#include "platform/date_time.h"

namespace fr {

TDateTime Now();          // local date and time
uint32_t GetTickCount();  // milliseconds, wrapping like the system counter
void SleepMs(uint32_t milliseconds);

// Takes the place of SleepMs's wait for the whole process; nullptr gives the
// wait back. Returns the hook it replaces. For harnesses whose peer answers at
// once, never for the driver.
using SleepHook = void (*)(uint32_t milliseconds);
SleepHook SetSleepHook(SleepHook hook);

}  // namespace fr
