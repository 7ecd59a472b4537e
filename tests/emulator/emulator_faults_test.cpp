// Faults injected on the register's side, as the driver meets them on the line,
// and the control channel that sets them.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "emulator_fixture.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu::test {
namespace {

using Clock = std::chrono::steady_clock;

class EmulatorFaults : public EmulatorFixture {
  protected:
    void Inject(const nlohmann::json& AFault) {
        nlohmann::json request = AFault;
        request["cmd"] = "fault";
        const auto reply = FEmulator->Control(request);
        ASSERT_EQ(reply["ok"], true) << reply.dump();
    }
    // ENQ/ACK and one frame; the answer is read by the test.
    void SendFrame(const std::string& ACmd, const std::vector<std::string>& AFields = {}) {
        ASSERT_EQ(FClient->Enq(), kACK);
        FLastId = FClient->NextId();
        FClient->Write(TFrameClient::Frame("KVMT", FLastId, ACmd, AFields));
    }
    uint8_t FLastId = 0;
};

TEST_F(EmulatorFaults, EnqUnansweredOrAnsweredWithAnotherByte) {
    Start();
    Inject({{"kind", "enq_silence"}});
    FClient->Write(std::string(1, kENQ));
    EXPECT_EQ(FClient->ReadByte(500), -1);
    Inject({{"kind", "enq_byte"}, {"byte", 0x15}, {"times", 2}});
    EXPECT_EQ(FClient->Enq(), 0x15);
    EXPECT_EQ(FClient->Enq(), 0x15);
    EXPECT_EQ(FClient->Enq(), kACK);
}

TEST_F(EmulatorFaults, DelayBeforeTheFirstByte) {
    Start();
    Inject({{"kind", "delay"}, {"ms", 600}, {"command", "00"}});
    EXPECT_EQ(Code("13"), "00");  // another command: no delay used up
    SendFrame("00");
    const auto begin = Clock::now();
    EXPECT_EQ(FClient->ReadByte(200), -1);
    const auto a = FClient->ReadAnswer(5000);
    EXPECT_TRUE(a.CheckOk);
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(550));
}

TEST_F(EmulatorFaults, ResentFrameAfterWrongFirstBytesIsExecutedOnce) {
    Start();
    Ready();
    ASSERT_EQ(Code("30", {"4", "1", " ", "1", "0"}), "00");
    Inject({{"kind", "wrong_first_byte"}, {"times", 3}, {"command", "48"}});
    ASSERT_EQ(FClient->Enq(), kACK);
    const std::string frame = TFrameClient::Frame("KVMT", FClient->NextId(), "48", {"", "7"});
    int first = 0;
    int passes = 0;
    TAnswerFrame a;
    // What the driver does: resend the same frame until STX comes, at most 11 times.
    do {
        FClient->Write(frame);
        ++passes;
        a = FClient->ReadAnswer(2000, &first);
    } while (first != kSTX && passes < 11);
    EXPECT_EQ(passes, 4);
    EXPECT_EQ(a.Code, "00");
    ASSERT_EQ(Code("31", {"0", ""}), "00");
    EXPECT_EQ(Cash(), "7");
}

TEST_F(EmulatorFaults, AnswerShapesTheDriverMustReject) {
    Start();
    {
        Inject({{"kind", "bad_check"}});
        SendFrame("00");
        const auto a = FClient->ReadAnswer(2000);
        ASSERT_TRUE(a.Complete);
        EXPECT_FALSE(a.CheckOk);
    }
    {
        Inject({{"kind", "wrong_id"}});
        SendFrame("00");
        const auto a = FClient->ReadAnswer(2000);
        EXPECT_TRUE(a.CheckOk);
        EXPECT_NE(a.PacketID, FLastId);
    }
    {
        Inject({{"kind", "wrong_command"}});
        SendFrame("00");
        const auto a = FClient->ReadAnswer(2000);
        EXPECT_TRUE(a.CheckOk);
        EXPECT_NE(a.Command, "00");
    }
    {
        // Waits for an answer whose check characters have a letter to lower.
        Inject({{"kind", "lower_check"}});
        bool seen = false;
        for (int i = 0; i < 40 && !seen; ++i) {
            SendFrame("02", {std::to_string(1 + i % 20)});
            const auto a = FClient->ReadAnswer(2000);
            ASSERT_TRUE(a.Complete);
            if (!a.CheckOk) {
                seen = true;
                std::string upper = a.Check;
                for (char& c : upper)
                    c = static_cast<char>(std::toupper(c));
                EXPECT_NE(upper, a.Check);
                EXPECT_EQ(TFrameClient::CheckSum(a.Raw.substr(1, a.Raw.size() - 3)), upper);
            }
        }
        EXPECT_TRUE(seen);
    }
    // Used up: the next answer is sound.
    const auto a = Call("00");
    EXPECT_TRUE(a.CheckOk);
    EXPECT_EQ(a.Code, "00");
}

