#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/add_in_object.h"
#include "host_test_env.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "support/log.h"

namespace fr {
namespace {

std::string U8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

// The driver the component object creates in these tests: handlers that answer
// Booleans, raise, write outputs and raise events.
class THostCallDriver : public TBaseDriver {
  public:
    static inline int Destroyed = 0;
    static inline size_t FocusDepthInCall = 0;

    ~THostCallDriver() override { ++Destroyed; }

    void RegisterSettings() override {
        TBaseDriver::RegisterSettings();
        AddSetting(u"Flag", u"Флаг", dtBoolean, Variant(false), false, u"Флаг", u"Признак");
        AddSetting(u"Port", u"Порт", dtNumber, Variant(int32_t{1}), false, u"Порт", u"Номер");
    }
    void RegisterMethods() override {
        TBaseDriver::RegisterMethods();
        AddMethod(u"ReturnTrue", u"ВернутьИстину", Bind(&THostCallDriver::ReturnTrue), 0);
        AddMethod(u"ReturnFalse", u"ВернутьЛожь", Bind(&THostCallDriver::ReturnFalse), 0);
        AddMethod(u"Fail", u"Сбой", Bind(&THostCallDriver::Fail), 1);
        AddMethod(u"FailOutside", u"", Bind(&THostCallDriver::FailOutside), 0);
        AddMethod(u"WriteOutputs", u"ЗаписатьВыходы", Bind(&THostCallDriver::WriteOutputs), 3);
        AddMethod(u"ПолучитьОписание", u"GetDescription", Bind(&THostCallDriver::ReturnTrue), 1);
        AddMethod(u"RaiseEvent", u"", Bind(&THostCallDriver::RaiseEvent), 0);
    }

