#pragma once
// The paper tape as a page shows it: strips of paper, each with the document it
// ends (when the journal has one), the QR code a buyer scans on a receipt, and
// the register's state at the top. Built from snapshots taken under the
// emulator's lock, so that nothing here ever waits on the register.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/fremu/journal.h"

namespace fr::emu {

struct TTapeStrip {
    size_t Index = 0;
    std::vector<std::string> Lines;
    bool Cut = false;  // the paper was cut after it
    std::optional<TDocumentRecord> Document;
};

struct TTapeSnapshot {
    std::string Run;  // tells one run of the emulator from the next
    uint64_t Version = 0;
    size_t Width = 0;                   // characters a line
    nlohmann::json Status;              // the register's status
    std::string FnSerial;               // the fiscal storage's serial number
    size_t StripCount = 0;              // strips ended so far
    std::vector<TTapeStrip> Strips;     // those asked for, in order
    std::vector<std::string> Printing;  // lines after the last ended strip
};

// The receipt's QR content "t=YYYYMMDDTHHMM&s=TOTAL&fn=FN&i=FD&fp=FP&n=TYPE" of a
// fiscal receipt or correction; empty for any other document and a cancelled one.
std::string ReceiptQrContent(const TDocumentRecord& ADocument, std::string_view AFnSerial);

// AText as a QR code (error correction level M, a quiet zone of four modules),
// an SVG of AModulePixels pixels a module; raises std::runtime_error when the
// encoder refuses it (too long).
std::string QrSvg(std::string_view AText, int AModulePixels = 4);

// {"version","width","status","strips","documents":[...],"printing":[...]}.
nlohmann::json TapeToJson(const TTapeSnapshot& ASnapshot);

// The page that shows the tape: one document, no resource from elsewhere.
const std::string& TapePage();

// A counter the register side moves on every change the page shows; readers wait
// for it to pass the value they have. Never held while anything else is.
class TChangeSignal {
  public:
    void Bump();
    uint64_t Version() const;
    // Returns the version once it differs from AKnown, or at ATimeout, or on Stop.
    uint64_t WaitPast(uint64_t AKnown, std::chrono::milliseconds ATimeout);
    // Waits for ATime, or less on Stop.
    void Pause(std::chrono::milliseconds ATime);
    void Stop();
    bool Stopped() const;

  private:
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    uint64_t FVersion = 0;
    bool FStopped = false;
};

}  // namespace fr::emu
