// The frhost executable end to end: options, standard input and output, exit code.
// Whatever driver classes the module registers, these answers hold.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace fr::test {
namespace {

class FrhostBinary : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("fr_frhost_bin_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Runs frhost with the arguments on the input; the exit status and the output lines.
    int Run(const std::string& args, const std::string& input, std::vector<std::string>& lines) {
        const auto in = dir_ / "in.txt";
        const auto out = dir_ / "out.txt";
        std::ofstream(in, std::ios::binary) << input;
        const std::string command = std::string("'") + FRHOST_EXECUTABLE + "' " + args + " < '" +
                                    in.string() + "' > '" + out.string() + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        std::ifstream result(out, std::ios::binary);
        std::string line;
        lines.clear();
        while (std::getline(result, line))
            lines.push_back(line);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string DataDirArg() const { return "--data-dir '" + dir_.string() + "'"; }

    std::filesystem::path dir_;
};

TEST_F(FrhostBinary, AnswersEveryLineAndEndsAtTheEndOfInput) {
    std::vector<std::string> lines;
    const std::string input =
        "{\"raw\": \"RegisterExtensionAs\"}\n"
        "this is not json\n"
        "{\"call\": \"NoSuchMethod\"}\r\n"
        "{\"raw\": \"GetInfo\"}";  // the last line has no line break
    ASSERT_EQ(Run(DataDirArg(), input, lines), 0);
    ASSERT_EQ(lines.size(), 4u);
    using nlohmann::json;
    EXPECT_EQ(json::parse(lines[0])["out"][0], json({{"vt", 8}, {"v", "fr_norvane1c83"}}));
    EXPECT_TRUE(json::parse(lines[1]).contains("error"));
    EXPECT_EQ(json::parse(lines[2]), json({{"call", "NoSuchMethod"}, {"num", -1}}));
    EXPECT_EQ(json::parse(lines[3])["out"][0]["v"][0], json({{"vt", 8}, {"v", "2000"}}));
}

TEST_F(FrhostBinary, HelpDocumentsTheProtocolAndBadOptionsFail) {
    std::vector<std::string> lines;
    ASSERT_EQ(Run("--help", "", lines), 0);
    std::string help;
    for (const auto& line : lines)
        help += line + "\n";
    for (const char* word : {"--platform", "--data-dir", "--native", "\"call\"", "\"proc\"",
                             "\"set\"", "\"get\"", "\"raw\"", "\"error\"", "\"vt\""}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(Run("--platform 6", "", lines), 2);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(Run("--bogus", "", lines), 2);
}

TEST_F(FrhostBinary, NativeNeedsALibraryThatLoads) {
    std::vector<std::string> lines;
    EXPECT_EQ(Run("--native", "", lines), 2);
    EXPECT_EQ(Run("--native ''", "", lines), 2);
    // A library that is not there: nothing is answered and the status says so.
    EXPECT_EQ(Run(DataDirArg() + " --native '" + (dir_ / "missing.so").string() + "'",
                  "{\"raw\": \"GetInfo\"}\n", lines),
              1);
    EXPECT_TRUE(lines.empty());
}

TEST_F(FrhostBinary, EmptyInputGivesNoOutput) {
    std::vector<std::string> lines;
    EXPECT_EQ(Run(DataDirArg() + " --platform 7.7", "", lines), 0);
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace fr::test
