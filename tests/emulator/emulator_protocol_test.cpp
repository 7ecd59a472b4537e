// The line protocol from the driver's side: handshake, frame checks, echoes,
// code page 866 text, resent frames, and the pseudo-terminal line.

#include <chrono>
#include <filesystem>

#include "emulator_fixture.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu::test {
namespace {

using EmulatorProtocol = EmulatorFixture;

TEST_F(EmulatorProtocol, EnqIsAnsweredWithAck) {
    Start();
    EXPECT_EQ(FClient->Enq(), kACK);
    EXPECT_EQ(FClient->Enq(), kACK);
}

TEST_F(EmulatorProtocol, AnswerEchoesPacketIdAndCommandWithValidCheck) {
    Start();
    ASSERT_EQ(FClient->Enq(), kACK);
    FClient->Write(TFrameClient::Frame("KVMT", 0xF0, "00", {}));
    const auto a = FClient->ReadAnswer(2000);
    ASSERT_TRUE(a.Complete);
    EXPECT_TRUE(a.CheckOk);
    EXPECT_EQ(a.PacketID, 0xF0);
    EXPECT_EQ(a.Command, "00");
    EXPECT_EQ(a.Code, "00");
    ASSERT_GE(a.Fields.size(), 3u);
    EXPECT_EQ(a.Fields[1], "0");  // no shift open
    EXPECT_EQ(a.Fields[2], "0");  // no document open
}

TEST_F(EmulatorProtocol, FrameRefusalsBeforeExecution) {
    struct Case {
        const char* Name;
        std::string Frame;
        const char* Code;
    };
    std::string corrupt = TFrameClient::Frame("KVMT", 0x30, "23", {"Кассир"});
    corrupt.back() = corrupt.back() == '0' ? '1' : '0';
    std::string lower = TFrameClient::Frame("KVMT", 0x31, "23", {"Кассир"});
    const std::vector<Case> cases = {
        {"bad check", corrupt, "07"},
        {"wrong password", TFrameClient::Frame("ABCD", 0x32, "23", {"Кассир"}), "06"},
        {"unknown command", TFrameClient::Frame("KVMT", 0x33, "99", {}), "02"},
    };
    Start();
    StartWork();
    for (const auto& c : cases) {
        ASSERT_EQ(FClient->Enq(), kACK);
        FClient->Write(c.Frame);
        const auto a = FClient->ReadAnswer(2000);
        EXPECT_EQ(a.Code, c.Code) << c.Name;
        EXPECT_TRUE(a.CheckOk) << c.Name;
        EXPECT_EQ(a.Command, c.Frame.substr(6, 2)) << c.Name;
    }
    // None of them opened the shift.
    EXPECT_EQ(Field("00", {}, 1), "0");
}

TEST_F(EmulatorProtocol, PasswordOptionIsTheOneChecked) {
    auto o = Options();
    o.Password = "1234";
    Start(o);
    EXPECT_EQ(Call("00").Code, "06");
    ASSERT_EQ(FClient->Enq(), kACK);
    FClient->Write(TFrameClient::Frame("1234", 0x40, "00", {}));
    EXPECT_EQ(FClient->ReadAnswer(2000).Code, "00");
}

TEST_F(EmulatorProtocol, TextFieldsTravelInCodePage866) {
    Start();
    StartWork();
    ASSERT_EQ(Code("12", {"30", "0", "ООО «Ёлка»"}), "00");
    const auto a = Call("11", {"30", "0"});
    ASSERT_EQ(a.Code, "00");
    // « and » have no place in 866; Ё has.
    EXPECT_EQ(a.Fields.at(0), "ООО ?Ёлка?");
    // The bytes on the line are 866: "Ё" is 0xF0.
    EXPECT_NE(a.Raw.find('\xF0'), std::string::npos);
    const auto requests = FEmulator->Requests();
    EXPECT_EQ(requests.back().Command, "11");
    EXPECT_EQ(requests[requests.size() - 2].Fields.at(2), "ООО ?Ёлка?");
}

TEST_F(EmulatorProtocol, TrailingEmptyFieldIsAField) {
    Start();
    Ready();
    ASSERT_EQ(Code("30", {"2", "1", "", "1", "0"}), "00");
    ASSERT_EQ(Code("42", {"Товар", "", "1", "10", "0", "", "1", "", "", "", "4", "1"}), "00");
    ASSERT_EQ(Code("47", {"0", "10", ""}), "00");
    EXPECT_EQ(FEmulator->Requests().back().Fields.size(), 3u);
}

TEST_F(EmulatorProtocol, ResentFrameWithoutEnqIsAnsweredOnceNotDoneTwice) {
    Start();
    Ready();
    ASSERT_EQ(Code("30", {"4", "1", " ", "1", "0"}), "00");
    ASSERT_EQ(FClient->Enq(), kACK);
    const std::string frame = TFrameClient::Frame("KVMT", FClient->NextId(), "48", {"", "100"});
    FClient->Write(frame);
    const auto first = FClient->ReadAnswer(2000);
    FClient->Write(frame);  // the driver did not see the answer and sends again
    const auto second = FClient->ReadAnswer(2000);
    EXPECT_EQ(first.Raw, second.Raw);
    ASSERT_EQ(Code("31", {"0", ""}), "00");
    EXPECT_EQ(Cash(), "100");
    EXPECT_TRUE(FEmulator->Requests()[FEmulator->Requests().size() - 2].Resend);
}

TEST_F(EmulatorProtocol, SameFrameAfterNewEnqIsANewCommand) {
    Start();
    Ready();
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Code("30", {"4", "1", " ", "1", "0"}), "00");
        ASSERT_EQ(FClient->Enq(), kACK);
        FClient->Write(TFrameClient::Frame("KVMT", 0x50, "48", {"", "5"}));
        ASSERT_EQ(FClient->ReadAnswer(2000).Code, "00");
        ASSERT_EQ(Code("31", {"0", ""}), "00");
    }
    EXPECT_EQ(Cash(), "10");
}

