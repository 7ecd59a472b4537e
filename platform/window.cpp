#include "platform/window.h"

#include <mutex>

namespace fr {

namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

MessageBoxFunc& Hook() {
    static MessageBoxFunc hook;
    return hook;
}

}  // namespace

void ShowErrorBox(const std::u16string& title, const std::u16string& text) {
    MessageBoxFunc hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
    }
    // Called outside the lock: a hook may itself replace the hook.
    if (hook)
        hook(title, text);
    else
        ShowSystemErrorBox(title, text);
}

void SetMessageBoxHook(MessageBoxFunc hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    Hook() = std::move(hook);
}

}  // namespace fr
