// A correction receipt: one register command built from the host's correction
// package, then the same read-back as a sale receipt.

#include <initializer_list>

#include "driver/document_package.h"
#include "driver/driver.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/date_time.h"
#include "platform/text.h"
#include "support/common_utils.h"

namespace fr {
namespace {

using namespace package;

constexpr uint8_t kSiteAddressTable = 83;
constexpr uint8_t kCorrectionTypeBase = 0x20;

// Characters AStart (1-based) to AStart + ACount - 1 of AText, as far as it goes.
std::u16string_view Piece(std::u16string_view AText, size_t AStart, size_t ACount) {
    return AStart - 1 < AText.size() ? AText.substr(AStart - 1, ACount) : std::u16string_view();
}

int DateComponent(std::u16string_view AText) {
    int32_t value = 0;
    if (!TryStrToInt(AText, value))
        throw EConvertError(u"'" + std::u16string(AText) + u"' is not a valid integer value");
    return value;
}

// The base document's date in the register's form: today when absent, else read by position
// from year-month-day text (whatever separates them or follows the day).
std::u16string CorrectionBaseDate(const XmlNode& AParameters) {
    const Variant value = AParameters.Attribute(u"CorrectionBaseDate");
    TDateTime date = 0;
    if (value.IsNull()) {
        date = Now();
    } else {
        const std::u16string text = AttrText(AParameters, u"CorrectionBaseDate");
        const int year = DateComponent(Piece(text, 1, 4));
        const int month = DateComponent(Piece(text, 6, 2));
        const int day = DateComponent(Piece(text, 9, 2));
        date = EncodeDate(year, month, day);
    }
    return AsciiToUtf16(DateToDeviceStr(date));
}

// The sum of one register tax slot, from the attributes of the rates that share
// it, newest first: the first positive one, else the oldest rate's as it stands.
Currency SumOfSlot(const XmlNode& AParameters,
                   std::initializer_list<std::u16string_view> ARatesNewestFirst) {
    Currency sum{};
    for (const std::u16string_view rate : ARatesNewestFirst) {
        sum = AttrMoney(AParameters, rate);
        if (sum.raw > 0) break;
    }
    return sum;
}

}  // namespace

int32_t TDriver::ProcessCorrectionCheck(IXMLDocument ACheckCorrectionPackage, int64_t& ACheckNumber,
                                        int64_t& ASessionNumber, std::u16string& AFiscalSign,
                                        std::u16string& AAddressSiteInspections) {
    AFiscalSign.clear();
    AAddressSiteInspections.clear();
    const TDocumentRequest request =
        DocumentRequest(u"ProcessCorrectionCheck", TDeviceCommand::dcCorrectionReceipt, u"",
                        ACheckCorrectionPackage);
    const auto finish = [&] {
        ReadDocumentResult(ASessionNumber, ACheckNumber, AFiscalSign);
        AAddressSiteInspections = AnsiToUnicode(ReadTableText(kSiteAddressTable, 0));
    };
    return RunDocumentOperation(request, [&] {
        const XmlNode root =
            ACheckCorrectionPackage ? ACheckCorrectionPackage->DocumentElement() : XmlNode();
        if (!root) return kResultBadParameters;
        const XmlNode parameters = root.ChildNamed(u"Parameters");
        const XmlNode payments = root.ChildNamed(u"Payments");
        if (!parameters) throw EDriverError(std::u16string(texts::kNoCorrectionParameters));
        if (!payments) throw EDriverError(std::u16string(texts::kNoCorrectionPayments));

        const std::u16string cashier = CashierText(AttrText(parameters, u"CashierName"),
                                                   AttrText(parameters, u"CashierVATIN"));
        const uint8_t correctionType = AttrByte(parameters, u"CorrectionType");
        const uint8_t taxVariant = AttrByte(parameters, u"TaxVariant");
        const std::u16string baseName = AttrText(parameters, u"CorrectionBaseName");
        const std::u16string baseDate = CorrectionBaseDate(parameters);
        const std::u16string baseNumber = AttrText(parameters, u"CorrectionBaseNumber");
        const Currency sum20 = SumOfSlot(parameters, {u"SumTAX22", u"SumTAX20", u"SumTAX18"});
        const Currency sum120 = SumOfSlot(parameters, {u"SumTAX122", u"SumTAX120", u"SumTAX118"});
        const Currency sum10 = AttrMoney(parameters, u"SumTAX10");
        const Currency sum0 = AttrMoney(parameters, u"SumTAX0");
        const Currency sumNone = AttrMoney(parameters, u"SumTAXNone");
        const Currency sum110 = AttrMoney(parameters, u"SumTAX110");
        const Currency cash = AttrMoney(payments, u"Cash");
        const Currency electronic = AttrMoney(payments, u"ElectronicPayment");
        const Currency advance = AttrMoney(payments, u"AdvancePayment");
        const Currency credit = AttrMoney(payments, u"Credit");
        const Currency provision = AttrMoney(payments, u"CashProvision");
        const uint8_t paymentType = AttrByte(parameters, u"PaymentType");
        // Corrections of returns (2 and 4) are not made.
        if (paymentType != 1 && paymentType != 3) return kResultBadParameters;

        uint8_t type = correctionType == 1 ? 0x01 : 0x00;
        if (paymentType == 3) type |= 0x02;
        type = static_cast<uint8_t>(type | (taxVariant << 2));
        type |= kCorrectionTypeBase;

        // The receipt is made by one command: a new last document tells that it was.
        MakeFiscalDocument(
            request,
            [&] {
                Dev().CorrectionReceipt(UnicodeToAnsi(cashier), cash, electronic, advance, credit,
                                        provision, type, baseDate, baseNumber, baseName, sum20,
                                        sum10, sum0, sumNone, sum120, sum110);
            },
            finish);
        return kContinue;
    });
}

}  // namespace fr
