#pragma once
// The receipt and document operations driven through the component object against
// the emulated register, with helpers to build the host's packages.

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "tests/driver/driver_fixture.h"

namespace fr::test {

// A check package; each part is the text placed in its element.
struct TCheckXml {
    std::u16string Parameters = u"PaymentType=\"1\" CashierName=\"Кассир\"";
    std::u16string ParametersBody;  // AgentData, PurveyorData
    std::u16string Positions =
        u"<FiscalString Name=\"Товар\" Quantity=\"1\" "
        u"PriceWithDiscount=\"100\" SumWithDiscount=\"100\" Tax=\"20\"/>";
    std::u16string Payments = u"ElectronicPayment=\"100\"";
    std::u16string Xml() const;
};

// A FiscalString element of one unit.
std::u16string FiscalString(const std::u16string& AName, const std::u16string& APrice,
                            const std::u16string& ATax, const std::u16string& ADiscount = u"0");

class DocumentsFixture : public DriverFixture {
  protected:
    // Opens the driver over TCP and opens a shift.
    void OpenWithShift();
    TDriverCall Check(const std::u16string& AXml, bool AElectronically = false);
    TDriverCall Correction(const std::u16string& AXml);
    TDriverCall TextDocument(const std::u16string& AXml);

    // The requests of one command after ASince, in order.
    std::vector<emu::TRequestRecord> RequestsOf(const std::string& ACommand, uint64_t ASince = 0);
    // Sets the emulated register's clock to a local date and time.
    void SetRegisterClock(int AYear, int AMonth, int ADay, int AHour, int AMinute);
    // The tape's lines that name a VAT rate, printed after line AFrom, with runs of
    // blanks made one and the ends trimmed.
    std::vector<std::string> TaxLines(size_t AFrom);
    // Whether a log line holds the text.
    bool LogHas(const std::string& AText) const;
    // Fails ACommand's second request with the register's error ACode: the first
    // request's answer is held back while a watcher arms the refusal. Keep the
    // watcher until the call is over.
    std::jthread FailSecondRequest(const std::string& ACommand, int ACode);
};

}  // namespace fr::test
