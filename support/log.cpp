#include "support/log.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
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

// Every field is read by the threads that write the object's lines and set by
// the thread of its host calls: the flags are atomics, the rest sits behind Lock.
struct TLog::TContextState : std::enable_shared_from_this<TLog::TContextState> {
    // -1 not set by the object yet, 0 off, 1 on.
    std::atomic<int8_t> WriteLog{-1};
    std::atomic<int8_t> DebugLog{-1};
    mutable std::mutex Lock;
    std::u16string Tag;
    std::u16string Folder;
    std::u16string Base;
    int32_t RetentionDays = 0;
    // The day of the context's last line or clean-up; 0 before the first.
    int32_t LastDay = 0;
};

namespace {

using TContextState = TLog::TContextState;

// The process-wide settings: those of lines written outside any object and of
// objects that have not set their own. The level is an atomic and the name has
// its own small lock, so that a setter on one thread never tears a value another
// thread is reading.
std::atomic<uint8_t> gLogLevel{0};
std::mutex gNameLock;
std::u16string gLogFileName;
// The log lock: held around the file append only.
std::mutex gLogLock;
// Serialises banner writers, so that threads starting a file together write one
// banner, and guards what the banners and the stop banner keep.
std::mutex gStartLock;
std::set<std::u16string> gBannered;
// Where the last line went and whose level it obeyed: the stop banner goes there.
std::u16string gLastPath;
std::shared_ptr<TContextState> gLastWriter;
std::once_flag gStopRegistered;
// Lines (and banners) that could not be written; only for diagnosis and tests.
std::atomic<uint64_t> gDroppedLines{0};
std::atomic<TLog::TLineSink> gLineSink{nullptr};

// The context of the host call running on this thread, if any.
thread_local TContextState* tCurrent = nullptr;

constexpr char16_t kBannerRule[] = u"                                        ";  // 40 blanks
constexpr char16_t kStopBanner[] = u"============Stop log===============\r\n";
constexpr std::u16string_view kDayFormat = u"yyyy.mm.dd";
constexpr std::u16string_view kLogExtension = u".log";

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

uint8_t LevelOf(const TContextState* state) {
    if (state == nullptr) return gLogLevel.load();
    const int8_t debug = state->DebugLog.load();
    const int8_t write = state->WriteLog.load();
    if (debug == 1) return 3;
    if (debug < 0 && write < 0) return gLogLevel.load();
    return write == 1 ? 2 : 0;
}

int32_t DayOf(TDateTime when) {
    return static_cast<int32_t>(std::floor(when));
}

std::u16string DayFileName(std::u16string_view base, TDateTime when) {
    return std::u16string(base) + u"_" + FormatDateTime(kDayFormat, when) +
           std::u16string(kLogExtension);
}

// The file (or folder) of the process-wide settings for a line written at `when`.
std::u16string ProcessPath(TDateTime when, bool onlyDirectory) {
    const std::u16string name = TLog::LogFileName();
    if (IsAbsolutePath(name)) {
        return onlyDirectory ? IncludeTrailingPathDelimiter(ExtractFileDir(name)) : name;
    }
    // A relative name only gives the base: the file always lands in the shared folder.
    std::u16string base = ChangeFileExt(ExtractFileName(name), u"");
    if (base.empty()) base = ChangeFileExt(ExtractFileName(ModuleFileName()), u"");
    const std::u16string common = GetCommonAppDataFolder();
    if (common.empty()) {
        throw EOSError(std::u16string(texts::kNoLogFolder));
    }
    std::u16string folder = common + base + PathDelimiter();
    if (!DirectoryExists(folder)) {
        ForceDirectories(folder);
        GrantEveryoneFullAccess(folder);
    }
    if (onlyDirectory) return folder;
    return folder + DayFileName(base, when);
}

std::u16string PathOf(const TContextState* state, TDateTime when, bool onlyDirectory) {
    if (state != nullptr) {
        std::lock_guard<std::mutex> lock(state->Lock);
        if (!state->Folder.empty()) {
            return onlyDirectory ? state->Folder : state->Folder + DayFileName(state->Base, when);
        }
    }
    return ProcessPath(when, onlyDirectory);
}

std::u16string TagOf(const TContextState* state) {
    if (state == nullptr) return std::u16string();
    std::lock_guard<std::mutex> lock(state->Lock);
    return state->Tag;
}

// "<base>_yyyy.mm.dd.log" gives its day; anything else is not one of the files.
bool DayOfFileName(std::u16string_view name, std::u16string_view base, int32_t& day) {
    const size_t dateAt = base.size() + 1;
    if (name.size() != dateAt + kDayFormat.size() + kLogExtension.size()) return false;
    if (name.substr(0, base.size()) != base || name[base.size()] != u'_') return false;
    if (name.substr(dateAt + kDayFormat.size()) != kLogExtension) return false;
    const std::u16string_view date = name.substr(dateAt, kDayFormat.size());
    int parts[3] = {0, 0, 0};
    int part = 0;
    for (size_t i = 0; i < date.size(); ++i) {
        const char16_t c = date[i];
        if (i == 4 || i == 7) {
            if (c != u'.') return false;
            ++part;
        } else if (c >= u'0' && c <= u'9') {
            parts[part] = parts[part] * 10 + (c - u'0');
        } else {
            return false;
        }
    }
    TDateTime value = 0;
    if (!TryEncodeDate(parts[0], parts[1], parts[2], value)) return false;
    day = DayOf(value);
    return true;
}

// The day files of `folder` more than `days` days before `today`.
void RemoveFilesBefore(const std::u16string& folder, const std::u16string& base, int32_t days,
                       int32_t today) {
    if (days <= 0 || folder.empty() || base.empty()) return;
    for (const std::u16string& name : ListPlainFiles(folder)) {
        int32_t day = 0;
        if (DayOfFileName(name, base, day) && today - day > days) RemoveFileEntry(folder + name);
    }
}

// Clean-up of the context's folder when its day has changed since its last line.
void CleanUpOnNewDay(TContextState* state, TDateTime when) {
    if (state == nullptr) return;
    std::u16string folder, base;
    int32_t days = 0;
    const int32_t today = DayOf(when);
    {
        std::lock_guard<std::mutex> lock(state->Lock);
        if (state->Folder.empty() || state->LastDay == today) return;
        const bool newDay = state->LastDay != 0;
        state->LastDay = today;
        if (!newDay) return;
        folder = state->Folder;
        base = state->Base;
        days = state->RetentionDays;
    }
    RemoveFilesBefore(folder, base, days, today);
}

std::u16string ModuleVersionText() {
    FileVersion v;
    if (!GetModuleFileVersion(u"", v)) v = FileVersion{};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", v.Major, v.Minor, v.Release, v.Build);
    return AsciiToUtf16(buf);
}

// Appends whole lines: one call, one open-write-close of the file under the lock.
void AppendLines(const std::u16string& path, std::u16string_view text) {
    if (const TLog::TLineSink sink = gLineSink.load()) {
        try {
            sink(text);
        } catch (...) {
            // Only a copy for a console: it may not stop the file write.
        }
    }
    const std::string bytes = Utf16ToUtf8(text);
    std::lock_guard<std::mutex> lock(gLogLock);
    AppendToFile(path, bytes);
}

void StopAtExit() {
    TLog::Stop();
}

// The six banner lines at the head of a file this process has not written yet;
// raises when they cannot be written (the next line tries again).
void EnsureBanner(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(gStartLock);
    if (gBannered.count(path) != 0) return;
    // The six lines go out as one append, so no other line can land inside them.
    std::u16string banner;
    banner += kBannerRule;
    banner += u"\r\n============Start log=============\r\n";
    banner += u"OS version:\t" + OsVersionText() + u"\r\n";
    banner += u"Application:\t" + ExtractFileName(ModuleFileName()) + u"\r\n";
    banner += u"App. version:\t" + ModuleVersionText() + u"\r\n";
    banner += kBannerRule;
    banner += u"\r\n";
    AppendLines(path, banner);
    gBannered.insert(path);
    // Registered after the first banner: everything the stop banner needs was set up
    // before it, so it runs at unload while all of that still exists.
    std::call_once(gStopRegistered, [] { std::atexit(StopAtExit); });
}

void RememberLastLine(const std::u16string& path, TContextState* state) {
    std::shared_ptr<TContextState> writer = state ? state->shared_from_this() : nullptr;
    std::lock_guard<std::mutex> lock(gStartLock);
    gLastPath = path;
    gLastWriter.swap(writer);
}

std::u16string FormatLine(std::u16string_view ACaption, std::u16string_view AMessage,
                          TLog::TMsgType AMsgType, TDateTime AWhen, std::u16string_view ATag) {
    std::u16string line = FormatDateTime(u"yyyy.mm.dd hh:nn:ss.zzz", AWhen);
    if (!ATag.empty()) {
        line += u' ';
        line += ATag;
    }
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

}  // namespace

// ---- TContext

TLog::TContext::TContext() : FState(std::make_shared<TContextState>()) {}

TLog::TContext::~TContext() = default;

void TLog::TContext::SetWriteLog(bool AOn) {
    FState->WriteLog.store(AOn ? 1 : 0);
}

void TLog::TContext::SetDebugLog(bool AOn) {
    FState->DebugLog.store(AOn ? 1 : 0);
}

uint8_t TLog::TContext::Level() const {
    return LevelOf(FState.get());
}

void TLog::TContext::SetTag(std::u16string ATag) {
    std::lock_guard<std::mutex> lock(FState->Lock);
    FState->Tag = std::move(ATag);
}

std::u16string TLog::TContext::Tag() const {
    return TagOf(FState.get());
}

void TLog::TContext::SetFolder(std::u16string AFolder, std::u16string ABase,
                               int32_t ARetentionDays) {
    std::lock_guard<std::mutex> lock(FState->Lock);
    if (FState->Folder != AFolder || FState->Base != ABase) FState->LastDay = 0;
    FState->Folder = std::move(AFolder);
    FState->Base = std::move(ABase);
    FState->RetentionDays = ARetentionDays < 0 ? 0 : ARetentionDays;
}

std::u16string TLog::TContext::Folder() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Folder;
}

