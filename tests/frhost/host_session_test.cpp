// frhost's protocol, in process: one session over a recording fiscal driver.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "platform/exception.h"
#include "platform/module.h"
#include "recording_driver.h"
#include "support/log.h"
#include "tools/frhost/host_session.h"
#include "tools/frhost/options.h"

namespace fr::test {
namespace {

using nlohmann::json;

class FrhostSession : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("fr_frhost_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        RegisterDriverClass<TRecordingDriver>(u"TDriver");
        TFrHostOptions options;
        options.DataDir = dir_.string();
        options.Platform = Platform();
        ApplyFrHostOptions(options);
        session_ = std::make_unique<THostSession>();
    }
    void TearDown() override {
        session_.reset();
        SetHostExecutablePathOverride(u"");
        unsetenv("FR_COMMON_APPDATA");
        TLog::SetLogLevel(0);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    virtual std::string Platform() const { return "8"; }

    json Ask(const std::string& line) {
        const std::string reply = session_->HandleLine(line);
        EXPECT_EQ(reply.find('\n'), std::string::npos);
        return json::parse(reply);
    }
    json AskJson(const json& request) { return Ask(request.dump()); }
    TRecordingDriver& Driver() {
        return dynamic_cast<TRecordingDriver&>(*session_->DirectObject()->Driver());
    }

    std::filesystem::path dir_;
    std::unique_ptr<THostSession> session_;
};

TEST_F(FrhostSession, CallAnswersWithEveryElementAsItStandsAfterTheCall) {
    // GetLineLength has two parameters: the one given is padded with an empty one.
    const json reply = Ask(std::string(R"({"call": "ПолучитьШиринуСтроки", "params": ["0"]})"));
    const json expected = {{"call", "ПолучитьШиринуСтроки"},
                           {"num", 23},
                           {"hresult", 0},
                           {"return", {{"vt", 11}, {"v", true}}},
                           {"params", {{{"vt", 8}, {"v", "0"}}, {{"vt", 3}, {"v", 40}}}}};
    EXPECT_EQ(reply, expected);
}

TEST_F(FrhostSession, CallWithoutParamsPadsEveryElement) {
    const json reply = Ask(std::string(R"({"call": "GetCurrentStatus"})"));
    ASSERT_EQ(reply["params"].size(), 5u);
    EXPECT_EQ(reply["params"][0], json({{"vt", 0}}));
    EXPECT_EQ(reply["params"][1], json({{"vt", 5}, {"v", 8.0}}));
    EXPECT_EQ(reply["params"][3], json({{"vt", 3}, {"v", 2}}));
}

TEST_F(FrhostSession, UnknownMethodGivesMinusOneOnly) {
    EXPECT_EQ(Ask(std::string(R"({"call": "NoSuchMethod", "params": [1]})")),
              json({{"call", "NoSuchMethod"}, {"num", -1}}));
    EXPECT_EQ(Ask(std::string(R"({"proc": "NoSuchMethod"})")),
              json({{"proc", "NoSuchMethod"}, {"num", -1}}));
}

TEST_F(FrhostSession, ProcAnswersWithoutAReturnValue) {
    const json reply = Ask(std::string(
        R"({"proc": "OpenShift", "params": ["0", "<I><Parameters CashierName=\"A\" CashierVATIN=\"\"/></I>"]})"));
    EXPECT_EQ(reply["proc"], "OpenShift");
    EXPECT_EQ(reply["hresult"], 0);
    EXPECT_FALSE(reply.contains("return"));
    ASSERT_EQ(reply["params"].size(), 5u);
    EXPECT_EQ(reply["params"][3], json({{"vt", 5}, {"v", 12.0}}));
    EXPECT_EQ(Driver().CashierName, u"A");
}

TEST_F(FrhostSession, SetAndGetReachTheSettings) {
    EXPECT_EQ(Ask(std::string(R"({"set": "CutString", "value": "[cut]"})")),
              json({{"set", "CutString"}, {"num", 1}, {"hresult", 0}}));
    EXPECT_EQ(Ask(std::string(R"({"get": "cutstring"})")),
              json({{"get", "cutstring"},
                    {"num", 1},
                    {"hresult", 0},
                    {"value", {{"vt", 8}, {"v", "[cut]"}}}}));
    // A property that does not exist: the object answers 1.
    EXPECT_EQ(Ask(std::string(R"({"get": "Nothing"})")),
              json({{"get", "Nothing"}, {"num", -1}, {"hresult", 1}, {"value", {{"vt", 0}}}}));
    EXPECT_EQ(Ask(std::string(R"({"set": "Nothing", "value": 1})")),
              json({{"set", "Nothing"}, {"num", -1}, {"hresult", 1}}));
}

TEST_F(FrhostSession, RawOperationsAnswerTheirOutputsInOrder) {
    struct Row {
        const char* Request;
        const char* Reply;
    };
    const Row rows[] = {
        {R"({"raw": "GetNMethods"})",
         R"({"raw": "GetNMethods", "hresult": 0, "out": [{"vt": 3, "v": 24}]})"},
        {R"({"raw": "GetNProps", "args": []})",
         R"({"raw": "GetNProps", "hresult": 0, "out": [{"vt": 3, "v": 3}]})"},
        {R"({"raw": "GetMethodName", "args": [2, 0]})",
         R"({"raw": "GetMethodName", "hresult": 0, "out": [{"vt": 8, "v": "ПолучитьОписание"}]})"},
        {R"({"raw": "GetMethodName", "args": [24, 0]})",
         R"({"raw": "GetMethodName", "hresult": 1, "out": [{"vt": 8, "v": ""}]})"},
        {R"({"raw": "GetNParams", "args": [{"vt": 2, "v": 14}]})",
         R"({"raw": "GetNParams", "hresult": 0, "out": [{"vt": 3, "v": 7}]})"},
        {R"({"raw": "HasRetVal", "args": [-1]})",
         R"({"raw": "HasRetVal", "hresult": 0, "out": [{"vt": 11, "v": true}]})"},
        {R"({"raw": "GetParamDefValue", "args": [0, 0]})",
         R"({"raw": "GetParamDefValue", "hresult": 0, "out": [{"vt": 0}]})"},
        {R"({"raw": "GetPropName", "args": [0, 1]})",
         R"({"raw": "GetPropName", "hresult": 0, "out": [{"vt": 8, "v": "DebugLogEnabled"}]})"},
        {R"({"raw": "IsPropWritable", "args": [0]})",
         R"({"raw": "IsPropWritable", "hresult": 0, "out": [{"vt": 11, "v": false}]})"},
        {R"({"raw": "RegisterExtensionAs"})",
         R"({"raw": "RegisterExtensionAs", "hresult": 0, "out": [{"vt": 8, "v": "fr_norvane1c83"}]})"},
        {R"({"raw": "GetInfo"})",
         R"({"raw": "GetInfo", "hresult": 0, "out": [{"vt": 8204, "v": [{"vt": 8, "v": "2000"}]}]})"},
        {R"({"raw": "CapSettingsDlg"})",
         R"({"raw": "CapSettingsDlg", "hresult": 0, "out": [{"vt": 11, "v": false}]})"},
        {R"({"raw": "ChangeSettings"})", R"({"raw": "ChangeSettings", "hresult": 1, "out": []})"},
        {R"({"raw": "GetPages"})",
         R"({"raw": "GetPages", "hresult": 0, "out": [{"vt": 8200, "v": [{"vt": 8, "v": "{6F0C2A51-3B7E-4C1D-9A42-8E5D17B3C904}"}]}]})"},
        {R"({"raw": "Invoke"})", R"({"raw": "Invoke", "hresult": 2147500033, "out": []})"},
        {R"({"raw": "SetPropVal", "args": [1, "x"]})",
         R"({"raw": "SetPropVal", "hresult": 0, "out": []})"},
        {R"({"raw": "GetPropVal", "args": [1]})",
         R"({"raw": "GetPropVal", "hresult": 0, "out": [{"vt": 8, "v": "x"}]})"},
        {R"({"raw": "CallAsFunc", "args": [23, ["0"]]})",
         R"({"raw": "CallAsFunc", "hresult": 0, "out": [{"vt": 11, "v": true}, {"vt": 8204, "v": [{"vt": 8, "v": "0"}]}]})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Request);
        EXPECT_EQ(Ask(std::string(row.Request)), json::parse(row.Reply));
    }
}

TEST_F(FrhostSession, LinesThatAreNoRequestGetAnErrorAndTheToolReadsOn) {
    const char* bad[] = {
        "",
        "not json",
        "{\"call\": \"GetLineLength\"",
        "[1, 2]",
        "42",
        R"({"call": 5})",
        R"({"call": "GetLineLength", "params": "0"})",
        R"({"call": "GetLineLength", "extra": 1})",
        R"({"nothing": "here"})",
        R"({"raw": "NoSuchOperation"})",
        R"({"raw": "GetNParams", "args": ["abc"]})",
        R"({"raw": "CallAsFunc", "args": [23, 5]})",
        R"({"get": "CutString", "value": 1})",
        "{\"call\": \"ProcessCheck\", \"params\": [\"\xff\xfe\"]}",
        R"({"call": "ProcessCheck", "params": [[1, 2]]})",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        const json reply = Ask(std::string(line));
        ASSERT_TRUE(reply.is_object());
        EXPECT_EQ(reply.size(), 1u);
        ASSERT_TRUE(reply.contains("error"));
        EXPECT_TRUE(reply["error"].is_string());
        EXPECT_FALSE(reply["error"].get<std::string>().empty());
    }
    EXPECT_EQ(Ask(std::string(R"({"call": "GetLineLength"})"))["return"],
              json({{"vt", 11}, {"v", true}}));
}

TEST_F(FrhostSession, TypedValuesRoundTripThroughTheParameterArray) {
    // OpenCashDrawer reads none of its elements, so each comes back as it went in.
    struct Row {
        const char* In;
        const char* Out;
    };
    const Row rows[] = {
        {"null", R"({"vt": 0})"},
        {"true", R"({"vt": 11, "v": true})"},
        {"-2147483648", R"({"vt": 3, "v": -2147483648})"},
        {"2147483648", R"({"vt": 5, "v": 2147483648.0})"},
        {"1.25", R"({"vt": 5, "v": 1.25})"},
        {R"("строка")", R"({"vt": 8, "v": "строка"})"},
        {R"({"vt": 0})", R"({"vt": 0})"},
        {R"({"vt": 1})", R"({"vt": 1})"},
        {R"({"vt": 2, "v": -3})", R"({"vt": 2, "v": -3})"},
        {R"({"vt": 3, "v": 7})", R"({"vt": 3, "v": 7})"},
        {R"({"vt": 4, "v": 0.5})", R"({"vt": 4, "v": 0.5})"},
        {R"({"vt": 5, "v": 3})", R"({"vt": 5, "v": 3.0})"},
        {R"({"vt": 6, "v": 100.5})", R"({"vt": 6, "v": 100.5})"},
        {R"({"vt": 7, "v": "2024-03-05T13:45:10.250"})",
         R"({"vt": 7, "v": "2024-03-05T13:45:10.250"})"},
        {R"({"vt": 7, "v": "1899-12-30T00:00:00.000"})",
         R"({"vt": 7, "v": "1899-12-30T00:00:00.000"})"},
        {R"({"vt": 7, "v": "1850-06-01T06:00:00.000"})",
         R"({"vt": 7, "v": "1850-06-01T06:00:00.000"})"},
        {R"({"vt": 8, "v": "x"})", R"({"vt": 8, "v": "x"})"},
        {R"({"vt": 11, "v": false})", R"({"vt": 11, "v": false})"},
        {R"({"vt": 12, "v": 5})", R"({"vt": 3, "v": 5})"},
        {R"({"vt": 16, "v": -128})", R"({"vt": 16, "v": -128})"},
        {R"({"vt": 17, "v": 255})", R"({"vt": 17, "v": 255})"},
        {R"({"vt": 18, "v": 65535})", R"({"vt": 18, "v": 65535})"},
        {R"({"vt": 19, "v": 4294967295})", R"({"vt": 19, "v": 4294967295})"},
        {R"({"vt": 20, "v": -9007199254740993})", R"({"vt": 20, "v": -9007199254740993})"},
        {R"({"vt": 21, "v": 18446744073709551615})", R"({"vt": 21, "v": 18446744073709551615})"},
        {R"({"vt": 256, "v": "Привет"})", R"({"vt": 256, "v": "Привет"})"},
        {R"({"vt": 258, "v": "ш"})", R"({"vt": 258, "v": "ш"})"},
        {R"({"vt": 8204, "v": [1, "a", {"vt": 11, "v": true}]})",
         R"({"vt": 8204, "v": [{"vt": 3, "v": 1}, {"vt": 8, "v": "a"}, {"vt": 11, "v": true}]})"},
        {R"({"vt": 8195, "v": [1, 2]})",
         R"({"vt": 8195, "v": [{"vt": 3, "v": 1}, {"vt": 3, "v": 2}]})"},
        {R"({"vt": 8204})", R"({"vt": 8204})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.In);
        const json reply =
            Ask("{\"call\": \"OpenCashDrawer\", \"params\": [\"0\", " + std::string(row.In) + "]}");
        ASSERT_TRUE(reply.contains("params")) << reply.dump();
        EXPECT_EQ(reply["params"][1], json::parse(row.Out));
        // What comes out goes back in unchanged.
        const json again =
            AskJson(json({{"call", "OpenCashDrawer"}, {"params", {"0", reply["params"][1]}}}));
        EXPECT_EQ(again["params"][1], reply["params"][1]);
    }
}

TEST_F(FrhostSession, TypedValuesThatCannotBeHeldAreErrors) {
    const char* bad[] = {
        R"({"vt": 2, "v": 70000})",
        R"({"vt": 3})",
        R"({"vt": 11, "v": 1})",
        R"({"vt": 999, "v": 1})",
        R"({"vt": 7, "v": "2024-13-01T00:00:00.000"})",
        R"({"vt": 7, "v": "yesterday"})",
        R"({"vt": 17, "v": -1})",
        R"({"vt": 8, "v": 5})",
        R"({"vt": 16392, "v": "x"})",
        R"({"vt": "8", "v": "x"})",
        R"({"vt": 8, "v": "x", "w": 1})",
        R"({"vt": 8204, "v": 5})",
        R"({"vt": 6, "v": 1e300})",
    };
    for (const char* value : bad) {
        SCOPED_TRACE(value);
        const json reply =
            Ask("{\"call\": \"OpenCashDrawer\", \"params\": [" + std::string(value) + "]}");
        EXPECT_TRUE(reply.contains("error")) << reply.dump();
    }
    // Nesting deeper than any host value is refused, not followed.
    std::string deep = "1";
    for (int i = 0; i < 5000; ++i)
        deep = "{\"vt\": 12, \"v\": " + deep + "}";
    EXPECT_TRUE(
        Ask("{\"call\": \"OpenCashDrawer\", \"params\": [" + deep + "]}").contains("error"));
}

TEST_F(FrhostSession, RunAnswersOneLinePerRequestLine) {
    session_.reset();  // RunHostSession makes its own
    std::istringstream in("{\"raw\": \"GetNProps\"}\n\n{\"call\": \"GetLineLength\"}\nnonsense");
    std::ostringstream out, diagnostics;
    RunHostSession(in, out, diagnostics);
    std::istringstream replies(out.str());
    std::vector<json> lines;
    std::string line;
    while (std::getline(replies, line))
        lines.push_back(json::parse(line));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["out"][0], json({{"vt", 3}, {"v", 3}}));
    EXPECT_TRUE(lines[1].contains("error"));
    EXPECT_EQ(lines[2]["params"][1], json({{"vt", 3}, {"v", 40}}));
    EXPECT_TRUE(lines[3].contains("error"));
    EXPECT_TRUE(diagnostics.str().empty());
}

TEST_F(FrhostSession, AFailingInitLeavesASessionThatStillAnswers) {
    RegisterDriverClass(u"TDriver", []() -> std::unique_ptr<TBaseDriver> {
        throw Exception(u"драйвер не создан");
    });
    {
        THostSession session;
        EXPECT_EQ(session.InitError(), "драйвер не создан");
        EXPECT_EQ(
            json::parse(session.HandleLine(R"({"raw": "GetNMethods"})")),
            json::parse(R"({"raw": "GetNMethods", "hresult": 0, "out": [{"vt": 3, "v": 0}]})"));
        EXPECT_EQ(json::parse(session.HandleLine(R"({"call": "GetLineLength"})")),
                  json({{"call", "GetLineLength"}, {"num", -1}}));
        EXPECT_EQ(json::parse(session.HandleLine(R"({"get": "CutString"})"))["hresult"], 1);
    }
    std::istringstream in("{\"raw\": \"GetNProps\"}\n");
    std::ostringstream out, diagnostics;
    RunHostSession(in, out, diagnostics);
    EXPECT_NE(diagnostics.str().find("драйвер не создан"), std::string::npos);
    EXPECT_EQ(json::parse(out.str())["out"][0], json({{"vt", 3}, {"v", 0}}));
    RegisterDriverClass<TRecordingDriver>(u"TDriver");
}

class FrhostPlatform77 : public FrhostSession {
  protected:
    std::string Platform() const override { return "7.7"; }
};

TEST_F(FrhostPlatform77, TheEmulatedHostIsThe77Platform) {
    // The settings-file methods exist only there, and Booleans reach the host as integers.
    EXPECT_EQ(Ask(std::string(R"({"call": "ReadSettings"})"))["num"], 2);
    const json reply = Ask(std::string(R"({"call": "GetLineLength"})"));
    EXPECT_EQ(reply["num"], 26);
    EXPECT_EQ(reply["return"], json({{"vt", 3}, {"v", 1}}));
    // Through CallAsProc nothing is converted, and nothing is returned.
    EXPECT_FALSE(Ask(std::string(R"({"proc": "GetLineLength"})")).contains("return"));
}

TEST(FrhostOptions, ParsesTheCommandLine) {
    struct Row {
        std::vector<std::string> Args;
        bool Ok;
        std::string Platform, DataDir;
        bool Help;
    };
    const Row rows[] = {
        {{}, true, "8", "", false},
        {{"--platform", "7.7"}, true, "7.7", "", false},
        {{"--platform", "8", "--data-dir", "/tmp/x"}, true, "8", "/tmp/x", false},
        {{"--help"}, true, "8", "", true},
        {{"--platform", "8.3"}, false, "", "", false},
        {{"--platform"}, false, "", "", false},
        {{"--data-dir", ""}, false, "", "", false},
        {{"--verbose"}, false, "", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Args.empty() ? "(none)" : row.Args[0]);
        TFrHostOptions options;
        std::string error;
        EXPECT_EQ(ParseFrHostOptions(row.Args, options, error), row.Ok);
        if (!row.Ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options.Platform, row.Platform);
        EXPECT_EQ(options.DataDir, row.DataDir);
        EXPECT_EQ(options.Help, row.Help);
    }
    EXPECT_EQ(HostExecutableFor("7.7"), u"1cv7s.exe");
    EXPECT_EQ(HostExecutableFor("8"), u"1cv8.exe");
}

}  // namespace
}  // namespace fr::test
