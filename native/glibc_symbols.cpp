// The old-glibc build only: the C library's names for what GCC 12's static
// runtime and headers ask of glibc 2.29 to 2.36, bound inside the library (the
// version script keeps them out of its dynamic table), so that it loads on
// glibc 2.28. scripts/glibc-floor.sh fails the build on anything newer left.
#include <pthread.h>
#include <time.h>

#include <cstdint>

#include "native/glibc_compat.h"

#define FR_INSIDE __attribute__((visibility("hidden")))

extern "C" {

// 2.32, read by the reference counts of the static libstdc++: "not known to be
// single-threaded" keeps them atomic, which is always right.
FR_INSIDE char __libc_single_threaded = 0;

// 2.35: the exception unwinder of the static libgcc finds frame tables by it
// alone; without it every throw would end the process.
FR_INSIDE int _dl_find_object(void* pc, fr::glibc::FoundObject* result) {
    return fr::glibc::FindObject(pc, result);
}

// 2.36: std::random_device.
FR_INSIDE std::uint32_t arc4random() {
    return fr::glibc::Random32();
}

// 2.30: inlined by libstdc++'s waits and timed locks on the steady clock.
FR_INSIDE int pthread_cond_clockwait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                                     const timespec* deadline) {
    return fr::glibc::CondClockWait(cond, mutex, clock, deadline);
}

FR_INSIDE int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock,
                                      const timespec* deadline) noexcept {
    return fr::glibc::MutexClockLock(mutex, clock, deadline);
}

FR_INSIDE int pthread_rwlock_clockrdlock(pthread_rwlock_t* lock, clockid_t clock,
                                         const timespec* deadline) noexcept {
    return fr::glibc::RwlockClockRdlock(lock, clock, deadline);
}

FR_INSIDE int pthread_rwlock_clockwrlock(pthread_rwlock_t* lock, clockid_t clock,
                                         const timespec* deadline) noexcept {
    return fr::glibc::RwlockClockWrlock(lock, clock, deadline);
}

// 2.29 gave exp, exp2, log, log2 and pow new versions (no SVID error handling);
// the link wraps them (-Wl,--wrap) onto the first ones, which differ only there.
double fr_exp_2_2_5(double);
double fr_exp2_2_2_5(double);
double fr_log_2_2_5(double);
double fr_log2_2_2_5(double);
double fr_pow_2_2_5(double, double);
__asm__(".symver fr_exp_2_2_5,exp@GLIBC_2.2.5");
__asm__(".symver fr_exp2_2_2_5,exp2@GLIBC_2.2.5");
__asm__(".symver fr_log_2_2_5,log@GLIBC_2.2.5");
__asm__(".symver fr_log2_2_2_5,log2@GLIBC_2.2.5");
__asm__(".symver fr_pow_2_2_5,pow@GLIBC_2.2.5");

FR_INSIDE double __wrap_exp(double x) {
    return fr_exp_2_2_5(x);
}
FR_INSIDE double __wrap_exp2(double x) {
    return fr_exp2_2_2_5(x);
}
FR_INSIDE double __wrap_log(double x) {
    return fr_log_2_2_5(x);
}
FR_INSIDE double __wrap_log2(double x) {
    return fr_log2_2_2_5(x);
}
FR_INSIDE double __wrap_pow(double x, double y) {
    return fr_pow_2_2_5(x, y);
}
}
