// The XML target keeps a connected session between inputs while the register
// has taken nothing. Whatever came before, an input must meet the same
// register: the same answers and the same requests, run after run.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/fuzz_support.h"

namespace fr::fuzz {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// What the target reports about one input: the method's answer and every
// request the register took for it.
std::string Trace(const std::string& input) {
    ::setenv("FR_FUZZ_VERBOSE", "1", 1);
    testing::internal::CaptureStderr();
    FuzzHostXml(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    const std::string trace = testing::internal::GetCapturedStderr();
    ::unsetenv("FR_FUZZ_VERBOSE");
    return trace;
}

// The same method and session kind as the seed (its last two bytes pick them),
// with a text the XML parser refuses before any exchange.
std::string Refused(const std::string& seed) {
    return "<" + seed.substr(seed.size() - 2);
}

TEST(FuzzRegressionHostXmlSession, SeedsAnswerAlikeWhateverCameBefore) {
    const fs::path dir = fs::path(FR_FUZZ_CORPUS_DIR) / "fuzz_host_xml";
    size_t withRequests = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string seed = Bytes(entry.path());
        if (seed.size() < 3) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string first = Trace(seed);
        ASSERT_FALSE(first.empty());
        if (first.find(" -> ") != std::string::npos) ++withRequests;

        // After the same input: the register it changed must not serve again.
        EXPECT_EQ(Trace(seed), first);
        // After refused inputs, which leave their session to the next one.
        const std::string refused = Trace(Refused(seed));
        EXPECT_EQ(refused.find(" -> "), std::string::npos) << refused;
        EXPECT_EQ(Trace(Refused(seed)), refused);
        EXPECT_EQ(Trace(seed), first);
    }
    // Receipts, shifts and reports reach the register: the check means something.
    EXPECT_GE(withRequests, 5u);
}

}  // namespace
}  // namespace fr::fuzz
