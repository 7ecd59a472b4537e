#include "documents_fixture.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

namespace fr::test {

std::u16string TCheckXml::Xml() const {
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters " + Parameters +
           u">" + ParametersBody + u"</Parameters><Positions>" + Positions +
           u"</Positions><Payments " + Payments + u"/></CheckPackage>";
}

std::u16string FiscalString(const std::u16string& AName, const std::u16string& APrice,
                            const std::u16string& ATax, const std::u16string& ADiscount) {
    return u"<FiscalString Name=\"" + AName + u"\" Quantity=\"1\" PriceWithDiscount=\"" + APrice +
           u"\" SumWithDiscount=\"" + APrice + u"\" DiscountSum=\"" + ADiscount + u"\" Tax=\"" +
           ATax + u"\"/>";
}

void DocumentsFixture::OpenWithShift() {
    OpenTcp();
    const TDriverCall shift = Call(u"OpenShift", {Variant(), Variant(InputParameters(u"К", u""))});
    ASSERT_TRUE(shift.Ok()) << shift.Code << " " << U8(shift.ErrorText);
}

TDriverCall DocumentsFixture::Check(const std::u16string& AXml, bool AElectronically) {
    return Call(u"ProcessCheck", {Variant(), Variant(AElectronically), Variant(AXml)});
}

TDriverCall DocumentsFixture::Correction(const std::u16string& AXml) {
    return Call(u"ProcessCorrectionCheck", {Variant(), Variant(AXml)});
}

TDriverCall DocumentsFixture::TextDocument(const std::u16string& AXml) {
    return Call(u"PrintTextDocument", {Variant(), Variant(AXml)});
}

std::vector<emu::TRequestRecord> DocumentsFixture::RequestsOf(const std::string& ACommand,
                                                              uint64_t ASince) {
    std::vector<emu::TRequestRecord> list = Requests(ASince);
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const emu::TRequestRecord& r) { return r.Command != ACommand; }),
               list.end());
    return list;
}

void DocumentsFixture::SetRegisterClock(int AYear, int AMonth, int ADay, int AHour, int AMinute) {
    std::tm tm{};
    tm.tm_year = AYear - 1900;
    tm.tm_mon = AMonth - 1;
    tm.tm_mday = ADay;
    tm.tm_hour = AHour;
    tm.tm_min = AMinute;
    tm.tm_isdst = -1;
    Emu().SetClockOffset(static_cast<int64_t>(std::mktime(&tm) - std::time(nullptr)));
}

std::vector<std::string> DocumentsFixture::TaxLines(size_t AFrom) {
    std::vector<std::string> lines;
    const auto tape = Emu().Tape();
    for (size_t i = AFrom; i < tape.size(); ++i) {
        if (tape[i].find("НДС") == std::string::npos) continue;
        std::string line;
        for (const char c : tape[i])
            if (c != ' ' || (!line.empty() && line.back() != ' ')) line += c;
        if (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool DocumentsFixture::LogHas(const std::string& AText) const {
    const auto lines = LogLines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(AText) != std::string::npos; });
}

std::jthread DocumentsFixture::FailSecondRequest(const std::string& ACommand, int ACode) {
    // The first answer waits long enough for the watcher to arm the refusal even on
    // a loaded machine.
    Control({{"cmd", "fault"}, {"kind", "delay"}, {"command", ACommand}, {"ms", 1500}});
    const uint64_t since = LastSeq();
    emu::TEmulator* emulator = &Emu();
    return std::jthread([emulator, ACommand, ACode, since](std::stop_token AStop) {
        while (!AStop.stop_requested()) {
            for (const auto& r : emulator->Requests())
                if (r.Seq > since && r.Command == ACommand) {
                    emulator->Control({{"cmd", "fault"},
                                       {"kind", "error"},
                                       {"command", ACommand},
                                       {"code", ACode}});
                    return;
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

}  // namespace fr::test
