#include "driver/pending_document.h"

#include <charconv>
#include <vector>

#include "platform/text.h"

namespace fr {
namespace {

constexpr std::string_view kOperation = "operation";
constexpr std::string_view kWitness = "witness";
constexpr std::string_view kBefore = "before";
constexpr std::string_view kAmount = "amount";
constexpr std::string_view kTime = "time";

struct TWitnessName {
    TDocumentWitness Witness;
    std::string_view Name;
};
constexpr TWitnessName kWitnessNames[] = {
    {TDocumentWitness::dwFiscalNumber, "fiscal_number"},
    {TDocumentWitness::dwCashInDrawer, "cash_in_drawer"},
    {TDocumentWitness::dwDocumentGone, "document_gone"},
};

bool ParseInt64(std::string_view AText, int64_t& AValue) {
    const auto [end, error] = std::from_chars(AText.data(), AText.data() + AText.size(), AValue);
    return error == std::errc() && end == AText.data() + AText.size() && !AText.empty();
}

}  // namespace

std::string PendingDocumentToText(const TPendingDocument& ADocument) {
    std::string_view witness;
    for (const auto& w : kWitnessNames)
        if (w.Witness == ADocument.Witness) witness = w.Name;
    std::string text;
    text += std::string(kOperation) + "=" + Utf16ToUtf8(ADocument.Operation) + "\n";
    text += std::string(kWitness) + "=" + std::string(witness) + "\n";
    text += std::string(kBefore) + "=" + std::to_string(ADocument.Before) + "\n";
    text += std::string(kAmount) + "=" + std::to_string(ADocument.Amount) + "\n";
    text += std::string(kTime) + "=" + Utf16ToUtf8(ADocument.Time) + "\n";
    return text;
}

std::optional<TPendingDocument> PendingDocumentFromText(std::string_view AText) {
    TPendingDocument document;
    bool hasOperation = false, hasWitness = false, hasBefore = false;
    while (!AText.empty()) {
        const size_t eol = AText.find('\n');
        std::string_view line = AText.substr(0, eol);
        AText = eol == std::string_view::npos ? std::string_view() : AText.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (key == kOperation) {
            document.Operation = Utf8ToUtf16(value);
            hasOperation = !value.empty();
        } else if (key == kWitness) {
            for (const auto& w : kWitnessNames)
                if (w.Name == value) {
                    document.Witness = w.Witness;
                    hasWitness = true;
                }
        } else if (key == kBefore) {
            hasBefore = ParseInt64(value, document.Before);
        } else if (key == kAmount) {
            if (!ParseInt64(value, document.Amount)) document.Amount = 0;
        } else if (key == kTime) {
            document.Time = Utf8ToUtf16(value);
        }
    }
    if (!hasOperation || !hasWitness || !hasBefore) return std::nullopt;
    return document;
}

}  // namespace fr
