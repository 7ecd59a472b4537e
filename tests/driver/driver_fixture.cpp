#include "driver_fixture.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <pugixml.hpp>

#include "driver/driver_registry.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "platform/window.h"
#include "support/log.h"

namespace fr::test {

std::string U8(const std::u16string& AText) {
    return Utf16ToUtf8(AText);
}

std::u16string U16(const std::string& AText) {
    return Utf8ToUtf16(AText);
}

std::u16string InputParameters(const std::u16string& ACashierName,
                               const std::u16string& ACashierVATIN) {
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><InputParameters><Parameters "
           u"CashierName=\"" +
           ACashierName + u"\" CashierVATIN=\"" + ACashierVATIN + u"\"/></InputParameters>";
}

std::u16string TDriverCall::Param(size_t AIndex) const {
    return AIndex < Params.size() ? VarToStr(Params[AIndex]) : std::u16string();
}

namespace {

pugi::xml_node FindElement(pugi::xml_node ANode, const std::string& AName) {
    for (pugi::xml_node child : ANode.children()) {
        if (child.type() != pugi::node_element) continue;
        if (AName == child.name()) return child;
        if (pugi::xml_node found = FindElement(child, AName)) return found;
    }
    return {};
}

pugi::xml_node ParseAndFind(pugi::xml_document& ADoc, const std::u16string& AXml,
                            const std::u16string& AElement) {
    const std::string text = U8(AXml);
    if (!ADoc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
        return {};
    return FindElement(ADoc, U8(AElement));
}

// The in-process emulator answers at once, so the pauses the driver keeps for a
// real register (half a second before a document's result, the pause before a
// refused frame goes again) are dropped. The link's short polls still wait, so
// that they do not spin against the emulator's threads on a busy machine.
constexpr uint32_t kLongestRealWaitMs = 20;

void FixtureSleep(uint32_t AMilliseconds) {
    if (AMilliseconds <= kLongestRealWaitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}

}  // namespace

std::string XmlAttr(const std::u16string& AXml, const std::u16string& AElement,
                    const std::u16string& AName) {
    pugi::xml_document doc;
    const pugi::xml_node node = ParseAndFind(doc, AXml, AElement);
    if (!node) return "<absent>";
    const pugi::xml_attribute attr = node.attribute(U8(AName).c_str());
    return attr ? attr.value() : "<absent>";
}

std::string XmlRootName(const std::u16string& AXml) {
    pugi::xml_document doc;
    const std::string text = U8(AXml);
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
        return "<invalid>";
    return doc.document_element().name();
}

std::vector<std::string> XmlAttrNames(const std::u16string& AXml, const std::u16string& AElement) {
    pugi::xml_document doc;
    std::vector<std::string> names;
    const pugi::xml_node node = ParseAndFind(doc, AXml, AElement);
    for (pugi::xml_attribute attr : node.attributes())
        names.emplace_back(attr.name());
    return names;
}

void DriverFixture::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "driver_test_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
    setenv("FR_COMMON_APPDATA", FDir.c_str(), 1);
    setenv("FR_COM_DIR", FDir.c_str(), 1);
    FSavedFormat = GetFormatSettings();
    SetFormatSettings(FormatSettings{});
    SetMessageBoxHook([](const std::u16string&, const std::u16string&) {});
    TLog::ResetForTests();
    TLog::SetLogLevel(0);
    FSavedSleepHook = SetSleepHook(&FixtureSleep);
    RegisterDriverClasses();
}

void DriverFixture::TearDown() {
    if (FComponent) {
        FComponent->Done();
        FComponent.reset();
    }
    if (FEmulator) FEmulator->Stop();
    FEmulator.reset();
    SetMessageBoxHook({});
    TLog::SetLogLevel(0);
    TLog::SetLogFileName(u"");
    TLog::ResetForTests();
    SetFormatSettings(FSavedFormat);
    SetSleepHook(FSavedSleepHook);
    unsetenv("FR_COM_DIR");
    unsetenv("FR_COMMON_APPDATA");
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
}

void DriverFixture::StartEmulator(emu::TEmulatorOptions AOptions, const std::string& AState) {
    AOptions.Tcp = true;
    AOptions.ListenAddress = "127.0.0.1";
    AOptions.Port = 0;
    AOptions.Pty = true;
    AOptions.ComDir = FDir.string();
    AOptions.ComNumber = kComNumber;
    AOptions.StdinControl = false;
    AOptions.ControlPort = -1;
    if (!AState.empty()) {
        AOptions.StateFile = (FDir / "register.json").string();
        std::ofstream(AOptions.StateFile) << AState;
    }
    FEmulator = std::make_unique<emu::TEmulator>(AOptions);
    FEmulator->Start();
}

emu::TEmulator& DriverFixture::Emu() {
    if (!FEmulator) StartEmulator();
    return *FEmulator;
}

TAddInObject& DriverFixture::Component() {
    if (!FComponent) {
        FComponent = std::make_unique<TAddInObject>();
        EXPECT_EQ(FComponent->Init(nullptr), kHrOk);
        EXPECT_NE(FComponent->Driver(), nullptr) << "TDriver is not registered";
    }
    return *FComponent;
}

void DriverFixture::SetProp(const std::u16string& AName, const Variant& AValue) {
    int32_t num = -1;
    ASSERT_EQ(Component().FindProp(AName, num), kHrOk) << U8(AName);
    ASSERT_GE(num, 0) << U8(AName);
    ASSERT_EQ(Component().SetPropVal(num, AValue), kHrOk) << U8(AName);
}

void DriverFixture::UseTcp() {
    SetProp(u"PortNumber", Variant(int32_t{9999}));
    SetProp(u"IPAddress", Variant(u"127.0.0.1"));
    SetProp(u"IPPort", Variant(static_cast<int32_t>(Emu().TcpPort())));
}

void DriverFixture::UseCom() {
    Emu();
    SetProp(u"PortNumber", Variant(int32_t{kComNumber}));
    SetProp(u"BaudRate", Variant(int32_t{115200}));
}

void DriverFixture::ReplaceComponent() {
    if (!FComponent) return;
    FComponent->Done();
    FComponent.reset();
}

TDriverCall DriverFixture::Call(const std::u16string& AMethod, std::vector<Variant> AParams) {
    return CallOn(Component(), AMethod, std::move(AParams));
}

TDriverCall DriverFixture::CallOn(TAddInObject& component, const std::u16string& AMethod,
                                  std::vector<Variant> AParams) {
    TDriverCall call;
    int32_t num = -1;
    component.FindMethod(AMethod, num);
    EXPECT_GE(num, 0) << "no method " << U8(AMethod);
    if (num < 0) return call;
    int32_t count = 0;
    component.GetNParams(num, count);
    SafeArrayPtr params = SafeArray::Vector(static_cast<size_t>(count));
    for (size_t i = 0; i < AParams.size() && i < static_cast<size_t>(count); ++i)
        params->Put(static_cast<int32_t>(i), AParams[i]);
    call.Hr = component.CallAsFunc(num, call.Ret, params.get());
    for (int32_t i = 0; i < count; ++i) {
        Variant v;
        params->Get(i, v);
        call.Params.push_back(v);
    }
    int32_t errNum = -1;
    component.FindMethod(u"GetLastError", errNum);
    SafeArrayPtr errParams = SafeArray::Vector(1);
    Variant code;
    component.CallAsFunc(errNum, code, errParams.get());
    Variant text;
    errParams->Get(0, text);
    call.Code = static_cast<int32_t>(code.IntValue());
    call.ErrorText = VarToStr(text);
    return call;
}

void DriverFixture::OpenTcp() {
    UseTcp();
    SetProp(u"WriteLog", Variant(true));
    const TDriverCall open = Call(u"Open");
    ASSERT_TRUE(open.Ok()) << open.Code << " " << U8(open.ErrorText);
}

std::vector<emu::TRequestRecord> DriverFixture::Requests(uint64_t ASince) {
    std::vector<emu::TRequestRecord> list;
    for (auto& r : Emu().Requests())
        if (r.Seq > ASince) list.push_back(std::move(r));
    return list;
}

std::vector<std::string> DriverFixture::Commands(uint64_t ASince) {
    std::vector<std::string> list;
    for (const auto& r : Requests(ASince))
        list.push_back(r.Command);
    return list;
}

uint64_t DriverFixture::LastSeq() {
    const auto list = Emu().Requests();
    return list.empty() ? 0 : list.back().Seq;
}

std::vector<std::string> DriverFixture::LastFields(const std::string& ACommand, uint64_t ASince) {
    const auto list = Requests(ASince);
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->Command == ACommand) return it->Fields;
    ADD_FAILURE() << "no request " << ACommand;
    return {};
}

std::vector<emu::TDocumentRecord> DriverFixture::Documents() {
    return Emu().Documents();
}

nlohmann::json DriverFixture::Control(const nlohmann::json& ARequest) {
    nlohmann::json reply = Emu().Control(ARequest);
    EXPECT_TRUE(reply.value("ok", false)) << reply.dump();
    return reply;
}

std::vector<std::string> DriverFixture::LogLines() const {
    // Every day's file in date order: the driver names its file when it connects,
    // so a test that runs across midnight still finds all its lines.
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("fr_norvane1c83_", 0) == 0 && entry.path().extension() == ".log")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> lines;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace fr::test
