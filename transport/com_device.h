#pragma once
// TCOMDevice: the register reached over a serial port through one TCOM. It only
// moves bytes; the exchange itself is TDevice's.

#include <string>
#include <string_view>

#include "device/device.h"
#include "transport/comm.h"
#include "transport/link_timing.h"

namespace fr {

class TCOMDevice : public TDevice {
  public:
    TCOMDevice() = default;
    ~TCOMDevice() override;

    // Closes the port, opens it again and makes the handshake; raises the port's text.
    void Enable() override;
    void Disable() override;

    TCOM& Com() { return FCom; }
    const TCOM& Com() const { return FCom; }

    std::u16string ClassName() const override { return u"TCOMDevice"; }

  protected:
    bool PrepareExchange() override;
    void DiscardLateBytes() override;
    bool SendBytes(std::string_view bytes) override;
    bool ReceiveHandshakeByte(uint8_t& value) override;
    bool ReceiveFirstByte(uint8_t& value, int ATimeout) override;
    bool ReceiveBodyByte(uint8_t& value) override;
    bool ReceiveCheckChars(std::string& chars) override;
    std::u16string LinkErrorText() const override;

  private:
    // One byte, waiting no longer than the call has left.
    bool ReadWithinCall(char& ACh, uint32_t APortWaitMs);
    TCOM FCom;
    // A failure of the link's own (an answer that ran out of time), taking the
    // place of the port's text until the next exchange.
    std::u16string FLinkError;
    TTickDeadline FFirstByteDeadline;
    TTickDeadline FAnswerDeadline;
};

}  // namespace fr