  private:
    TDriverMethod Bind(HResult (THostCallDriver::*handler)(Variant&, SafeArray*)) {
        return [this, handler](Variant& r, SafeArray* p) { return (this->*handler)(r, p); };
    }
    HResult ReturnTrue(Variant& r, SafeArray*) {
        FocusDepthInCall = FWindows.size();
        r = Variant(true);
        return kHrOk;
    }
    HResult ReturnFalse(Variant& r, SafeArray*) {
        r = Variant(false);
        return kHrOk;
    }
    HResult Fail(Variant& r, SafeArray*) {
        FocusDepthInCall = FWindows.size();
        r = Variant(u"partial");
        throw Exception(u"Ошибка связи");
    }
    HResult FailOutside(Variant&, SafeArray*) { throw std::runtime_error("not ours"); }
    HResult WriteOutputs(Variant& r, SafeArray* p) {
        PutParamStr(p, 0, u"out\r\nline");
        PutParamInt(p, 1, 42);
        PutParamDouble(p, 2, 1.5);
        SetLastResultDescription(u"готово");
        r = Variant(int32_t{7});
        return kHrOk;
    }
    HResult RaiseEvent(Variant&, SafeArray*) {
        ExecExternalEvent()(u"источник", u"сообщение", u"данные");
        return kHrOk;
    }
};

class THostEventSink : public IAsyncEventSink {
  public:
    HResult depthAnswer = kHrOk, eventAnswer = kHrOk;
    std::vector<int32_t> depths;
    std::vector<std::u16string> events;
    HResult SetEventBufferDepth(int32_t lDepth) override {
        depths.push_back(lDepth);
        return depthAnswer;
    }
    HResult ExternalEvent(const std::u16string& s, const std::u16string& m,
                          const std::u16string& d) override {
        events.push_back(s + u"|" + m + u"|" + d);
        return eventAnswer;
    }
};

class THostConnection : public IHostConnection {
  public:
    std::shared_ptr<THostEventSink> sink = std::make_shared<THostEventSink>();
    std::shared_ptr<IExtWndsSupport> wnds = std::make_shared<IExtWndsSupport>();
    std::shared_ptr<IAsyncEventSink> QueryAsyncEvent() override { return sink; }
    std::shared_ptr<IExtWndsSupport> QueryExtWndsSupport() override { return wnds; }
};

class HostAddInObject : public test::HostTestEnv {
  protected:
    void SetUp() override {
        HostTestEnv::SetUp();
        RegisterDriverClass<THostCallDriver>(u"TDriver");
    }
    // A component object created and initialised as the host does.
    std::unique_ptr<TAddInObject> Open(const std::u16string& host = kHost8,
                                       IHostConnection* connection = nullptr) {
        UseHost(host);
        auto object = std::make_unique<TAddInObject>();
        EXPECT_EQ(object->Init(connection), kHrOk);
        return object;
    }
    static int32_t Method(TAddInObject& o, const std::u16string& name) {
        int32_t n = -2;
        EXPECT_EQ(o.FindMethod(name, n), kHrOk);
        return n;
    }
    static int32_t Prop(TAddInObject& o, const std::u16string& name) {
        int32_t n = -2;
        EXPECT_EQ(o.FindProp(name, n), kHrOk);
        return n;
    }
    size_t CallLines() const {
        size_t n = 0;
        for (const std::string& line : LogLines())
            if (line.find("\t> ") != std::string::npos || line.find("\t< ") != std::string::npos ||
                line.find("\tSetPropVal") != std::string::npos)
                ++n;
        return n;
    }
};

TEST_F(HostAddInObject, MethodNumbersPerPlatform) {
    const struct {
        const char16_t* host;
        int32_t first;
    } cases[] = {{kHost8, 2}, {kHost77, 5}};
    for (const auto& c : cases) {
        auto o = Open(c.host);
        int32_t count = 0;
        EXPECT_EQ(o->GetNMethods(count), kHrOk);
        EXPECT_EQ(count, c.first + 7);
        EXPECT_EQ(Method(*o, u"ShowSettingsDlg"), 0);
        EXPECT_EQ(Method(*o, u"getversion"), 1);
        EXPECT_EQ(Method(*o, u"ReturnTrue"), c.first);
        EXPECT_EQ(Method(*o, u"вернутьистину"), c.first);
        EXPECT_EQ(Method(*o, u"ВЕРНУТЬЛОЖЬ"), c.first + 1);
        EXPECT_EQ(Method(*o, u"получитьописание"), c.first + 5);
        EXPECT_EQ(Method(*o, u"GETDESCRIPTION"), c.first + 5);
        EXPECT_EQ(Method(*o, u"СчитатьНастройки"), c.host == kHost77 ? 2 : -1);
        EXPECT_EQ(Method(*o, u"NoSuchMethod"), -1);
        EXPECT_EQ(o->Done(), kHrOk);
    }
}

TEST_F(HostAddInObject, MethodDescriptions) {
    auto o = Open();
    int32_t count = 0;
    o->GetNMethods(count);
    const int32_t described = Method(*o, u"GetDescription");
    std::u16string name = u"unchanged";
    for (int32_t alias : {0, 1}) {
        EXPECT_EQ(o->GetMethodName(described, alias, name), kHrOk);
        EXPECT_EQ(U8(name), "ПолучитьОписание");
        EXPECT_EQ(o->GetMethodName(Method(*o, u"ВернутьИстину"), alias, name), kHrOk);
        EXPECT_EQ(U8(name), "ReturnTrue");
    }
    int32_t params = -1;
    EXPECT_EQ(o->GetNParams(Method(*o, u"WriteOutputs"), params), kHrOk);
    EXPECT_EQ(params, 3);

    for (int32_t bad : {-1, count, count + 100}) {
        name = u"unchanged";
        params = -7;
        EXPECT_EQ(o->GetMethodName(bad, 0, name), kHrFalse) << bad;
        EXPECT_EQ(name, u"unchanged");
        EXPECT_EQ(o->GetNParams(bad, params), kHrFalse) << bad;
        EXPECT_EQ(params, -7);
    }
    // Every number has a return value and no defaults, in range or not.
    for (int32_t any : {-1, 0, count - 1, count, 1000}) {
        bool hasRet = false;
        EXPECT_EQ(o->HasRetVal(any, hasRet), kHrOk) << any;
        EXPECT_TRUE(hasRet) << any;
        Variant def(int32_t{5});
        EXPECT_EQ(o->GetParamDefValue(any, 0, def), kHrOk) << any;
        EXPECT_TRUE(def.IsEmpty()) << any;
    }
}

TEST_F(HostAddInObject, OutOfRangeWritesNothing) {
    auto o = Open();
    int32_t count = 0;
    o->GetNMethods(count);
    int32_t props = 0;
    o->GetNProps(props);
    SafeArrayPtr params = SafeArray::Vector(1);
    for (int32_t bad : {-1, count, 1 << 30}) {
        Variant ret;
        EXPECT_EQ(o->CallAsFunc(bad, ret, params.get()), kHrFalse) << bad;
        EXPECT_EQ(o->CallAsProc(bad, params.get()), kHrFalse) << bad;
        EXPECT_TRUE(ret.IsEmpty());
    }
    for (int32_t bad : {-1, props}) {
        EXPECT_EQ(o->SetPropVal(bad, Variant(true)), kHrFalse) << bad;
        Variant value(int32_t{3});
        EXPECT_EQ(o->GetPropVal(bad, value), kHrFalse) << bad;
        EXPECT_TRUE(value.IsEmpty());
        std::u16string name = u"unchanged";
        EXPECT_EQ(o->GetPropName(bad, 0, name), kHrFalse) << bad;
        EXPECT_EQ(name, u"unchanged");
    }
    EXPECT_EQ(CallLines(), 0u);
}

TEST_F(HostAddInObject, InfoAndFixedAnswers) {
    auto o = Open();
    SafeArrayPtr info = SafeArray::Vector(1);
    EXPECT_EQ(o->GetInfo(info.get()), kHrOk);
    Variant version;
    ASSERT_TRUE(info->Get(0, version));
    EXPECT_EQ(version.Type(), vtOleStr);
    EXPECT_EQ(version.StrValue(), u"2000");
    EXPECT_EQ(o->GetInfo(nullptr), kHrOk);

    std::u16string name;
    EXPECT_EQ(o->RegisterExtensionAs(name), kHrOk);
    EXPECT_EQ(name, u"fr_norvane1c83");
    std::vector<TGuid> pages;
    EXPECT_EQ(o->GetPages(pages), kHrOk);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0], kAddInPageClassId);
    EXPECT_EQ(o->SetLocale(u"ru_RU"), kHrOk);
    EXPECT_EQ(o->GetTypeInfoCount(), kHrNotImpl);
    EXPECT_EQ(o->GetTypeInfo(), kHrNotImpl);
    EXPECT_EQ(o->GetIDsOfNames(), kHrNotImpl);
    EXPECT_EQ(o->Invoke(), kHrNotImpl);
    EXPECT_EQ(kHrNotImpl, static_cast<HResult>(0x80004001));

