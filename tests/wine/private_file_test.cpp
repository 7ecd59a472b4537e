// The record of a document of unknown outcome is trusted only when no other
// account could have written it: the private writer and reader on Windows' own
// security calls (under Wine, its implementation of them).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace fr {
namespace {

std::u16string TempFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, path);
    std::u16string folder(reinterpret_cast<const char16_t*>(path));
    folder += u"fr_private_test_" + AsciiToUtf16(std::to_string(GetCurrentProcessId())) + u"\\";
    ForceDirectories(folder);
    return folder;
}

TEST(PrivateFile, WrittenPrivatelyReadsBackAndAFolderGrantIsRefused) {
    const std::u16string folder = TempFolder();
    std::string bytes;
    std::u16string why;
    EXPECT_EQ(ReadPrivateFile(folder + u"missing.txt", bytes, why), TPrivateRead::prMissing);

    ReplacePrivateFileContent(folder + u"own.txt", "register=1\n");
    ASSERT_EQ(ReadPrivateFile(folder + u"own.txt", bytes, why), TPrivateRead::prRead)
        << Utf16ToUtf8(why);
    EXPECT_EQ(bytes, "register=1\n");

    // A file everybody may write (as one that took the log folder's grant) is not
    // private.
    const std::u16string shared = folder + u"shared.txt";
    ReplaceFileContent(shared, "register=1\n");
    GrantEveryoneFullAccess(shared);
    EXPECT_EQ(ReadPrivateFile(shared, bytes, why), TPrivateRead::prUntrusted);
    EXPECT_NE(Utf16ToUtf8(why).find("S-1-1-0"), std::string::npos) << Utf16ToUtf8(why);
    // The private writer replaces such a file with one of its own.
    ReplacePrivateFileContent(folder + u"shared.txt", "register=2\n");
    EXPECT_EQ(ReadPrivateFile(folder + u"shared.txt", bytes, why), TPrivateRead::prRead)
        << Utf16ToUtf8(why);
}

}  // namespace
}  // namespace fr