TLog::TScope::TScope(TContext* AContext) noexcept : FPrevious(tCurrent) {
    if (AContext == nullptr) return;
    FHeld = AContext->FState;
    tCurrent = FHeld.get();
}

TLog::TScope::~TScope() {
    if (FHeld) tCurrent = FPrevious;
}

// ---- Process-wide settings

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
    std::lock_guard<std::mutex> lock(gStartLock);
    return !gBannered.empty();
}

uint8_t TLog::CurrentLevel() {
    return LevelOf(tCurrent);
}

void TLog::SetLineSink(TLineSink sink) {
    gLineSink.store(sink);
}

void TLog::ResetForTests() {
    std::lock_guard<std::mutex> lock(gStartLock);
    gBannered.clear();
    gLastPath.clear();
    gLastWriter.reset();
}

// ---- Writing

void TLog::Append(std::u16string_view ACaption, std::u16string_view AMessage,
                  TMsgType AMsgType) noexcept {
    if (!LevelWrites(LevelOf(tCurrent), AMsgType)) return;
    try {
        Write(ACaption, AMessage, AMsgType);
    } catch (...) {
        // A line that cannot be written is dropped: the log is only diagnostic
        // and must never fail or change the operation that writes it.
        gDroppedLines.fetch_add(1);
    }
}