TEST_F(EmulatorProtocol, IncompleteFrameIsDroppedAndLineRecovers) {
    Start();
    FClient->Write(std::string("\x02KVMT!0") + "garbage");
    // No answer to half a frame: the register waits, then forgets it.
    EXPECT_EQ(FClient->ReadByte(1500), -1);
    EXPECT_EQ(Call("00").Code, "00");
}

TEST_F(EmulatorProtocol, TwoConnectionsShareOneRegister) {
    Start();
    StartWork();
    auto other = TFrameClient::ConnectTcp(FEmulator->TcpPort());
    ASSERT_EQ(other.Call("23", {"Кассир"}).Code, "00");
    EXPECT_EQ(Field("00", {}, 1), "4");
}

TEST_F(EmulatorProtocol, PseudoTerminalWithComLinkServesTheSameProtocol) {
    auto o = Options();
    o.Tcp = false;
    o.Pty = true;
    o.ComDir = FDir;
    o.ComNumber = 7;
    Start(o);
    const std::string link = FDir + "/com7";
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), FEmulator->PtyPath());
    EXPECT_EQ(FEmulator->Endpoints()["com_link"], link);
    {
        auto serial = TFrameClient::OpenSerial(link);
        EXPECT_EQ(serial.Call("10", {DateNow(), TimeNow()}).Code, "00");
        EXPECT_EQ(serial.Call("02", {"18", "1"}).Fields.at(1), "48");
    }
    // The driver closes and opens the port again between connections.
    auto again = TFrameClient::OpenSerial(link);
    EXPECT_EQ(again.Call("23", {"Кассир"}).Code, "00");
    FEmulator->Stop();
    EXPECT_FALSE(std::filesystem::exists(link));
}

TEST_F(EmulatorProtocol, BaudRatePacesTheAnswer) {
    auto o = Options();
    o.Baud = 1200;  // 120 bytes a second
    Start(o);
    StartWork();
    ASSERT_EQ(Code("12", {"30", "0", std::string(60, 'A')}), "00");
    const auto begin = std::chrono::steady_clock::now();
    const auto a = Call("11", {"30", "0"});  // about 70 bytes back, 15 out
    const auto took = std::chrono::steady_clock::now() - begin;
    ASSERT_EQ(a.Code, "00");
    EXPECT_GE(took, std::chrono::milliseconds(500));
    EXPECT_LT(took, std::chrono::seconds(10));
}

}  // namespace
}  // namespace fr::emu::test