    bool cap = true;
    EXPECT_EQ(o->CapSettingsDlg(cap), kHrOk);
    EXPECT_FALSE(cap);
    EXPECT_EQ(o->ChangeSettings(), kHrFalse);
}

TEST_F(HostAddInObject, Properties) {
    auto o = Open();
    int32_t props = 0;
    EXPECT_EQ(o->GetNProps(props), kHrOk);
    EXPECT_EQ(props, 4);  // with the log's retention, last
    const int32_t debug = Prop(*o, u"debuglogenabled");
    const int32_t flag = Prop(*o, u"ФЛАГ");
    EXPECT_EQ(debug, 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(Prop(*o, u"Nothing"), -1);

    std::u16string name;
    for (int32_t alias : {0, 1}) {
        EXPECT_EQ(o->GetPropName(debug, alias, name), kHrOk);
        EXPECT_EQ(U8(name), "DebugLogEnabled");
    }
    o->GetPropName(flag, 0, name);
    EXPECT_EQ(U8(name), "Flag");
    o->GetPropName(flag, 7, name);
    EXPECT_EQ(U8(name), "Флаг");

    bool readable = false, writable = false;
    EXPECT_EQ(o->IsPropReadable(flag, readable), kHrOk);
    EXPECT_EQ(o->IsPropWritable(flag, writable), kHrOk);
    EXPECT_FALSE(readable);  // the flags are left as the host gave them
    EXPECT_FALSE(writable);

    // A number goes into a Boolean setting as it is; the value is copied.
    Variant given(int32_t{5});
    EXPECT_EQ(o->SetPropVal(flag, Variant::ByRef(&given)), kHrOk);
    given = Variant(u"changed later");
    Variant value;
    EXPECT_EQ(o->GetPropVal(flag, value), kHrOk);
    EXPECT_TRUE(value == Variant(int32_t{5}));
    EXPECT_EQ(LogMessage("INFO", "SetPropVal"), "Flag=5");
}

TEST_F(HostAddInObject, DebugLogPropertySwitchesAtOnce) {
    auto o = Open();
    const int32_t debug = Prop(*o, u"DebugLogEnabled");
    TLog::SetLogLevel(0);
    EXPECT_EQ(o->SetPropVal(debug, Variant(true)), kHrOk);
    EXPECT_EQ(o->Driver()->LogContext().Level(), 3);
    EXPECT_EQ(LogMessage("INFO", "SetPropVal"), "DebugLogEnabled=True");
    EXPECT_EQ(o->SetPropVal(debug, Variant(false)), kHrOk);
    EXPECT_EQ(o->Driver()->LogContext().Level(), 0);
    EXPECT_EQ(TLog::LogLevel(), 0) << "the process's level is not the object's";
    EXPECT_EQ(LogLinesWith("INFO", "SetPropVal").size(), 1u);  // the second went unlogged
}

TEST_F(HostAddInObject, CallIsLoggedBeforeAndAfter) {
    auto o = Open();
    SafeArrayPtr params = SafeArray::Vector(3);
    params->Put(0, Variant(u"in"));
    params->Put(1, Variant(int32_t{1}));
    Variant ret;
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"ЗаписатьВыходы"), ret, params.get()), kHrOk);
    EXPECT_TRUE(ret == Variant(int32_t{7}));
    EXPECT_TRUE(params->Elements()[1] == Variant(int32_t{42}));
    EXPECT_EQ(LogMessage("INFO", "> WriteOutputs"), "Params: [('in'; 1; EMPTY)]");
    EXPECT_EQ(LogMessage("INFO", "< WriteOutputs"),
              "Result=7; Params: [('out\\nline'; 42; 1.5)]; LastResultDescription: готово");
    const std::vector<std::string> lines = LogLines();
    size_t before = 0, after = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("\t> WriteOutputs") != std::string::npos) before = i;
        if (lines[i].find("\t< WriteOutputs") != std::string::npos) after = i;
    }
    EXPECT_LT(before, after);

    // No array, and an array of no elements.
    EXPECT_EQ(o->CallAsProc(Method(*o, u"ReturnFalse"), nullptr), kHrOk);
    EXPECT_EQ(LogMessage("INFO", "> ReturnFalse"), "Params: EMPTY");
    // The description the driver stored last, whichever call stored it.
    EXPECT_EQ(LogMessage("INFO", "< ReturnFalse"),
              "Result=False; Params: EMPTY; LastResultDescription: готово");
    SafeArrayPtr none = SafeArray::Vector(0);
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"ReturnTrue"), ret, none.get()), kHrOk);
    EXPECT_EQ(LogMessage("INFO", "> ReturnTrue"), "Params: [()]");
    EXPECT_TRUE(ret == Variant(true));  // not on 7.7: stays a Boolean
}