TEST_F(EmulatorFaults, PausesInsideTheAnswer) {
    Start();
    {
        Inject({{"kind", "split_check"}, {"ms", 700}});
        SendFrame("00");
        std::string got;
        int c;
        while ((c = FClient->ReadByte(2000)) >= 0 && c != kETX)
            got += static_cast<char>(c);
        ASSERT_EQ(c, kETX);
        EXPECT_GE(FClient->ReadByte(300), 0);   // first check character
        EXPECT_EQ(FClient->ReadByte(300), -1);  // the second comes late
        EXPECT_GE(FClient->ReadByte(2000), 0);
    }
    {
        Inject({{"kind", "byte_pause"}, {"ms", 700}, {"at", 3}});
        SendFrame("00");
        for (int i = 0; i < 3; ++i)
            EXPECT_GE(FClient->ReadByte(300), 0);
        EXPECT_EQ(FClient->ReadByte(300), -1);
        const auto rest = FClient->ReadAnswer(2000);  // reads on from byte 3
        EXPECT_FALSE(rest.Raw.empty());
    }
}

TEST_F(EmulatorFaults, LongAnswerWithoutEtx) {
    Start();
    Inject({{"kind", "no_etx"}, {"length", 500}});
    SendFrame("00");
    const auto a = FClient->ReadAnswer(500);
    EXPECT_FALSE(a.Complete);
    EXPECT_GE(a.Raw.size(), 500u);
    EXPECT_EQ(a.Raw.find(kETX), std::string::npos);
}

TEST_F(EmulatorFaults, ConnectionClosedInTheMiddleOfAnAnswer) {
    Start();
    Inject({{"kind", "close_mid"}, {"at", 4}});
    SendFrame("00");
    std::string got;
    int c;
    while ((c = FClient->ReadByte(2000)) >= 0)
        got += static_cast<char>(c);
    EXPECT_EQ(c, -2);
    EXPECT_EQ(got.size(), 4u);
    // The register itself is still there for the next connection.
    FClient.emplace(TFrameClient::ConnectTcp(FEmulator->TcpPort()));
    EXPECT_EQ(Code("00"), "00");
}

TEST_F(EmulatorFaults, ErrorCodeForTheNextCommandWithExtendedCode) {
    Start();
    Ready();
    Inject({{"kind", "error"}, {"command", "30"}, {"code", 1}, {"ext", 21}});
    EXPECT_EQ(Code("00"), "00");  // another command goes through
    EXPECT_EQ(Code("30", {"2", "1", "", "1", "0"}), "01");
    EXPECT_EQ(ExtCode(), "21");
    // Not executed: no document was opened.
    EXPECT_EQ(Field("00", {}, 2), "0");
    EXPECT_EQ(Code("30", {"2", "1", "", "1", "0"}), "00");
}

TEST_F(EmulatorFaults, FailingExtendedErrorRequestAfterTheRefusal) {
    Start();
    Ready();
    Inject({{"kind", "error"}, {"command", "23"}, {"code", 1}, {"ext", 20}, {"fail_06", true}});
    EXPECT_EQ(Code("23", {""}), "01");
    EXPECT_NE(Code("06", {"1"}), "00");
    EXPECT_EQ(Code("06", {"1"}), "00");  // only the one after the refusal fails
}

TEST_F(EmulatorFaults, OtherErrorCodesAndRepeatedFaults) {
    Start();
    Ready();
    Inject({{"kind", "error"}, {"command", "80"}, {"code", 0x0E}, {"times", 2}});
    EXPECT_EQ(Code("80"), "0E");
    EXPECT_EQ(Code("80"), "0E");
    EXPECT_EQ(Code("80"), "00");
    Inject({{"kind", "error"}, {"code", 0x20}, {"times", 0}});
    EXPECT_EQ(Code("00"), "20");
    EXPECT_EQ(Code("13"), "20");
    EXPECT_EQ(FEmulator->Control({{"cmd", "faults"}})["faults"].size(), 1u);
    FEmulator->ClearFaults();
    EXPECT_EQ(Code("00"), "00");
}

