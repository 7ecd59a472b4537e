// The stand-ins the shipped library binds in place of newer glibc calls
// (native/glibc_compat.h), beside the system's own: the exception unwinder
// relies on the object search, so it must agree with the C library's.

#include <dlfcn.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <thread>

#include "native/glibc_compat.h"

namespace fr::test {
namespace {

int InThisProgram() {
    return 1;
}

void* Symbol(const char* name) {
    return dlsym(RTLD_DEFAULT, name);
}

struct ObjectCase {
    const char* Name;
    void* Address;
};

TEST(GlibcCompat, FindObjectAgreesWithTheCLibrary) {
    int onStack = 0;
    void* heap = std::malloc(16);
    const ObjectCase cases[] = {
        {"this program", reinterpret_cast<void*>(&InThisProgram)},
        {"libc", Symbol("abort")},
        {"libm", Symbol("cos")},
        {"the loader", Symbol("_dl_find_object")},
        {"the stack", &onStack},
        {"the heap", heap},
        {"nothing", nullptr},
    };
    for (const ObjectCase& c : cases) {
        SCOPED_TRACE(c.Name);
        dl_find_object theirs{};
        glibc::FoundObject ours{};
        const int want = _dl_find_object(c.Address, &theirs);
        ASSERT_EQ(glibc::FindObject(c.Address, &ours), want);
        if (want != 0) continue;
        EXPECT_EQ(ours.EhFrame, theirs.dlfo_eh_frame);
        EXPECT_NE(ours.EhFrame, nullptr);
        // The system's bounds are whole pages; ours are the loaded segments'.
        EXPECT_LE(theirs.dlfo_map_start, ours.MapStart);
        EXPECT_LE(ours.MapStart, c.Address);
        EXPECT_LT(c.Address, ours.MapEnd);
        EXPECT_LE(ours.MapEnd, theirs.dlfo_map_end);
    }
    std::free(heap);
}

TEST(GlibcCompat, RandomVaries) {
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 16; ++i)
        seen.insert(glibc::Random32());
    EXPECT_GT(seen.size(), 8u);
}

long long Nanoseconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

timespec In(clockid_t clock, long long nanoseconds) {
    const long long at = Nanoseconds(clock) + nanoseconds;
    return timespec{static_cast<time_t>(at / 1000000000LL), static_cast<long>(at % 1000000000LL)};
}

struct WaitCase {
    const char* Name;
    clockid_t Clock;
    long long Delay;  // from now, nanoseconds
    bool Signalled;
    int Want;
};

// A wait until a deadline: spurious wake-ups (0 without a signal) are allowed
// before it, as the C library allows them; ETIMEDOUT only after it.
TEST(GlibcCompat, CondClockWait) {
    const WaitCase cases[] = {
        {"monotonic, passed", CLOCK_MONOTONIC, -1000000, false, ETIMEDOUT},
        {"monotonic, soon", CLOCK_MONOTONIC, 300000000, false, ETIMEDOUT},
        {"real time, soon", CLOCK_REALTIME, 30000000, false, ETIMEDOUT},
        {"monotonic, signalled", CLOCK_MONOTONIC, 120000000000LL, true, 0},
        {"real time, signalled", CLOCK_REALTIME, 120000000000LL, true, 0},
        {"another clock", CLOCK_PROCESS_CPUTIME_ID, 30000000, false, EINVAL},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.Name);
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
        bool signalled = false;
        std::thread signaller;
        pthread_mutex_lock(&mutex);
        if (c.Signalled) {
            signaller = std::thread([&] {
                pthread_mutex_lock(&mutex);
                signalled = true;
                pthread_cond_signal(&cond);
                pthread_mutex_unlock(&mutex);
            });
        }
        const timespec deadline = In(c.Clock, c.Delay);
        int result = 0;
        do {
            result = glibc::CondClockWait(&cond, &mutex, c.Clock, &deadline);
        } while (result == 0 && !signalled);
        pthread_mutex_unlock(&mutex);
        if (signaller.joinable()) signaller.join();
        EXPECT_EQ(result, c.Want);
        if (result == ETIMEDOUT) {
            EXPECT_GE(Nanoseconds(c.Clock), deadline.tv_sec * 1000000000LL + deadline.tv_nsec);
        }
        pthread_cond_destroy(&cond);
        pthread_mutex_destroy(&mutex);
    }
}

struct LockCase {
    const char* Name;
    clockid_t Clock;
    long long Delay;
    bool HeldElsewhere;
    int Want;
};

TEST(GlibcCompat, TimedLocksOnAClock) {
    const LockCase cases[] = {
        {"free, monotonic", CLOCK_MONOTONIC, 30000000, false, 0},
        {"free, monotonic, passed", CLOCK_MONOTONIC, -1000000, false, 0},
        {"held, monotonic", CLOCK_MONOTONIC, 300000000, true, ETIMEDOUT},
        {"held, real time", CLOCK_REALTIME, 30000000, true, ETIMEDOUT},
        {"free, another clock", CLOCK_THREAD_CPUTIME_ID, 30000000, false, EINVAL},
    };
    for (const LockCase& c : cases) {
        SCOPED_TRACE(c.Name);
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        pthread_rwlock_t rwlock = PTHREAD_RWLOCK_INITIALIZER;
        if (c.HeldElsewhere) {
            // Held by another thread: a mutex cannot be waited for by its owner.
            std::thread([&] {
                pthread_mutex_lock(&mutex);
                pthread_rwlock_wrlock(&rwlock);
            }).join();
        }
        const timespec deadline = In(c.Clock, c.Delay);
        const int mutexResult = glibc::MutexClockLock(&mutex, c.Clock, &deadline);
        const int readResult = glibc::RwlockClockRdlock(&rwlock, c.Clock, &deadline);
        if (readResult == 0) pthread_rwlock_unlock(&rwlock);
        const int writeResult = glibc::RwlockClockWrlock(&rwlock, c.Clock, &deadline);
        EXPECT_EQ(mutexResult, c.Want);
        EXPECT_EQ(readResult, c.Want);
        EXPECT_EQ(writeResult, c.Want);
        if (c.Want == ETIMEDOUT) {
            EXPECT_GE(Nanoseconds(c.Clock), deadline.tv_sec * 1000000000LL + deadline.tv_nsec);
        }
    }
}

}  // namespace
}  // namespace fr::test
