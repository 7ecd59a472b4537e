#include "tools/frhost/call_watch.h"

#include "platform/text.h"

namespace fr {

TCallWatch::TCallWatch(std::chrono::milliseconds interval, TSink sink)
    : interval_(interval), sink_(std::move(sink)), thread_([this] { Run(); }) {}

TCallWatch::~TCallWatch() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TCallWatch::Begin(const std::string& call) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        active_ = true;
        ++generation_;
        call_ = call;
        started_ = std::chrono::steady_clock::now();
    }
    changed_.notify_all();
}

void TCallWatch::End() {
    std::unique_lock<std::mutex> guard(lock_);
    active_ = false;
    ++generation_;
    changed_.notify_all();
    // A line on its way is let out first, so that none follows the call's result.
    changed_.wait(guard, [this] { return !emitting_; });
    const bool announced = announced_;
    announced_ = false;
    guard.unlock();
    if (announced) {
        try {
            sink_("");
        } catch (...) {
            // As for the notices themselves.
        }
    }
}

std::string TCallWatch::NoticeText(const std::string& call, long long seconds) {
    return "frhost: " + call + ": ожидание ответа ККТ, " + std::to_string(seconds) + " с…";
}

void TCallWatch::Run() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!stopping_) {
        if (!active_) {
            changed_.wait(guard);
            continue;
        }
        const unsigned long long generation = generation_;
        auto next = started_ + interval_;
        while (!stopping_ && generation_ == generation) {
            if (changed_.wait_until(guard, next) != std::cv_status::timeout) continue;
            if (stopping_ || generation_ != generation) break;
            const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - started_);
            const std::string line = NoticeText(call_, elapsed.count());
            // The line goes out without the lock, so a slow console never delays End.
            emitting_ = true;
            announced_ = true;
            guard.unlock();
            try {
                sink_(line);
            } catch (...) {
                // Only a sign of life: losing it may not touch the call.
            }
            guard.lock();
            emitting_ = false;
            changed_.notify_all();
            next += interval_;
        }
    }
}

std::string TWatchedComponent::CallName(int32_t num) {
    std::u16string name;
    if (HrFailed(inner_->GetMethodName(num, 0, name)) || name.empty())
        return "method " + std::to_string(num);
    return Utf16ToUtf8(name);
}

HResult TWatchedComponent::CallAsProc(int32_t num, SafeArray* params) {
    watch_.Begin(CallName(num));
    struct TEnd {
        TCallWatch& watch;
        ~TEnd() { watch.End(); }
    } end{watch_};
    return inner_->CallAsProc(num, params);
}

HResult TWatchedComponent::CallAsFunc(int32_t num, Variant& result, SafeArray* params) {
    watch_.Begin(CallName(num));
    struct TEnd {
        TCallWatch& watch;
        ~TEnd() { watch.End(); }
    } end{watch_};
    return inner_->CallAsFunc(num, result, params);
}

}  // namespace fr
