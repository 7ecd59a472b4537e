#pragma once
// Wall clock, millisecond ticks and blocking sleep.

#include <cstdint>

#include "platform/date_time.h"

namespace fr {

TDateTime Now();          // local date and time
uint32_t GetTickCount();  // milliseconds, wrapping like the system counter
void SleepMs(uint32_t milliseconds);

}  // namespace fr
