#pragma once
// One emulator started in-process on a free port, with a scratch folder and a
// frame client connected to it.

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frame_client.h"
#include "tools/fremu/emulator.h"

namespace fr::emu::test {

class EmulatorFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fremu_test_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        FDir = pattern;
    }

    void TearDown() override {
        FClient.reset();
        FEmulator.reset();
        std::error_code ec;
        std::filesystem::remove_all(FDir, ec);
    }

    TEmulatorOptions Options() const {
        TEmulatorOptions o;
        o.Port = 0;
        o.StdinControl = false;
        return o;
    }

    TEmulator& Start(TEmulatorOptions AOptions) {
        FClient.reset();
        FEmulator.reset();
        FEmulator = std::make_unique<TEmulator>(std::move(AOptions));
        FEmulator->Start();
        if (FEmulator->TcpPort() > 0)
            FClient.emplace(TFrameClient::ConnectTcp(FEmulator->TcpPort()));
        return *FEmulator;
    }
    TEmulator& Start() { return Start(Options()); }

    TAnswerFrame Call(const std::string& ACmd, const std::vector<std::string>& AFields = {}) {
        return FClient->Call(ACmd, AFields);
    }
    // The answer code of one command.
    std::string Code(const std::string& ACmd, const std::vector<std::string>& AFields = {}) {
        return Call(ACmd, AFields).Code;
    }
    // The extended code that "06" reports for the last refusal.
    std::string ExtCode() {
        const auto a = Call("06", {"1"});
        return a.Fields.size() > 1 ? a.Fields[1] : "?";
    }

    void StartWork() { ASSERT_EQ(Code("10", {DateNow(), TimeNow()}), "00"); }
    void OpenShift() { ASSERT_EQ(Code("23", {"Кассир"}), "00"); }
    void Ready() {
        StartWork();
        OpenShift();
    }
    // A whole sale: one item, cash payment, close.
    void Sell(const std::string& APrice, const std::string& ACash, int AType = 2) {
        ASSERT_EQ(Code("30", {std::to_string(AType), "1", "Кассир", "1", "0"}), "00");
        ASSERT_EQ(Code("42", {"Товар", "", "1", APrice, "0", "", "1", "", "", "", "4", "1"}), "00");
        ASSERT_EQ(Code("44"), "00");
        ASSERT_EQ(Code("47", {"0", ACash, ""}), "00");
        ASSERT_EQ(Code("31", {"0", ""}), "00");
    }
    void CashDocument(int AType, const std::string& AAmount) {
        ASSERT_EQ(Code("30", {std::to_string(AType), "1", " ", "1", "0"}), "00");
        ASSERT_EQ(Code("48", {"", AAmount}), "00");
        ASSERT_EQ(Code("31", {"0", ""}), "00");
    }
    std::string Field(const std::string& ACmd, const std::vector<std::string>& AFields,
                      size_t AIndex) {
        const auto a = Call(ACmd, AFields);
        EXPECT_EQ(a.Code, "00") << ACmd;
        return AIndex < a.Fields.size() ? a.Fields[AIndex] : "<missing>";
    }
    std::string LastDocNumber() { return Field("78", {"3", "0", "0"}, 1); }
    std::string Cash() { return FEmulator->Status()["cash"].get<std::string>(); }

    std::string FDir;
    std::unique_ptr<TEmulator> FEmulator;
    std::optional<TFrameClient> FClient;
};

}  // namespace fr::emu::test
