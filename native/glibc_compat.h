// What GCC's static runtime asks of a newer C library than the one the shipped
// Linux library is linked against (glibc 2.28 is the oldest system it must load
// on), done with what that older library has. native/glibc_symbols.cpp gives
// them the C library's names inside the old-glibc build; the tests call them
// here, beside the system's own where it has them.
#pragma once

#include <pthread.h>
#include <time.h>

#include <cstdint>

struct link_map;

namespace fr::glibc {

// The layout of the C library's struct dl_find_object on x86-64.
struct FoundObject {
    unsigned long long Flags;
    void* MapStart;
    void* MapEnd;
    link_map* LinkMap;
    void* EhFrame;
    unsigned long long Reserved[7];
};

// _dl_find_object: the object that holds pc and its exception frame table;
// 0 when found, -1 when no loaded object holds it.
int FindObject(void* pc, FoundObject* result);

// arc4random: from the kernel's entropy; never fails.
std::uint32_t Random32();

// The waits with a deadline on a chosen clock (monotonic or real time), over
// the real-time waits the older library has. A monotonic wait is cut into
// short slices, so a real-time clock set back cannot stretch it.
int CondClockWait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                  const timespec* deadline);
int MutexClockLock(pthread_mutex_t* mutex, clockid_t clock, const timespec* deadline);
int RwlockClockRdlock(pthread_rwlock_t* lock, clockid_t clock, const timespec* deadline);
int RwlockClockWrlock(pthread_rwlock_t* lock, clockid_t clock, const timespec* deadline);

}  // namespace fr::glibc
