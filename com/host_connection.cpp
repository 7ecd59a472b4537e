#include "com/host_connection.h"

#include <windows.h>

#include <oleauto.h>

#include "com/com_interfaces.h"

namespace fr::com {

namespace {

// Owns one reference for the lifetime of the portable handle.
template <class Interface>
class TComRef {
  public:
    explicit TComRef(Interface* pointer) : pointer_(pointer) {}
    ~TComRef() {
        if (pointer_) pointer_->Release();
    }
    TComRef(const TComRef&) = delete;
    TComRef& operator=(const TComRef&) = delete;
    Interface* Get() const { return pointer_; }

  private:
    Interface* pointer_;
};

// A BSTR that lives for the duration of one outgoing call.
class TBstr {
  public:
    explicit TBstr(const std::u16string& text)
        : value_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                   static_cast<UINT>(text.size()))) {}
    ~TBstr() { SysFreeString(value_); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    BSTR Get() const { return value_; }

  private:
    BSTR value_;
};

class TAsyncEventSink final : public IAsyncEventSink {
  public:
    explicit TAsyncEventSink(IAsyncEvent* sink) : sink_(sink) {}

    HResult SetEventBufferDepth(int32_t lDepth) override {
        return sink_.Get()->SetEventBufferDepth(lDepth);
    }

    HResult ExternalEvent(const std::u16string& bstrSource, const std::u16string& bstrMessage,
                          const std::u16string& bstrData) override {
        const TBstr source(bstrSource), message(bstrMessage), data(bstrData);
        if (!source.Get() || !message.Get() || !data.Get()) return E_OUTOFMEMORY;
        return sink_.Get()->ExternalEvent(source.Get(), message.Get(), data.Get());
    }

  private:
    TComRef<IAsyncEvent> sink_;
};

class TExtWndsSupport final : public fr::IExtWndsSupport {
  public:
    explicit TExtWndsSupport(IUnknown* windows) : windows_(windows) {}

  private:
    TComRef<IUnknown> windows_;
};

}  // namespace

std::shared_ptr<IAsyncEventSink> THostConnection::QueryAsyncEvent() {
    if (!connection_) return nullptr;
    void* sink = nullptr;
    if (FAILED(connection_->QueryInterface(kIID_IAsyncEvent, &sink)) || !sink) return nullptr;
    try {
        return std::make_shared<TAsyncEventSink>(static_cast<IAsyncEvent*>(sink));
    } catch (...) {
        static_cast<IAsyncEvent*>(sink)->Release();  // no holder was made to own it
        throw;
    }
}

std::shared_ptr<fr::IExtWndsSupport> THostConnection::QueryExtWndsSupport() {
    if (!connection_) return nullptr;
    void* windows = nullptr;
    if (FAILED(connection_->QueryInterface(kIID_IExtWndsSupport, &windows)) || !windows)
        return nullptr;
    try {
        return std::make_shared<TExtWndsSupport>(static_cast<IUnknown*>(windows));
    } catch (...) {
        static_cast<IUnknown*>(windows)->Release();
        throw;
    }
}

}  // namespace fr::com
