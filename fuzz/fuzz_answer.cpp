// The answer side of the exchange fed raw link bytes: one device operation per
// input, then every answer accessor over the fields it left.

#include <string>
#include <vector>

#include "device/device.h"
#include "fuzz/fuzz_support.h"
#include "platform/exception.h"

namespace fr::fuzz {

namespace {

// A link that plays the register from the fuzzer's bytes. Raw: the receive
// primitives read the bytes as they are. Framed: each chunk of input is one
// answer whose start byte, packet id, ETX and check characters are filled in
// right, so that the checks past the check characters and the data split are
// reached too; the command echo and the error code still come from the input.
class TFuzzLink : public TDevice {
  public:
    TFuzzLink(FuzzedDataProvider& AData, bool AFramed, bool AEchoCommand)
        : FData(AData), FFramed(AFramed), FEchoCommand(AEchoCommand) {}

  protected:
    bool SendBytes(std::string_view) override { return true; }
    bool ReceiveHandshakeByte(uint8_t& value) override {
        if (FFramed) {
            value = static_cast<uint8_t>(ACK);
            return true;
        }
        return Next(value);
    }
    bool ReceiveFirstByte(uint8_t& value, int) override {
        if (FFramed) {
            LoadAnswer();
            value = static_cast<uint8_t>(STX);
            return true;
        }
        return Next(value);
    }
    bool ReceiveBodyByte(uint8_t& value) override {
        if (!FFramed) return Next(value);
        if (FPos >= FBody.size()) return false;
        value = static_cast<uint8_t>(FBody[FPos++]);
        return true;
    }
    bool ReceiveCheckChars(std::string& chars) override {
        if (FFramed) {
            chars = FCheck;
            return true;
        }
        chars = FData.ConsumeBytesAsString(FData.ConsumeIntegralInRange<size_t>(0, 2));
        return !chars.empty() || FData.remaining_bytes() > 0;
    }
    std::u16string LinkErrorText() const override { return u"link"; }
    void LogExchange(std::u16string_view, std::string_view, bool) override {}
    void Pause(uint32_t) override {}

  private:
    bool Next(uint8_t& value) {
        if (FData.remaining_bytes() == 0) return false;
        value = FData.ConsumeIntegral<uint8_t>();
        return true;
    }
    void LoadAnswer() {
        std::string part = FData.ConsumeRandomLengthString(256);
        std::string body(1, static_cast<char>(PacketID()));
        if (FEchoCommand) body += Command();
        for (char c : part)
            if (c != ETX) body.push_back(c);
        body.push_back(ETX);
        uint8_t sum = 0;
        for (char c : body)
            sum ^= static_cast<uint8_t>(c);
        static constexpr char kHex[] = "0123456789ABCDEF";
        FCheck = {kHex[sum >> 4], kHex[sum & 15]};
        FBody = std::move(body);
        FPos = 0;
    }

    FuzzedDataProvider& FData;
    bool FFramed;
    bool FEchoCommand;
    std::string FBody;
    std::string FCheck;
    size_t FPos = 0;
};

// One operation of the command set, picked by the input, that reads an answer.
void RunOperation(TFuzzLink& device, FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange<int>(0, 14)) {
        case 0: {
            uint8_t fatal = 0, document = 0;
            uint16_t current = 0;
            device.GetECRStatus(fatal, current, document);
            break;
        }
        case 1:
            device.GetDayState();
            break;
        case 2:
            device.GetPrinterState();
            break;
        case 3:
            device.GetDrawerState();
            break;
        case 4:
            device.GetECRInfo(data.ConsumeIntegral<uint8_t>());
            break;
        case 5:
            device.GetCounterValue(data.ConsumeIntegral<uint8_t>());
            break;
        case 6: {
            uint8_t type = 0;
            std::u16string counter, kpk;
            uint32_t receipt = 0, document = 0;
            Currency sum, discount, margin;
            device.GetLastReceiptInfo(type, counter, receipt, document, sum, discount, margin, kpk);
            break;
        }
        case 7: {
            TDateTime when = 0;
            device.GetDateTime(when);
            break;
        }
        case 8:
            device.ReadSettingTableStr(1, 1);
            break;
        case 9:
            device.ReadSettingTableWord(1, 1);
            break;
        case 10:
            device.ReadSettingTableFloat(1, 1);
            break;
        case 11: {
            TDateTime when = 0;
            uint32_t number = 0, sign = 0;
            device.FNGetLastDocInfo(when, number, sign);
            break;
        }
        case 12:
            device.FNGetInfo(data.ConsumeIntegral<uint8_t>(), 0, 0);
            break;
        case 13:
            device.GetExtErrorDescription();
            break;
        default: {
            const std::string command = data.ConsumeBytesAsString(2);
            device.RunCommand(command, {data.ConsumeRandomLengthString(8)}, kShortTimeout);
            break;
        }
    }
}

}  // namespace

int FuzzAnswer(const uint8_t* AData, size_t ASize) {
    FuzzedDataProvider data(AData, ASize);
    const uint8_t mode = data.ConsumeIntegral<uint8_t>();
    TFuzzLink device(data, (mode & 1) != 0, (mode & 2) != 0);
    // Two operations, so that an answer can leave state the next one reads.
    for (int i = 0; i < 2; ++i) {
        try {
            RunOperation(device, data);
        } catch (const Exception&) {
            // A refused or broken answer is an expected outcome.
        }
    }
    const int count = static_cast<int>(device.Data().size());
    // Past the end the date and time accessors give the clock: not read here.
    for (int i = 0; i <= count; ++i) {
        device.GetDataAsString(i);
        device.GetDataAsInteger(i);
        device.GetDataAsFloat(i);
        if (i < count) {
            device.GetDataAsDate(i);
            device.GetDataAsTime(i);
        }
    }
    return 0;
}

}  // namespace fr::fuzz

FR_FUZZ_TARGET(fr::fuzz::FuzzAnswer)
