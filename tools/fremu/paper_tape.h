#pragma once
// The paper a person would tear off the register, as UTF-8 lines: kept in memory
// for queries and, when asked, written to a file or standard output as printed.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace fr::emu {

class TPaperTape {
  public:
    TPaperTape() = default;
    ~TPaperTape();
    TPaperTape(const TPaperTape&) = delete;
    TPaperTape& operator=(const TPaperTape&) = delete;

    // "-" is standard output; an empty path keeps the tape in memory only.
    // Raises std::runtime_error when the file cannot be opened.
    void Open(const std::string& APath);

    // One text line, wrapped at AWidth characters.
    void PrintText(std::string_view AUtf8, size_t AWidth);
    // Left text and right text on one line of AWidth characters.
    void PrintPair(std::string_view ALeft, std::string_view ARight, size_t AWidth);
    void PrintCentered(std::string_view AUtf8, size_t AWidth);
    void PrintRule(char AChar, size_t AWidth);
    void PrintBarcode(std::string_view AType, std::string_view AData);
    void PrintRequisite(unsigned ATag, std::string_view AName, std::string_view AValue);
    void Cut(size_t AWidth);

    // Ends the strip being printed, when it has lines, as a document's end does
    // without a cut. Returns the index of the last strip ended; -1 when none.
    int64_t EndStrip();

    std::vector<std::string> Lines() const;
    size_t LineCount() const;
    // Where each ended strip stops: its last line's index + 1, and whether a cut
    // ended it. A strip begins where the one before it stops; the lines after the
    // last are still being printed.
    struct TStripEnd {
        size_t End = 0;
        bool Cut = false;
    };
    std::vector<TStripEnd> StripEnds() const;
    size_t StripCount() const;
    // The lines from line AFirst on.
    std::vector<std::string> LinesFrom(size_t AFirst) const;

  private:
    void Emit(std::string ALine);
    int64_t EndStripLocked(bool ACut);

    mutable std::mutex FLock;
    std::vector<std::string> FLines;
    std::vector<TStripEnd> FStripEnds;
    std::FILE* FFile = nullptr;
    bool FOwnsFile = false;
};

}  // namespace fr::emu