TEST_F(EmulatorFaults, ControlRejectsBadRequests) {
    Start();
    const char* bad[] = {
        "not json",
        R"({"kind":"delay"})",
        R"({"cmd":"nope"})",
        R"({"cmd":"fault","kind":"nope"})",
        R"({"cmd":"fault","kind":"error","code":0})",
        R"({"cmd":"fault","kind":"error","command":"300"})",
        R"({"cmd":"fault","kind":"delay","ms":"x"})",
        R"({"cmd":"set","clock_offset":"x"})",
    };
    for (const char* line : bad) {
        const auto reply = nlohmann::json::parse(FEmulator->ControlLine(line));
        EXPECT_EQ(reply["ok"], false) << line;
        EXPECT_TRUE(reply.contains("error")) << line;
    }
    EXPECT_EQ(FEmulator->Control({{"cmd", "faults"}})["faults"].size(), 0u);
}

TEST_F(EmulatorFaults, ControlSocketSpeaksJsonLines) {
    auto o = Options();
    o.ControlPort = 0;
    Start(o);
    ASSERT_GT(FEmulator->ControlPort(), 0);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(FEmulator->ControlPort()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string request =
        "{\"cmd\":\"fault\",\"kind\":\"enq_byte\",\"byte\":21}\n{\"cmd\":\"requests\"}\n";
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    std::string replies;
    char buf[512];
    while (std::count(replies.begin(), replies.end(), '\n') < 2) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        ASSERT_GT(n, 0);
        replies.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    const auto first = nlohmann::json::parse(replies.substr(0, replies.find('\n')));
    EXPECT_EQ(first["ok"], true);
    EXPECT_EQ(FClient->Enq(), 0x15);
}

TEST_F(EmulatorFaults, StartOptionFaultsApplyFromTheFirstFrame) {
    auto o = Options();
    o.Faults.push_back(FaultFromJson({{"kind", "wrong_id"}}));
    Start(o);
    SendFrame("00");
    const auto a = FClient->ReadAnswer(2000);
    EXPECT_TRUE(a.CheckOk);
    EXPECT_NE(a.PacketID, FLastId);
}

TEST_F(EmulatorFaults, PseudoTerminalAnswerStopsInsteadOfClosing) {
    auto o = Options();
    o.Tcp = false;
    o.Pty = true;
    o.Faults.push_back(FaultFromJson({{"kind", "close_mid"}, {"at", 3}}));
    Start(o);
    auto serial = TFrameClient::OpenSerial(FEmulator->PtyPath());
    ASSERT_EQ(serial.Enq(), kACK);
    serial.Write(TFrameClient::Frame("KVMT", 0x21, "00", {}));
    const auto a = serial.ReadAnswer(500);
    EXPECT_FALSE(a.Complete);
    EXPECT_EQ(a.Raw.size(), 3u);
    EXPECT_EQ(serial.Call("00").Code, "00");
}

// The command is carried out; its answer never ends, until the driver speaks again.
TEST_F(EmulatorFaults, TrickleNeverEndsUntilTheDriverSpeaks) {
    Start();
    Inject({{"kind", "trickle"}, {"ms", 50}, {"command", "13"}});
    SendFrame("13");
    std::string got;
    const auto begin = Clock::now();
    for (int c; Clock::now() - begin < std::chrono::milliseconds(800) &&
                (c = FClient->ReadByte(300)) >= 0;)
        got += static_cast<char>(c);
    ASSERT_GE(got.size(), 8u);  // the head and a byte every 50 ms
    EXPECT_EQ(got[0], kSTX);
    EXPECT_EQ(got.find(kETX), std::string::npos);
    EXPECT_EQ(got.substr(2, 2), "13");
    // A new ENQ ends the trickle and is answered; the line works again.
    FClient->Write(std::string(1, kENQ));
    int c = 0;
    while ((c = FClient->ReadByte(1000)) >= 0 && c != kACK) {
    }
    EXPECT_EQ(c, kACK);
    FLastId = FClient->NextId();
    FClient->Write(TFrameClient::Frame("KVMT", FLastId, "00", {}));
    EXPECT_EQ(FClient->ReadAnswer(2000).Code, "00");
}

TEST_F(EmulatorFaults, IdleConnectionClosedByTheRegister) {
    Start();
    Inject({{"kind", "idle_close"}, {"ms", 300}});
    EXPECT_EQ(Code("00"), "00");  // a busy line stays
    const auto begin = Clock::now();
    EXPECT_EQ(FClient->ReadByte(3000), -2);
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(250));
    // Used up: a new connection stays open while idle.
    FClient.emplace(TFrameClient::ConnectTcp(FEmulator->TcpPort()));
    EXPECT_EQ(FClient->ReadByte(600), -1);
    EXPECT_EQ(Code("00"), "00");
    EXPECT_EQ(FEmulator->Control({{"cmd", "faults"}})["faults"].size(), 0u);
}

