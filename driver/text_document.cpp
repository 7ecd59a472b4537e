// A non-fiscal text document: text lines and barcodes inside the register's
// service document.

#include "driver/document_package.h"
#include "driver/driver.h"
#include "platform/codepage.h"
#include "support/common_utils.h"

namespace fr {
namespace {

using namespace package;

constexpr uint8_t kServiceDocument = 1;
constexpr int32_t kNoCutCode = 1;
constexpr std::u16string_view kRootName = u"Document";

}  // namespace

int32_t TDriver::PrintTextDocument(IXMLDocument ADocumentPackage) {
    const TDocumentRequest request = DocumentRequest(
        u"PrintTextDocument", TDeviceCommand::dcCloseDocument, u"", ADocumentPackage);
    return RunDocumentOperation(request, [&] {
        const XmlNode root = ADocumentPackage ? ADocumentPackage->DocumentElement() : XmlNode();
        if (!root) return kResultBadParameters;
        const XmlNode positions = root.ChildNamed(u"Positions");
        if (!positions) return kResultBadParameters;
        // Another root name is not a document package: where NoCut lives is then
        // unknown, so nothing is printed rather than guessing the cut.
        if (root.NodeName() != kRootName)
            throw EDriverError(std::u16string(texts::kWrongDocumentRoot));

        const bool noCut = VarToBoolDef(root.Attribute(u"NoCut"), false);

        TDevice& device = Dev();
        const uint8_t font = device.FontNumber();
        device.OpenDocument(kServiceDocument, 1, u"", 1, 0);
        for (const XmlNode& position : positions.ChildElements()) {
            const std::u16string name = position.NodeName();
            if (name == u"TextString") {
                device.PrintString(UnicodeToAnsi(AttrText(position, u"Text")), font, false, false);
            } else if (name == u"Barcode") {
                PrintBarcodeOfType(device, AttrText(position, u"BarcodeType"),
                                   AttrText(position, u"Barcode"));
            }
        }
        MakeDocument(
            request, GoneWitness(),
            [&] {
                if (noCut)
                    device.CloseDocument(kNoCutCode, std::string_view());
                else
                    device.CloseDocument(std::string_view());
            },
            [&] { return GoneFate(); }, [] {});
        return kContinue;
    });
}

}  // namespace fr
