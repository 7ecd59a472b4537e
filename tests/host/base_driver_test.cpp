#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/base_driver.h"
#include "host_test_env.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "support/log.h"

namespace fr {
namespace {

std::string U8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

// A driver with one setting of every type and a few methods of its own, some of
// them clashing in name, as subclasses may.
class THostSampleDriver : public TBaseDriver {
  public:
    static inline std::vector<std::string> Steps;

    void RegisterSettings() override {
        TBaseDriver::RegisterSettings();
        Steps.push_back("settings");
        AddSetting(u"Port", u"Порт", dtNumber, Variant(int32_t{1}), false, u"Порт", u"Номер порта");
        AddSetting(u"Title", u"Заголовок", dtString, Variant(u"x"), true, u"Заголовок", u"Текст");
        AddSetting(u"Start", u"Начало", dtDateTime, Variant::FromDate(EncodeDate(2026, 1, 2)),
                   false, u"Начало", u"Дата");
        AddSetting(u"Flag", u"Флаг", dtBoolean, Variant(true), false, u"Флаг", u"Признак");
        AddSetting(u"Rate", u"Ставка", dtNumber, Variant(1.5), false, u"Ставка", u"Доля");
    }
    void RegisterMethods() override {
        TBaseDriver::RegisterMethods();
        Steps.push_back("methods");
        AddMethod(u"Подключить", u"Open", Returns(u"open"), 1);
        AddMethod(u"Twin", u"", Returns(u"first"), 0);
        AddMethod(u"twin", u"Second", Returns(u"second"), 2);
    }

    using TBaseDriver::AddMethod;
    using TBaseDriver::AddSetting;
    size_t FocusDepth() const { return FWindows.size(); }

