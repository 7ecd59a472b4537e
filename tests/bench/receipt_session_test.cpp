// The benchmark harness's own counting, checked against the emulator's journal:
// the report's bytes and exchanges are only as good as this.

#include <gtest/gtest.h>

#include <memory>

#include "bench/receipt_session.h"
#include "tools/fremu/emulator.h"

namespace fr::bench {
namespace {

class BenchSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        emu::TEmulatorOptions options;
        options.Port = 0;
        options.StdinControl = false;
        FEmulator = std::make_unique<emu::TEmulator>(options);
        FEmulator->Start();
    }
    void TearDown() override { FEmulator->Stop(); }

    uint64_t LastSeq() const {
        const auto list = FEmulator->Requests();
        return list.empty() ? 0 : list.back().Seq;
    }

    // The traffic the harness counts for one receipt, and the requests the
    // emulator received meanwhile.
    TLineTraffic Receipt(int APositions, uint64_t& ARequests) {
        const uint64_t mark = FSession.LogMark();
        const uint64_t before = LastSeq();
        FSession.ProcessCheckOrThrow(CheckPackage(APositions));
        ARequests = LastSeq() - before;
        return FSession.TrafficSince(mark);
    }

    std::unique_ptr<emu::TEmulator> FEmulator;
    TReceiptSession FSession;
};

TEST_F(BenchSessionTest, ExchangesMatchTheRegisterJournal) {
    FSession.OpenTcp(FEmulator->TcpPort(), true);
    for (int positions : {1, 3, 12}) {
        uint64_t requests = 0;
        const TLineTraffic traffic = Receipt(positions, requests);
        EXPECT_EQ(traffic.Exchanges, requests) << positions;
        // Every exchange is at least ENQ, ACK, a frame of STX..ETX and two check
        // characters each way.
        EXPECT_GE(traffic.Bytes, traffic.Exchanges * 14) << positions;
    }
}

TEST_F(BenchSessionTest, EachPositionAddsTheSameTraffic) {
    FSession.OpenTcp(FEmulator->TcpPort(), true);
    uint64_t requests = 0;
    const TLineTraffic one = Receipt(2, requests);
    const TLineTraffic two = Receipt(4, requests);
    const TLineTraffic three = Receipt(6, requests);
    EXPECT_GT(two.Exchanges, one.Exchanges);
    EXPECT_EQ(three.Exchanges - two.Exchanges, two.Exchanges - one.Exchanges);
    // Document numbers may grow a digit, so bytes are only nearly even.
    const auto step1 = static_cast<int64_t>(two.Bytes - one.Bytes);
    const auto step2 = static_cast<int64_t>(three.Bytes - two.Bytes);
    EXPECT_GT(step1, 0);
    EXPECT_NEAR(step2, step1, 8);
}

TEST_F(BenchSessionTest, NothingIsCountedWithTheLogOff) {
    FSession.OpenTcp(FEmulator->TcpPort(), false);
    uint64_t requests = 0;
    const TLineTraffic traffic = Receipt(2, requests);
    EXPECT_GT(requests, 0u);
    EXPECT_EQ(traffic.Exchanges, 0u);
    EXPECT_EQ(traffic.Bytes, 0u);
}

TEST_F(BenchSessionTest, RefusedReceiptIsRaised) {
    FSession.OpenTcp(FEmulator->TcpPort(), false);
    emu::TFault refusal;
    refusal.Kind = emu::TFaultKind::fkError;
    refusal.Command = "30";
    refusal.Times = 0;
    FEmulator->AddFault(refusal);
    EXPECT_THROW(FSession.ProcessCheckOrThrow(CheckPackage(1)), std::runtime_error);
    EXPECT_FALSE(FSession.ProcessCheck(CheckPackage(1)).Ok);
}

}  // namespace
}  // namespace fr::bench
