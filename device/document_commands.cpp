#include <cstdlib>

#include "device/device.h"
#include "device/device_errors.h"
#include "device/device_fields.h"
#include "platform/codepage.h"
#include "platform/float_text.h"
#include "support/common_utils.h"
#include "support/texts.h"

namespace fr {

namespace {

using enum TDeviceCommand;

constexpr uint8_t kMaxDocType = 7;
constexpr uint8_t kMaxDepNum = 99;
constexpr uint8_t kMaxTaxCode = 5;
constexpr uint8_t kMaxPaymentCode = 15;
constexpr uint16_t kMaxCRNum = 9999;
constexpr size_t kItemNameLength = 224;
constexpr int kArticleLength = 18;
constexpr int kDiscountNameLength = 38;
constexpr int kPaymentCommentLength = 40;
constexpr int kEncashCommentLength = 41;
constexpr int kCorrectionNumberLength = 32;
constexpr int kCorrectionNameLength = 64;
constexpr int64_t kCurrencyScale = 10000;

// a * b in currency units, rounded half to even; false when it does not fit.
bool TryMulCurrency(Currency a, Currency b, int64_t& result) {
    int64_t product = 0;
    if (__builtin_mul_overflow(a.raw, b.raw, &product)) return false;
    int64_t quotient = product / kCurrencyScale;
    const int64_t rest = product % kCurrencyScale;
    const int64_t twice = std::llabs(rest) * 2;
    if (twice > kCurrencyScale || (twice == kCurrencyScale && quotient % 2 != 0))
        quotient += rest < 0 ? -1 : 1;
    result = quotient;
    return true;
}

// P * Q - D in currency units.
Currency PositionTotal(Currency APrice, Currency AQuantity, Currency ADiscount) {
    int64_t product = 0;
    int64_t total = 0;
    if (TryMulCurrency(APrice, AQuantity, product) &&
        !__builtin_sub_overflow(product, ADiscount.raw, &total))
        return Currency::FromRaw(total);
    return Currency::FromDouble(APrice.ToDouble() * AQuantity.ToDouble() - ADiscount.ToDouble());
}

// Whether r * Q equals P * Q - D exactly, compared as decimals.
bool SpreadsEvenly(Currency ARounded, Currency APrice, Currency AQuantity, Currency ADiscount) {
    // Both sides in units of 1/10^8: r*Q and P*Q - D*10^4.
    int64_t left = 0;
    int64_t right = 0;
    int64_t discount = 0;
    if (__builtin_mul_overflow(ARounded.raw, AQuantity.raw, &left) ||
        __builtin_mul_overflow(APrice.raw, AQuantity.raw, &right) ||
        __builtin_mul_overflow(ADiscount.raw, kCurrencyScale, &discount) ||
        __builtin_sub_overflow(right, discount, &right))
        return false;
    return left == right;
}

// Only blanks may stand where the register's frame has its control bytes.
std::string BlankControlBytes(std::string AText) {
    for (char& c : AText)
        if (static_cast<uint8_t>(c) < 0x20) c = ' ';
    return AText;
}

}  // namespace

void TDevice::OpenDocument(uint8_t ADocType, uint8_t ADepNum, std::u16string_view ACashier,
                           int32_t ADocNum, uint8_t ATaxVariant) {
    CheckParameter(ADocType, 0, kMaxDocType);
    CheckParameter(ADepNum, 0, kMaxDepNum);
    Execute(dcOpenDocument,
            {IntField(ADocType), IntField(ADepNum), TextField(ACashier, kCashierFieldLength),
             IntField(ADocNum), IntField(ATaxVariant)});
}

void TDevice::OpenReceiptCopy(uint8_t ADocType, uint8_t ADepNum, std::u16string_view ACashier,
                              uint16_t ARecNum, uint16_t ACRNum, TDateTime ADateTime) {
    CheckParameter(ADocType, 2, 3);
    CheckParameter(ADepNum, 1, kMaxDepNum);
    CheckParameter(ACRNum, 1, kMaxCRNum);
    Execute(dcOpenReceiptCopy,
            {IntField(ADocType), IntField(ADepNum), TextField(ACashier, kCashierFieldLength),
             IntField(ARecNum), IntField(ACRNum), DateField(ADateTime), TimeField(ADateTime)});
}

void TDevice::RegisterItem(std::u16string_view AItemName, std::u16string_view AArticle,
                           uint8_t ADepartment, double AQuantity, Currency APrice, uint8_t ATaxCode,
                           Currency /*AAmount: the register computes it*/,
                           uint8_t ASignMethodCalculation, uint8_t ASignCalculationObject) {
    CheckParameter(ATaxCode, 0, kMaxTaxCode);
    Execute(
        dcRegisterItem,
        {TextField(AItemName, kItemNameLength), TextField(AArticle, kArticleLength),
         QtyField(AQuantity), AmountField(APrice), IntField(ATaxCode), "", IntField(ADepartment),
         "", "", "", IntField(ASignMethodCalculation), IntField(ASignCalculationObject)});
}

void TDevice::RegisterItemEx(std::u16string_view AItemName, std::u16string_view AArticle,
                             Currency AQuantity, Currency APrice, uint8_t ATaxCode,
                             Currency ADiscountSum, std::string_view ADiscName, bool AFiscal) {
    CheckParameter(ATaxCode, 0, kMaxTaxCode);
    const bool discounted = ADiscountSum.raw != 0;
    // A discount cannot be spread over no quantity at all.
    CheckParameter(!discounted || AQuantity.raw != 0);

    std::u16string name(AItemName);
    Currency quantity = AQuantity;
    Currency price = APrice;
    if (discounted) {
        const double q = AQuantity.ToDouble();
        const Currency rounded =
            Currency::FromDouble(Round2(APrice.ToDouble() - ADiscountSum.ToDouble() / q));
        if (SpreadsEvenly(rounded, APrice, AQuantity, ADiscountSum)) {
            price = rounded;
        } else {
            const std::u16string suffix = u" *" + FloatToStr(q);
            const size_t keep =
                suffix.size() < kItemNameLength ? kItemNameLength - suffix.size() : 0;
            name = name.substr(0, keep) + suffix;
            quantity = Currency::FromRaw(kCurrencyScale);
            price = PositionTotal(APrice, AQuantity, ADiscountSum);
        }
    }
    Execute(dcRegisterItem,
            {TextField(name, kItemNameLength), TextField(AArticle, kArticleLength),
             AmountField(quantity), AmountField(price), IntField(ATaxCode), "", "", "0", "", "0"});
    if (!discounted) return;

    std::u16string label;
    if (!ADiscName.empty())
        label = AnsiToUnicode(ADiscName);
    else
        label.append(ADiscountSum.raw > 0 ? texts::kDiscountLabel : texts::kMarkupLabel)
            .append(u" ");
    // Appended rather than added: GCC 12 warns of a false overlap in the inlined operator+.
    const std::u16string right =
        std::u16string(u"=").append(FormatFixed2(std::abs(ADiscountSum.ToDouble())));
    const std::u16string line = PadBetween(label, right, FLineLength & 0xFF, u' ');
    if (AFiscal)
        PrintProps(line, 0, false, false);
    else
        PrintString(UnicodeToAnsi(line));
}

void TDevice::Discount(std::u16string_view DiscName, Currency Amount) {
    Execute(dcDiscount, {"1", TextField(DiscName, kDiscountNameLength), AmountField(Amount)});
}

void TDevice::Margin(std::u16string_view MarginName, Currency Amount) {
    Execute(dcMargin, {"1", TextField(MarginName, kDiscountNameLength), AmountField(Amount)});
}

void TDevice::SubTotal() {
    Execute(dcSubTotal);
}

void TDevice::Payment(uint8_t APaymentCode, Currency AAmount, std::u16string_view AComment) {
    CheckParameter(APaymentCode, 0, kMaxPaymentCode);
    Execute(dcPayment, {IntField(APaymentCode), AmountField(AAmount),
                        TextField(AComment, kPaymentCommentLength)});
}

void TDevice::Encash(std::u16string_view AComment, Currency AAmount) {
    Execute(dcEncash, {TextField(AComment, kEncashCommentLength), AmountField(AAmount)});
}

void TDevice::CloseDocument(int32_t CutCode, std::string_view ACustomerAddr) {
    Execute(dcCloseDocument, {IntField(CutCode), TextField(ACustomerAddr, 0)});
}

void TDevice::CloseDocument(std::string_view ACustomerAddr) {
    Execute(dcCloseDocument, {"0", TextField(ACustomerAddr, 0)});
}

void TDevice::CancelDocument() {
    Execute(dcCancelDocument);
}

void TDevice::CorrectionReceipt(std::string_view ACashier, Currency ACash, Currency AElectronic,
                                Currency AAdvance, Currency ACredit, Currency ACashProvision,
                                uint8_t ACorrectionType, std::u16string_view ACorrectionBaseDate,
                                std::u16string_view ACorrectionBaseNumber,
                                std::u16string_view ACorrectionBaseName, Currency ASumTAX20,
                                Currency ASumTAX10, Currency ASumTAX0, Currency ASumTAXNone,
                                Currency ASumTAX120, Currency ASumTAX110) {
    Execute(dcCorrectionReceipt,
            {TextField(ACashier, kCashierFieldLength), AmountField(ACash), AmountField(AElectronic),
             AmountField(AAdvance), AmountField(ACredit), AmountField(ACashProvision),
             IntField(ACorrectionType), BlankControlBytes(UnicodeToAnsi(ACorrectionBaseDate)),
             TextField(ACorrectionBaseNumber, kCorrectionNumberLength),
             TextField(ACorrectionBaseName, kCorrectionNameLength), AmountField(ASumTAX20),
             AmountField(ASumTAX10), AmountField(ASumTAX0), AmountField(ASumTAXNone),
             AmountField(ASumTAX120), AmountField(ASumTAX110)});
}

}  // namespace fr
