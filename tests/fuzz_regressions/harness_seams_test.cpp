// The seams the fuzz targets lean on (the sleep hook that drops the driver's
// pause before a document's result), and what the settings target found: the
// .sts writer dropping bytes it does not own, and numbers that read back as 0.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/value_conversions.h"
#include "platform/clock.h"
#include "platform/format_settings.h"
#include "platform/ini_file.h"
#include "platform/text.h"
#include "platform/variant_convert.h"

namespace fr {
namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> hookedWaits;

TEST(FuzzRegressionSleepHook, HookTakesTheWaitUntilGivenBack) {
    const SleepHook before = SetSleepHook([](uint32_t ms) { hookedWaits.push_back(ms); });
    hookedWaits.clear();
    SleepMs(500);
    SleepMs(0);
    SleepMs(7);
    const SleepHook mine = SetSleepHook(nullptr);
    EXPECT_EQ(hookedWaits, (std::vector<uint32_t>{500, 0, 7}));
    EXPECT_NE(mine, nullptr);

    // Given back, SleepMs waits again (a loose lower bound only).
    const uint32_t start = GetTickCount();
    SleepMs(40);
    EXPECT_GE(GetTickCount() - start, 30u);
    EXPECT_EQ(hookedWaits.size(), 3u);
    SetSleepHook(before);
}

class FuzzRegressionIniFile : public ::testing::Test {
  protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() /
               ("fuzz_regressions_ini_" + std::to_string(std::random_device{}()));
        fs::create_directories(FDir);
        FFile = FDir / "fuzz.sts";
    }
    void TearDown() override { fs::remove_all(FDir); }

    void Write(const std::string& bytes) { std::ofstream(FFile, std::ios::binary) << bytes; }
    std::string Read() const {
        std::ifstream in(FFile, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    IniFile Ini() const { return IniFile(Utf8ToUtf16(FFile.string())); }

    fs::path FDir;
    fs::path FFile;
};

struct TMarkCase {
    const char* Name;
    int Marks;                  // byte-order marks before the section header
    const char16_t* CutString;  // what the reader finds before and after writes
};

class FuzzRegressionIniMarks : public FuzzRegressionIniFile,
                               public ::testing::WithParamInterface<TMarkCase> {};

// A file opened by a second mark once read its section as no section; each write
// dropped one mark until the section appeared and its old values came back.
TEST_P(FuzzRegressionIniMarks, WritesKeepTheMarksAndWhatTheReaderFinds) {
    const TMarkCase& c = GetParam();
    std::string marks;
    for (int i = 0; i < c.Marks; ++i)
        marks += "\xEF\xBB\xBF";
    Write(marks + "[SETTINGS]\r\nCutString=отрез\r\n");
    IniFile ini = Ini();
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"CutString", u""), c.CutString);
    for (const char16_t* key : {u"WriteLog", u"PortNumber", u"BaudRate"}) {
        ini.WriteString(u"SETTINGS", key, u"1");
        EXPECT_EQ(ini.ReadString(u"SETTINGS", u"CutString", u""), c.CutString) << Read();
        EXPECT_EQ(ini.ReadString(u"SETTINGS", key, u""), u"1") << Read();
    }
    EXPECT_EQ(Read().rfind(marks, 0), 0u) << "the file no longer starts with its marks";
}

INSTANTIATE_TEST_SUITE_P(FuzzRegression, FuzzRegressionIniMarks,
                         ::testing::Values(TMarkCase{"NoMark", 0, u"отрез"},
                                           TMarkCase{"OneMark", 1, u"отрез"},
                                           TMarkCase{"TwoMarks", 2, u""},
                                           TMarkCase{"ThreeMarks", 3, u""}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TNumberCase {
    const char* Name;
    Variant Value;
    double Expected;
};

void PrintTo(const TNumberCase& c, std::ostream* os) {
    *os << c.Name;
}

class FuzzRegressionSettingNumbers : public ::testing::TestWithParam<TNumberCase> {
  protected:
    void TearDown() override { SetDecimalSeparator(FSeparator); }
    const char16_t FSeparator = GetFormatSettings().DecimalSeparator;
};

// Whole numbers past the 4-byte range and fractions in exponent form were written
// without a decimal separator and read back as a bad integer: 0.
TEST_P(FuzzRegressionSettingNumbers, ReadBackAsWritten) {
    const TNumberCase& c = GetParam();
    for (const char16_t separator : {u'.', u','}) {
        SetDecimalSeparator(separator);
        const std::u16string text = VarToSettingStr(c.Value);
        const Variant back = SettingStrToVar(text, dtNumber);
        EXPECT_DOUBLE_EQ(VarToDouble(back), c.Expected) << Utf16ToUtf8(text);
        // Written again, the value gives the same text: the file settles.
        EXPECT_EQ(VarToSettingStr(back), text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FuzzRegression, FuzzRegressionSettingNumbers,
    ::testing::Values(
        TNumberCase{"HugeFraction", Variant(1e35), 1e35},
        TNumberCase{"TinyFraction", Variant(1e-5), 1e-5},
        TNumberCase{"NegativeTiny", Variant(-2.5e-7), -2.5e-7},
        TNumberCase{"WholePastInt32", Variant(3e9), 3e9},
        TNumberCase{"WholeFromTenToFifteen", Variant(1e15), 1e15},
        TNumberCase{"CurrencyPastInt32", Variant(Currency::FromRaw(50000000000000)), 5e9},
        TNumberCase{"SingleWholePastInt32", Variant::FromSingle(4294967296.0f), 4294967296.0},
        TNumberCase{"PlainFraction", Variant(0.25), 0.25},
        TNumberCase{"WholeDouble", Variant(42.0), 42},
        TNumberCase{"Integer", Variant(int32_t{-7}), -7}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace fr
