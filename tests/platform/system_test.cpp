// Clock, system errors, own module, format settings of the system locale, window seam.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/format_settings.h"
#include "platform/module.h"
#include "platform/posix/lang_info.h"
#include "platform/system_error.h"
#include "platform/window.h"
#include "platform_test_util.h"

namespace fr {
namespace {

TEST(PlatformClock, NowIsTheLocalWallClock) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    const TDateTime expected = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
                               EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, 0);
    // Loose: the two readings may straddle a second or a slow moment.
    EXPECT_NEAR(Now(), expected, 60.0 / 86400.0);
}

TEST(PlatformClock, TicksMoveForwardAcrossASleep) {
    const uint32_t before = GetTickCount();
    SleepMs(50);
    const uint32_t elapsed = GetTickCount() - before;  // wraps like the counter
    EXPECT_GE(elapsed, 45u);
    EXPECT_LT(elapsed, 60000u);
}

TEST(PlatformSystemError, TextsOfSystemErrors) {
    errno = ENOENT;
    EXPECT_EQ(LastSystemError(), ENOENT);
    const std::u16string text = SystemErrorText(ENOENT);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, SystemErrorText(EACCES));
    EXPECT_FALSE(SystemErrorText(987654).empty());
}

TEST(PlatformModule, OwnModuleAndVersion) {
    const std::u16string self = ModuleFileName();
    ASSERT_TRUE(IsAbsolutePath(self));
    EXPECT_TRUE(FileExists(self));
    FileVersion v;
    ASSERT_TRUE(GetModuleFileVersion(u"", v));
    EXPECT_EQ(v.Major, FR_VERSION_MAJOR);
    EXPECT_EQ(v.Minor, FR_VERSION_MINOR);
    EXPECT_EQ(v.Release, FR_VERSION_PATCH);
    EXPECT_EQ(v.Build, FR_VERSION_BUILD);
    FileVersion other;
    EXPECT_TRUE(GetModuleFileVersion(self, other));
    EXPECT_FALSE(GetModuleFileVersion(u"/bin/sh", other));
}

TEST(PlatformModule, HostPathCanBeOverridden) {
    const std::u16string real = HostExecutablePath();
    EXPECT_EQ(real, SystemHostExecutablePath());
    EXPECT_TRUE(FileExists(real));
    SetHostExecutablePathOverride(u"C:\\Program Files\\1cv8\\bin\\1cv8.exe");
    EXPECT_EQ(HostExecutablePath(), u"C:\\Program Files\\1cv8\\bin\\1cv8.exe");
    SetHostExecutablePathOverride(u"");
    EXPECT_EQ(HostExecutablePath(), real);
}

TEST(PlatformModule, OsVersionTextNamesTheSystemAndItsRelease) {
    const std::u16string text = OsVersionText();
    const size_t open = text.find(u" (");
    ASSERT_NE(open, std::u16string::npos) << Utf16ToUtf8(text);
    EXPECT_GT(open, 0u);
    EXPECT_EQ(text.back(), u')');
    int dots = 0;
    for (size_t i = open + 2; i + 1 < text.size(); ++i) {
        if (text[i] == u'.')
            ++dots;
        else
            EXPECT_TRUE(text[i] >= u'0' && text[i] <= u'9') << Utf16ToUtf8(text);
    }
    EXPECT_EQ(dots, 2);
}

TEST(PlatformFormatSettings, SystemLocaleIsTranslatedToFrameworkPatterns) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    ::setenv("LC_ALL", "C", 1);
    const FormatSettings fs = SystemFormatSettings();
    if (old)
        ::setenv("LC_ALL", saved.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    EXPECT_EQ(fs.DecimalSeparator, u'.');
    EXPECT_EQ(fs.DateSeparator, u'/');
    EXPECT_EQ(fs.ShortDateFormat, u"mm/dd/yy");
    EXPECT_EQ(fs.TimeSeparator, u':');
    EXPECT_EQ(fs.LongTimeFormat, u"hh:nn:ss");
}

TEST(PlatformFormatSettings, StrftimeFormatsInFrameworkTokens) {
    const struct {
        const char16_t *radix, *dateFormat, *timeFormat;
        char16_t decimal, dateSeparator;
        const char16_t* shortDate;
        char16_t timeSeparator;
        const char16_t* longTime;
    } cases[] = {
        {u",", u"%d.%m.%Y", u"%T", u',', u'.', u"dd/mm/yyyy", u':', u"hh:nn:ss"},
        {u".", u"%m/%d/%Y", u"%r", u'.', u'/', u"mm/dd/yyyy", u':', u"hh:nn:ss"},
        {u".", u"%F", u"%H.%M.%S", u'.', u'-', u"yyyy/mm/dd", u'.', u"hh:nn:ss"},
        {u",", u"%e-%m-%y", u"%k:%M", u',', u'-', u"d/mm/yy", u':', u"h:nn"},
        {u".", u"%Y\u5e74%m\u6708%d\u65e5", u"%I:%M:%S %p", u'.', u'/',
         u"yyyy\"\u5e74\"mm\"\u6708\"dd\"\u65e5\"", u':', u"hh:nn:ss"},
        {u"", u"", u"", u'.', u'.', u"dd/mm/yyyy", u':', u"hh:nn:ss"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.dateFormat));
        const FormatSettings fs = SettingsFromLangInfo(c.radix, c.dateFormat, c.timeFormat);
        EXPECT_EQ(fs.DecimalSeparator, c.decimal);
        EXPECT_EQ(fs.DateSeparator, c.dateSeparator);
        EXPECT_EQ(fs.ShortDateFormat, c.shortDate);
        EXPECT_EQ(fs.TimeSeparator, c.timeSeparator);
        EXPECT_EQ(fs.LongTimeFormat, c.longTime);
    }
}

TEST(PlatformWindow, ErrorBoxGoesToTheHookAndNowhereElse) {
    std::u16string seenTitle, seenText;
    int calls = 0;
    SetMessageBoxHook([&](const std::u16string& title, const std::u16string& text) {
        seenTitle = title;
        seenText = text;
        ++calls;
    });
    ShowErrorBox(u"Ошибка", u"Текст");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenTitle, u"Ошибка");
    EXPECT_EQ(seenText, u"Текст");
    SetMessageBoxHook(nullptr);
    ShowErrorBox(u"Ошибка", u"Без окна");  // no box without windows, and no block
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(GetForegroundWindowHandle(), 0u);
}

}  // namespace
}  // namespace fr
