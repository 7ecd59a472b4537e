#pragma once
// One component object driven the way the host drives it (methods by name through
// CallAsFunc), in a scratch folder of its own, against a register emulator the
// caller runs. What the benchmarks measure around a receipt: the time the calling
// thread spent on the CPU, the wall time, and the bytes and exchanges the driver
// logged on the line.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/add_in_object.h"
#include "platform/variant.h"

namespace fr::bench {

// The driver's mandated pause before it reads a document's result.
inline constexpr double kDocumentPauseSeconds = 0.5;
// Seconds an 8N1 line of ABaud baud needs for ABytes bytes (10 bits a byte).
inline double WireSeconds(uint64_t ABytes, int ABaud) {
    return static_cast<double>(ABytes) * 10.0 / ABaud;
}

// A check package of APositions one-unit positions of 10.00 at VAT 20 %, paid
// electronically in full.
std::u16string CheckPackage(int APositions);

// CPU time of the calling thread, in seconds.
double ThreadCpuSeconds();
// Monotonic wall time, in seconds.
double WallSeconds();
// The process's peak resident set so far, in KiB.
long PeakRssKib();

struct TCallResult {
    bool Ok = false;
    int32_t Code = 0;
    std::string ErrorText;  // UTF-8
};

// What the line carried during one stretch of the log.
struct TLineTraffic {
    uint64_t Bytes = 0;      // sent and received
    uint64_t Exchanges = 0;  // frames sent (a resent frame counts again)
};

class TReceiptSession {
  public:
    // Makes the scratch folder and points the driver's data and COM folders at it.
    TReceiptSession();
    // Ends the component and removes the scratch folder.
    ~TReceiptSession();
    TReceiptSession(const TReceiptSession&) = delete;
    TReceiptSession& operator=(const TReceiptSession&) = delete;

    std::filesystem::path Dir() const { return FDir; }

    // Connects over TCP to 127.0.0.1:APort, or over COM port AComNumber (a link in
    // Dir()), and opens a shift when none is open. Raises std::runtime_error.
    void OpenTcp(int APort, bool AWriteLog);
    void OpenCom(int AComNumber, bool AWriteLog);
    // Reconnects with the log switched on or off (WriteLog takes effect on Open).
    void Reopen(bool AWriteLog);
    void Close();

    TCallResult ProcessCheck(const std::u16string& APackage);
    // Raises std::runtime_error naming the failed call.
    void ProcessCheckOrThrow(const std::u16string& APackage);

    // The log's end, and the line traffic logged after a mark.
    uint64_t LogMark() const;
    TLineTraffic TrafficSince(uint64_t AMark) const;

  private:
    TAddInObject& Component();
    void SetProp(const std::u16string& AName, const Variant& AValue);
    TCallResult Call(const std::u16string& AMethod, std::vector<Variant> AParams);
    void CallOrThrow(const std::u16string& AMethod, std::vector<Variant> AParams);
    void Open(bool AWriteLog);
    void OpenShift();
    std::filesystem::path LogFile() const;

    std::filesystem::path FDir;
    std::unique_ptr<TAddInObject> FComponent;
};

}  // namespace fr::bench
