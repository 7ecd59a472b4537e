// What outlives a run (the state file), what a person reads (the tape), and
// what tests read back (the journal).

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "emulator_fixture.h"
#include "tools/fremu/emulator_options.h"
#include "tools/fremu/register_state.h"

namespace fr::emu::test {
namespace {

using EmulatorState = EmulatorFixture;

std::string ReadFile(const std::string& APath) {
    std::ifstream in(APath);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(EmulatorState, NumbersRegistrationAndDrawerContinueAcrossRuns) {
    auto o = Options();
    o.StateFile = FDir + "/state.json";
    Start(o);
    Ready();
    CashDocument(4, "500");
    Sell("99.99", "100");
    const std::string lastDoc = LastDocNumber();
    const std::string shift = Field("01", {"1"}, 1);
    const std::string hex = Field("78", {"11", lastDoc, "0"}, 1);

    Start(o);                           // power cycle
    EXPECT_EQ(Code("23", {""}), "01");  // a new run starts work again
    StartWork();
    EXPECT_EQ(LastDocNumber(), lastDoc);
    EXPECT_EQ(Field("01", {"1"}, 1), shift);
    EXPECT_EQ(Field("00", {}, 1), "4");  // the shift stayed open
    EXPECT_EQ(Cash(), "599.99");
    EXPECT_EQ(Field("78", {"11", lastDoc, "0"}, 1), hex);
    Sell("1", "1");
    EXPECT_EQ(std::stoi(LastDocNumber()), std::stoi(lastDoc) + 1);
}

TEST_F(EmulatorState, StateFileIsReplacedWholeAndReadable) {
    auto o = Options();
    o.StateFile = FDir + "/state.json";
    Start(o);
    Ready();
    const auto json = nlohmann::json::parse(ReadFile(o.StateFile));
    const auto state = StateFromJson(json);
    EXPECT_TRUE(state.ShiftOpen);
    EXPECT_EQ(state.ShiftNumber, 1u);
    EXPECT_FALSE(std::filesystem::exists(o.StateFile + ".tmp"));
    // Only the state file is in the folder: no temporary left behind.
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(FDir))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(EmulatorState, MalformedStateFileIsRefusedAtStart) {
    auto o = Options();
    o.StateFile = FDir + "/state.json";
    std::ofstream(o.StateFile) << "{\"serial_number\": 5";
    TEmulator emulator(o);
    EXPECT_THROW(emulator.Start(), std::runtime_error);
    std::ofstream(o.StateFile, std::ios::trunc) << "{\"serial_number\": \"1\"}";
    TEmulator second(o);
    EXPECT_THROW(second.Start(), std::runtime_error);
}

TEST_F(EmulatorState, TapeShowsWhatWasPrinted) {
    auto o = Options();
    o.TapeFile = FDir + "/tape.txt";
    Start(o);
    Ready();
    ASSERT_EQ(Code("30", {"2", "1", "Иванов", "1", "0"}), "00");
    ASSERT_EQ(Code("57", {"1057", "64", "(null)", "#4"}), "00");
    ASSERT_EQ(Code("42", {"Молоко", "", "2", "50", "1", "", "1", "", "", "", "4", "1"}), "00");
    ASSERT_EQ(Code("49", {"0", "1", "Скидка          =5.00", "", "", ""}), "00");
    ASSERT_EQ(Code("41", {"2", "0", "80", "2", "4600000000003"}), "00");
    ASSERT_EQ(Code("44"), "00");
    ASSERT_EQ(Code("47", {"0", "100", ""}), "00");
    ASSERT_EQ(Code("31", {"0", "buyer@example.ru"}), "00");
    ASSERT_EQ(Code("30", {"1", "1", "", "1", "0"}), "00");
    ASSERT_EQ(Code("40", {std::string(60, 'x'), "1"}), "00");
    ASSERT_EQ(Code("40", {"Двойная ширина", "33"}), "00");
    ASSERT_EQ(Code("31", {"1", ""}), "00");  // no cut

    const auto lines = FEmulator->Tape();
    auto has = [&lines](const std::string& AText) {
        for (const auto& l : lines)
            if (l.find(AText) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("КАССОВЫЙ ЧЕК"));
    EXPECT_TRUE(has("Кассир: Иванов"));
    EXPECT_TRUE(has("[1057] #4"));
    EXPECT_TRUE(has("Молоко"));
    EXPECT_TRUE(has("=100.00"));
    EXPECT_TRUE(has("[ШТРИХКОД EAN13: 4600000000003]"));
    EXPECT_TRUE(has("[1008] Покупатель: buyer@example.ru"));
    EXPECT_TRUE(has("ФД"));
    EXPECT_TRUE(has("ФП"));
    EXPECT_TRUE(has("ОТРЕЗ"));
    // 60 characters in a 48-character font: two lines.
    EXPECT_TRUE(has(std::string(48, 'x')));
    EXPECT_FALSE(has(std::string(49, 'x')));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], std::string(12, 'x'));
    EXPECT_EQ(lines[lines.size() - 2], "Двойная ширина");
    EXPECT_EQ(lines.back(), std::string(48, '=')) << "the last document is not cut";
    // The file holds the same lines, in UTF-8.
    std::string expected;
    for (const auto& l : lines)
        expected += l + "\n";
    EXPECT_EQ(ReadFile(o.TapeFile), expected);
    const auto receipt = FEmulator->Documents().at(1);
    EXPECT_EQ(receipt.Kind, "receipt");
    EXPECT_EQ(receipt.Total, 1000000);
    ASSERT_EQ(receipt.Requisites.size(), 2u);
    EXPECT_EQ(receipt.Requisites[0].first, 1057u);
}

TEST_F(EmulatorState, JournalHoldsEveryRequestInOrderWithItsAnswer) {
    Start();
    Code("23", {"Иванов"});
    StartWork();
    OpenShift();
    const auto requests = FEmulator->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Command, "23");
    EXPECT_EQ(requests[0].Fields, std::vector<std::string>{"Иванов"});
    EXPECT_EQ(requests[0].Error, 1);
    EXPECT_EQ(requests[1].Command, "10");
    EXPECT_EQ(requests[2].Error, 0);
    EXPECT_LT(requests[0].Seq, requests[1].Seq);
    EXPECT_EQ(requests[0].Channel, "tcp");
    const auto reply = FEmulator->Control({{"cmd", "requests"}, {"since", requests[1].Seq}});
    ASSERT_EQ(reply["requests"].size(), 1u);
    EXPECT_EQ(reply["requests"][0]["command"], "23");
    EXPECT_EQ(FEmulator->Control({{"cmd", "documents"}})["documents"][0]["kind"], "shift_open");
    FEmulator->Control({{"cmd", "clear_journal"}});
    EXPECT_TRUE(FEmulator->Requests().empty());
}

TEST_F(EmulatorState, CommandLineOptions) {
    TEmulatorOptions o;
    std::string help;
    const char* argv[] = {"fremu",
                          "--port",
                          "0",
                          "--com-dir",
                          "/tmp/x",
                          "--com",
                          "3",
                          "--baud",
                          "9600",
                          "--password",
                          "1234",
                          "--fault",
                          R"({"kind":"delay","ms":5})",
                          "--clock-offset",
                          "-60"};
    ASSERT_TRUE(ParseCommandLine(static_cast<int>(std::size(argv)), argv, o, help));
    EXPECT_EQ(o.Port, 0);
    EXPECT_TRUE(o.Pty);
    EXPECT_EQ(o.ComDir, "/tmp/x");
    EXPECT_EQ(o.ComNumber, 3);
    EXPECT_EQ(o.Baud, 9600);
    EXPECT_EQ(o.Password, "1234");
    ASSERT_EQ(o.Faults.size(), 1u);
    EXPECT_EQ(o.Faults[0].Ms, 5);
    EXPECT_EQ(o.ClockOffset, -60);
    EXPECT_FALSE(o.Http);

    // --http: ADDRESS:PORT, the address loopback when left out.
    const std::vector<std::tuple<const char*, const char*, int>> endpoints = {
        {"8080", "127.0.0.1", 8080},       {":0", "127.0.0.1", 0},
        {"0.0.0.0:9000", "0.0.0.0", 9000}, {"localhost:1", "localhost", 1},
        {"[::1]:8443", "::1", 8443},
    };
    for (const auto& [text, address, port] : endpoints) {
        TEmulatorOptions e;
        const char* args[] = {"fremu", "--http", text};
        ASSERT_TRUE(ParseCommandLine(3, args, e, help)) << text;
        EXPECT_TRUE(e.Http) << text;
        EXPECT_EQ(e.HttpAddress, address) << text;
        EXPECT_EQ(e.HttpPort, port) << text;
    }

    const std::vector<std::vector<const char*>> bad = {
        {"fremu", "--port", "70000"},
        {"fremu", "--port"},
        {"fremu", "--bogus"},
        {"fremu", "--password", "12"},
        {"fremu", "--fault", "{"},
        {"fremu", "--no-tcp"},
        {"fremu", "--com", "0"},
        {"fremu", "--http", "x"},
        {"fremu", "--http", "1.2.3.4:"},
        {"fremu", "--http", "1:70000"},
        {"fremu", "--http", "[::1]"},
        {"fremu", "--http"},
    };
    for (const auto& args : bad) {
        TEmulatorOptions b;
        EXPECT_THROW(ParseCommandLine(static_cast<int>(args.size()), args.data(), b, help),
                     std::runtime_error)
            << args.back();
    }
    const char* helpArgs[] = {"fremu", "--help"};
    TEmulatorOptions h;
    EXPECT_FALSE(ParseCommandLine(2, helpArgs, h, help));
    for (const char* word :
         {"--state", "--tape", "--baud", "--com-dir", "--control-port", "no_etx",
          "wrong_first_byte", "clear_faults", "documents", "--http", "/documents.json"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace fr::emu::test
