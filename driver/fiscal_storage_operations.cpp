// Registration data of the register and its fiscal storage: reading it back
// (GetDataKKT) and sending a registration or closing the storage (OperationFN).

#include "driver/document_package.h"
#include "driver/driver.h"

#include "platform/codepage.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "support/common_utils.h"

namespace fr {
namespace {

// The operation type that closes the fiscal storage; every other one registers.
constexpr uint8_t kCloseFNOperation = 3;

constexpr int kNamePieceLength = 44;
constexpr int kPlaceSettleLength = 112;
constexpr int kRegNumLength = 16;
constexpr int kAutomaticNumberLength = 12;
constexpr int kOFDVATINLength = 12;

// The fiscal data format version of one byte.
std::u16string FFDVersionText(int32_t AValue) {
    switch (static_cast<uint8_t>(AValue)) {
        case 1:
            return u"1.0";
        case 2:
            return u"1.0.5";
        case 3:
            return u"1.1";
        default:
            return {};
    }
}

// The numbers of the set bits AFirst..ALast of AValue, counted from AFirst, as
// "0,3".
std::u16string BitList(int32_t AValue, uint8_t AFirst, uint8_t ALast) {
    std::u16string text;
    for (uint8_t bit = AFirst; bit <= ALast; ++bit) {
        if (!IsBitSet(AValue, bit)) continue;
        if (!text.empty()) text += u",";
        text += IntToStr(bit - AFirst);
    }
    return text;
}

// Bit i for every decimal digit i (0 to ALastDigit) found anywhere in the text.
uint8_t DigitMask(std::u16string_view AText, int ALastDigit) {
    uint8_t mask = 0;
    for (char16_t c : AText) {
        if (c >= u'0' && c <= u'0' + ALastDigit) SetBit(mask, static_cast<uint8_t>(c - u'0'));
    }
    return mask;
}

using package::AttrText;

bool AttrBool(const XmlNode& ANode, std::u16string_view AName) {
    return SameText(AttrText(ANode, AName), u"True");
}

std::u16string Piece(const std::u16string& AText, size_t AStart, size_t ALength) {
    return AStart < AText.size() ? AText.substr(AStart, ALength) : std::u16string();
}

// The fiscal parameters document, as read.
struct TFiscalParameters {
    std::u16string CashierName;
    std::u16string KKTNumber;
    std::u16string OrganizationName;
    std::u16string VATIN;
    std::u16string AddressSettle;
    std::u16string PlaceSettle;
    std::u16string TaxVariant;
    int32_t ReasonCode = 0;
    bool PrinterAutomatic = false;
    std::u16string SignOfAgent;
    std::u16string AutomaticNumber;
    std::u16string OFDOrganizationName;
    std::u16string OFDVATIN;
    std::u16string SenderEmail;
    std::u16string FNSWebSite;
    bool SignOfLottery = false;
    // Bits 0 to 7 the modes, 8 to 14 the agent kinds, 15 the lottery sign: the
    // layout the register reports in information request 23.
    uint16_t WorkMode = 0;
};

// Raises when the document has no root element.
TFiscalParameters ReadFiscalParameters(const IXMLDocument& ADocument) {
    if (!ADocument) throw EXmlError(u"No document");
    const XmlNode root = ADocument->DocumentElement();
    if (!root) throw EXmlError(u"No document element");
    TFiscalParameters p;
    uint8_t modes = 0;
    p.CashierName = AttrText(root, u"CashierName");
    p.KKTNumber = AttrText(root, u"KKTNumber");
    p.OrganizationName = AttrText(root, u"OrganizationName");
    p.VATIN = AttrText(root, u"VATIN");
    p.AddressSettle = AttrText(root, u"AddressSettle");
    p.PlaceSettle = AttrText(root, u"PlaceSettle");
    p.TaxVariant = AttrText(root, u"TaxVariant");
    ChangeBit(modes, 1, AttrBool(root, u"OfflineMode"));
    p.ReasonCode = VarToIntDef(root.Attribute(u"ReasonCode"), 0);
    ChangeBit(modes, 2, AttrBool(root, u"AutomaticMode"));
    ChangeBit(modes, 5, AttrBool(root, u"CalcOnlineSign"));
    p.PrinterAutomatic = AttrBool(root, u"PrinterAutomatic");
    ChangeBit(modes, 0, AttrBool(root, u"DataEncryption"));
    ChangeBit(modes, 3, AttrBool(root, u"ServiceSign"));
    p.SignOfAgent = AttrText(root, u"SignOfAgent");
    p.AutomaticNumber = AttrText(root, u"AutomaticNumber");
    ChangeBit(modes, 4, AttrBool(root, u"BSOSing"));
    p.OFDOrganizationName = AttrText(root, u"OFDOrganizationName");
    p.OFDVATIN = AttrText(root, u"OFDVATIN");
    p.SenderEmail = AttrText(root, u"SenderEmail");
    p.FNSWebSite = AttrText(root, u"FNSWebSite");
    ChangeBit(modes, 6, AttrBool(root, u"SaleExcisableGoods"));
    ChangeBit(modes, 7, AttrBool(root, u"SignOfGambling"));
    p.SignOfLottery = AttrBool(root, u"SignOfLottery");
    p.WorkMode = static_cast<uint16_t>(modes | (DigitMask(p.SignOfAgent, 6) << 8) |
                                       (p.SignOfLottery ? 0x8000 : 0));
    return p;
}

}  // namespace

int32_t TDriver::GetDataKKT(IXMLDocument ATableParametersKKT) {
    return RunOperation(u"GetDataKKT", false, [&] {
        TDevice& device = Dev();
        XmlNode root = ATableParametersKKT->AddChild(u"Parameters");
        const auto text = [&](int AIndex) {
            return Variant(AnsiToUnicode(device.GetDataAsString(AIndex)));
        };
        const auto tableText = [&](uint8_t ANum, uint8_t AInd) {
            return AnsiToUnicode(ReadTableText(ANum, AInd));
        };
        const auto joinedRows = [&](uint8_t ANum, uint8_t AFirst) {
            const std::u16string first = Trim(tableText(ANum, AFirst));
            return Variant(first + Trim(tableText(ANum, static_cast<uint8_t>(AFirst + 1))));
        };

        device.FNGetInfo(2, 0, 0);
        root.SetAttribute(u"Fiscal", Variant((device.GetDataAsInteger(1) & 0x0F) == 3));
        device.FNGetInfo(1, 0, 0);
        root.SetAttribute(u"FNSerialNumber", text(1));
        device.GetECRInfo(4);
        root.SetAttribute(u"KKTNumber", text(1));
        device.FNGetInfo(14, 0, 0);
        root.SetAttribute(u"FFDVersionFN", Variant(FFDVersionText(device.GetDataAsInteger(6))));
        root.SetAttribute(u"FFDVersionKKT", Variant(FFDVersionText(device.GetDataAsInteger(5))));
        device.GetECRInfo(1);
        root.SetAttribute(u"KKTSerialNumber", text(1));
        device.FNGetInfo(5, 0, 0);
        root.SetAttribute(u"DocumentNumber", text(1));
        device.FNGetInfo(6, 0, 0);
        root.SetAttribute(u"DateTime", Variant::FromDate(device.GetDataAsDate(1)));
        root.SetAttribute(u"OrganizationName", joinedRows(30, 0));
        device.GetECRInfo(3);
        root.SetAttribute(u"VATIN", text(1));
        root.SetAttribute(u"AddressSettle", joinedRows(30, 2));
        root.SetAttribute(u"PlaceSettle", Variant(tableText(85, 0)));

        device.GetECRInfo(23);
        const int32_t taxAndLottery = device.GetDataAsInteger(1);
        const int32_t modes = device.GetDataAsInteger(2);
        const int32_t printer = device.GetDataAsInteger(3);
        root.SetAttribute(u"TaxVariant", Variant(BitList(taxAndLottery & 0xFF, 0, 5)));
        static constexpr const char16_t* kModeNames[] = {
            u"DataEncryption", u"OfflineMode",    u"AutomaticMode",      u"ServiceSign",
            u"BSOSing",        u"CalcOnlineSign", u"SaleExcisableGoods", u"SignOfGambling",
        };
        for (uint8_t bit = 0; bit < 8; ++bit)
            root.SetAttribute(kModeNames[bit], Variant(IsBitSet(modes, bit)));
        root.SetAttribute(u"SignOfLottery", Variant(IsBitSet(taxAndLottery, 15)));
        root.SetAttribute(u"SignOfAgent", Variant(BitList(modes, 8, 14)));
        root.SetAttribute(u"PrinterAutomatic", Variant(IsBitSet(printer, 0)));

        root.SetAttribute(u"AutomaticNumber", Variant(tableText(70, 0)));
        root.SetAttribute(u"OFDOrganizationName", Variant(tableText(81, 0)));
        root.SetAttribute(u"OFDVATIN", Variant(tableText(71, 0)));
        root.SetAttribute(u"FNSWebSite", Variant(tableText(83, 0)));
        root.SetAttribute(u"SenderEmail", Variant(tableText(82, 0)));
        return kContinue;
    });
}

int32_t TDriver::OperationFN(uint8_t AOperationType, IXMLDocument AParametersFiscal) {
    const bool closeFN = AOperationType == kCloseFNOperation;
    const TDocumentRequest request = DocumentRequest(
        u"OperationFN",
        closeFN ? TDeviceCommand::dcFNClose : TDeviceCommand::dcRegisterCashRegister,
        IntToStr(AOperationType), AParametersFiscal);
    return RunDocumentOperation(request, [&] {
        TFiscalParameters p;
        try {
            p = ReadFiscalParameters(AParametersFiscal);
        } catch (...) {
            return kResultBadParameters;
        }
        // Neither report tells the host more than that it was made.
        if (AnswerRepeat(request, [] {})) return kContinue;
        TDevice& device = Dev();
        const std::string cashier = UnicodeToAnsi(p.CashierName);
        const auto ansi = [](const std::u16string& AText) { return UnicodeToAnsi(AText); };
        // The registration command carries the work mode as one byte: the agent kinds
        // and the lottery sign (bits 8 to 15) have no place in it and are not sent.
        const auto workMode = static_cast<uint8_t>(p.WorkMode & 0xFF);
        const int32_t lastDocument = LastFNDocumentNumber();
        MakeDocument(
            request, FiscalWitness(lastDocument),
            [&] {
                if (closeFN) {
                    device.FNClose(cashier);
                    return;
                }
                device.RegisterCashRegister(
                    p.ReasonCode == 0, DigitMask(p.TaxVariant, 5), workMode,
                    PadRightAnsi(ansi(p.KKTNumber), kRegNumLength, false), ansi(p.VATIN), cashier,
                    ansi(Piece(p.OrganizationName, 0, kNamePieceLength)),
                    ansi(Piece(p.OrganizationName, kNamePieceLength, kNamePieceLength)),
                    ansi(Piece(p.AddressSettle, 0, kNamePieceLength)),
                    ansi(Piece(p.AddressSettle, kNamePieceLength, kNamePieceLength)),
                    ansi(Piece(p.PlaceSettle, 0, kPlaceSettleLength)),
                    PadRightAnsi(ansi(p.AutomaticNumber), kAutomaticNumberLength, false),
                    ansi(p.OFDOrganizationName),
                    PadRightAnsi(ansi(p.OFDVATIN), kOFDVATINLength, false), ansi(p.SenderEmail),
                    ansi(p.FNSWebSite), p.PrinterAutomatic);
            },
            [&] { return FiscalFate(lastDocument); }, [] {});
        return kContinue;
    });
}

}  // namespace fr
