#pragma once
// frhost's protocol: one component object created as the platform creates it,
// driven by JSON request lines, each answered by one JSON line.

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include <memory>

#include "host/add_in_object.h"
#include "tools/frhost/component.h"

namespace fr {

class THostSession {
  public:
    // Creates the component object and runs Init without a connection. A failing
    // Init is kept in InitError(); the session then answers without a driver.
    THostSession();
    // The same over another way of reaching the component object.
    explicit THostSession(std::unique_ptr<TFrComponent> component);
    // Runs Done.
    ~THostSession();
    THostSession(const THostSession&) = delete;
    THostSession& operator=(const THostSession&) = delete;

    // One request line in, one reply line out (without the line break). Never
    // raises: a line that is not a request gets {"error": TEXT}.
    std::string HandleLine(std::string_view line);

    TFrComponent& Component() { return *component_; }
    // The portable object, when the session reaches it directly; nullptr otherwise.
    TAddInObject* DirectObject();
    const std::string& InitError() const { return initError_; }

  private:
    std::unique_ptr<TFrComponent> component_;
    std::string initError_;
};

// Reads request lines until the end of the input, answering each on the output;
// a failing Init is reported on `diagnostics`.
void RunHostSession(std::istream& in, std::ostream& out, std::ostream& diagnostics);
// The same over another way of reaching the component object; `prepare` runs
// after Init, before the first request.
void RunHostSession(std::unique_ptr<TFrComponent> component, std::istream& in, std::ostream& out,
                    std::ostream& diagnostics,
                    const std::function<void(TFrComponent&)>& prepare = {});
// The loop every way of running a session shares: a failing Init reported, then
// each request line answered until the end of the input.
void ServeHostSession(THostSession& session, std::istream& in, std::ostream& out,
                      std::ostream& diagnostics);

// What GetLastError answers: its return value and its text.
struct TLastError {
    int32_t Code = 0;
    std::u16string Text;
};
// False when the component has no GetLastError or the call fails.
bool ReadLastError(TFrComponent& component, TLastError& error);

}  // namespace fr