  private:
    static TDriverMethod Returns(std::u16string text) {
        return [text = std::move(text)](Variant& r, SafeArray*) {
            r = Variant(text);
            return kHrOk;
        };
    }
};

// A driver whose connection succeeds, to see the Enabled property follow it.
class THostConnectingDriver : public THostSampleDriver {
  public:
    int disables = 0;
    using TBaseDriver::Enable;
    int32_t Enable(std::u16string& ResultDescription) override {
        ResultDescription = u"ok";
        return 0;
    }
    void Disable() override { ++disables; }
};

class HostBaseDriver : public test::HostTestEnv {
  protected:
    void SetUp() override {
        HostTestEnv::SetUp();
        RegisterDriverClass<THostSampleDriver>(u"THostSampleDriver");
        THostSampleDriver::Steps.clear();
    }
    std::unique_ptr<THostSampleDriver> Create(const std::u16string& host = kHost8) {
        UseHost(host);
        std::unique_ptr<TBaseDriver> d = CreateDriverByClassName(u"THostSampleDriver");
        return std::unique_ptr<THostSampleDriver>(static_cast<THostSampleDriver*>(d.release()));
    }
    static std::vector<std::string> MethodNames(TBaseDriver& d) {
        std::vector<std::string> names;
        names.reserve(static_cast<size_t>(d.MethsCount()));
        for (int32_t i = 0; i < d.MethsCount(); ++i)
            names.push_back(U8(d.MethodList(i)->Name) + "/" + U8(d.MethodList(i)->Alias) + "/" +
                            std::to_string(d.MethodList(i)->ParamsCount));
        return names;
    }
    std::filesystem::path StsPath(const std::string& name = "default") const {
        return SettingsDir() / (name + ".sts");
    }
};

TEST_F(HostBaseDriver, PlatformFromHostExecutable) {
    const struct {
        std::u16string path;
        TPlatformVer expected;
    } cases[] = {
        {u"C:\\1C\\1cv7s.exe", pv77},
        {u"C:\\1C\\1CV7.EXE", pv77},
        {u"C:\\Program Files\\1cv8\\bin\\1cv8c.exe", pv81},
        {u"/opt/1cv8/x86_64/1cv8", pv81},
        {u"1cv8.exe", pv81},
        {u"C:\\1cv7\\frhost.exe", pvUnknown},
        {u"C:\\1C\\1cv.exe", pvUnknown},
        {u"1cv", pvUnknown},
        {u"", pvUnknown},
        {u"C:\\1С\\1Сv7.exe", pvUnknown},  // Cyrillic С is another letter
    };
    for (const auto& c : cases)
        EXPECT_EQ(DetectPlatformVer(c.path), c.expected) << U8(c.path);
}

TEST_F(HostBaseDriver, TablesOnEveryPlatform) {
    auto d8 = Create(kHost8);
    EXPECT_EQ(d8->PlatformVer(), pv81);
    EXPECT_EQ(THostSampleDriver::Steps, (std::vector<std::string>{"settings", "methods"}));
    EXPECT_EQ(MethodNames(*d8), (std::vector<std::string>{
                                    "ShowSettingsDlg/ОтобразитьФормуНастроек/0",
                                    "GetVersion/ПолучитьНомерВерсии/0",
                                    "Подключить/Open/1",
                                    "Twin//0",
                                    "twin/Second/2",
                                }));
    auto d7 = Create(kHost77);
    EXPECT_EQ(d7->PlatformVer(), pv77);
    EXPECT_EQ(MethodNames(*d7), (std::vector<std::string>{
                                    "ShowSettingsDlg/ОтобразитьФормуНастроек/0",
                                    "GetVersion/ПолучитьНомерВерсии/0",
                                    "ReadSettings/СчитатьНастройки/0",
                                    "SaveSettings/ЗаписатьНастройки/0",
                                    "SetDeviceID/УстановитьИдентификаторУстройства/1",
                                    "Подключить/Open/1",
                                    "Twin//0",
                                    "twin/Second/2",
                                }));

    // The base setting first, then the subclass's, then the log's retention, on both.
    for (TBaseDriver* d :
         {static_cast<TBaseDriver*>(d8.get()), static_cast<TBaseDriver*>(d7.get())}) {
        ASSERT_EQ(d->SettingsCount(), 7);
        const PSettingStruct last = d->Settings(6);
        EXPECT_EQ(U8(last->ID), "LogRetentionDays");
        EXPECT_EQ(last->ValueType, dtNumber);
        EXPECT_TRUE(last->Default == Variant(int32_t{30}));
        EXPECT_EQ(d->PropsCount(), d->SettingsCount());
        const PSettingStruct s = d->Settings(0);
        EXPECT_EQ(U8(s->ID), "DebugLogEnabled");
        EXPECT_EQ(U8(s->Alias), "DebugLogEnabled");
        EXPECT_EQ(s->ValueType, dtBoolean);
        EXPECT_TRUE(s->Value == Variant(false));
        EXPECT_TRUE(s->Default == Variant(false));
        EXPECT_FALSE(s->ReadOnly);
        EXPECT_EQ(U8(s->Name), "Отладочный лог");
        EXPECT_EQ(U8(s->Description), "Если равно True, ведется отладочный лог");
        EXPECT_EQ(U8(d->Settings(1)->ID), "Port");
        EXPECT_EQ(d->DeviceID(), u"default");
        EXPECT_EQ(d->LastResultCode(), 0);
        EXPECT_FALSE(d->Enabled());
        EXPECT_FALSE(d->CapSettingsDlg());
        EXPECT_FALSE(d->AutoKeepFocus());
    }
}

TEST_F(HostBaseDriver, LookupByEitherNameInAnyCase) {
    auto d = Create();
    const struct {
        std::u16string name;
        int32_t expected;
    } methods[] = {
        {u"GetVersion", 1},
        {u"getversion", 1},
        {u"ПОЛУЧИТЬНОМЕРВЕРСИИ", 1},
        {u"получитьномерверсии", 1},
        {u"подключить", 2},
        {u"OPEN", 2},
        {u"TWIN", 3},  // two entries share the name: the lower index wins
        {u"second", 4},
        {u"ReadSettings", -1},  // only on 7.7
        {u"Nothing", -1},
        {u"", -1},  // not even an entry without an alias
    };
    for (const auto& c : methods) {
        EXPECT_EQ(d->GetMethodNum(c.name), c.expected) << U8(c.name);
        const PMethodStruct m = d->FindMethod(c.name);
        if (c.expected < 0)
            EXPECT_EQ(m, nullptr) << U8(c.name);
        else
            EXPECT_EQ(m, d->MethodList(c.expected)) << U8(c.name);
    }
    const struct {
        std::u16string name;
        int32_t expected;
    } props[] = {
        {u"debuglogenabled", 0}, {u"PORT", 1},     {u"порт", 1}, {u"ЗАГОЛОВОК", 2}, {u"Flag", 4},
        {u"Ставка", 5},          {u"Unknown", -1}, {u"", -1},
    };
    for (const auto& c : props) {
        EXPECT_EQ(d->GetPropNum(c.name), c.expected) << U8(c.name);
        const PSettingStruct s = d->FindSetting(c.name);
        EXPECT_EQ(s, c.expected < 0 ? nullptr : d->PropList(c.expected)) << U8(c.name);
    }
}

TEST_F(HostBaseDriver, AddSettingMergesById) {
    auto d = Create();
    const int32_t count = d->SettingsCount();
    EXPECT_EQ(d->AddSetting(u"pORT", u"Порт2", dtString, Variant(int32_t{7}), true, u"Другое",
                            u"Новое описание"),
              1);
    EXPECT_EQ(d->SettingsCount(), count);
    const PSettingStruct s = d->Settings(1);
    EXPECT_EQ(U8(s->ID), "Port");
    EXPECT_EQ(U8(s->Alias), "Порт2");
    EXPECT_EQ(s->ValueType, dtNumber);
    EXPECT_TRUE(s->Value == Variant(int32_t{7}));
    EXPECT_TRUE(s->Default == Variant(int32_t{7}));
    EXPECT_TRUE(s->ReadOnly);
    EXPECT_EQ(U8(s->Name), "Порт");
    EXPECT_EQ(U8(s->Description), "Новое описание");

    // The alias is not an ID: a setting named like another's alias is a new one.
    EXPECT_EQ(d->AddSetting(u"Флаг", u"", dtString, Variant(u"f"), false, u"", u""), count);
    EXPECT_EQ(d->SettingsCount(), count + 1);
    const int32_t methods = d->MethsCount();
    EXPECT_EQ(d->AddMethod(u"Twin", u"", nullptr, 0), methods);
    EXPECT_EQ(d->GetMethodNum(u"twin"), 3);
}

TEST_F(HostBaseDriver, SetSettingValueTypeRules) {
    Variant refTarget(int32_t{12});
    const struct {
        const char* what;
        std::u16string id;
        Variant value;
        bool cast;
        Variant expected;
    } cases[] = {
        {"integer into Boolean", u"DebugLogEnabled", Variant(int32_t{1}), false, Variant(false)},
        {"integer into Boolean, cast", u"DebugLogEnabled", Variant(int32_t{1}), true,
         Variant(false)},
        {"True text into Boolean, cast", u"DebugLogEnabled", Variant(u"True"), true, Variant(true)},
        {"true text into Boolean, cast", u"Flag", Variant(u"true"), true, Variant(false)},
        {"Boolean into Boolean", u"Flag", Variant(false), false, Variant(false)},
        {"digits into number", u"Port", Variant(u"57"), false, Variant(int32_t{1})},
        {"digits into number, cast", u"Port", Variant(u"57"), true, Variant(int32_t{57})},
        {"fraction into number, cast", u"Port", Variant(u"2.5"), true, Variant(2.5)},
        {"other separator, cast", u"Port", Variant(u"2,5"), true, Variant(0.0)},
        {"Boolean into number", u"Port", Variant(true), false, Variant(true)},
        {"double into number", u"Port", Variant(9.75), false, Variant(9.75)},
        {"by the alias", u"порт", Variant(int32_t{3}), false, Variant(int32_t{3})},
        {"by reference", u"Port", Variant::ByRef(&refTarget), false, Variant(int32_t{12})},
        {"number into string", u"Title", Variant(int32_t{5}), true, Variant(u"x")},
        {"one-byte string into string", u"Title", Variant::FromAnsiString("\xC0"), false,
         Variant::FromAnsiString("\xC0")},
        {"text into date", u"Start", Variant(u"a"), false,
         Variant::FromDate(EncodeDate(2026, 1, 2))},
        {"date into date", u"Start", Variant::FromDate(10), false, Variant::FromDate(10)},
        {"read-only setting is written", u"Title", Variant(u"new"), false, Variant(u"new")},
    };
    for (const auto& c : cases) {
        auto d = Create();
        d->SetSettingValue(c.id, c.value, c.cast);
        EXPECT_TRUE(d->FindSetting(c.id)->Value == c.expected)
            << c.what << ": " << U8(VarToLogStr(d->FindSetting(c.id)->Value));
    }

    auto d = Create();
    d->SetSettingValue(u"Unknown", Variant(int32_t{1}), true);  // silently nothing
    SetDecimalSeparator(u',');
    d->SetSettingValue(u"Rate", Variant(u"2,5"), true);
    EXPECT_TRUE(d->FindSetting(u"Rate")->Value == Variant(2.5));
    EXPECT_THROW(d->SetSettingValue(u"Start", Variant(u"no date"), true), EConvertError);
    EXPECT_TRUE(d->FindSetting(u"Start")->Value == Variant::FromDate(EncodeDate(2026, 1, 2)));
}

TEST_F(HostBaseDriver, SettingGetters) {
    auto d = Create();
    EXPECT_TRUE(d->GetSettingValueBool(u"Flag"));
    EXPECT_FALSE(d->GetSettingValueBool(u"Unknown"));
    EXPECT_EQ(d->GetSettingValueInt(u"порт"), 1);
    EXPECT_EQ(d->GetSettingValueInt(u"Unknown"), 0);
    EXPECT_EQ(d->GetSettingValueDbl(u"Rate"), 1.5);
    EXPECT_EQ(d->GetSettingValueCurr(u"Rate"), Currency::FromRaw(15000));
    EXPECT_EQ(d->GetSettingValueCurr(u"Unknown"), Currency{});
    EXPECT_EQ(d->GetSettingValueStr(u"Title"), u"x");
    EXPECT_EQ(d->GetSettingValueStr(u"Unknown"), u"");
    EXPECT_EQ(d->GetSettingValueDate(u"Start"), EncodeDate(2026, 1, 2));
    EXPECT_EQ(d->GetSettingValueDate(u"Unknown"), 0.0);
    EXPECT_TRUE(d->GetSettingValue(u"Unknown", false).IsEmpty());
    EXPECT_TRUE(d->GetSettingReadOnly(u"Title"));
    EXPECT_FALSE(d->GetSettingReadOnly(u"Port"));
    EXPECT_FALSE(d->GetSettingReadOnly(u"Unknown"));

    d->SetSettingValue(u"Port", Variant(int32_t{9}), false);
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{9}));
    EXPECT_TRUE(d->GetSettingValue(u"Port", true) == Variant(int32_t{1}));
    d->PropList(1)->Value = Variant(u"not a number");
    EXPECT_THROW(d->GetSettingValueInt(u"Port"), Exception);
    d->SetAllSettingsDefault();
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{1}));
}