TEST_F(HostAddInObject, RaisingHandler) {
    auto o = Open();
    const int32_t fail = Method(*o, u"Сбой");
    o->Driver()->SetAutoKeepFocus(true);
    SafeArrayPtr params = SafeArray::Vector(1);
    Variant ret;
    EXPECT_EQ(o->CallAsFunc(fail, ret, params.get()), kHrFalse);
    EXPECT_TRUE(ret == Variant(u"partial"));
    EXPECT_EQ(LogMessage("INFO", "> Fail"), "Params: [(EMPTY)]");
    EXPECT_EQ(LogMessage("ERROR", "EXCEPTION"), "Ошибка связи");
    EXPECT_TRUE(LogLinesWith("INFO", "< Fail").empty());
    EXPECT_EQ(boxCount_, 1);
    EXPECT_EQ(U8(boxTitle_), "EXCEPTION");
    EXPECT_EQ(U8(boxText_), "Method: Fail\r\nMessage: Ошибка связи");
    // The focus was kept during the call and given back after it.
    EXPECT_EQ(THostCallDriver::FocusDepthInCall, 1u);
    THostCallDriver::FocusDepthInCall = 9;

    EXPECT_EQ(o->CallAsProc(fail, params.get()), kHrFalse);
    EXPECT_EQ(boxCount_, 2);
    EXPECT_EQ(THostCallDriver::FocusDepthInCall, 1u);  // the stack was empty again

    // Any other exception is stopped at the boundary as well.
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"FailOutside"), ret, params.get()), kHrFalse);
    EXPECT_EQ(boxCount_, 3);
    EXPECT_EQ(U8(boxText_), "Method: FailOutside\r\nMessage: not ours");
    EXPECT_EQ(LogLinesWith("ERROR", "EXCEPTION").size(), 3u);
    EXPECT_TRUE(LogLinesWith("INFO", "< FailOutside").empty());

    // The caught message is kept for a wrapper to hand on, until the next call.
    EXPECT_EQ(o->CallAsFunc(fail, ret, params.get()), kHrFalse);
    EXPECT_EQ(U8(o->LastCallException()), "Ошибка связи");
    SafeArrayPtr none = SafeArray::Vector(0);
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"ReturnTrue"), ret, none.get()), kHrOk);
    EXPECT_TRUE(o->LastCallException().empty());
}

