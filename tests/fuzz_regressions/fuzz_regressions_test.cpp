// Every seed and every input kept from a finding, replayed through the fuzz
// targets' entry points; and the findings themselves, checked by their results.

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/fuzz_support.h"
#include "host/value_conversions.h"
#include "platform/variant.h"

namespace fr::fuzz {
namespace {

namespace fs = std::filesystem;

using TEntry = int (*)(const uint8_t*, size_t);

struct TTarget {
    const char* Name;
    TEntry Entry;
};

const TTarget kTargets[] = {
    {"fuzz_answer", FuzzAnswer},
    {"fuzz_log_text", FuzzLogText},
    {"fuzz_settings_file", FuzzSettingsFile},
    {"fuzz_host_params", FuzzHostParams},
    {"fuzz_host_xml", FuzzHostXml},
};

void PrintTo(const TTarget& target, std::ostream* os) {
    *os << target.Name;
}

std::vector<fs::path> Inputs(const char* target) {
    std::vector<fs::path> files;
    for (const char* root : {FR_FUZZ_CORPUS_DIR, FR_FUZZ_KEPT_DIR}) {
        const fs::path dir = fs::path(root) / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
    }
    return files;
}

class FuzzRegressionReplay : public ::testing::TestWithParam<TTarget> {
  protected:
    static void SetUpTestSuite() {
        // One data folder for the process: the targets keep their component objects.
        static const fs::path dir = [] {
            const fs::path d = fs::temp_directory_path() /
                               ("fuzz_regressions_" + std::to_string(std::random_device{}()));
            fs::create_directories(d);
            ::setenv("FR_COMMON_APPDATA", d.c_str(), 1);
            return d;
        }();
        (void)dir;
    }
};

TEST_P(FuzzRegressionReplay, EveryKeptInputRunsClean) {
    const TTarget target = GetParam();
    const std::vector<fs::path> files = Inputs(target.Name);
    ASSERT_FALSE(files.empty()) << "no seeds for " << target.Name;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NO_THROW(target.Entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(FuzzRegression, FuzzRegressionReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.Name); });

// Arrays whose bounds reach the ends of the 32-bit range: the upper bound once
// overflowed, and the log text then indexed past the range or looped for ever.
struct TBoundsCase {
    const char* Name;
    std::vector<SafeArrayBound> Bounds;
    int32_t UBound1;
    std::u16string LogText;
};

void PrintTo(const TBoundsCase& c, std::ostream* os) {
    *os << c.Name;
}

class FuzzRegressionArrayBounds : public ::testing::TestWithParam<TBoundsCase> {};

TEST_P(FuzzRegressionArrayBounds, LogTextAndUpperBound) {
    const TBoundsCase& c = GetParam();
    auto array = std::make_shared<SafeArray>(vtVariant, c.Bounds);
    int32_t n = 0;
    for (Variant& v : array->Elements())
        v = Variant(++n);
    EXPECT_EQ(array->UBound(1), c.UBound1);
    EXPECT_EQ(VarArrayToLogStr(Variant::FromArray(array)), c.LogText);
}

INSTANTIATE_TEST_SUITE_P(
    FuzzRegression, FuzzRegressionArrayBounds,
    ::testing::Values(
        TBoundsCase{"EmptyAtLowestBound", {{INT32_MIN, 0}}, INT32_MAX, u"[()]"},
        TBoundsCase{"OneAtHighestBound", {{INT32_MAX, 1}}, INT32_MAX, u"[(1)]"},
        TBoundsCase{"TwoEndingAtHighestBound", {{INT32_MAX - 1, 2}}, INT32_MAX, u"[(1; 2)]"},
        TBoundsCase{"ThreeFromMinusOne", {{-1, 3}}, 1, u"[(1; 2; 3)]"},
        TBoundsCase{"OuterDimensionAtHighestBound", {{0, 2}, {INT32_MAX, 1}}, 1, u"[((1; 2))]"}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace fr::fuzz
