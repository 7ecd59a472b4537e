#pragma once
// A document whose outcome the register could not be asked about, or whose data
// could not be read back: what the driver must ask the register once it answers
// again, and how to know the host's repeat of the same request. Kept as a small
// text file per register in the driver's data folder, so that it outlives the
// process.

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
    std::u16string Register;   // the fiscal storage number of the register it went to
    std::u16string Operation;  // the host method, e.g. ProcessCheck
    std::string Request;       // the fingerprint of the host's request
    TDocumentWitness Witness = TDocumentWitness::dwFiscalNumber;
    int64_t Before = 0;   // the witness before the command (cash in kopecks)
    int64_t Amount = 0;   // cash only: kopecks moved in (negative: out)
    std::u16string Time;  // when the command was sent, local time "yyyy-mm-dd hh:nn:ss"
    // The register made it and only its data could not be read; Number is its
    // fiscal document number.
    bool Made = false;
    int64_t Number = 0;

    bool operator==(const TPendingDocument&) const = default;
};

// UTF-8 lines "key=value".
std::string PendingDocumentToText(const TPendingDocument& ADocument);
// Nothing for an empty or unreadable text, or one without a register or request.
std::optional<TPendingDocument> PendingDocumentFromText(std::string_view AText);

// The fingerprint of a request: the method, its scalar arguments and the
// canonical text of its XML package (see XmlDocument::CanonicalText), hashed.
// Two requests with the same content give the same fingerprint, whatever their
// spacing, attribute order or encoding.
std::string RequestFingerprint(std::u16string_view AOperation, std::u16string_view AScalars,
                               std::string_view APackageText);

// A register identity as it may stand in a file name: letters and digits only.
std::u16string RegisterFileTag(std::u16string_view ARegister);

}  // namespace fr