// The log is only diagnostic: a file that cannot be written changes no answer.
TEST_F(HostAddInObject, UnwritableLogChangesNoAnswer) {
    const struct {
        const char* name;
        std::filesystem::path path;
    } table[] = {
        {"missing folder", Dir() / "missing" / "host.log"},
        {"folder at the path", Dir() / "taken.log"},
    };
    std::filesystem::create_directories(Dir() / "taken.log");
    for (const auto& row : table) {
        auto o = Open();
        TLog::SetLogFileName(Utf8ToUtf16(row.path.string()));
        Variant ret;
        EXPECT_EQ(o->CallAsFunc(Method(*o, u"ReturnTrue"), ret, nullptr), kHrOk) << row.name;
        EXPECT_TRUE(ret == Variant(true)) << row.name;
        EXPECT_EQ(o->CallAsFunc(Method(*o, u"WriteOutputs"), ret, nullptr), kHrOk) << row.name;
        EXPECT_EQ(o->SetPropVal(Prop(*o, u"Flag"), Variant(true)), kHrOk) << row.name;
        Variant value;
        EXPECT_EQ(o->GetPropVal(Prop(*o, u"Flag"), value), kHrOk) << row.name;
        EXPECT_TRUE(value == Variant(true)) << row.name;
        EXPECT_EQ(boxCount_, 0) << row.name;
        EXPECT_EQ(o->Done(), kHrOk) << row.name;
    }
    EXPECT_FALSE(std::filesystem::exists(Dir() / "missing"));
    EXPECT_TRUE(std::filesystem::is_directory(Dir() / "taken.log"));
}

