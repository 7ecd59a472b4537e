#pragma once
// What the register received and what it made: every request with its decoded
// fields and the code it answered, and every document it closed or cancelled.

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace fr::emu {

struct TRequestRecord {
    uint64_t Seq = 0;
    std::string Channel;              // "tcp" or "pty"
    std::string Command;              // two characters
    std::vector<std::string> Fields;  // UTF-8
    int Error = -1;                   // answer code sent; -1 when nothing was answered
    bool Resend = false;              // a repeated frame answered from the last answer
};

struct TDocumentItem {
    std::string Name;
    double Quantity = 0;
    int64_t Price = 0;  // 1/10000
    int64_t Sum = 0;
    int Tax = 0;
};

struct TDocumentPayment {
    int Code = 0;
    int64_t Amount = 0;
};

struct TDocumentRecord {
    uint32_t Number = 0;  // fiscal document number; 0 for a non-fiscal document
    std::string Kind;     // see the kinds in the README
    int DocType = 0;      // type of command "30", 0 for reports
    uint32_t Shift = 0;
    uint32_t CheckNumber = 0;  // number of the check in its shift
    std::time_t Time = 0;
    uint32_t FiscalSign = 0;
    int64_t Total = 0;
    bool Cancelled = false;
    std::string Cashier;
    std::vector<TDocumentItem> Items;
    std::vector<TDocumentPayment> Payments;
    std::vector<std::pair<unsigned, std::string>> Requisites;
    int64_t Strip = -1;  // the paper tape's strip it was printed on; -1: none
};

class TJournal {
  public:
    // Returns the record's sequence number.
    uint64_t AddRequest(TRequestRecord ARecord);
    void SetAnswer(uint64_t ASeq, int AError);
    void AddDocument(TDocumentRecord ARecord);
    void Clear();

    std::vector<TRequestRecord> Requests() const;
    std::vector<TDocumentRecord> Documents() const;
    size_t DocumentCount() const;
    // The documents printed on strip AStrip of the tape or later (documents come
    // in the tape's order, so only those are copied).
    std::vector<TDocumentRecord> DocumentsFromStrip(int64_t AStrip) const;

  private:
    mutable std::mutex FLock;
    uint64_t FNextSeq = 1;
    std::vector<TRequestRecord> FRequests;
    std::vector<TDocumentRecord> FDocuments;
};

nlohmann::json ToJson(const TRequestRecord& ARecord);
nlohmann::json ToJson(const TDocumentRecord& ARecord);

}  // namespace fr::emu
