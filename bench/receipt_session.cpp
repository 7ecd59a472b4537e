#include "bench/receipt_session.h"

#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <fstream>
#include <stdexcept>

#include "driver/driver_registry.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "platform/window.h"
#include "support/log.h"

namespace fr::bench {
namespace {

double ClockSeconds(clockid_t AClock) {
    timespec ts{};
    clock_gettime(AClock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool IsHexPair(const std::string& AText, size_t APos) {
    auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    return APos + 1 < AText.size() && hex(AText[APos]) && hex(AText[APos + 1]);
}

// The bytes of one exchange line ("-> 05 " or "<- 02 31 ..."), or -1 when the
// line is not one: everything after the arrow must be hexadecimal pairs.
long LineBytes(const std::string& ALine, bool& ASent) {
    for (const char* arrow : {"-> ", "<- "}) {
        const size_t at = ALine.rfind(arrow);
        if (at == std::string::npos) continue;
        long count = 0;
        size_t pos = at + 3;
        while (pos < ALine.size() && ALine[pos] != '\r') {
            if (!IsHexPair(ALine, pos)) return -1;
            ++count;
            pos += 2;
            if (pos < ALine.size() && ALine[pos] == ' ') ++pos;
        }
        ASent = arrow[0] == '-';
        return count;
    }
    return -1;
}

}  // namespace

std::u16string CheckPackage(int APositions) {
    std::u16string xml =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters PaymentType=\"1\" "
        u"CashierName=\"Кассир\"/><Positions>";
    for (int i = 1; i <= APositions; ++i)
        xml += u"<FiscalString Name=\"Товар " + Utf8ToUtf16(std::to_string(i)) +
               u"\" Quantity=\"1\" PriceWithDiscount=\"10\" SumWithDiscount=\"10\" "
               u"Tax=\"20\"/>";
    xml += u"</Positions><Payments ElectronicPayment=\"" +
           Utf8ToUtf16(std::to_string(10 * APositions)) + u"\"/></CheckPackage>";
    return xml;
}

double ThreadCpuSeconds() {
    return ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
}

double WallSeconds() {
    return ClockSeconds(CLOCK_MONOTONIC);
}

long PeakRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TReceiptSession::TReceiptSession() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fr_bench_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a scratch folder");
    FDir = pattern;
    setenv("FR_COMMON_APPDATA", FDir.c_str(), 1);
    setenv("FR_COM_DIR", FDir.c_str(), 1);
    SetMessageBoxHook([](const std::u16string&, const std::u16string&) {});
    TLog::SetLogLevel(0);
    RegisterDriverClasses();
}

TReceiptSession::~TReceiptSession() {
    if (FComponent) {
        FComponent->Done();
        FComponent.reset();
    }
    SetMessageBoxHook({});
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
}

TAddInObject& TReceiptSession::Component() {
    if (!FComponent) {
        FComponent = std::make_unique<TAddInObject>();
        if (FComponent->Init(nullptr) != kHrOk || FComponent->Driver() == nullptr)
            throw std::runtime_error("the component did not create its driver");
    }
    return *FComponent;
}

void TReceiptSession::SetProp(const std::u16string& AName, const Variant& AValue) {
    int32_t num = -1;
    if (Component().FindProp(AName, num) != kHrOk || num < 0 ||
        Component().SetPropVal(num, AValue) != kHrOk)
        throw std::runtime_error("cannot set " + Utf16ToUtf8(AName));
}

TCallResult TReceiptSession::Call(const std::u16string& AMethod, std::vector<Variant> AParams) {
    TAddInObject& component = Component();
    int32_t num = -1;
    component.FindMethod(AMethod, num);
    if (num < 0) throw std::runtime_error("no method " + Utf16ToUtf8(AMethod));
    int32_t count = 0;
    component.GetNParams(num, count);
    SafeArrayPtr params = SafeArray::Vector(static_cast<size_t>(count));
    for (size_t i = 0; i < AParams.size() && i < static_cast<size_t>(count); ++i)
        params->Put(static_cast<int32_t>(i), AParams[i]);
    Variant ret;
    component.CallAsFunc(num, ret, params.get());

    TCallResult result;
    result.Ok = ret.BaseType() == vtBoolean && ret.BoolValue();
    if (!result.Ok) {
        int32_t errNum = -1;
        component.FindMethod(u"GetLastError", errNum);
        SafeArrayPtr errParams = SafeArray::Vector(1);
        Variant code;
        component.CallAsFunc(errNum, code, errParams.get());
        Variant text;
        errParams->Get(0, text);
        result.Code = static_cast<int32_t>(code.IntValue());
        result.ErrorText = Utf16ToUtf8(VarToStr(text));
    }
    return result;
}

void TReceiptSession::CallOrThrow(const std::u16string& AMethod, std::vector<Variant> AParams) {
    const TCallResult result = Call(AMethod, std::move(AParams));
    if (!result.Ok)
        throw std::runtime_error(Utf16ToUtf8(AMethod) + " failed: " + std::to_string(result.Code) +
                                 " " + result.ErrorText);
}

void TReceiptSession::Open(bool AWriteLog) {
    SetProp(u"WriteLog", Variant(AWriteLog));
    CallOrThrow(u"Open", {});
}

void TReceiptSession::OpenTcp(int APort, bool AWriteLog) {
    SetProp(u"PortNumber", Variant(int32_t{9999}));
    SetProp(u"IPAddress", Variant(u"127.0.0.1"));
    SetProp(u"IPPort", Variant(static_cast<int32_t>(APort)));
    Open(AWriteLog);
    OpenShift();
}

void TReceiptSession::OpenCom(int AComNumber, bool AWriteLog) {
    SetProp(u"PortNumber", Variant(static_cast<int32_t>(AComNumber)));
    SetProp(u"BaudRate", Variant(int32_t{115200}));
    Open(AWriteLog);
    OpenShift();
}

void TReceiptSession::OpenShift() {
    CallOrThrow(u"OpenShift",
                {Variant(), Variant(std::u16string(
                                u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><InputParameters>"
                                u"<Parameters CashierName=\"Кассир\" CashierVATIN=\"\"/>"
                                u"</InputParameters>"))});
}

void TReceiptSession::Reopen(bool AWriteLog) {
    Close();
    Open(AWriteLog);
}

void TReceiptSession::Close() {
    CallOrThrow(u"Close", {Variant()});
}

TCallResult TReceiptSession::ProcessCheck(const std::u16string& APackage) {
    return Call(u"ProcessCheck", {Variant(), Variant(false), Variant(APackage)});
}

void TReceiptSession::ProcessCheckOrThrow(const std::u16string& APackage) {
    const TCallResult result = ProcessCheck(APackage);
    if (!result.Ok)
        throw std::runtime_error("ProcessCheck failed: " + std::to_string(result.Code) + " " +
                                 result.ErrorText);
}

std::filesystem::path TReceiptSession::LogFile() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(FDir / "fr_norvane1c83", ec))
        if (entry.path().extension() == ".log") return entry.path();
    return {};
}

uint64_t TReceiptSession::LogMark() const {
    const std::filesystem::path file = LogFile();
    std::error_code ec;
    const auto size = file.empty() ? 0 : std::filesystem::file_size(file, ec);
    return ec ? 0 : size;
}

TLineTraffic TReceiptSession::TrafficSince(uint64_t AMark) const {
    TLineTraffic traffic;
    const std::filesystem::path file = LogFile();
    if (file.empty()) return traffic;
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(AMark));
    std::string line;
    while (std::getline(in, line)) {
        bool sent = false;
        const long bytes = LineBytes(line, sent);
        if (bytes < 0) continue;
        traffic.Bytes += static_cast<uint64_t>(bytes);
        if (sent && bytes > 1) ++traffic.Exchanges;
    }
    return traffic;
}

}  // namespace fr::bench