// A property write the driver cannot take (text where a Boolean belongs) answers
// the failure instead of throwing into the host; the object goes on working.
TEST_F(HostAddInObject, APropertyWriteThatThrowsAnswersAFailure) {
    auto o = Open();
    HResult hr = kHrOk;
    EXPECT_NO_THROW(hr = o->SetPropVal(Prop(*o, u"DebugLogEnabled"), Variant(u"не логическое")));
    EXPECT_EQ(hr, kHrFail);
    EXPECT_EQ(LogLinesWith("ERROR", "EXCEPTION").size(), 1u);
    EXPECT_EQ(boxCount_, 0);
    EXPECT_EQ(o->SetPropVal(Prop(*o, u"DebugLogEnabled"), Variant(true)), kHrOk);
    Variant ret;
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"ReturnTrue"), ret, nullptr), kHrOk);
}

TEST_F(HostAddInObject, BooleanAnswersOn77) {
    auto o = Open(kHost77);
    Variant ret;
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"ReturnTrue"), ret, nullptr), kHrOk);
    EXPECT_EQ(ret.Type(), vtInteger);
    EXPECT_EQ(ret.IntValue(), 1);
    EXPECT_EQ(LogMessage("INFO", "< ReturnTrue"),
              "Result=True; Params: EMPTY; LastResultDescription:");
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"ReturnFalse"), ret, nullptr), kHrOk);
    EXPECT_TRUE(ret == Variant(int32_t{0}));
    // Other kinds pass unchanged.
    SafeArrayPtr params = SafeArray::Vector(3);
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"WriteOutputs"), ret, params.get()), kHrOk);
    EXPECT_TRUE(ret == Variant(int32_t{7}));
    EXPECT_TRUE(params->Elements()[0] == Variant(u"out\r\nline"));
}

TEST_F(HostAddInObject, ProcedureCallOn77ChangesNothing) {
    auto o = Open(kHost77);
    SafeArrayPtr params = SafeArray::Vector(1);
    params->Put(0, Variant(true));
    EXPECT_EQ(o->CallAsProc(Method(*o, u"ReturnTrue"), params.get()), kHrOk);
    EXPECT_TRUE(params->Elements()[0] == Variant(true));
    EXPECT_EQ(LogMessage("INFO", "< ReturnTrue"),
              "Result=True; Params: [(True)]; LastResultDescription:");
}

TEST_F(HostAddInObject, DriverNumberAndDone) {
    THostCallDriver::Destroyed = 0;
    // Objects until the next one gets a number whose low byte is 0.
    while (TAddInObject::ObjectCounter() == 0 || (TAddInObject::ObjectCounter() & 0xFF) != 0) {
        TAddInObject o;
        ASSERT_EQ(o.Init(nullptr), kHrOk);
        ASSERT_EQ(o.Done(), kHrOk);
    }
    const int destroyedBefore = THostCallDriver::Destroyed;
    auto o = Open();
    EXPECT_EQ(o->ObjectNumber() & 0xFF, 0);
    EXPECT_GE(o->ObjectNumber(), 256);
    ASSERT_NE(o->Driver(), nullptr);
    EXPECT_EQ(o->Driver()->DriverObjNumber(), 0);
    EXPECT_EQ(o->Done(), kHrOk);
    EXPECT_EQ(o->Driver(), nullptr);
    EXPECT_EQ(THostCallDriver::Destroyed, destroyedBefore + 1);
    EXPECT_EQ(o->Done(), kHrOk);  // again: nothing to free

    auto next = Open();
    EXPECT_EQ(next->ObjectNumber(), o->ObjectNumber() + 1);
    EXPECT_EQ(next->Driver()->DriverObjNumber(), 1);
}

