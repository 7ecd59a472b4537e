#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "platform/files.h"
#include "platform_test_util.h"

namespace fr {
namespace {

class PlatformIniFile : public ::testing::Test {
  protected:
    std::string Content() {
        std::string bytes;
        EXPECT_TRUE(ReadFileContent(path_, bytes));
        return bytes;
    }
    test::ScratchDir dir_;
    std::u16string path_ = dir_ / "default.sts";
};

TEST_F(PlatformIniFile, MissingFileOrKeyGivesTheDefault) {
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"Port", u"def"), u"def");
    ini.WriteString(u"SETTINGS", u"Other", u"1");
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"Port", u"def"), u"def");
    EXPECT_EQ(ini.ReadString(u"OTHER", u"Other", u""), u"");
    EXPECT_EQ(ini.FileName(), path_);
}

TEST_F(PlatformIniFile, WritesCrLfLinesInUtf8AndReadsThemBack) {
    IniFile ini(path_);
    ini.WriteString(u"SETTINGS", u"PortNumber", u"9999");
    ini.WriteString(u"SETTINGS", u"Кассир", u"Иванов И.И.");
    ini.WriteString(u"SETTINGS", u"Empty", u"");
    EXPECT_EQ(Content(),
              "[SETTINGS]\r\nPortNumber=9999\r\n\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB8"
              "\xD1\x80=\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2 "
              "\xD0\x98.\xD0\x98.\r\nEmpty=\r\n");
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"кассир", u"?"), u"Иванов И.И.");
    EXPECT_EQ(ini.ReadString(u"settings", u"PORTNUMBER", u"?"), u"9999");
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"Empty", u"?"), u"");
}

TEST_F(PlatformIniFile, ReplacesValuesInPlaceAndKeepsOtherSections) {
    ReplaceFileContent(path_, "; comment\n[A]\nKey = old value\n\n[SETTINGS]\nX=1\n\n[B]\nKey=b\n");
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString(u"A", u"key", u""), u"old value");  // blanks dropped, as on Windows
    ini.WriteString(u"a", u"KEY", u"new");
    ini.WriteString(u"SETTINGS", u"Y", u"2");
    ini.WriteString(u"C", u"Z", u"3");
    EXPECT_EQ(Content(),
              "; comment\r\n[A]\r\nKey =new\r\n\r\n[SETTINGS]\r\nX=1\r\nY=2\r\n\r\n[B]\r\nKey=b\r\n"
              "[C]\r\nZ=3\r\n");
    EXPECT_EQ(ini.ReadString(u"B", u"Key", u""), u"b");
    EXPECT_EQ(ini.ReadString(u"C", u"Z", u""), u"3");
}

TEST_F(PlatformIniFile, RefusesEntriesThatWouldBreakTheFile) {
    IniFile ini(path_);
    ini.WriteString(u"SETTINGS", u"A", u"1");
    EXPECT_THROW(ini.WriteString(u"SETTINGS", u"B", u"line\nInjected=1"), EOSError);
    EXPECT_THROW(ini.WriteString(u"SETTINGS", u"B=C", u"1"), EOSError);
    EXPECT_THROW(ini.WriteString(u"SET]TINGS", u"B", u"1"), EOSError);
    EXPECT_THROW(ini.WriteString(u"SETTINGS", u"", u"1"), EOSError);
    EXPECT_EQ(Content(), "[SETTINGS]\r\nA=1\r\n");
    // "\n" as two characters is ordinary text.
    ini.WriteString(u"SETTINGS", u"B", u"a\\nb");
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"B", u""), u"a\\nb");
}

TEST_F(PlatformIniFile, AHandEditedFileReadsTrimmedAndOnce) {
    ASSERT_NO_THROW(ReplaceFileContent(
        path_,
        "[Other]\r\nPassword=x\r\n[ SETTINGS ]\r\n  ConnectionPassword = KVMT \r\n"
        "connectionpassword=second\r\n;Note=1\r\nEmpty=\r\n"));
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString(u"SETTINGS", u"ConnectionPassword", u"?"), u"KVMT");
    const std::vector<TIniEntry> entries = ini.ReadSection(u"settings");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Key, u"ConnectionPassword");
    EXPECT_EQ(entries[0].Value, u"KVMT");
    EXPECT_EQ(entries[1].Key, u"Empty");
    EXPECT_EQ(entries[1].Value, u"");
    EXPECT_TRUE(IniFile(dir_ / "none.sts").ReadSection(u"SETTINGS").empty());
}

TEST_F(PlatformIniFile, ASectionIsWrittenWholeOrNotAtAll) {
    IniFile ini(path_);
    ini.WriteString(u"SETTINGS", u"A", u"old");
    ini.WriteSection(u"SETTINGS", {{u"a", u"1"}, {u"B", u"2"}});
    EXPECT_EQ(Content(), "[SETTINGS]\r\nA=1\r\nB=2\r\n");
    EXPECT_THROW(ini.WriteSection(u"SETTINGS", {{u"A", u"3"}, {u"C", u"bad\nline"}}), EOSError);
    EXPECT_EQ(Content(), "[SETTINGS]\r\nA=1\r\nB=2\r\n");
}

TEST_F(PlatformIniFile, WritingIntoAMissingFolderRaises) {
    IniFile ini(dir_ / "missing/x.sts");
    EXPECT_THROW(ini.WriteString(u"SETTINGS", u"A", u"1"), EOSError);
}

}  // namespace
}  // namespace fr
