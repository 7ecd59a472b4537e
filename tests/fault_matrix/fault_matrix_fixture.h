#pragma once
// Every fault the emulated register can inject, against every class of driver
// operation, over both links. One cell: the emulator and a component object are
// set up, the fault is armed for the operation's key command, the operation runs
// through the host boundary, and afterwards the same kind of operation must work
// again. The fiscal records of the emulator are compared with what the driver
// reported.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/driver/driver_fixture.h"

namespace fr::test {

enum class TMatrixLink { mlTcp, mlSerial };

enum class TMatrixOperation {
    moConnect,  // Open
    moQuery,    // GetCurrentStatus
    moReceipt,  // ProcessCheck
    moCash,     // CashInOutcome
    moReport,   // PrintXReport
};

// What one fault does on one link.
struct TMatrixOutcome {
    int32_t Code = 0;     // 0: the operation still succeeds
    std::u16string Text;  // the description; empty on success
    int NominalMs = 0;    // the time-outs and pauses the fault costs
};

struct TMatrixFault {
    std::string Name;
    nlohmann::json Fault;  // the emulator's fault object, without "command"
    bool Targeted = true;  // aimed at the operation's key command
    // The register carries the command out before the fault shows on the line.
    bool Executes = false;
    TMatrixOutcome Tcp;
    TMatrixOutcome Serial;
    // A second fault armed with the first, as it stands (its own command).
    nlohmann::json Extra = nullptr;
    // The operations the fault is tried on; empty: all.
    std::vector<TMatrixOperation> Only = {};
    // The line is left idle this long after arming, before the operation.
    int IdleBeforeMs = 0;
    bool TcpOnly = false;
};

struct TMatrixCell {
    const TMatrixFault* Fault = nullptr;
    TMatrixOperation Operation = TMatrixOperation::moConnect;
    TMatrixLink Link = TMatrixLink::mlTcp;

    // What the fault does on the cell's link; for a document whose closing
    // command the register carried out before the fault, the driver finds that
    // out and the operation succeeds.
    TMatrixOutcome Outcome() const;
    // A cell waiting on the TCP receive time-out.
    bool Slow() const;
    std::string Name() const;
};

void PrintTo(const TMatrixCell& ACell, std::ostream* AOut);

const std::vector<TMatrixFault>& MatrixFaults();
// Every cell of the matrix, the slow ones or the others.
std::vector<TMatrixCell> MatrixCells(bool ASlow);
std::string MatrixCellName(const ::testing::TestParamInfo<TMatrixCell>& AInfo);

class FaultMatrixFixture : public DriverFixture, public ::testing::WithParamInterface<TMatrixCell> {
  protected:
    // The whole cell: arm, run, check, recover, check the fiscal records.
    void RunCell();

  private:
    void Connect(TMatrixLink ALink);
    TDriverCall Run(TMatrixOperation AOperation);
    // The documents of the operation's kind that the register closed (not cancelled).
    std::vector<emu::TDocumentRecord> Closed(TMatrixOperation AOperation);
    size_t Cancelled(TMatrixOperation AOperation);
    // Whether the register accepted the closing command ("31") after ASince.
    bool CloseAccepted(uint64_t ASince);
    void ExpectReportedDocumentOnce(const TDriverCall& ACall);
};

}  // namespace fr::test
