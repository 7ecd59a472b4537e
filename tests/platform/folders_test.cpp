#include "platform/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/exception.h"
#include "platform_test_util.h"

namespace fr {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
  public:
    EnvGuard(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvGuard() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class PlatformFolders : public ::testing::Test {
  protected:
    test::ScratchDir dir_;
};

TEST_F(PlatformFolders, CommonDataFolderComesFromTheEnvironmentAndIsCreated) {
    const fs::path common = dir_.Path() / "common" / "data";
    EnvGuard env("FR_COMMON_APPDATA", common.string() + "/");
    const std::u16string folder = SystemSpecialFolder(CSIDL_COMMON_APPDATA_CODE);
    EXPECT_EQ(folder, Utf8ToUtf16(common.string()));
    EXPECT_TRUE(fs::is_directory(common));
}

TEST_F(PlatformFolders, RelativeCommonDataFolderIsTakenFromTheCurrentDirectory) {
    const fs::path saved = fs::current_path();
    fs::current_path(dir_.Path());
    std::u16string folder;
    {
        EnvGuard env("FR_COMMON_APPDATA", "relative/data");
        folder = SystemSpecialFolder(CSIDL_COMMON_APPDATA_CODE);
    }
    fs::current_path(saved);
    EXPECT_TRUE(IsAbsolutePath(folder)) << Utf16ToUtf8(folder);
    EXPECT_TRUE(fs::equivalent(fs::path(Utf16ToUtf8(folder)), dir_.Path() / "relative" / "data"));
}

TEST_F(PlatformFolders, UserDataFolderFollowsXdgThenHome) {
    {
        EnvGuard xdg("XDG_DATA_HOME", (dir_.Path() / "xdg").string());
        EXPECT_EQ(SystemSpecialFolder(CSIDL_APPDATA_CODE), dir_ / "xdg");
        EXPECT_TRUE(fs::is_directory(dir_.Path() / "xdg"));
    }
    EnvGuard xdg("XDG_DATA_HOME", "");
    EnvGuard home("HOME", (dir_.Path() / "home").string());
    EXPECT_EQ(SystemSpecialFolder(CSIDL_APPDATA_CODE), dir_ / "home/.local/share");
    EXPECT_TRUE(fs::is_directory(dir_.Path() / "home/.local/share"));
    // An empty FR_COMMON_APPDATA does not count.
    EnvGuard common("FR_COMMON_APPDATA", "");
    EXPECT_FALSE(SystemSpecialFolder(CSIDL_COMMON_APPDATA_CODE).empty());
    EXPECT_EQ(SystemSpecialFolder(12345), u"");
}

TEST_F(PlatformFolders, ForceDirectoriesMakesEveryLevel) {
    const std::u16string deep = dir_ / "a/b/c/";
    ForceDirectories(deep);
    EXPECT_TRUE(DirectoryExists(dir_ / "a/b/c"));
    ForceDirectories(deep);  // already there
    EXPECT_FALSE(CreateDir(dir_ / "a"));
    EXPECT_TRUE(CreateDir(dir_ / "a/d"));
    EXPECT_FALSE(CreateDir(dir_ / "x/y"));
    fs::create_directories(dir_.Path() / "f");
    {
        std::FILE* f = std::fopen((dir_.Path() / "file").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_TRUE(FileExists(dir_ / "file"));
    EXPECT_FALSE(DirectoryExists(dir_ / "file"));
    EXPECT_FALSE(FileExists(dir_ / "f"));
    EXPECT_FALSE(FileExists(u""));
    EXPECT_THROW(ForceDirectories(dir_ / "file/sub"), EOSError);
    EXPECT_THROW(ForceDirectories(u""), EOSError);
}

TEST_F(PlatformFolders, GrantEveryoneFullAccessMakesASharedStickyFolder) {
    const std::u16string shared = dir_ / "shared";
    ASSERT_TRUE(CreateDir(shared));
    GrantEveryoneFullAccess(shared);
    const fs::perms p = fs::status(dir_.Path() / "shared").permissions();
    EXPECT_EQ(p & fs::perms::mask, fs::perms::all | fs::perms::sticky_bit);
    EXPECT_THROW(GrantEveryoneFullAccess(dir_ / "missing"), EOSError);
}

TEST(PlatformPaths, Helpers) {
    EXPECT_EQ(PathDelimiter(), u'/');
    EXPECT_EQ(IncludeTrailingPathDelimiter(u"/var/lib"), u"/var/lib/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(u"/var/lib/"), u"/var/lib/");
    EXPECT_TRUE(IsAbsolutePath(u"/x"));
    EXPECT_FALSE(IsAbsolutePath(u"x/y"));
    EXPECT_FALSE(IsAbsolutePath(u""));
    const struct {
        const char16_t* path;
        const char16_t* name;
        const char16_t* dir;
        const char16_t* withExt;
    } cases[] = {
        {u"/var/log/fr.log", u"fr.log", u"/var/log", u"/var/log/fr.sts"},
        {u"fr", u"fr", u"", u"fr.sts"},
        {u"/fr.log", u"fr.log", u"/", u"/fr.sts"},
        {u"/a.b/file", u"file", u"/a.b", u"/a.b/file.sts"},
        {u"dir/", u"", u"dir", u"dir/.sts"},
        {u"/a/b.tar.gz", u"b.tar.gz", u"/a", u"/a/b.tar.sts"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFileName(c.path), c.name) << Utf16ToUtf8(c.path);
        EXPECT_EQ(ExtractFileDir(c.path), c.dir) << Utf16ToUtf8(c.path);
        EXPECT_EQ(ChangeFileExt(c.path, u".sts"), c.withExt) << Utf16ToUtf8(c.path);
    }
}

}  // namespace
}  // namespace fr
