// The tape as a page shows it: strips of paper tied to their documents, the QR
// content of a receipt, and the HTTP server that must never hold the register.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <future>
#include <string>
#include <vector>

#include "emulator_fixture.h"
#include "tools/fremu/tape_view.h"

namespace fr::emu::test {
namespace {

using EmulatorTapeView = EmulatorFixture;

std::time_t LocalTime(int AYear, int AMonth, int ADay, int AHour, int AMinute) {
    std::tm tm{};
    tm.tm_year = AYear - 1900;
    tm.tm_mon = AMonth - 1;
    tm.tm_mday = ADay;
    tm.tm_hour = AHour;
    tm.tm_min = AMinute;
    tm.tm_sec = 41;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

int Connect(int APort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(APort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void SendText(int AFd, const std::string& AText) {
    ASSERT_EQ(::send(AFd, AText.data(), AText.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(AText.size()));
}

struct THttpReply {
    int Status = 0;
    std::string Headers;
    std::string Body;
};

// One GET on a connection of its own, read to its end (30 s at most).
THttpReply Get(int APort, const std::string& APath) {
    THttpReply reply;
    const int fd = Connect(APort);
    if (fd < 0) return reply;
    SendText(fd, "GET " + APath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    std::string data;
    char buf[8192];
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    const size_t head = data.find("\r\n\r\n");
    if (data.rfind("HTTP/1.1 ", 0) != 0 || head == std::string::npos) return reply;
    reply.Status = std::stoi(data.substr(9, 3));
    reply.Headers = data.substr(0, head);
    reply.Body = data.substr(head + 4);
    return reply;
}

TEmulatorOptions WithHttp(TEmulatorOptions AOptions) {
    AOptions.Http = true;
    AOptions.HttpPort = 0;
    return AOptions;
}

TEST_F(EmulatorTapeView, QrContentOfEachDocument) {
    struct TRow {
        const char* Kind;
        int DocType;
        int64_t Total;
        bool Cancelled;
        uint32_t Number;
        const char* Expected;  // "" : no QR code
    };
    const TRow rows[] = {
        {"receipt", 2, 4348000, false, 3,
         "t=20261210T0645&s=434.80&fn=9999078900012345&i=3&fp=1778197272&n=1"},
        {"receipt", 3, 10000, false, 4,
         "t=20261210T0645&s=1.00&fn=9999078900012345&i=4&fp=1778197272&n=2"},
        {"receipt", 6, 5, false, 5,
         "t=20261210T0645&s=0.00&fn=9999078900012345&i=5&fp=1778197272&n=3"},
        {"receipt", 7, 123456789, false, 6,
         "t=20261210T0645&s=12345.68&fn=9999078900012345&i=6&fp=1778197272&n=4"},
        // Corrections: bit 1 of the type is an expense, bit 0 (by order) changes nothing here.
        {"correction", 0, 12000000, false, 7,
         "t=20261210T0645&s=1200.00&fn=9999078900012345&i=7&fp=1778197272&n=1"},
        {"correction", 1, 12000000, false, 8,
         "t=20261210T0645&s=1200.00&fn=9999078900012345&i=8&fp=1778197272&n=1"},
        {"correction", 2, 12000000, false, 9,
         "t=20261210T0645&s=1200.00&fn=9999078900012345&i=9&fp=1778197272&n=3"},
        {"correction", 3, 12000000, false, 10,
         "t=20261210T0645&s=1200.00&fn=9999078900012345&i=10&fp=1778197272&n=3"},
        {"receipt", 2, 4348000, true, 0, ""},
        {"receipt", 2, 4348000, false, 0, ""},
        {"receipt_copy", 2, 4348000, false, 0, ""},
        {"receipt", 1, 0, false, 0, ""},
        {"cash_in", 4, 10000000, false, 0, ""},
        {"shift_open", 0, 0, false, 2, ""},
        {"shift_close", 0, 0, false, 11, ""},
    };
    for (const auto& row : rows) {
        TDocumentRecord d;
        d.Kind = row.Kind;
        d.DocType = row.DocType;
        d.Total = row.Total;
        d.Cancelled = row.Cancelled;
        d.Number = row.Number;
        d.FiscalSign = 1778197272;
        d.Time = LocalTime(2026, 12, 10, 6, 45);
        EXPECT_EQ(ReceiptQrContent(d, "9999078900012345"), row.Expected)
            << row.Kind << " " << row.DocType << " " << row.Number;
    }
}

TEST_F(EmulatorTapeView, QrSvgIsTheEncodersSymbolWithAQuietZone) {
    const std::string text = "t=20261210T0645&s=434.80&fn=9999078900012345&i=3&fp=1778197272&n=1";
    const std::string svg = QrSvg(text);
    // Level M with that much text: version 4, 33 modules, plus 4 on each side.
    EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"164\" height=\"164\" "
                        "viewBox=\"0 0 41 41\"",
                        0),
              0u)
        << svg.substr(0, 120);
    // The finder pattern's top edge: seven dark modules at the quiet zone's corner.
    EXPECT_NE(svg.find("d=\"M4 4h7v1h-7z"), std::string::npos);
    EXPECT_NE(QrSvg("a", 2).find("width=\"58\""), std::string::npos) << "version 1: 21 + 8";
    EXPECT_THROW(QrSvg(""), std::runtime_error);
    EXPECT_THROW(QrSvg(std::string("a\0b", 3)), std::runtime_error);
    EXPECT_THROW(QrSvg(std::string(4000, 'x')), std::runtime_error) << "more than a QR code holds";
}

TEST_F(EmulatorTapeView, StripsAreThePaperCutIntoDocuments) {
    Start(WithHttp(Options()));
    Ready();                      // strip 0: shift opening
    ASSERT_EQ(Code("20"), "00");  // 1: X report, no journal document
    Sell("100", "150");           // 2: receipt
    ASSERT_EQ(Code("30", {"2", "1", "Кассир", "1", "0"}), "00");
    ASSERT_EQ(Code("42", {"Хлеб", "", "1", "45", "1", "", "1", "", "", "", "4", "1"}), "00");
    ASSERT_EQ(Code("47", {"0", "45", ""}), "00");
    ASSERT_EQ(Code("31", {"1", ""}), "00");  // 3: receipt closed without a cut
    ASSERT_EQ(Code("30", {"2", "1", "Кассир", "1", "0"}), "00");
    ASSERT_EQ(Code("32"), "00");                                  // 4: cancelled
    ASSERT_EQ(Code("30", {"2", "1", "Кассир", "1", "0"}), "00");  // still printing

    const TTapeSnapshot all = FEmulator->TapeSnapshot(0);
    std::vector<std::string> joined;
    for (const auto& s : all.Strips)
        joined.insert(joined.end(), s.Lines.begin(), s.Lines.end());
    joined.insert(joined.end(), all.Printing.begin(), all.Printing.end());
    EXPECT_EQ(joined, FEmulator->Tape()) << "strips and what is printing are the whole tape";
    ASSERT_EQ(all.StripCount, 5u);
    ASSERT_EQ(all.Strips.size(), 5u);
    EXPECT_FALSE(all.Printing.empty());
    EXPECT_EQ(all.Width, 48u);
    EXPECT_EQ(all.Status["document_open"], true);

    const nlohmann::json j = TapeToJson(all);
    const auto& docs = j["documents"];
    const char* const kinds[] = {"shift_open", "print", "receipt", "receipt", "receipt"};
    const bool cut[] = {true, true, true, false, true};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(docs[i]["strip"], i);
        EXPECT_EQ(docs[i]["kind"], kinds[i]) << i;
        EXPECT_EQ(docs[i]["cut"], cut[i]) << i;
        EXPECT_EQ(docs[i]["lines"].size(), all.Strips[i].Lines.size());
    }
    const auto journal = FEmulator->Documents();
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(docs[2]["number"], journal[1].Number);
    EXPECT_EQ(docs[2]["total"], "100");
    EXPECT_EQ(docs[2]["qr"], ReceiptQrContent(journal[1], FEmulator->State().FnSerial));
    EXPECT_EQ(docs[3]["total"], "45");
    EXPECT_TRUE(docs[3]["qr"].get<std::string>().find("&s=45.00&") != std::string::npos);
    EXPECT_TRUE(docs[4]["cancelled"].get<bool>());
    EXPECT_TRUE(docs[4]["qr"].is_null());
    EXPECT_TRUE(docs[1]["qr"].is_null());
    EXPECT_EQ(docs[0]["lines"].back().get<std::string>().find("~ ОТРЕЗ ~") != std::string::npos,
              true);

    // From a strip on: only the later ones, numbered as before.
    const nlohmann::json later = TapeToJson(FEmulator->TapeSnapshot(3));
    ASSERT_EQ(later["documents"].size(), 2u);
    EXPECT_EQ(later["documents"][0]["strip"], 3);
    EXPECT_EQ(later["documents"][0]["lines"], docs[3]["lines"]);
    EXPECT_EQ(later["documents"][0]["total"], "45");
    EXPECT_EQ(later["documents"][1]["cancelled"], true);
    EXPECT_EQ(later["strips"], 5);
    EXPECT_EQ(later["printing"], j["printing"]);
    EXPECT_TRUE(TapeToJson(FEmulator->TapeSnapshot(99))["documents"].empty());
}

TEST_F(EmulatorTapeView, WireAndJournalAreTheSameWithAndWithoutTheServer) {
    std::vector<std::string> seen[2];
    for (int http = 0; http < 2; ++http) {
        Start(http ? WithHttp(Options()) : Options());
        EXPECT_EQ(FEmulator->HttpPort() > 0, http == 1);
        Ready();
        Sell("12.5", "20");
        CashDocument(4, "100");
        for (const auto& [cmd, fields] :
             std::vector<std::pair<std::string, std::vector<std::string>>>{
                 {"00", {}}, {"01", {"4"}}, {"01", {"3"}}, {"78", {"6"}}, {"20", {}}}) {
            const auto a = Call(cmd, fields);
            seen[http].push_back(cmd + " " + a.Code + " " + nlohmann::json(a.Fields).dump());
        }
        for (const auto& d : FEmulator->Documents())
            seen[http].push_back(d.Kind + " " + std::to_string(d.Number) + " " +
                                 std::to_string(d.Total) + " " + std::to_string(d.Strip));
        seen[http].push_back(std::to_string(FEmulator->Requests().size()));
    }
    EXPECT_EQ(seen[0], seen[1]);
}

TEST_F(EmulatorTapeView, ServesThePageTheJsonAndQrCodes) {
    Start(WithHttp(Options()));
    const int port = FEmulator->HttpPort();
    ASSERT_GT(port, 0);
    const auto line = FEmulator->Endpoints();
    EXPECT_EQ(line["http"]["address"], "127.0.0.1");
    EXPECT_EQ(line["http"]["port"], port);
    EXPECT_EQ(line["http"]["url"], "http://127.0.0.1:" + std::to_string(port) + "/");

    const auto page = Get(port, "/");
    EXPECT_EQ(page.Status, 200);
    EXPECT_NE(page.Headers.find("text/html"), std::string::npos);
    EXPECT_NE(page.Body.find("/documents.json"), std::string::npos);
    // Nothing from elsewhere: no address of another host, no imported style or font.
    for (const char* outside : {"http://", "https://", "//cdn", "@import", "@font-face", "url("})
        EXPECT_EQ(page.Body.find(outside), std::string::npos) << outside;

    Ready();
    Sell("10", "10");
    const auto json = Get(port, "/documents.json");
    ASSERT_EQ(json.Status, 200);
    const auto j = nlohmann::json::parse(json.Body);
    ASSERT_EQ(j["documents"].size(), 2u);
    const std::string qr = j["documents"][1]["qr"];
    EXPECT_EQ(qr.rfind("t=", 0), 0u);
    EXPECT_EQ(j["status"]["shift_open"], true);
    const auto later = nlohmann::json::parse(Get(port, "/documents.json?since=1").Body);
    ASSERT_EQ(later["documents"].size(), 1u);
    EXPECT_EQ(later["documents"][0]["kind"], "receipt");

    const auto svg = Get(port, "/qr.svg?text=" + std::string("t%3D1%26s%3D2"));
    EXPECT_EQ(svg.Status, 200);
    EXPECT_NE(svg.Headers.find("image/svg+xml"), std::string::npos);
    EXPECT_EQ(svg.Body, QrSvg("t=1&s=2"));
    EXPECT_EQ(Get(port, "/qr.svg").Status, 400);
    EXPECT_EQ(Get(port, "/qr.svg?text=" + std::string(2000, 'x')).Status, 400);
    EXPECT_EQ(Get(port, "/nothing").Status, 404);

    // The page's port is its own: a second emulator cannot share it.
    auto same = WithHttp(Options());
    same.HttpPort = port;
    TEmulator second(same);
    EXPECT_THROW(second.Start(), std::runtime_error);
    EXPECT_EQ(Get(port, "/qr.svg?text=1").Status, 200);
}

TEST_F(EmulatorTapeView, ARequestForChangesReturnsWithTheNextDocument) {
    Start(WithHttp(Options()));
    Ready();
    const int port = FEmulator->HttpPort();
    const auto before = nlohmann::json::parse(Get(port, "/documents.json").Body);
    const uint64_t version = before["version"];
    // Unchanged, the request waits; the sale below is what ends it.
    auto waiting = std::async(std::launch::async, [&] {
        return Get(port, "/documents.json?since=1&version=" + std::to_string(version));
    });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_EQ(Code("30", {"2", "1", "Кассир", "1", "0"}), "00");
    // The receipt's header is being printed: the page sees it at once.
    const auto opened = nlohmann::json::parse(waiting.get().Body);
    EXPECT_GT(opened["version"].get<uint64_t>(), version);
    EXPECT_TRUE(opened["documents"].empty());
    EXPECT_FALSE(opened["printing"].empty());
    EXPECT_EQ(opened["status"]["document_open"], true);
    ASSERT_EQ(Code("42", {"Хлеб", "", "1", "45", "1", "", "1", "", "", "", "4", "1"}), "00");
    ASSERT_EQ(Code("47", {"0", "45", ""}), "00");
    ASSERT_EQ(Code("31", {"0", ""}), "00");
    const auto after = nlohmann::json::parse(
        Get(port, "/documents.json?since=1&version=" + opened["version"].dump()).Body);
    EXPECT_GT(after["version"].get<uint64_t>(), opened["version"].get<uint64_t>());
    ASSERT_EQ(after["documents"].size(), 1u);
    EXPECT_EQ(after["documents"][0]["kind"], "receipt");
    EXPECT_TRUE(after["printing"].empty());
    // Status reads print nothing: the version stays.
    Code("00");
    Code("01", {"4"});
    EXPECT_EQ(nlohmann::json::parse(Get(port, "/documents.json").Body)["version"],
              after["version"]);
}

TEST_F(EmulatorTapeView, BrowsersThatStopReadingNeverHoldTheRegister) {
    Start(WithHttp(Options()));
    Ready();
    const int port = FEmulator->HttpPort();
    const uint64_t version = nlohmann::json::parse(Get(port, "/documents.json").Body)["version"];
    // More stalled clients than the server has threads: waiting for changes and
    // never reading, half a request, a request for everything never read.
    std::vector<int> stalled;
    for (int i = 0; i < 10; ++i) {
        stalled.push_back(Connect(port));
        SendText(stalled.back(), "GET /documents.json?version=" + std::to_string(version) +
                                     " HTTP/1.1\r\nHost: x\r\n\r\n");
    }
    for (int i = 0; i < 6; ++i) {
        stalled.push_back(Connect(port));
        SendText(stalled.back(), "GET /documents.json HTTP/1.1\r\nHo");
    }
    for (int i = 0; i < 20; ++i)
        Sell("10", "10");
    EXPECT_EQ(FEmulator->Documents().size(), 21u);
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(Connect(port));
        SendText(stalled.back(), "GET /documents.json HTTP/1.1\r\nHost: x\r\n\r\n");
    }
    for (int i = 0; i < 5; ++i)
        Sell("10", "10");
    EXPECT_EQ(Code("00"), "00");
    // The page is still served once the stalled ones time out.
    const auto j = nlohmann::json::parse(Get(port, "/documents.json?since=25").Body);
    EXPECT_EQ(j["strips"], 26);
    for (int fd : stalled)
        ::close(fd);
    // Stopping ends every thread of the server, stalled or not.
    FClient.reset();
    FEmulator->Stop();
}

}  // namespace
}  // namespace fr::emu::test
