// Building a request and parsing its answer, on a link that answers from memory.
// Round trips also report the bytes one exchange puts on the line and the time an
// 8N1 line of 115200 baud needs for them, to set the driver's CPU time beside it.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "device/device.h"
#include "support/common_utils.h"
#include "support/log.h"

namespace {

using namespace fr;

// Answers every ENQ with ACK and every frame with a fixed set of data fields.
class TMemoryDevice : public TDevice {
  public:
    explicit TMemoryDevice(std::vector<std::string> fields) : fields_(std::move(fields)) {}

  protected:
    bool SendBytes(std::string_view bytes) override {
        lineBytes_ += bytes.size();
        if (bytes.size() > 1) ++exchanges_;
        if (bytes.size() == 1) {
            answer_.assign(1, ACK);
        } else {
            std::string body(1, bytes[5]);
            body.append(bytes.substr(6, 2));
            body += "00";
            for (size_t i = 0; i < fields_.size(); ++i) {
                if (i > 0) body += FS;
                body += fields_[i];
            }
            body += ETX;
            answer_ = std::string(1, STX) + body + GetCheckSum(body);
        }
        lineBytes_ += answer_.size();
        pos_ = 0;
        return true;
    }
    bool ReceiveHandshakeByte(uint8_t& value) override { return Next(value); }
    bool ReceiveFirstByte(uint8_t& value, int) override { return Next(value); }
    bool ReceiveBodyByte(uint8_t& value) override { return Next(value); }
    bool ReceiveCheckChars(std::string& chars) override {
        chars = answer_.substr(pos_, 2);
        pos_ += chars.size();
        return chars.size() == 2;
    }
    std::u16string LinkErrorText() const override { return u"end of answer"; }
    void Pause(uint32_t) override {}

  public:
    uint64_t LineBytes() const { return lineBytes_; }
    uint64_t Exchanges() const { return exchanges_; }

  private:
    bool Next(uint8_t& value) {
        if (pos_ >= answer_.size()) return false;
        value = static_cast<uint8_t>(answer_[pos_++]);
        return true;
    }

    std::vector<std::string> fields_;
    std::string answer_;
    size_t pos_ = 0;
    uint64_t lineBytes_ = 0;
    uint64_t exchanges_ = 0;
};

void QuietLog() {
    TLog::SetLogLevel(0);
}

constexpr double kLineBaud = 115200;

void ReportLine(benchmark::State& AState, const TMemoryDevice& ADev) {
    if (ADev.Exchanges() == 0) return;
    const double bytes = static_cast<double>(ADev.LineBytes()) / ADev.Exchanges();
    AState.counters["exchanges_per_iter"] =
        static_cast<double>(ADev.Exchanges()) / static_cast<double>(AState.iterations());
    AState.counters["bytes_per_exchange"] = bytes;
    AState.counters["wire_us_115200"] = bytes * 10.0 / kLineBaud * 1e6;
}

void BM_BuildPacket(benchmark::State& state) {
    QuietLog();
    TMemoryDevice dev({});
    const std::vector<std::string> fields{"Item name of moderate length",
                                          "ART-001",
                                          "2",
                                          "99.99",
                                          "1",
                                          "",
                                          "1",
                                          "",
                                          "",
                                          "",
                                          "4",
                                          "1"};
    for (auto _ : state)
        benchmark::DoNotOptimize(dev.BuildPacket("42", fields));
}
BENCHMARK(BM_BuildPacket);

void BM_StatusRoundTrip(benchmark::State& state) {
    QuietLog();
    TMemoryDevice dev({"0", "12", "0"});
    uint8_t fatal = 0, document = 0;
    uint16_t current = 0;
    for (auto _ : state) {
        dev.GetECRStatus(fatal, current, document);
        benchmark::DoNotOptimize(current);
    }
    ReportLine(state, dev);
}
BENCHMARK(BM_StatusRoundTrip);

void BM_RegisterItemRoundTrip(benchmark::State& state) {
    QuietLog();
    TMemoryDevice dev({});
    const std::u16string name(static_cast<size_t>(state.range(0)), u'Ж');
    for (auto _ : state)
        dev.RegisterItem(name, u"ART-001", 1, 2.5, Currency::FromRaw(999900), 1,
                         Currency::FromRaw(2499750), 4, 1);
    ReportLine(state, dev);
}
BENCHMARK(BM_RegisterItemRoundTrip)->Arg(16)->Arg(224);

void BM_LargeAnswerParse(benchmark::State& state) {
    QuietLog();
    TMemoryDevice dev(std::vector<std::string>(static_cast<size_t>(state.range(0)), "12345.67"));
    for (auto _ : state)
        benchmark::DoNotOptimize(dev.GetECRInfo(1));
    ReportLine(state, dev);
}
BENCHMARK(BM_LargeAnswerParse)->Arg(8)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
