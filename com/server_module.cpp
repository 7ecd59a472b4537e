#include "com/server_module.h"

#include <atomic>

namespace fr::com {

namespace {

HMODULE gModule = nullptr;
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

}  // namespace

HMODULE ServerModule() {
    return gModule;
}

void SetServerModule(HMODULE module) {
    gModule = module;
}

void ObjectCreated() {
    ++gObjects;
}

void ObjectDestroyed() {
    --gObjects;
}

void LockServer(bool lock) {
    if (lock) {
        ++gLocks;
    } else if (gLocks.fetch_sub(1) <= 0) {
        ++gLocks;  // an unbalanced unlock must not let the module go under live locks
    }
}

bool CanUnload() {
    return gObjects.load() == 0 && gLocks.load() == 0;
}

}  // namespace fr::com
