#pragma once
// The driver's diagnostic log: daily UTF-8 files of typed lines, with a start
// banner at the head of each file a process writes and a stop banner at unload.
//
// Each component object has its own log context (TContext): its level, from its
// own WriteLog and DebugLogEnabled; a tag that marks its lines; the folder of its
// daily files and how many days they are kept. The component object makes its
// context current on the calling thread for the length of each host call (TScope),
// so every line written inside the call, down to the bytes on the link, obeys the
// object that made the call. A line written with no context current, or by an
// object that has not yet set a level or folder of its own, obeys the
// process-wide settings (SetLogLevel, SetLogFileName).
//
// A line goes to the file of the day it is written. Files of a context's folder
// older than its retention are removed when it opens and at its first line of
// each new day: only plain files named "<base>_yyyy.mm.dd.log", never a link.
//
// Writing never fails the caller: a line (or banner) that cannot be written (the
// path taken by a folder, a full disk, no permission) is dropped, and the next
// line tries again. Only GetAbsolutePath raises (the path cannot be formed).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace fr {

class TLog {
  public:
    enum TMsgType : uint8_t { mtInfo = 0, mtDebug = 1, mtError = 2 };

    struct TContextState;

    // One object's own log settings. Safe to read and set from any thread.
    class TContext {
      public:
        TContext();
        ~TContext();
        TContext(const TContext&) = delete;
        TContext& operator=(const TContext&) = delete;

        // WriteLog, taken at each connection, and DebugLogEnabled, taken when set:
        // DebugLogEnabled true writes every type; else WriteLog true writes
        // information and errors; else nothing. Until the object has set either,
        // its lines obey the process-wide level.
        void SetWriteLog(bool AOn);
        void SetDebugLog(bool AOn);
        uint8_t Level() const;
        // Ends the timestamp of each of the object's lines ("#2"); empty for none.
        void SetTag(std::u16string ATag);
        std::u16string Tag() const;
        // The folder (with its trailing delimiter) of the daily files
        // "<ABase>_yyyy.mm.dd.log", and the days they are kept (0: every one).
        // Until a folder is set, the object writes the process-wide file.
        void SetFolder(std::u16string AFolder, std::u16string ABase, int32_t ARetentionDays);
        std::u16string Folder() const;

      private:
        friend class TLog;
        std::shared_ptr<TContextState> FState;
    };

    // Makes a context current on this thread until the scope ends; scopes nest,
    // and a null context leaves the current one as it is.
    class TScope {
      public:
        explicit TScope(TContext* AContext) noexcept;
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

      private:
        TContextState* FPrevious;
        // Keeps the context alive while current, even when its object goes first.
        std::shared_ptr<TContextState> FHeld;
    };

    static void Append(std::u16string_view ACaption, std::u16string_view AMessage,
                       TMsgType AMsgType) noexcept;
    // A line whatever the level says (a fact nobody may miss), into the file the
    // current context writes; with a banner when the file has none yet.
    static void AppendAlways(std::u16string_view ACaption, std::u16string_view AMessage,
                             TMsgType AMsgType) noexcept;
    // The start banner into the current file, when the level writes anything and
    // the file has none from this process yet.
    static void Start() noexcept;
    static void Stop() noexcept;
    // Removes the current context's files older than its retention (nothing for
    // the process-wide file, whose folder is not the driver's own).
    static void RemoveOldFiles() noexcept;
    static std::u16string FormatLogString(std::u16string_view ACaption,
                                          std::u16string_view AMessage, TMsgType AMsgType);
    static std::u16string GetAbsolutePath(bool AOnlyDirectory);
    static void WriteTextFile(std::u16string_view AFileName, std::u16string_view AText) noexcept;

    // The process-wide level: 0 nothing, 1 errors, 2 info and errors, 3 everything;
    // above 3 nothing.
    static uint8_t LogLevel();
    static void SetLogLevel(uint8_t level);
    static std::u16string LogFileName();
    static void SetLogFileName(std::u16string name);
    // Whether this process has written a start banner (into any file).
    static bool LogStarted();
    // The level the current context (or the process) writes at.
    static uint8_t CurrentLevel();
    // mtInfo for a step that succeeded, mtError for one that failed.
    static TMsgType MsgTypeBySuccess(bool success) { return success ? mtInfo : mtError; }

    // Lines and banners dropped so far in this process because they could not be written.
    static uint64_t DroppedLines();
    // A copy of each line as it is written, for a console; nullptr for none. The
    // sink must not raise; whatever it does, the file write goes on.
    using TLineSink = void (*)(std::u16string_view line);
    static void SetLineSink(TLineSink sink);

    // Tests only: forget the banners so that files get them again.
    static void ResetForTests();

  private:
    static void Write(std::u16string_view ACaption, std::u16string_view AMessage,
                      TMsgType AMsgType);
};

}  // namespace fr
