#pragma once
// The driver's process-wide diagnostic log: a daily UTF-8 file of typed lines,
// with a start banner once per process and a stop banner at unload.
//
// Writing never fails the caller: a line (or banner) that cannot be written (the
// path taken by a folder, a full disk, no permission) is dropped, and the next
// line tries again. Only GetAbsolutePath raises (the path cannot be formed).

#include <cstdint>
#include <string>
#include <string_view>

namespace fr {

class TLog {
  public:
    enum TMsgType : uint8_t { mtInfo = 0, mtDebug = 1, mtError = 2 };

    static void Append(std::u16string_view ACaption, std::u16string_view AMessage,
                       TMsgType AMsgType) noexcept;
    // A line written whatever the level: what became of a document nobody may miss.
    static void AppendAlways(std::u16string_view ACaption, std::u16string_view AMessage,
                             TMsgType AMsgType) noexcept;
    static void Start() noexcept;
    static void Stop() noexcept;
    static std::u16string FormatLogString(std::u16string_view ACaption,
                                          std::u16string_view AMessage, TMsgType AMsgType);
    static std::u16string GetAbsolutePath(bool AOnlyDirectory);
    static void WriteTextFile(std::u16string_view AFileName, std::u16string_view AText) noexcept;

    // 0 nothing, 1 errors, 2 info and errors, 3 everything; above 3 nothing.
    static uint8_t LogLevel();
    static void SetLogLevel(uint8_t level);
    static std::u16string LogFileName();
    static void SetLogFileName(std::u16string name);
    static bool LogStarted();
    // mtInfo for a step that succeeded, mtError for one that failed.
    static TMsgType MsgTypeBySuccess(bool success) { return success ? mtInfo : mtError; }

    // Lines and banners dropped so far in this process because they could not be written.
    static uint64_t DroppedLines();
    // A copy of each line as it is written, for a console; nullptr for none. The
    // sink must not raise; whatever it does, the file write goes on.
    using TLineSink = void (*)(std::u16string_view line);
    static void SetLineSink(TLineSink sink);

    // Tests only: forget the banner so that a new file gets one.
    static void ResetForTests();

  private:
    static void WriteStartBanner();  // raises when the banner cannot be written
};

}  // namespace fr