TEST_F(HostBaseDriver, StoreAndRestoreSettings) {
    auto d = Create();
    d->StoreSettings({u"Port", u"Unknown", u"заголовок"});
    d->SetSettingValue(u"Port", Variant(int32_t{5}), false);
    d->SetSettingValue(u"Title", Variant(u"changed"), false);
    d->SetSettingValue(u"Flag", Variant(false), false);
    d->RestoreSettings();
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{1}));
    EXPECT_TRUE(d->GetSettingValue(u"Title", false) == Variant(u"x"));
    EXPECT_TRUE(d->GetSettingValue(u"Flag", false) == Variant(false));  // not stored
    // The buffer is emptied: a second restore changes nothing.
    d->SetSettingValue(u"Port", Variant(int32_t{6}), false);
    d->RestoreSettings();
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{6}));
}

TEST_F(HostBaseDriver, SettingsByIndex) {
    auto d = Create();
    EXPECT_EQ(d->Settings(-1), nullptr);
    EXPECT_EQ(d->Settings(d->SettingsCount()), nullptr);
    EXPECT_EQ(d->Settings(0), d->PropList(0));
    EXPECT_EQ(d->Settings(d->SettingsCount() - 1), d->PropList(d->SettingsCount() - 1));
}

TEST_F(HostBaseDriver, EnabledFollowsEnable) {
    auto d = Create();
    std::u16string text = u"stale";
    EXPECT_EQ(d->Enable(text), 1003);
    EXPECT_EQ(text, u"");
    d->SetEnabled(true);
    EXPECT_FALSE(d->Enabled());
    EXPECT_FALSE(d->ShowSettingsDlg());

    THostConnectingDriver c;
    c.Initialize();
    c.SetEnabled(true);
    EXPECT_TRUE(c.Enabled());
    c.SetEnabled(false);
    EXPECT_FALSE(c.Enabled());
    EXPECT_EQ(c.disables, 1);
    EXPECT_EQ(c.Enable(), 0);
    EXPECT_TRUE(c.Enabled());
}

