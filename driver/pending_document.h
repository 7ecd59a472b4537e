#pragma once
// A document whose outcome the register could not be asked about: what the
// driver must ask the register once it answers again. Kept as a small text file
// in the driver's data folder so that it outlives the process.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fr {

enum class TDocumentWitness : uint8_t {
    dwFiscalNumber,  // the fiscal storage's last document number moves
    dwCashInDrawer,  // the cash in the drawer moves (a cash-in or cash-out)
    dwDocumentGone,  // the document is no longer open: the weakest sign
};

struct TPendingDocument {
    std::u16string Operation;  // the host method, e.g. ProcessCheck
    TDocumentWitness Witness = TDocumentWitness::dwFiscalNumber;
    int64_t Before = 0;   // the witness before the command (cash in kopecks)
    int64_t Amount = 0;   // cash only: kopecks moved in (negative: out)
    std::u16string Time;  // when the command was sent, local time

    bool operator==(const TPendingDocument&) const = default;
};

// UTF-8 lines "key=value".
std::string PendingDocumentToText(const TPendingDocument& ADocument);
// Nothing for an empty or unreadable text.
std::optional<TPendingDocument> PendingDocumentFromText(std::string_view AText);

}  // namespace fr
