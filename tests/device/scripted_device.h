#pragma once
// A register link played from a script: the bytes the register "sends" wait in a
// queue, everything the device sends is recorded, and pauses are counted rather
// than slept.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "device/device.h"

namespace fr::test {

// XOR of the bytes as two upper-case hexadecimal digits, computed here on its own
// so that the tests do not check the device against itself.
std::string Xor(std::string_view bytes);
// "02 41 " ...
std::string Hex(std::string_view bytes);
std::string Join(const std::vector<std::string>& fields);
// The request frame a command should produce.
std::string RequestFrame(uint8_t id, std::string_view cmd, const std::vector<std::string>& fields,
                         std::string_view password = "KVMT");
// An answer body (packet id to ETX) and the whole answer frame for it.
std::string AnswerBody(uint8_t id, std::string_view cmd, std::string_view code,
                       const std::vector<std::string>& fields);
std::string AnswerFrame(std::string_view body);
// Code page 866 bytes of a text, for expected fields.
std::string Oem(std::u16string_view text);

struct TLogLine {
    std::u16string Caption;
    std::u16string Message;
    bool Success;
};

class TScriptedDevice : public TDevice {
  public:
    // The register's next bytes.
    void QueueBytes(std::string bytes);
    // The next receive fails with LinkText.
    void QueueFailure();
    void QueueAck() { QueueBytes(std::string(1, ACK)); }
    // An answer to the frame sent last, echoing its packet id and command.
    void QueueAnswer(std::string code = "00", std::vector<std::string> fields = {});
    // ACK and an answer: one whole successful-looking exchange.
    void QueueReply(std::string code = "00", std::vector<std::string> fields = {}) {
        QueueAck();
        QueueAnswer(std::move(code), std::move(fields));
    }
    // The send with this zero-based number fails.
    void FailSend(size_t index) { failSends_.push_back(index); }

    // Every SendBytes call, in order, and those that were frames (not ENQ).
    const std::vector<std::string>& Sent() const { return sent_; }
    std::vector<std::string> Frames() const;
    const std::vector<int>& FirstByteTimeouts() const { return timeouts_; }
    const std::vector<TLogLine>& Log() const { return log_; }
    int Pauses() const { return pauses_; }
    size_t PendingBytes() const;

    std::u16string LinkText = u"Устройство не отвечает";
    // Also hand the exchange log lines to the driver's log.
    bool WriteDriverLog = false;
    std::u16string ClassName() const override { return u"TScriptedDevice"; }

  protected:
    bool SendBytes(std::string_view bytes) override;
    bool ReceiveHandshakeByte(uint8_t& value) override { return Receive(value); }
    bool ReceiveFirstByte(uint8_t& value, int ATimeout) override;
    bool ReceiveBodyByte(uint8_t& value) override { return Receive(value); }
    bool ReceiveCheckChars(std::string& chars) override;
    std::u16string LinkErrorText() const override { return LinkText; }
    void LogExchange(std::u16string_view arrow, std::string_view bytes, bool success) override;
    void Pause(uint32_t) override { ++pauses_; }

  private:
    struct TItem {
        std::string Bytes;
        bool Failure = false;
        std::function<std::string()> Make;  // built when first read
    };
    bool Receive(uint8_t& value);

    std::deque<TItem> script_;
    std::vector<std::string> sent_;
    std::vector<size_t> failSends_;
    std::vector<int> timeouts_;
    std::vector<TLogLine> log_;
    int pauses_ = 0;
};

}  // namespace fr::test