TEST_F(HostBaseDriver, DebugLogSettingSwitchesTheLevel) {
    auto d = Create();
    d->SetSettingValue(u"DebugLogEnabled", Variant(true), false);
    TLog::SetLogLevel(1);
    EXPECT_EQ(d->LogContext().Level(), 1) << "nothing of its own yet: the process's";
    d->UpdateDebugLogEnabled();
    EXPECT_EQ(d->LogContext().Level(), 3);
    d->SetSettingValue(u"DebugLogEnabled", Variant(false), false);
    d->UpdateDebugLogEnabled();
    EXPECT_EQ(d->LogContext().Level(), 0);
    // The object's own level only: the process's and another object's stay.
    EXPECT_EQ(TLog::LogLevel(), 1);
    EXPECT_EQ(Create()->LogContext().Level(), 1);
}

TEST_F(HostBaseDriver, SettingsFileOn77Only) {
    auto d8 = Create(kHost8);
    d8->SaveSettings();
    d8->ReadSettings();
    EXPECT_FALSE(std::filesystem::exists(SettingsDir()));

    auto d = Create(kHost77);
    d->ReadSettings();  // no file yet: nothing changes
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{1}));
    EXPECT_EQ(U8(d->GetSettingsFileName()), StsPath().string());

    d->SetSettingValue(u"Port", Variant(int32_t{3}), false);
    d->SetSettingValue(u"Title", Variant(u"две\r\nстроки"), false);
    d->SetSettingValue(u"Flag", Variant(false), false);
    d->SetSettingValue(u"Start", Variant::FromDate(EncodeDate(2027, 3, 4) + EncodeTime(5, 6, 7, 0)),
                       false);
    d->SaveSettings();
    ASSERT_TRUE(std::filesystem::exists(StsPath()));

    auto other = Create(kHost77);
    other->ReadSettings();
    EXPECT_TRUE(other->GetSettingValue(u"Port", false) == Variant(int32_t{3}));
    EXPECT_TRUE(other->GetSettingValue(u"Title", false) == Variant(u"две\r\nстроки"));
    EXPECT_TRUE(other->GetSettingValue(u"Flag", false) == Variant(false));
    EXPECT_TRUE(other->GetSettingValue(u"Rate", false) == Variant(1.5));
    EXPECT_NEAR(other->GetSettingValueDate(u"Start"),
                EncodeDate(2027, 3, 4) + EncodeTime(5, 6, 7, 0), 1e-6);
}

