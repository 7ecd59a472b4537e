#pragma once
// The host's connection object (the IDispatch given to Init) seen through the
// portable host-connection interface of the component object.

#include <windows.h>

#include <memory>

#include "host/add_in_object.h"

namespace fr::com {

class THostConnection final : public IHostConnection {
  public:
    // `connection` is borrowed for the time of Init; it may be nullptr.
    explicit THostConnection(IDispatch* connection) : connection_(connection) {}

    std::shared_ptr<IAsyncEventSink> QueryAsyncEvent() override;
    std::shared_ptr<fr::IExtWndsSupport> QueryExtWndsSupport() override;

  private:
    IDispatch* connection_;
};

}  // namespace fr::com
