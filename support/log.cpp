#include "support/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/module.h"
#include "platform/text.h"
#include "support/common_utils.h"
#include "support/texts.h"

namespace fr {
namespace {

// Shared by every driver object of the process. The level and the banner flag are
// atomics and the name has its own small lock, so that a driver connecting on one
// thread never tears a value another thread is reading.
std::atomic<uint8_t> gLogLevel{0};
std::atomic<bool> gLogStarted{false};
std::mutex gNameLock;
std::u16string gLogFileName;
// The log lock: held around the file append only.
std::mutex gLogLock;
// Serialises banner writers so that threads starting together write one banner.
std::mutex gStartLock;
std::once_flag gStopRegistered;
// Lines (and banners) that could not be written; only for diagnosis and tests.
std::atomic<uint64_t> gDroppedLines{0};
std::atomic<TLog::TLineSink> gLineSink{nullptr};

constexpr char16_t kBannerRule[] = u"                                        ";  // 40 blanks
constexpr char16_t kStopBanner[] = u"============Stop log===============\r\n";

const char16_t* MsgTypeName(TLog::TMsgType type) {
    switch (type) {
        case TLog::mtInfo:
            return u"INFO";
        case TLog::mtDebug:
            return u"DEBUG";
        case TLog::mtError:
            return u"ERROR";
    }
    return u"";
}

bool LevelWrites(uint8_t level, TLog::TMsgType type) {
    switch (level) {
        case 1:
            return type == TLog::mtError;
        case 2:
            return type == TLog::mtInfo || type == TLog::mtError;
        case 3:
            return type == TLog::mtInfo || type == TLog::mtDebug || type == TLog::mtError;
        default:
            return false;
    }
}

// Levels above 3 write nothing at all, banners included.
bool LevelWritesAnything(uint8_t level) {
    return level >= 1 && level <= 3;
}

std::u16string ModuleVersionText() {
    FileVersion v;
    if (!GetModuleFileVersion(u"", v)) v = FileVersion{};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", v.Major, v.Minor, v.Release, v.Build);
    return AsciiToUtf16(buf);
}

// Appends whole lines: one call, one open-write-close of the file under the lock.
void AppendLines(std::u16string_view text) {
    if (const TLog::TLineSink sink = gLineSink.load()) {
        try {
            sink(text);
        } catch (...) {
            // Only a copy for a console: it may not stop the file write.
        }
    }
    const std::u16string path = TLog::GetAbsolutePath(false);
    const std::string bytes = Utf16ToUtf8(text);
    std::lock_guard<std::mutex> lock(gLogLock);
    AppendToFile(path, bytes);
}

void AppendLine(std::u16string_view text) {
    std::u16string line(text);
    line += u"\r\n";
    AppendLines(line);
}

void StopAtExit() {
    TLog::Stop();
}

}  // namespace

uint8_t TLog::LogLevel() {
    return gLogLevel.load();
}

void TLog::SetLogLevel(uint8_t level) {
    gLogLevel.store(level);
}

std::u16string TLog::LogFileName() {
    std::lock_guard<std::mutex> lock(gNameLock);
    return gLogFileName;
}

void TLog::SetLogFileName(std::u16string name) {
    std::lock_guard<std::mutex> lock(gNameLock);
    gLogFileName = std::move(name);
}

bool TLog::LogStarted() {
    return gLogStarted.load();
}

void TLog::SetLineSink(TLineSink sink) {
    gLineSink.store(sink);
}

void TLog::ResetForTests() {
    gLogStarted.store(false);
}

void TLog::Append(std::u16string_view ACaption, std::u16string_view AMessage,
                  TMsgType AMsgType) noexcept {
    if (!LevelWrites(LogLevel(), AMsgType)) return;
    try {
        Start();
        AppendLine(FormatLogString(ACaption, AMessage, AMsgType));
    } catch (...) {
        // A line that cannot be written is dropped: the log is only diagnostic
        // and must never fail or change the operation that writes it.
        gDroppedLines.fetch_add(1);
    }
}

void TLog::AppendAlways(std::u16string_view ACaption, std::u16string_view AMessage,
                        TMsgType AMsgType) noexcept {
    try {
        Start();
        AppendLine(FormatLogString(ACaption, AMessage, AMsgType));
    } catch (...) {
        gDroppedLines.fetch_add(1);
    }
}

void TLog::Start() noexcept {
    try {
        WriteStartBanner();
    } catch (...) {
        // The banner is tried again before the next line.
        gDroppedLines.fetch_add(1);
    }
}

void TLog::WriteStartBanner() {
    if (!LevelWritesAnything(LogLevel()) || gLogStarted.load()) return;
    std::lock_guard<std::mutex> lock(gStartLock);
    if (gLogStarted.load()) return;
    // The six lines go out as one append, so no other line can land inside them.
    std::u16string banner;
    banner += kBannerRule;
    banner += u"\r\n============Start log=============\r\n";
    banner += u"OS version:\t" + OsVersionText() + u"\r\n";
    banner += u"Application:\t" + ExtractFileName(ModuleFileName()) + u"\r\n";
    banner += u"App. version:\t" + ModuleVersionText() + u"\r\n";
    banner += kBannerRule;
    banner += u"\r\n";
    AppendLines(banner);
    gLogStarted.store(true);
    // Registered after the first banner: everything the stop banner needs was set up
    // before it, so it runs at unload while all of that still exists.
    std::call_once(gStopRegistered, [] { std::atexit(StopAtExit); });
}

void TLog::Stop() noexcept {
    if (!LevelWritesAnything(LogLevel()) || !gLogStarted.load()) return;
    try {
        AppendLine(kStopBanner);
    } catch (...) {
        gDroppedLines.fetch_add(1);
    }
}

uint64_t TLog::DroppedLines() {
    return gDroppedLines.load();
}

std::u16string TLog::FormatLogString(std::u16string_view ACaption, std::u16string_view AMessage,
                                     TMsgType AMsgType) {
    std::u16string line = FormatDateTime(u"yyyy.mm.dd hh:nn:ss.zzz", Now());
    line += u'\t';
    line += MsgTypeName(AMsgType);
    line += u'\t';
    line += Trim(ACaption);
    if (!AMessage.empty()) {
        line += u": \t";
        line += Trim(AMessage);
    }
    return line;
}

std::u16string TLog::GetAbsolutePath(bool AOnlyDirectory) {
    const std::u16string name = LogFileName();
    if (IsAbsolutePath(name)) {
        return AOnlyDirectory ? IncludeTrailingPathDelimiter(ExtractFileDir(name)) : name;
    }
    // A relative name only gives the base: the file always lands in the shared folder.
    std::u16string base = ChangeFileExt(ExtractFileName(name), u"");
    if (base.empty()) base = ChangeFileExt(ExtractFileName(ModuleFileName()), u"");
    const std::u16string common = GetCommonAppDataFolder();
    if (common.empty()) {
        throw EOSError(std::u16string(texts::kNoLogFolder));
    }
    const std::u16string folder = common + base + PathDelimiter();
    if (!DirectoryExists(folder)) {
        ForceDirectories(folder);
        GrantEveryoneFullAccess(folder);
    }
    if (AOnlyDirectory) return folder;
    return folder + base + u"_" + FormatDateTime(u"yyyy.mm.dd", Now()) + u".log";
}

void TLog::WriteTextFile(std::u16string_view AFileName, std::u16string_view AText) noexcept {
    if (!LevelWritesAnything(LogLevel())) return;
    try {
        // Only the file name counts: the file stays inside the log folder.
        ReplaceFileContent(GetAbsolutePath(true) + ExtractFileName(AFileName), Utf16ToUtf8(AText));
    } catch (...) {
        gDroppedLines.fetch_add(1);
    }
}

}  // namespace fr
