// A sale receipt from the host's check package: open, requisites, positions with
// their printed lines, subtotal, payments, close, and the read-back.

#include <cstdlib>
#include <optional>

#include "driver/document_package.h"
#include "driver/driver.h"
#include "platform/codepage.h"
#include "platform/float_text.h"
#include "platform/text.h"

namespace fr {
namespace {

using namespace package;

constexpr uint8_t kSiteAddressTable = 83;
constexpr uint32_t kAgentSignTag = 1057;
constexpr uint8_t kAgentSignLimit = 7;
constexpr std::u16string_view kNoName = u"(null)";

// The register's document type of each PaymentType (1 to 4).
constexpr uint8_t kDocTypes[] = {2, 3, 6, 7};

struct TPaymentKind {
    std::u16string_view Attribute;
    uint8_t PaymentCode;
};

// The payments in the order they are sent.
constexpr TPaymentKind kPaymentKinds[] = {
    {u"ElectronicPayment", 1},
    {u"AdvancePayment", 13},
    {u"Credit", 14},
    {u"CashProvision", 15},
    {u"Cash", 0},
};

enum class TRequisiteSource { rsAgentSign, rsPurveyor, rsAgent };

struct TRequisite {
    uint32_t Tag;
    TRequisiteSource Source;
    std::u16string_view Attribute;  // of PurveyorData or AgentData
    std::u16string_view FailureText;
};

// The agent and supplier requisites in the order they are sent.
constexpr TRequisite kRequisites[] = {
    {kAgentSignTag, TRequisiteSource::rsAgentSign, u"", u"Ошибка передачи тега признака агента"},
    {1171, TRequisiteSource::rsPurveyor, u"PurveyorPhone",
     u"Ошибка передачи тега телефона поставщика"},
    {1005, TRequisiteSource::rsAgent, u"MoneyTransferOperatorAddress",
     u"Ошибка передачи тега адреса оператора перевода"},
    {1016, TRequisiteSource::rsAgent, u"MoneyTransferOperatorVATIN",
     u"Ошибка передачи тега ИНН оператора перевода"},
    {1026, TRequisiteSource::rsAgent, u"MoneyTransferOperatorName",
     u"Ошибка передачи тега наименования оператора перевода"},
    {1044, TRequisiteSource::rsAgent, u"PayingAgentOperation",
     u"Ошибка передачи тега операции платежного агента"},
    {1073, TRequisiteSource::rsAgent, u"PayingAgentPhone",
     u"Ошибка передачи тега телефона платежного агента"},
    {1074, TRequisiteSource::rsAgent, u"ReceivePaymentsOperatorPhone",
     u"Ошибка передачи тега телефона опер. по приему платежей"},
    {1075, TRequisiteSource::rsAgent, u"MoneyTransferOperatorPhone",
     u"Ошибка передачи тега телефона оператора перевода"},
};

// The elements of a check package.
struct TCheckPackage {
    XmlNode Parameters;
    XmlNode Positions;
    XmlNode Payments;
    XmlNode AgentData;     // nil when absent
    XmlNode PurveyorData;  // nil when absent
};

std::optional<TCheckPackage> LocateCheckPackage(const IXMLDocument& ADocument) {
    if (!ADocument) return std::nullopt;
    const XmlNode root = ADocument->DocumentElement();
    if (!root) return std::nullopt;
    TCheckPackage package;
    package.Parameters = root.ChildNamed(u"Parameters");
    package.Positions = root.ChildNamed(u"Positions");
    // Without payments the receipt could never be closed; it is refused before
    // anything is opened on the register.
    package.Payments = root.ChildNamed(u"Payments");
    if (!package.Parameters || !package.Positions || !package.Payments) return std::nullopt;
    package.AgentData = package.Parameters.ChildNamed(u"AgentData");
    package.PurveyorData = package.Parameters.ChildNamed(u"PurveyorData");
    return package;
}

std::u16string AttrOf(const XmlNode& ANode, std::u16string_view AName) {
    return ANode ? AttrText(ANode, AName) : std::u16string();
}

// The absolute value of a discount with two decimals.
std::u16string DiscountAmountText(Currency ADiscount) {
    return FormatFixed2(std::abs(ADiscount.ToDouble()));
}

}  // namespace

std::u16string TDriver::JustifyLine(std::u16string_view ALeft, std::u16string_view ARight,
                                    int32_t AWidth) const {
    int64_t width = AWidth != 0 ? AWidth : FLineLen;
    if (width == 0) width = 24;
    const int64_t room = width - static_cast<int64_t>(ARight.size());
    std::u16string line(room > 0 ? ALeft.substr(0, static_cast<size_t>(room)) : u"");
    const int64_t fill = width - static_cast<int64_t>(line.size() + ARight.size());
    if (fill > 0) line.append(static_cast<size_t>(fill), u' ');
    line += ARight;
    return line;
}

int32_t TDriver::ProcessCheck(bool AElectronically, IXMLDocument ACheckPackage,
                              int64_t& ACheckNumber, int64_t& ASessionNumber,
                              std::u16string& AFiscalSign,
                              std::u16string& AAddressSiteInspections) {
    AFiscalSign.clear();
    AAddressSiteInspections.clear();
    const TDocumentRequest request =
        DocumentRequest(u"ProcessCheck", TDeviceCommand::dcCloseDocument,
                        AElectronically ? u"1" : u"0", ACheckPackage);
    // What the host is told of the receipt: read back, only reading.
    const auto finish = [&] {
        ReadDocumentResult(ASessionNumber, ACheckNumber, AFiscalSign);
        AAddressSiteInspections = AnsiToUnicode(ReadTableText(kSiteAddressTable, 0));
    };
    return RunDocumentOperation(request, [&] {
        const std::optional<TCheckPackage> package = LocateCheckPackage(ACheckPackage);
        if (!package) return kResultBadParameters;
        const XmlNode& parameters = package->Parameters;

        const uint8_t paymentType = AttrByte(parameters, u"PaymentType");
        if (paymentType < 1 || paymentType > 4) return kResultBadParameters;

        const std::u16string cashier = CashierText(AttrText(parameters, u"CashierName"),
                                                   AttrText(parameters, u"CashierVATIN"));
        const std::u16string email = Trim(AttrText(parameters, u"CustomerEmail"));
        const std::u16string phone = Trim(AttrText(parameters, u"CustomerPhone"));
        const uint8_t taxVariant = AttrByte(parameters, u"TaxVariant");
        const uint8_t agentSign = AttrByte(parameters, u"AgentSign", -1);

        if (AnswerRepeat(request, finish)) return kContinue;
        TDevice& device = Dev();
        const uint8_t font = device.FontNumber();
        // The receipt is made when this number moves.
        const int32_t lastDocument = LastFNDocumentNumber();
        device.OpenDocument(kDocTypes[paymentType - 1], 1, cashier, 1, taxVariant);

        if (agentSign < kAgentSignLimit) {
            for (const auto& requisite : kRequisites) {
                std::u16string value;
                switch (requisite.Source) {
                    case TRequisiteSource::rsAgentSign:
                        value = u"#";
                        value += IntToStr(int64_t{1} << agentSign);
                        break;
                    case TRequisiteSource::rsPurveyor:
                        value = AttrOf(package->PurveyorData, requisite.Attribute);
                        break;
                    case TRequisiteSource::rsAgent:
                        value = AttrOf(package->AgentData, requisite.Attribute);
                        break;
                }
                if (Trim(value).empty()) continue;
                const bool sign = requisite.Source == TRequisiteSource::rsAgentSign;
                try {
                    device.PrintOFDProps(requisite.Tag, kNoName, value, font, sign, false, false);
                } catch (const Exception&) {
                    throw EDriverError(std::u16string(requisite.FailureText));
                }
            }
        }

        for (const XmlNode& position : package->Positions.ChildElements()) {
            const std::u16string name = position.NodeName();
            if (name == u"FiscalString") {
                const std::u16string itemName = AttrText(position, u"Name");
                const double quantity = AttrFloat(position, u"Quantity");
                const Currency price = AttrFloatMoney(position, u"PriceWithDiscount");
                const Currency sum = AttrFloatMoney(position, u"SumWithDiscount");
                const Currency discount = AttrFloatMoney(position, u"DiscountSum");
                const uint8_t department = AttrByte(position, u"Department");
                const int32_t taxNumber = FTaxValues->TaxNumberOf(AttrText(position, u"Tax"));
                const uint8_t method = AttrByte(position, u"SignMethodCalculation");
                const uint8_t object = AttrByte(position, u"SignCalculationObject");
                // The receipt stays open with the earlier positions; the next
                // operation's pre-check cancels it.
                if (taxNumber < 0) return kResultUnknownTax;
                device.RegisterItem(itemName, u"", department, quantity, price,
                                    static_cast<uint8_t>(taxNumber), sum, method, object);
                if (discount.raw != 0) {
                    const std::u16string line =
                        JustifyLine(discount.raw > 0 ? texts::kDiscountLabel : texts::kMarkupLabel,
                                    DiscountAmountText(discount), FLineLen);
                    device.PrintProps(line, font, false, false);
                }
            } else if (name == u"TextString") {
                device.PrintProps(AttrText(position, u"Text"), font, false, false);
            } else if (name == u"Barcode") {
                PrintBarcodeOfType(device, AttrText(position, u"BarcodeType"),
                                   AttrText(position, u"Barcode"));
            }
        }

        device.SubTotal();
        for (const auto& kind : kPaymentKinds) {
            const Currency amount = AttrMoney(package->Payments, kind.Attribute);
            if (amount.raw > 0) device.Payment(kind.PaymentCode, amount, u"");
        }
        const std::string customer = UnicodeToAnsi(!email.empty() ? email : phone);
        MakeDocument(
            request, FiscalWitness(lastDocument), [&] { device.CloseDocument(customer); },
            [&] { return FiscalFate(lastDocument); }, finish);
        return kContinue;
    });
}

}  // namespace fr