TEST_F(HostBaseDriver, SettingsFileMissingKeys) {
    auto d = Create(kHost77);
    std::filesystem::create_directories(SettingsDir());
    {
        std::ofstream out(StsPath(), std::ios::binary);
        out << "[SETTINGS]\r\nStart=05.06.2027\r\n";
    }
    d->ReadSettings();
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{0}));
    EXPECT_TRUE(d->GetSettingValue(u"Title", false) == Variant(u""));
    EXPECT_TRUE(d->GetSettingValue(u"Flag", false) == Variant(false));
    EXPECT_TRUE(d->GetSettingValue(u"DebugLogEnabled", false) == Variant(false));
    EXPECT_EQ(d->GetSettingValueDate(u"Start"), EncodeDate(2027, 6, 5));
    {
        std::ofstream out(StsPath(), std::ios::binary);
        out << "[SETTINGS]\r\nStart=never\r\n";
    }
    EXPECT_THROW(d->ReadSettings(), EConvertError);
}

TEST_F(HostBaseDriver, AHandEditedSettingsFileReadsTrimmed) {
    auto d = Create(kHost77);
    std::filesystem::create_directories(SettingsDir());
    {
        std::ofstream out(StsPath(), std::ios::binary);
        out << "[SETTINGS]\r\n  Title = Касса 1 \r\nPort = 7\r\nStart = 05.06.2027\r\n";
    }
    d->ReadSettings();
    EXPECT_TRUE(d->GetSettingValue(u"Title", false) == Variant(u"Касса 1"));
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{7}));
}

TEST_F(HostBaseDriver, DeviceIdNamesTheFile) {
    auto d = Create(kHost77);
    SafeArrayPtr params = SafeArray::Vector(1);
    params->Put(0, Variant(u"Касса-1"));
    Variant ret;
    EXPECT_EQ(d->FindMethod(u"SetDeviceID")->DriverMethod(ret, params.get()), kHrOk);
    EXPECT_TRUE(ret.IsEmpty());
    EXPECT_EQ(d->DeviceID(), u"Касса-1");
    d->SaveSettings();
    EXPECT_TRUE(std::filesystem::exists(StsPath("Касса-1")));

    // An identity that names other folders stays a file inside the settings folder.
    for (const std::u16string id : {u"../../escape", u"..", u"a\\b:c"}) {
        params->Put(0, Variant(id));
        d->FindMethod(u"SetDeviceID")->DriverMethod(ret, params.get());
        const std::filesystem::path file(U8(d->GetSettingsFileName()));
        EXPECT_EQ(file.parent_path(), SettingsDir()) << U8(id);
        d->SaveSettings();
        EXPECT_TRUE(std::filesystem::exists(file)) << U8(id);
    }
    EXPECT_FALSE(std::filesystem::exists(Dir().parent_path() / "escape.sts"));
}

