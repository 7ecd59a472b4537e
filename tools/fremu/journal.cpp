#include "tools/fremu/journal.h"

#include <iterator>

#include "tools/fremu/wire_format.h"

namespace fr::emu {

uint64_t TJournal::AddRequest(TRequestRecord ARecord) {
    std::lock_guard lock(FLock);
    ARecord.Seq = FNextSeq++;
    FRequests.push_back(std::move(ARecord));
    return FRequests.back().Seq;
}

void TJournal::SetAnswer(uint64_t ASeq, int AError) {
    std::lock_guard lock(FLock);
    for (auto it = FRequests.rbegin(); it != FRequests.rend(); ++it) {
        if (it->Seq == ASeq) {
            it->Error = AError;
            return;
        }
    }
}

void TJournal::AddDocument(TDocumentRecord ARecord) {
    std::lock_guard lock(FLock);
    FDocuments.push_back(std::move(ARecord));
}

void TJournal::Clear() {
    std::lock_guard lock(FLock);
    FRequests.clear();
    FDocuments.clear();
}

std::vector<TRequestRecord> TJournal::Requests() const {
    std::lock_guard lock(FLock);
    return FRequests;
}

std::vector<TDocumentRecord> TJournal::Documents() const {
    std::lock_guard lock(FLock);
    return FDocuments;
}

size_t TJournal::DocumentCount() const {
    std::lock_guard lock(FLock);
    return FDocuments.size();
}

std::vector<TDocumentRecord> TJournal::DocumentsFromStrip(int64_t AStrip) const {
    std::lock_guard lock(FLock);
    auto first = FDocuments.end();
    while (first != FDocuments.begin() && std::prev(first)->Strip >= AStrip)
        --first;
    return {first, FDocuments.end()};
}

nlohmann::json ToJson(const TRequestRecord& ARecord) {
    return {{"seq", ARecord.Seq},       {"channel", ARecord.Channel}, {"command", ARecord.Command},
            {"fields", ARecord.Fields}, {"error", ARecord.Error},     {"resend", ARecord.Resend}};
}

nlohmann::json ToJson(const TDocumentRecord& ARecord) {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : ARecord.Items)
        items.push_back({{"name", item.Name},
                         {"quantity", item.Quantity},
                         {"price", MoneyToShortText(item.Price)},
                         {"sum", MoneyToShortText(item.Sum)},
                         {"tax", item.Tax}});
    nlohmann::json payments = nlohmann::json::array();
    for (const auto& p : ARecord.Payments)
        payments.push_back({{"code", p.Code}, {"amount", MoneyToShortText(p.Amount)}});
    nlohmann::json requisites = nlohmann::json::array();
    for (const auto& [tag, value] : ARecord.Requisites)
        requisites.push_back({{"tag", tag}, {"value", value}});
    return {{"number", ARecord.Number},
            {"kind", ARecord.Kind},
            {"doc_type", ARecord.DocType},
            {"shift", ARecord.Shift},
            {"check", ARecord.CheckNumber},
            {"time", TimeToIso(ARecord.Time)},
            {"fiscal_sign", ARecord.FiscalSign},
            {"total", MoneyToShortText(ARecord.Total)},
            {"cancelled", ARecord.Cancelled},
            {"cashier", ARecord.Cashier},
            {"items", items},
            {"payments", payments},
            {"requisites", requisites}};
}

}  // namespace fr::emu
