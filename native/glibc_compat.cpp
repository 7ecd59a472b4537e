#include "native/glibc_compat.h"

#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>

namespace fr::glibc {

namespace {

struct Search {
    std::uintptr_t Pc;
    FoundObject* Out;
};

// The loader gives the segments' addresses as numbers.
void* Address(std::uintptr_t address) {
    return reinterpret_cast<void*>(address);  // NOLINT(performance-no-int-to-ptr)
}

int Visit(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<Search*>(data);
    std::uintptr_t low = UINTPTR_MAX, high = 0;
    bool holds = false;
    void* ehFrame = nullptr;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
        if (header.p_type == PT_LOAD) {
            const std::uintptr_t end = start + header.p_memsz;
            if (start < low) low = start;
            if (end > high) high = end;
            if (search->Pc >= start && search->Pc < end) holds = true;
        } else if (header.p_type == PT_GNU_EH_FRAME) {
            ehFrame = Address(start);
        }
    }
    if (!holds) return 0;
    *search->Out = FoundObject{};
    search->Out->MapStart = Address(low);
    search->Out->MapEnd = Address(high);
    search->Out->EhFrame = ehFrame;
    return 1;
}

constexpr long kNanosecond = 1000000000L;
// The longest real-time wait of a monotonic one: how far a clock set back can
// delay its end.
constexpr long kSliceNanoseconds = 200000000L;

long long Nanoseconds(const timespec& t) {
    return static_cast<long long>(t.tv_sec) * kNanosecond + t.tv_nsec;
}

timespec FromNanoseconds(long long n) {
    return timespec{static_cast<time_t>(n / kNanosecond), static_cast<long>(n % kNanosecond)};
}

long long Now(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return Nanoseconds(now);
}

bool ValidDeadline(const timespec* deadline) {
    return deadline->tv_nsec >= 0 && deadline->tv_nsec < kNanosecond;
}

// The real-time deadline of the next slice of a monotonic wait, or none (false)
// when the monotonic deadline has passed.
bool NextSlice(const timespec* deadline, timespec& slice) {
    long long left = Nanoseconds(*deadline) - Now(CLOCK_MONOTONIC);
    if (left <= 0) return false;
    if (left > kSliceNanoseconds) left = kSliceNanoseconds;
    slice = FromNanoseconds(Now(CLOCK_REALTIME) + left);
    return true;
}

// A lock taken by slices until the monotonic deadline.
template <typename Lock, typename Object>
int LockBySlices(Lock lock, Object* object, clockid_t clock, const timespec* deadline) {
    if (!ValidDeadline(deadline)) return EINVAL;
    if (clock == CLOCK_REALTIME) return lock(object, deadline);
    if (clock != CLOCK_MONOTONIC) return EINVAL;
    for (;;) {
        timespec slice{};
        if (!NextSlice(deadline, slice)) {
            // Past the deadline a free lock is still taken, as the timed calls do.
            const timespec past{0, 0};
            return lock(object, &past);
        }
        const int result = lock(object, &slice);
        if (result != ETIMEDOUT) return result;
    }
}

}  // namespace

int FindObject(void* pc, FoundObject* result) {
    Search search{reinterpret_cast<std::uintptr_t>(pc), result};
    return dl_iterate_phdr(Visit, &search) == 1 ? 0 : -1;
}

std::uint32_t Random32() {
    std::uint32_t value = 0;
    if (getentropy(&value, sizeof value) == 0) return value;
    // A kernel older than getrandom: the device the call stands for.
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t n = read(fd, &value, sizeof value);
        close(fd);
        if (n == static_cast<ssize_t>(sizeof value)) return value;
    }
    std::abort();  // the C library's own call cannot fail either
}

int CondClockWait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                  const timespec* deadline) {
    if (!ValidDeadline(deadline)) return EINVAL;
    if (clock == CLOCK_REALTIME) return pthread_cond_timedwait(cond, mutex, deadline);
    if (clock != CLOCK_MONOTONIC) return EINVAL;
    timespec slice{};
    if (!NextSlice(deadline, slice)) return ETIMEDOUT;
    const int result = pthread_cond_timedwait(cond, mutex, &slice);
    // A slice that ends before the deadline is a spurious wake-up: the caller
    // checks its condition and its clock, and waits again.
    if (result == ETIMEDOUT && Now(CLOCK_MONOTONIC) < Nanoseconds(*deadline)) return 0;
    return result;
}

int MutexClockLock(pthread_mutex_t* mutex, clockid_t clock, const timespec* deadline) {
    return LockBySlices(pthread_mutex_timedlock, mutex, clock, deadline);
}

int RwlockClockRdlock(pthread_rwlock_t* lock, clockid_t clock, const timespec* deadline) {
    return LockBySlices(pthread_rwlock_timedrdlock, lock, clock, deadline);
}

int RwlockClockWrlock(pthread_rwlock_t* lock, clockid_t clock, const timespec* deadline) {
    return LockBySlices(pthread_rwlock_timedwrlock, lock, clock, deadline);
}

}  // namespace fr::glibc
