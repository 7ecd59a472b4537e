#include "tools/fremu/paper_tape.h"

#include <stdexcept>

#include "tools/fremu/wire_format.h"

namespace fr::emu {

TPaperTape::~TPaperTape() {
    if (FOwnsFile && FFile) std::fclose(FFile);
}

void TPaperTape::Open(const std::string& APath) {
    std::lock_guard lock(FLock);
    if (APath.empty()) return;
    if (APath == "-") {
        FFile = stdout;
        FOwnsFile = false;
        return;
    }
    FFile = std::fopen(APath.c_str(), "a");
    if (!FFile) throw std::runtime_error("cannot open the tape file " + APath);
    FOwnsFile = true;
}

void TPaperTape::Emit(std::string ALine) {
    std::lock_guard lock(FLock);
    if (FFile) {
        std::fputs(ALine.c_str(), FFile);
        std::fputc('\n', FFile);
        std::fflush(FFile);
    }
    FLines.push_back(std::move(ALine));
}

void TPaperTape::PrintText(std::string_view AUtf8, size_t AWidth) {
    for (auto& line : Utf8Wrap(AUtf8, AWidth))
        Emit(std::move(line));
}

void TPaperTape::PrintPair(std::string_view ALeft, std::string_view ARight, size_t AWidth) {
    const size_t right = Utf8Length(ARight);
    if (right >= AWidth) {
        Emit(std::string(ARight));
        return;
    }
    std::string left = Utf8Left(ALeft, AWidth - right - (ALeft.empty() ? 0 : 1));
    const size_t gap = AWidth - Utf8Length(left) - right;
    Emit(left + std::string(gap, ' ') + std::string(ARight));
}

void TPaperTape::PrintCentered(std::string_view AUtf8, size_t AWidth) {
    for (auto& line : Utf8Wrap(AUtf8, AWidth)) {
        const size_t pad = (AWidth - Utf8Length(line)) / 2;
        Emit(std::string(pad, ' ') + line);
    }
}

void TPaperTape::PrintRule(char AChar, size_t AWidth) {
    Emit(std::string(AWidth, AChar));
}

void TPaperTape::PrintBarcode(std::string_view AType, std::string_view AData) {
    Emit("[ШТРИХКОД " + std::string(AType) + ": " + std::string(AData) + "]");
}

void TPaperTape::PrintRequisite(unsigned ATag, std::string_view AName, std::string_view AValue) {
    std::string line = "[" + std::to_string(ATag) + "] ";
    if (!AName.empty() && AName != "(null)") line += std::string(AName) + ": ";
    Emit(line + std::string(AValue));
}

void TPaperTape::Cut(size_t AWidth) {
    const std::string mark = " ОТРЕЗ ";
    const size_t fill = AWidth > 9 ? AWidth - 7 : 2;
    Emit(std::string(fill / 2, '~') + mark + std::string(fill - fill / 2, '~'));
    std::lock_guard lock(FLock);
    EndStripLocked(true);
}

int64_t TPaperTape::EndStrip() {
    std::lock_guard lock(FLock);
    return EndStripLocked(false);
}

int64_t TPaperTape::EndStripLocked(bool ACut) {
    const size_t begin = FStripEnds.empty() ? 0 : FStripEnds.back().End;
    if (FLines.size() > begin) FStripEnds.push_back({FLines.size(), ACut});
    return static_cast<int64_t>(FStripEnds.size()) - 1;
}

std::vector<TPaperTape::TStripEnd> TPaperTape::StripEnds() const {
    std::lock_guard lock(FLock);
    return FStripEnds;
}

size_t TPaperTape::StripCount() const {
    std::lock_guard lock(FLock);
    return FStripEnds.size();
}

std::vector<std::string> TPaperTape::LinesFrom(size_t AFirst) const {
    std::lock_guard lock(FLock);
    if (AFirst >= FLines.size()) return {};
    return {FLines.begin() + static_cast<std::ptrdiff_t>(AFirst), FLines.end()};
}

std::vector<std::string> TPaperTape::Lines() const {
    std::lock_guard lock(FLock);
    return FLines;
}

size_t TPaperTape::LineCount() const {
    std::lock_guard lock(FLock);
    return FLines.size();
}

}  // namespace fr::emu