// A register that loses the open receipt while closing it: nothing is made, the
// document is gone, and the answer stops half-way (TCP: the connection drops).
TEST_F(EmulatorFaults, DropDocumentLosesTheReceiptUnmade) {
    Start();
    Ready();
    const std::string before = LastDocNumber();
    ASSERT_EQ(Code("30", {"2", "1", "Кассир", "1", "0"}), "00");
    ASSERT_EQ(Code("42", {"Товар", "", "1", "100", "0", "", "1", "", "", "", "4", "1"}), "00");
    ASSERT_EQ(Code("44"), "00");
    ASSERT_EQ(Code("47", {"0", "100", ""}), "00");
    Inject({{"kind", "drop_document"}, {"command", "31"}});
    SendFrame("31", {"0", ""});
    const auto a = FClient->ReadAnswer(2000);
    EXPECT_FALSE(a.CheckOk);
    EXPECT_EQ(FClient->ReadByte(500), -2) << "the connection dropped";
    FClient.emplace(TFrameClient::ConnectTcp(FEmulator->TcpPort()));
    EXPECT_EQ(LastDocNumber(), before);
    EXPECT_FALSE(FEmulator->Status()["document_open"].get<bool>());
    for (const auto& d : FEmulator->Documents())
        EXPECT_NE(d.Kind, "receipt") << "a lost document leaves no record";
    const auto requests = FEmulator->Requests();
    EXPECT_EQ(requests.back().Command, "78");
    EXPECT_EQ(requests[requests.size() - 2].Command, "31");
    EXPECT_EQ(requests[requests.size() - 2].Error, -1) << "never answered";
}

// fall_silent: carried out (or, unmade, not), then nothing at all until revived.
TEST_F(EmulatorFaults, FallSilentCarriesOutOrNotThenAnswersNothingUntilRevived) {
    Start();
    Ready();
    for (const bool unmade : {false, true}) {
        SCOPED_TRACE(unmade ? "unmade" : "carried out");
        const std::string before = LastDocNumber();
        Inject({{"kind", "fall_silent"}, {"command", "59"}, {"unmade", unmade}});
        SendFrame("59", {"Кассир"});
        EXPECT_EQ(FClient->ReadByte(500), -1) << "no answer to the command";
        FClient->Write(std::string(1, kENQ));
        EXPECT_EQ(FClient->ReadByte(300), -1) << "no answer to ENQ";
        EXPECT_EQ(FEmulator->Control({{"cmd", "revive"}})["ok"], true);
        EXPECT_EQ(FClient->Enq(), kACK);
        EXPECT_EQ(std::stoi(LastDocNumber()), std::stoi(before) + (unmade ? 0 : 1));
    }
}

// "skip" passes occasions over: the second "00" is the one delayed.
TEST_F(EmulatorFaults, SkipPassesOccasionsOver) {
    Start();
    Inject({{"kind", "delay"}, {"ms", 600}, {"command", "00"}, {"skip", 1}});
    EXPECT_EQ(FEmulator->Control({{"cmd", "faults"}})["faults"][0]["skip"], 1);
    auto begin = Clock::now();
    EXPECT_EQ(Code("00"), "00");
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(550));
    begin = Clock::now();
    EXPECT_EQ(Code("00"), "00");
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(550));
    EXPECT_EQ(FEmulator->Control({{"cmd", "faults"}})["faults"].size(), 0u);
    const auto bad = FEmulator->Control({{"cmd", "fault"}, {"kind", "delay"}, {"skip", -1}});
    EXPECT_EQ(bad["ok"], false);
}

}  // namespace
}  // namespace fr::emu::test