TEST_F(HostBaseDriver, BaseHandlers) {
    auto d = Create(kHost77);
    Variant ret;
    d->FindMethod(u"GetVersion")->DriverMethod(ret, nullptr);
    ASSERT_EQ(ret.Type(), vtOleStr);
    EXPECT_EQ(ret.StrValue(), GetFileVersionStr(u""));
    d->FindMethod(u"ОтобразитьФормуНастроек")->DriverMethod(ret, nullptr);
    EXPECT_TRUE(ret == Variant(false));

    d->SetSettingValue(u"Port", Variant(int32_t{8}), false);
    ret = Variant(int32_t{77});
    d->FindMethod(u"ЗаписатьНастройки")->DriverMethod(ret, nullptr);
    EXPECT_TRUE(ret == Variant(int32_t{77}));
    d->SetSettingValue(u"Port", Variant(int32_t{2}), false);
    d->FindMethod(u"СчитатьНастройки")->DriverMethod(ret, nullptr);
    EXPECT_TRUE(d->GetSettingValue(u"Port", false) == Variant(int32_t{8}));
}

TEST_F(HostBaseDriver, ParameterArrayOperations) {
    SafeArrayPtr params = SafeArray::Vector(4);
    SafeArray* p = params.get();
    TBaseDriver::PutParamStr(p, 0, u"текст");
    TBaseDriver::PutParamInt(p, 1, -5);
    TBaseDriver::PutParamDouble(p, 2, 2.5);
    TBaseDriver::PutParam(p, 3, Variant::Null());
    TBaseDriver::PutParam(p, 4, Variant(true));   // past the end: ignored
    TBaseDriver::PutParam(p, -1, Variant(true));  // before the start: ignored
    TBaseDriver::PutParam(nullptr, 0, Variant(true));
    EXPECT_TRUE(TBaseDriver::GetParam(p, 0) == Variant(u"текст"));
    EXPECT_TRUE(TBaseDriver::GetParam(p, 1) == Variant(int32_t{-5}));
    EXPECT_TRUE(TBaseDriver::GetParam(p, 2) == Variant(2.5));
    EXPECT_TRUE(TBaseDriver::GetParam(p, 3).IsNull());
    EXPECT_TRUE(TBaseDriver::GetParam(p, 4).IsEmpty());
    EXPECT_TRUE(TBaseDriver::GetParam(p, -1).IsEmpty());
    EXPECT_TRUE(TBaseDriver::GetParam(nullptr, 0).IsEmpty());
}

TEST_F(HostBaseDriver, FocusStack) {
    auto d = Create();
    d->RestoreFocus();  // empty: nothing
    EXPECT_EQ(d->FocusDepth(), 0u);
    d->StoreFocus();  // no foreground window here: a zero handle
    d->StoreFocus();
    EXPECT_EQ(d->FocusDepth(), 2u);
    d->RestoreFocus();
    d->RestoreFocus();
    d->RestoreFocus();
    EXPECT_EQ(d->FocusDepth(), 0u);
}

TEST_F(HostBaseDriver, ClassRegistry) {
    EXPECT_EQ(CreateDriverByClassName(u"THostNoSuchDriver"), nullptr);
    auto d = CreateDriverByClassName(u"thostsampledriver");
    ASSERT_NE(d, nullptr);
    EXPECT_GT(d->MethsCount(), 2);  // Initialize ran

    RegisterDriverClass<THostConnectingDriver>(u"THostSampleDriver");
    auto replaced = CreateDriverByClassName(u"THostSampleDriver");
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(replaced->Enable(), 0);  // the second factory's class
    RegisterDriverClass(u"THostEmptyFactory", TDriverFactory());
    EXPECT_EQ(CreateDriverByClassName(u"THostEmptyFactory"), nullptr);
}

}  // namespace
}  // namespace fr
