// Two registers at one till: two component objects in one process, each driven
// on a thread of its own against an emulated register of its own, at the same
// time, through the host boundary. One object has its log on, the other off.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "driver/driver_registry.h"
#include "host/add_in_object.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "platform/window.h"
#include "support/log.h"
#include "tests/driver/driver_fixture.h"
#include "tools/fremu/emulator.h"

namespace fr::test {
namespace {

constexpr int kReceipts = 6;

std::u16string ExampleCheck() {
    std::ifstream in(std::filesystem::path(FR_SOURCE_DIR) / "examples" / "check.xml",
                     std::ios::binary);
    return Utf8ToUtf16(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

// The emulator answers at once: the driver's pauses for a real register go.
void NoLongWaits(uint32_t AMilliseconds) {
    if (AMilliseconds <= 20) std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}

// One register, its component object and what its thread saw.
struct TRegisterRun {
    std::unique_ptr<emu::TEmulator> Emulator;
    std::unique_ptr<TAddInObject> Object;
    bool WriteLog = false;
    std::vector<std::string> FiscalSigns;  // as ProcessCheck gave them back
    std::set<std::string> CheckNumbers;
    int Done = 0;  // receipts that succeeded
};

int32_t MethodNumber(TAddInObject& AObject, const std::u16string& AName) {
    int32_t number = -1;
    AObject.FindMethod(AName, number);
    EXPECT_GE(number, 0) << U8(AName);
    return number;
}

void SetProp(TAddInObject& AObject, const std::u16string& AName, const Variant& AValue) {
    int32_t number = -1;
    AObject.FindProp(AName, number);
    ASSERT_GE(number, 0) << U8(AName);
    EXPECT_EQ(AObject.SetPropVal(number, AValue), kHrOk);
}

// A method call as the host makes it; the parameter array after the call.
std::vector<Variant> Call(TAddInObject& AObject, const std::u16string& AName,
                          std::vector<Variant> AParams, bool& AOk) {
    const int32_t number = MethodNumber(AObject, AName);
    int32_t count = 0;
    AObject.GetNParams(number, count);
    SafeArrayPtr params = SafeArray::Vector(static_cast<size_t>(count));
    for (size_t i = 0; i < AParams.size() && i < static_cast<size_t>(count); ++i)
        params->Put(static_cast<int32_t>(i), AParams[i]);
    Variant result;
    EXPECT_EQ(AObject.CallAsFunc(number, result, params.get()), kHrOk) << U8(AName);
    AOk = result.BaseType() == vtBoolean && result.BoolValue();
    std::vector<Variant> out(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        params->Get(i, out[static_cast<size_t>(i)]);
    return out;
}

// A cash desk's working session on one register, from Init to Done.
void WorkOn(TRegisterRun& ARun, const std::u16string& ACheck) {
    TAddInObject& object = *ARun.Object;
    SetProp(object, u"PortNumber", Variant(int32_t{9999}));
    SetProp(object, u"IPAddress", Variant(u"127.0.0.1"));
    SetProp(object, u"IPPort", Variant(static_cast<int32_t>(ARun.Emulator->TcpPort())));
    SetProp(object, u"WriteLog", Variant(ARun.WriteLog));
    bool ok = false;
    Call(object, u"Open", {}, ok);
    ASSERT_TRUE(ok);
    const std::vector<Variant> cashier = {Variant(u"0"), Variant(InputParameters(u"Иванов", u""))};
    Call(object, u"OpenShift", cashier, ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < kReceipts; ++i) {
        const std::vector<Variant> out =
            Call(object, u"ProcessCheck", {Variant(u"0"), Variant(false), Variant(ACheck)}, ok);
        EXPECT_TRUE(ok) << "receipt " << i;
        if (!ok) continue;
        ++ARun.Done;
        ARun.CheckNumbers.insert(U8(VarToStr(out[3])));
        ARun.FiscalSigns.push_back(U8(VarToStr(out[5])));
    }
    Call(object, u"CloseShift", cashier, ok);
    EXPECT_TRUE(ok);
    Call(object, u"Close", {Variant(u"0")}, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(object.Done(), kHrOk);
}

class TwoRegisters : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "two_registers_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        FDir = pattern;
        setenv("FR_COMMON_APPDATA", FDir.c_str(), 1);
        SetMessageBoxHook([](const std::u16string&, const std::u16string&) {});
        TLog::ResetForTests();
        TLog::SetLogLevel(0);
        TLog::SetLogFileName(u"");
        FSavedSleep = SetSleepHook(&NoLongWaits);
        RegisterDriverClasses();
    }
    void TearDown() override {
        SetSleepHook(FSavedSleep);
        SetMessageBoxHook({});
        TLog::ResetForTests();
        unsetenv("FR_COMMON_APPDATA");
        std::error_code error;
        std::filesystem::remove_all(FDir, error);
    }

    // Every line of every day file of the data folder.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(FDir / "fr_norvane1c83", error)) {
            if (entry.path().extension() != ".log") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
        }
        return lines;
    }

    std::filesystem::path FDir;
    SleepHook FSavedSleep = nullptr;
};

TEST_F(TwoRegisters, ReceiptsAtOnceEachOnItsOwnRegisterAndOnlyTheLoggedObjectsLines) {
    const std::u16string check = ExampleCheck();
    ASSERT_FALSE(check.empty());
    TRegisterRun runs[2];
    for (int i = 0; i < 2; ++i) {
        emu::TEmulatorOptions options;
        options.Port = 0;
        options.StdinControl = false;
        options.ControlPort = -1;
        runs[i].Emulator = std::make_unique<emu::TEmulator>(options);
        runs[i].Emulator->Start();
        runs[i].WriteLog = i == 0;
    }
    std::vector<std::thread> threads;
    for (TRegisterRun& run : runs) {
        threads.emplace_back([&run, &check] {
            // The object is created, used and given back on its own thread, as the
            // platform does with each apartment.
            run.Object = std::make_unique<TAddInObject>();
            EXPECT_EQ(run.Object->Init(nullptr), kHrOk);
            WorkOn(run, check);
        });
    }
    for (auto& thread : threads)
        thread.join();

    for (TRegisterRun& run : runs) {
        SCOPED_TRACE(run.WriteLog ? "logged" : "silent");
        EXPECT_EQ(run.Done, kReceipts);
        EXPECT_EQ(run.CheckNumbers.size(), static_cast<size_t>(kReceipts)) << "numbers repeat";
        // The register made exactly the receipts this object asked for, with the
        // fiscal signs this object was given back.
        std::multiset<std::string> made;
        std::set<uint32_t> numbers;
        for (const auto& document : run.Emulator->Documents()) {
            if (document.Kind != "receipt") continue;
            made.insert(std::to_string(document.FiscalSign));
            numbers.insert(document.Number);
        }
        EXPECT_EQ(made, std::multiset<std::string>(run.FiscalSigns.begin(), run.FiscalSigns.end()));
        EXPECT_EQ(numbers.size(), static_cast<size_t>(kReceipts));
        run.Emulator->Stop();
    }

    // The log holds the first object's lines, tagged, and none of the second's.
    const std::string tagA = " #" + std::to_string(runs[0].Object->ObjectNumber() + 1) + "\t";
    const std::string tagB = " #" + std::to_string(runs[1].Object->ObjectNumber() + 1) + "\t";
    const std::string portB = ":" + std::to_string(runs[1].Emulator->TcpPort());
    int receiptsA = 0, bytesA = 0, openA = 0;
    for (const std::string& line : LogLines()) {
        EXPECT_EQ(line.find(tagB), std::string::npos) << line;
        EXPECT_EQ(line.find(portB), std::string::npos) << line;
        if (line.find(tagA) == std::string::npos) continue;
        if (line.find("\tINFO\t< ProcessCheck") != std::string::npos) ++receiptsA;
        if (line.find("TSocketDevice: \t-> ") != std::string::npos) ++bytesA;
        if (line.find("\tINFO\tLog: \tobject" + tagA.substr(0, tagA.size() - 1) +
                      "; TCP 127.0.0.1:" + std::to_string(runs[0].Emulator->TcpPort())) !=
            std::string::npos)
            ++openA;
    }
    EXPECT_EQ(receiptsA, kReceipts);
    EXPECT_GT(bytesA, kReceipts) << "the link's bytes are the object's lines too";
    EXPECT_EQ(openA, 1);
}

}  // namespace
}  // namespace fr::test