void TLog::AppendAlways(std::u16string_view ACaption, std::u16string_view AMessage,
                        TMsgType AMsgType) noexcept {
    try {
        Write(ACaption, AMessage, AMsgType);
    } catch (...) {
        gDroppedLines.fetch_add(1);
    }
}

void TLog::Write(std::u16string_view ACaption, std::u16string_view AMessage, TMsgType AMsgType) {
    TContextState* const state = tCurrent;
    // One reading of the clock: the line's time and the day of its file agree.
    const TDateTime when = Now();
    const std::u16string path = PathOf(state, when, false);
    CleanUpOnNewDay(state, when);
    EnsureBanner(path);
    std::u16string line = FormatLine(ACaption, AMessage, AMsgType, when, TagOf(state));
    line += u"\r\n";
    AppendLines(path, line);
    RememberLastLine(path, state);
}

void TLog::Start() noexcept {
    TContextState* const state = tCurrent;
    if (!LevelWritesAnything(LevelOf(state))) return;
    try {
        EnsureBanner(PathOf(state, Now(), false));
    } catch (...) {
        // The banner is tried again before the next line.
        gDroppedLines.fetch_add(1);
    }
}

void TLog::Stop() noexcept {
    try {
        std::u16string path;
        std::shared_ptr<TContextState> writer;
        {
            std::lock_guard<std::mutex> lock(gStartLock);
            if (gBannered.empty() || gLastPath.empty()) return;
            path = gLastPath;
            writer = gLastWriter;
        }
        if (!LevelWritesAnything(LevelOf(writer.get()))) return;
        // Written as one line: with its own line end it is followed by an empty line.
        AppendLines(path, std::u16string(kStopBanner) + u"\r\n");
    } catch (...) {
        gDroppedLines.fetch_add(1);
    }
}

void TLog::RemoveOldFiles() noexcept {
    TContextState* const state = tCurrent;
    if (state == nullptr) return;
    try {
        std::u16string folder, base;
        int32_t days = 0;
        const int32_t today = DayOf(Now());
        {
            std::lock_guard<std::mutex> lock(state->Lock);
            folder = state->Folder;
            base = state->Base;
            days = state->RetentionDays;
            state->LastDay = today;
        }
        RemoveFilesBefore(folder, base, days, today);
    } catch (...) {
        // A file that cannot be removed now is tried again at the next clean-up.
    }
}

uint64_t TLog::DroppedLines() {
    return gDroppedLines.load();
}

std::u16string TLog::FormatLogString(std::u16string_view ACaption, std::u16string_view AMessage,
                                     TMsgType AMsgType) {
    return FormatLine(ACaption, AMessage, AMsgType, Now(), std::u16string_view());
}

std::u16string TLog::GetAbsolutePath(bool AOnlyDirectory) {
    return PathOf(tCurrent, Now(), AOnlyDirectory);
}

void TLog::WriteTextFile(std::u16string_view AFileName, std::u16string_view AText) noexcept {
    if (!LevelWritesAnything(CurrentLevel())) return;
    try {
        // Only the file name counts: the file stays inside the log folder.
        ReplaceFileContent(GetAbsolutePath(true) + ExtractFileName(AFileName), Utf16ToUtf8(AText));
    } catch (...) {
        gDroppedLines.fetch_add(1);
    }
}

}  // namespace fr
