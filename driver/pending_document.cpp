#include "driver/pending_document.h"

#include <charconv>
#include <cstdio>

#include "platform/text.h"

namespace fr {
namespace {

constexpr std::string_view kRegister = "register";
constexpr std::string_view kOperation = "operation";
constexpr std::string_view kRequest = "request";
constexpr std::string_view kWitness = "witness";
constexpr std::string_view kBefore = "before";
constexpr std::string_view kAmount = "amount";
constexpr std::string_view kTime = "time";
constexpr std::string_view kMade = "made";
constexpr std::string_view kNumber = "number";

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

// 64-bit FNV-1a: the fingerprint tells two requests apart, it guards nothing.
uint64_t Fnv1a(uint64_t AHash, std::string_view ABytes) {
    for (const unsigned char c : ABytes) {
        AHash ^= c;
        AHash *= 0x100000001b3ULL;
    }
    return AHash;
}

}  // namespace

std::string PendingDocumentToText(const TPendingDocument& ADocument) {
    std::string_view witness;
    for (const auto& w : kWitnessNames)
        if (w.Witness == ADocument.Witness) witness = w.Name;
    std::string text;
    const auto line = [&text](std::string_view AKey, std::string_view AValue) {
        text.append(AKey).append("=").append(AValue).append("\n");
    };
    line(kRegister, Utf16ToUtf8(ADocument.Register));
    line(kOperation, Utf16ToUtf8(ADocument.Operation));
    line(kRequest, ADocument.Request);
    line(kWitness, witness);
    line(kBefore, std::to_string(ADocument.Before));
    line(kAmount, std::to_string(ADocument.Amount));
    line(kTime, Utf16ToUtf8(ADocument.Time));
    line(kMade, ADocument.Made ? "1" : "0");
    line(kNumber, std::to_string(ADocument.Number));
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
        if (key == kRegister) {
            document.Register = Utf8ToUtf16(value);
        } else if (key == kOperation) {
            document.Operation = Utf8ToUtf16(value);
            hasOperation = !value.empty();
        } else if (key == kRequest) {
            document.Request = std::string(value);
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
        } else if (key == kMade) {
            document.Made = value == "1";
        } else if (key == kNumber) {
            if (!ParseInt64(value, document.Number)) document.Number = 0;
        }
    }
    if (!hasOperation || !hasWitness || !hasBefore || document.Register.empty() ||
        document.Request.empty())
        return std::nullopt;
    return document;
}

std::string RequestFingerprint(std::u16string_view AOperation, std::u16string_view AScalars,
                               std::string_view APackageText) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    hash = Fnv1a(hash, Utf16ToUtf8(AOperation));
    hash = Fnv1a(hash, std::string_view("\x1f", 1));
    hash = Fnv1a(hash, Utf16ToUtf8(AScalars));
    hash = Fnv1a(hash, std::string_view("\x1f", 1));
    hash = Fnv1a(hash, APackageText);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::u16string RegisterFileTag(std::u16string_view ARegister) {
    std::u16string tag;
    for (const char16_t c : ARegister)
        if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
            tag += c;
    return tag;
}

}  // namespace fr
