#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "platform_test_util.h"

namespace fr {
namespace {

namespace fs = std::filesystem;

class PlatformFiles : public ::testing::Test {
  protected:
    test::ScratchDir dir_;
};

TEST_F(PlatformFiles, AppendCreatesThenAppends) {
    const std::u16string path = dir_ / "a.log";
    AppendToFile(path, "one\r\n");
    AppendToFile(path, "two\r\n");
    AppendToFile(path, "");
    std::string content;
    ASSERT_TRUE(ReadFileContent(path, content));
    EXPECT_EQ(content, "one\r\ntwo\r\n");
    const auto perms = fs::status(dir_.Path() / "a.log").permissions();
    EXPECT_EQ(perms & fs::perms::others_write, fs::perms::none);
}

TEST_F(PlatformFiles, ConcurrentAppendsKeepWholeLines) {
    const std::u16string path = dir_ / "threads.log";
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&path, t] {
            // Lines of differing lengths, so that a torn line cannot pass for a whole one.
            const std::string tail(static_cast<size_t>(t * 7 + 1), static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                AppendToFile(
                    path, "T" + std::to_string(t) + " " + std::to_string(i) + " " + tail + "\r\n");
        });
    }
    for (auto& th : threads)
        th.join();
    std::string content;
    ASSERT_TRUE(ReadFileContent(path, content));
    std::map<int, int> nextOfThread;
    size_t start = 0, lines = 0;
    while (start < content.size()) {
        const size_t end = content.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without its end";
        const std::string line = content.substr(start, end - start);
        start = end + 2;
        ++lines;
        int t = -1, i = -1;
        char tail[256] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "T%d %d %255s", &t, &i, tail), 3) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(std::string(tail),
                  std::string(static_cast<size_t>(t * 7 + 1), static_cast<char>('a' + t)));
        // Each thread's lines arrive in its own order.
        EXPECT_EQ(i, nextOfThread[t]++) << line;
    }
    EXPECT_EQ(lines, static_cast<size_t>(kThreads * kLines));
}

TEST_F(PlatformFiles, AppendRefusesASymbolicLink) {
    const fs::path target = dir_.Path() / "target.txt";
    std::string content;
    ReplaceFileContent(dir_ / "target.txt", "secret");
    fs::create_symlink(target, dir_.Path() / "link.log");
    EXPECT_THROW(AppendToFile(dir_ / "link.log", "injected"), EOSError);
    ASSERT_TRUE(ReadFileContent(dir_ / "target.txt", content));
    EXPECT_EQ(content, "secret");
    // A dangling link must not create its target either.
    fs::create_symlink(dir_.Path() / "missing.txt", dir_.Path() / "dangling.log");
    EXPECT_THROW(AppendToFile(dir_ / "dangling.log", "x"), EOSError);
    EXPECT_FALSE(fs::exists(dir_.Path() / "missing.txt"));
}

TEST_F(PlatformFiles, AppendFailureCarriesTheSystemText) {
    try {
        AppendToFile(dir_ / "no/such/folder/file.log", "x");
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_NE(e.Message().find(u"file.log"), std::u16string::npos);
        EXPECT_GT(e.Message().size(), std::u16string(dir_ / "no/such/folder/file.log").size());
    }
}

TEST_F(PlatformFiles, ReplaceWritesWholeContentAndLeavesNoTemporaryFile) {
    const std::u16string path = dir_ / "data.txt";
    ReplaceFileContent(path, "first version, rather long");
    ReplaceFileContent(path, std::string("short\0binary", 12));
    std::string content;
    ASSERT_TRUE(ReadFileContent(path, content));
    EXPECT_EQ(content, std::string("short\0binary", 12));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_THROW(ReplaceFileContent(dir_ / "missing/data.txt", "x"), EOSError);
}

TEST_F(PlatformFiles, ReadingAMissingFileFails) {
    std::string content = "kept";
    EXPECT_FALSE(ReadFileContent(dir_ / "missing.txt", content));
    EXPECT_EQ(content, "kept");
    const std::u16string big = dir_ / "big.bin";
    const std::string bytes(300000, '\x5A');
    ReplaceFileContent(big, bytes);
    ASSERT_TRUE(ReadFileContent(big, content));
    EXPECT_EQ(content, bytes);
}

}  // namespace
}  // namespace fr
