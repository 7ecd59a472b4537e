#include "tools/fremu/tape_view.h"

#if __has_include(<qrencode.h>)
#include <qrencode.h>
#define FR_HAVE_QRENCODE 1
#endif

#include <ctime>
#include <memory>
#include <stdexcept>

#include "tools/fremu/wire_format.h"

namespace fr::emu {

namespace {

// The sign of settlement the QR code names: 1 sale, 2 sale return, 3 expense,
// 4 expense return; 0 when the document carries no QR code.
int SettlementSign(const TDocumentRecord& ADocument) {
    if (ADocument.Kind == "receipt") {
        switch (ADocument.DocType) {
            case 2:
                return 1;
            case 3:
                return 2;
            case 6:
                return 3;
            case 7:
                return 4;
            default:
                return 0;
        }
    }
    // A correction's type: bit 1 an expense, else an income.
    if (ADocument.Kind == "correction") return (ADocument.DocType & 0x02) ? 3 : 1;
    return 0;
}

}  // namespace

std::string ReceiptQrContent(const TDocumentRecord& ADocument, std::string_view AFnSerial) {
    const int sign = SettlementSign(ADocument);
    if (sign == 0 || ADocument.Cancelled || ADocument.Number == 0) return {};
    std::tm tm{};
    localtime_r(&ADocument.Time, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y%m%dT%H%M", &tm);
    return std::string("t=") + when + "&s=" + MoneyToText(ADocument.Total) +
           "&fn=" + std::string(AFnSerial) + "&i=" + std::to_string(ADocument.Number) +
           "&fp=" + std::to_string(ADocument.FiscalSign) + "&n=" + std::to_string(sign);
}

std::string QrSvg(std::string_view AText, int AModulePixels) {
    const std::string text(AText);
    if (text.empty() || text.find('\0') != std::string::npos)
        throw std::runtime_error("a QR code needs a text without NUL characters");
#ifndef FR_HAVE_QRENCODE
    // fremu.exe: no tape page, so no QR code is ever drawn.
    throw std::runtime_error("this build of fremu has no QR encoder");
#else
    const std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code) throw std::runtime_error("the QR encoder refused the text");
    constexpr int kQuiet = 4;
    const int n = code->width;
    const int side = n + 2 * kQuiet;
    const std::string px = std::to_string(side * AModulePixels);
    std::string path;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n;) {
            if ((code->data[y * n + x] & 1) == 0) {
                ++x;
                continue;
            }
            int run = 1;
            while (x + run < n && (code->data[y * n + x + run] & 1) != 0)
                ++run;
            path += "M" + std::to_string(x + kQuiet) + " " + std::to_string(y + kQuiet) + "h" +
                    std::to_string(run) + "v1h-" + std::to_string(run) + "z";
            x += run;
        }
    }
    const std::string side_text = std::to_string(side);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px + "\" height=\"" + px +
           "\" viewBox=\"0 0 " + side_text + " " + side_text +
           "\" shape-rendering=\"crispEdges\"><rect width=\"" + side_text + "\" height=\"" +
           side_text + "\" fill=\"#fff\"/><path fill=\"#000\" d=\"" + path + "\"/></svg>";
#endif
}

nlohmann::json TapeToJson(const TTapeSnapshot& ASnapshot) {
    nlohmann::json documents = nlohmann::json::array();
    for (const auto& strip : ASnapshot.Strips) {
        nlohmann::json entry;
        if (strip.Document) {
            entry = ToJson(*strip.Document);
            const std::string qr = ReceiptQrContent(*strip.Document, ASnapshot.FnSerial);
            entry["qr"] = qr.empty() ? nlohmann::json() : nlohmann::json(qr);
        } else {
            // Printed without a document of the journal: reports without a fiscal
            // record, service printouts, lines before a lost document.
            entry = {{"number", 0}, {"kind", "print"}, {"qr", nullptr}};
        }
        entry["strip"] = strip.Index;
        entry["lines"] = strip.Lines;
        entry["cut"] =
            !strip.Lines.empty() && strip.Lines.back().find(" ОТРЕЗ ") != std::string::npos;
        documents.push_back(std::move(entry));
    }
    return {{"run", ASnapshot.Run},           {"version", ASnapshot.Version},
            {"width", ASnapshot.Width},       {"status", ASnapshot.Status},
            {"strips", ASnapshot.StripCount}, {"documents", std::move(documents)},
            {"printing", ASnapshot.Printing}};
}

void TChangeSignal::Bump() {
    {
        std::lock_guard lock(FLock);
        ++FVersion;
    }
    FChanged.notify_all();
}

uint64_t TChangeSignal::Version() const {
    std::lock_guard lock(FLock);
    return FVersion;
}

uint64_t TChangeSignal::WaitPast(uint64_t AKnown, std::chrono::milliseconds ATimeout) {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, ATimeout, [&] { return FStopped || FVersion != AKnown; });
    return FVersion;
}

void TChangeSignal::Pause(std::chrono::milliseconds ATime) {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, ATime, [&] { return FStopped; });
}

void TChangeSignal::Stop() {
    {
        std::lock_guard lock(FLock);
        FStopped = true;
    }
    FChanged.notify_all();
}

bool TChangeSignal::Stopped() const {
    std::lock_guard lock(FLock);
    return FStopped;
}

}  // namespace fr::emu
