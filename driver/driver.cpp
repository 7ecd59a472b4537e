#include "driver/driver.h"

#include <exception>
#include <new>
#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/date_time.h"
#include "platform/format_settings.h"
#include "platform/text.h"
#include "support/common_utils.h"
#include "support/log.h"
#include "transport/com_device.h"
#include "transport/socket_device.h"

namespace fr {
namespace {

constexpr int32_t kTcpPortNumber = 9999;
// The one additional action the driver answers.
constexpr std::u16string_view kShowSettingsDlg = u"ShowSettingsDlg";
constexpr uint32_t kDocumentResultPauseMs = 500;
constexpr uint16_t kTestBeepDuration = 30;
constexpr uint8_t kLineLengthRequest = 18;
// Fiscal-storage request 1: the fiscal storage's serial number.
constexpr uint8_t kRegisterIdRequest = 1;

struct TDriverSetting {
    const char16_t* ID;
    const char16_t* Alias;
    TDataType ValueType;
    Variant Default;
    const char16_t* Name;
    const char16_t* Description;
};

// The settings the driver adds, in registration order.
const TDriverSetting kDriverSettings[] = {
    {u"IPPort", u"", dtNumber, Variant(int32_t{5555}), u"IP порт", u"IP Порт"},
    {u"IPAddress", u"", dtString, Variant(u"127.0.0.1"), u"IP адрес", u"IP адрес"},
    {u"ConnectionPassword", u"", dtString, Variant(u"KVMT"), u"Пароль", u"Пароль связи с ФР"},
    {u"PortNumber", u"Порт", dtNumber, Variant(int32_t{1}), u"Порт", u"Номер порта RS232"},
    {u"BaudRate", u"Скорость", dtNumber, Variant(int32_t{115200}), u"Скорость", u"Скорость обмена"},
    {u"FontNumber", u"Номер шрифта", dtNumber, Variant(int32_t{1}), u"Номер шрифта",
     u"Номер шрифта"},
    {u"WriteLog", u"Вести лог", dtBoolean, Variant(false), u"Вести лог", u"Вести лог"},
};

enum class TTestValue { tvText, tvInteger, tvDate };

struct TDeviceTestLine {
    const char16_t* Label;
    uint8_t Request;
    TTestValue Value;
};

// The lines of the device test, in order.
const TDeviceTestLine kDeviceTestLines[] = {
    {u"Заводской номер", 1, TTestValue::tvText},
    {u"Идентификатор прошивки", 2, TTestValue::tvInteger},
    {u"ИНН", 3, TTestValue::tvText},
    {u"Дата регистрации", 6, TTestValue::tvDate},
    {u"РНМ", 4, TTestValue::tvText},
    {u"Тип прошивки", 15, TTestValue::tvText},
};

// The message of the error being handled.
std::u16string CurrentErrorMessage() {
    try {
        throw;
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return Utf8ToUtf16(e.what());
    } catch (...) {
        return std::u16string(texts::kUnknownError);
    }
}

// The n-th child element (non-elements are not counted); nil past the end.
XmlNode ChildElement(const XmlNode& ANode, size_t AIndex) {
    const std::vector<XmlNode> elements = ANode.ChildElements();
    return AIndex < elements.size() ? elements[AIndex] : XmlNode();
}

}  // namespace

TDriver::TDriver() : FTaxValues(std::make_unique<TTaxValues>()) {}

TDriver::~TDriver() {
    if (FDevice) {
        try {
            FDevice->Disable();
        } catch (...) {
            // Nothing can be reported from a destructor; the link frees itself.
        }
    }
    FDevice.reset();
    FTaxValues.reset();
}

void TDriver::RegisterSettings() {
    TBaseDriverECR::RegisterSettings();
    for (const auto& setting : kDriverSettings) {
        AddSetting(setting.ID, setting.Alias, setting.ValueType, setting.Default, false,
                   setting.Name, setting.Description);
    }
}

// ---- The operation frame.

void TDriver::LogOperationStart(std::u16string_view ACaption, std::u16string_view AText) {
    TLog::Append(ACaption, AText, TLog::mtInfo);
}

void TDriver::LogOperationResult(std::u16string_view ACaption, std::u16string_view AOperation,
                                 std::u16string_view ADescription, int32_t ACode) {
    std::u16string message(AOperation);
    message += u" [" + IntToStr(ACode) + u"]";
    if (!ADescription.empty()) {
        message += u" - ";
        message += ADescription;
    }
    TLog::Append(ACaption, message, ACode != 0 ? TLog::mtError : TLog::mtInfo);
}

std::u16string TDriver::CashierText(const std::u16string& ACashierName,
                                    const std::u16string& ACashierVATIN) {
    std::u16string text;
    if (!Trim(ACashierVATIN).empty()) text = ACashierVATIN + u"&";
    if (!Trim(ACashierName).empty()) text += ACashierName;
    return text;
}

std::string TDriver::ReadTableText(uint8_t ANum, uint8_t AInd) {
    TDevice& device = Dev();
    device.ClearData();
    return device.ReadSettingTableStr(ANum, AInd);
}

TDevice& TDriver::Dev() {
    if (!FDevice) throw EDriverError(std::u16string(texts::kNotConnected));
    return *FDevice;
}

void TDriver::CancelOpenDocument() {
    uint8_t fatal = 0;
    uint16_t current = 0;
    uint8_t document = 0;
    Dev().GetECRStatus(fatal, current, document);
    FPreCheckStatus = current;
    if (document != 0) Dev().CancelDocument();
}

int32_t TDriver::LastFNDocumentNumber() {
    TDevice& device = Dev();
    device.ClearData();
    device.FNGetInfo(3, 0, 0);
    return static_cast<int32_t>(device.RequireInteger(1));
}

void TDriver::ExceptionToResult(int32_t& ACode, std::u16string& ADescription) {
    const uint8_t deviceCode = FDevice ? FDevice->ErrorCode() : 0;
    ACode = deviceCode != 0 ? deviceCode : kResultUnknownError;
    const std::u16string codeText =
        ACode == kResultUnknownError ? IntToStr(ACode) : AsciiToUtf16(HexText(deviceCode, 2));
    ADescription = u"[" + codeText + u"] - " + CurrentErrorMessage();
}

void TDriver::ReadDocumentResult(int64_t& AShiftNumber, int64_t& ADocumentNumber,
                                 std::u16string& AFiscalSign) {
    AFiscalSign.clear();
    TDevice& device = Dev();
    SleepMs(kDocumentResultPauseMs);
    const int32_t documentNumber = LastFNDocumentNumber();
    ADocumentNumber = documentNumber;
    device.ClearData();
    device.FNGetInfo(11, static_cast<uint32_t>(documentNumber), 0);
    TDateTime documentTime = 0;
    uint32_t recordNumber = 0;
    uint32_t fiscalSign = 0;
    ParseFNDocInfoHex(device.RequireString(1), documentTime, recordNumber, fiscalSign);
    AFiscalSign = UIntToStr(fiscalSign);
    device.ClearData();
    device.GetCounterValue(1);
    AShiftNumber = device.RequireInteger(1);
}

// ---- Connection.

void TDriver::CreateDevice() {
    if (GetSettingValueInt(u"PortNumber") == kTcpPortNumber)
        FDevice = std::make_unique<TSocketDevice>();
    else
        FDevice = std::make_unique<TCOMDevice>();
}

void TDriver::ConfigureDevice() {
    TDevice& device = *FDevice;
    device.SetConnectionPassword(GetSettingValueStr(u"ConnectionPassword"));
    device.SetFontNumber(static_cast<uint8_t>(GetSettingValueInt(u"FontNumber") & 0xFF));
    device.SetCutString(GetSettingValueStr(u"CutString"));
    if (auto* socket = dynamic_cast<TSocketDevice*>(&device)) {
        // The address goes through the ANSI code page like every other byte text.
        socket->SetIPAddress(AnsiToUnicode(UnicodeToAnsi(GetSettingValueStr(u"IPAddress"))));
        socket->SetTCPPort(GetSettingValueInt(u"IPPort"));
    } else if (auto* serial = dynamic_cast<TCOMDevice*>(&device)) {
        serial->Com().SetPortNumber(GetSettingValueInt(u"PortNumber"));
        serial->Com().SetBaudRateAsInt(GetSettingValueInt(u"BaudRate"));
    }
}

int32_t TDriver::Enable() {
    TBaseDriverECR::Enable();
    try {
        // A data folder that cannot be made fails the connection like any other
        // cause: the records of documents of unknown outcome live there.
        FLogDirName = DriverDataFolder();
        OpenOwnLog(GetSettingValueBool(u"WriteLog"), FLogDirName);
        LogOperationStart(kDriverLogCaption, u"Start Enable");
        SetDecimalSeparator(u'.');

        Disable();
        FDevice.reset();
        FRegisterId.clear();
        FPending.reset();
        CreateDevice();

        ConfigureDevice();
        FDevice->Enable();
        if (!FStartedSeans) {
            FDevice->StartSeans();
            FStartedSeans = true;
        }
        FDevice->GetECRInfo(kLineLengthRequest, FDevice->FontNumber());
        FLineLen = FDevice->GetDataAsInteger(1);
        FDevice->SetLineLength(FLineLen);
        // Whose records are this register's: its fiscal storage number.
        FDevice->ClearData();
        FDevice->FNGetInfo(kRegisterIdRequest, 0, 0);
        FRegisterId = Trim(AnsiToUnicode(FDevice->RequireString(1)));
        TLog::Append(u"Log", u"ФН " + FRegisterId, TLog::mtInfo);
        LoadPendingDocument();
        LogOperationResult(kDriverLogCaption, u"Enable", texts::kNoErrors, 0);
        return 0;
    } catch (...) {
        if (FDevice) {
            try {
                FDevice->Disable();
            } catch (...) {
                // The original failure is the one to report.
            }
        }
        int32_t result = 0;
        ExceptionToResult(result, FLastResultDescription);
        LogOperationResult(kDriverLogCaption, u"Enable", FLastResultDescription, result);
        return result;
    }
}

void TDriver::Disable() {
    TBaseDriverECR::Disable();
    if (FDevice) FDevice->Disable();
}

// ---- Small operations.

int32_t TDriver::DeviceTest(std::u16string& Description) {
    Description.clear();
    return RunOperation(u"DeviceTest", true, [&] {
        TDevice& device = Dev();
        for (const auto& line : kDeviceTestLines) {
            device.GetECRInfo(line.Request);
            std::u16string value;
            switch (line.Value) {
                case TTestValue::tvText:
                    value = AnsiToUnicode(device.GetDataAsString(1));
                    break;
                case TTestValue::tvInteger:
                    value = IntToStr(device.GetDataAsInteger(1));
                    break;
                case TTestValue::tvDate:
                    value = DateToStr(device.GetDataAsDate(1));
                    break;
            }
            Description += u"\r\n";
            Description += line.Label;
            Description += u": ";
            Description += value;
        }
        device.Beep(kTestBeepDuration);
        return kContinue;
    });
}

int32_t TDriver::GetLineLength(int32_t& ALineLength) {
    return RunOperation(u"GetLineLength", false, [&] {
        ALineLength = Dev().LineLength();
        return kContinue;
    });
}

std::u16string TDriver::GetParameters() {
    XmlDocument document;
    document.LoadFromText(TBaseDriverECR::GetParameters());
    try {
        XmlNode settings = document.Node().ChildNamed(u"Settings");
        XmlNode logDir;
        if (settings) {
            XmlNode page = ChildElement(settings, 2);
            XmlNode group = page ? ChildElement(page, 0) : XmlNode();
            logDir = group ? ChildElement(group, 1) : XmlNode();
        }
        if (logDir) logDir.SetAttribute(u"DefaultValue", Variant(DriverDataFolder()));
    } catch (const Exception&) {
        // The table goes back as loaded.
    }
    return document.Xml();
}

std::u16string TDriver::GetAdditionalActions() {
    return {};
}

int32_t TDriver::DoAdditionalAction(const std::u16string& ActionName) {
    return ActionName == kShowSettingsDlg ? 0 : kResultNotSupported;
}

}  // namespace fr