TEST_F(HostAddInObject, DriverKeptAcrossASecondInit) {
    THostCallDriver::Destroyed = 0;
    {
        auto o = Open();
        TBaseDriver* first = o->Driver();
        EXPECT_EQ(o->Init(nullptr), kHrOk);
        EXPECT_EQ(o->Driver(), first);
        // The driver carries the first number, so Done leaves it to the object...
        EXPECT_EQ(o->Done(), kHrOk);
        EXPECT_EQ(o->Driver(), first);
        EXPECT_EQ(THostCallDriver::Destroyed, 0);
    }
    // ...which frees it when it goes.
    EXPECT_EQ(THostCallDriver::Destroyed, 1);
}

TEST_F(HostAddInObject, WithoutADriverClass) {
    RegisterDriverClass(u"TDriver", TDriverFactory());
    auto o = Open();
    EXPECT_EQ(o->Driver(), nullptr);
    int32_t n = -5;
    EXPECT_EQ(o->GetNMethods(n), kHrOk);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(o->GetNProps(n), kHrOk);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Method(*o, u"GetVersion"), -1);
    EXPECT_EQ(Prop(*o, u"DebugLogEnabled"), -1);
    Variant ret;
    EXPECT_EQ(o->CallAsFunc(0, ret, nullptr), kHrFalse);
    EXPECT_EQ(o->SetPropVal(0, Variant(true)), kHrFalse);
    bool cap = true;
    EXPECT_EQ(o->CapSettingsDlg(cap), kHrFalse);
    EXPECT_FALSE(cap);
    EXPECT_EQ(o->ChangeSettings(), kHrFalse);
    EXPECT_EQ(o->Done(), kHrOk);
}

TEST_F(HostAddInObject, EventsReachTheHost) {
    THostConnection connection;
    auto o = Open(kHost8, &connection);
    EXPECT_EQ(connection.sink->depths, std::vector<int32_t>{100});
    EXPECT_GT(connection.sink.use_count(), 1);
    EXPECT_GT(connection.wnds.use_count(), 1);

    Variant ret;
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"RaiseEvent"), ret, nullptr), kHrOk);
    ASSERT_EQ(connection.sink->events.size(), 1u);
    EXPECT_EQ(U8(connection.sink->events[0]), "источник|сообщение|данные");

    // A refused event is an error of the call.
    connection.sink->eventAnswer = static_cast<HResult>(0x80004005);
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"RaiseEvent"), ret, nullptr), kHrFalse);
    EXPECT_EQ(LogLinesWith("ERROR", "EXCEPTION").size(), 1u);
    EXPECT_EQ(boxCount_, 1);

    EXPECT_EQ(o->Done(), kHrOk);
    EXPECT_EQ(connection.sink.use_count(), 1);  // released
    EXPECT_EQ(connection.wnds.use_count(), 1);
}

TEST_F(HostAddInObject, RefusedEventBufferFailsInit) {
    THostConnection connection;
    connection.sink->depthAnswer = static_cast<HResult>(0x80004005);
    TAddInObject o;
    EXPECT_EQ(o.Init(&connection), static_cast<HResult>(0x80004005));
    EXPECT_EQ(o.Driver(), nullptr);
    EXPECT_EQ(U8(o.LastBoundaryError()), "SetEventBufferDepth: 80004005");
    EXPECT_EQ(LogLinesWith("ERROR", "EXCEPTION").size(), 1u);
}

TEST_F(HostAddInObject, EventsWithoutASink) {
    auto o = Open();
    Variant ret;
    EXPECT_EQ(o->CallAsFunc(Method(*o, u"RaiseEvent"), ret, nullptr), kHrOk);
    o->Done();
    // After Done the object keeps no sink either: nothing to deliver to.
    o->ExecExternalEvent(u"a", u"b", u"c");
}

}  // namespace
}  // namespace fr
