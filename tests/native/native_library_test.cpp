// The Native API library as the platform meets it: loaded by file, driven
// through frhost's own declaration of the platform's tables, memory manager and
// connection. Bad input must give a false answer, never a crash.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "platform/date_time.h"
#include "tools/frhost/native_component.h"

namespace fr::test {
namespace {

class NativeLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("fr_native_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        setenv("FR_COMMON_APPDATA", dir_.c_str(), 1);
        setenv("FR_NO_MESSAGE_BOX", "1", 1);
    }
    void TearDown() override {
        component_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    TNativeComponent& Load(TNativeOptions options = {}) {
        component_ = std::make_unique<TNativeComponent>(FR_NATIVE_LIBRARY, options);
        return *component_;
    }
    int32_t Method(const std::u16string& name) {
        int32_t num = -1;
        component_->FindMethod(name, num);
        return num;
    }
    void ExpectNoFaults() {
        component_->Destroy();
        for (const auto& fault : component_->Faults())
            ADD_FAILURE() << fault;
    }

    std::filesystem::path dir_;
    std::unique_ptr<TNativeComponent> component_;
};

TEST_F(NativeLibrary, OffersOneClassUnderItsExtensionName) {
    TNativeComponent& c = Load();
    EXPECT_EQ(c.ClassNames(), u"fr_norvane1c83");
    EXPECT_EQ(c.ExtensionName(), u"fr_norvane1c83");
    ASSERT_EQ(c.Init(), kHrOk);
    int32_t methods = 0, props = 0;
    c.GetNMethods(methods);
    c.GetNProps(props);
    EXPECT_EQ(methods, 24);
    EXPECT_GT(props, 0);
    // A parameter left out arrives empty, as through COM; every method has a result.
    Variant def(true);
    EXPECT_EQ(c.GetParamDefValue(0, 0, def), kHrOk);
    EXPECT_TRUE(def.IsEmpty());
    bool hasResult = false;
    EXPECT_EQ(c.HasRetVal(5, hasResult), kHrOk);
    EXPECT_TRUE(hasResult);
    ExpectNoFaults();
}

TEST_F(NativeLibrary, MethodNamesByAliasEnglishThenRussian) {
    TNativeComponent& c = Load();
    ASSERT_EQ(c.Init(), kHrOk);
    // Names in either field: a standard method keeps its Russian name first,
    // a fiscal one its English name.
    const struct {
        const char16_t* english;
        const char16_t* russian;
    } cases[] = {{u"GetDescription", u"ПолучитьОписание"},
                 {u"Open", u"Подключить"},
                 {u"ProcessCheck", u"СформироватьЧек"}};
    for (const auto& k : cases) {
        const int32_t num = Method(k.english);
        ASSERT_GE(num, 0);
        EXPECT_EQ(Method(k.russian), num);
        std::u16string english, russian;
        EXPECT_EQ(c.GetMethodName(num, 0, english), kHrOk);
        EXPECT_EQ(c.GetMethodName(num, 1, russian), kHrOk);
        EXPECT_EQ(english, k.english);
        EXPECT_EQ(russian, k.russian);
    }
    std::u16string name;
    EXPECT_EQ(c.GetMethodName(24, 0, name), kHrFalse);
    EXPECT_EQ(c.GetMethodName(-1, 1, name), kHrFalse);
    // Letter case does not matter, Cyrillic included.
    EXPECT_EQ(Method(u"сформироватьчек"), Method(u"ProcessCheck"));
    EXPECT_EQ(Method(u"NoSuchMethod"), -1);
    EXPECT_EQ(c.FindMethodNull(), -1);
    ExpectNoFaults();
}

TEST_F(NativeLibrary, PropertiesReadWriteAndKeepTheirValues) {
    TNativeComponent& c = Load();
    ASSERT_EQ(c.Init(), kHrOk);
    int32_t num = -1;
    c.FindProp(u"ipaddress", num);
    ASSERT_GE(num, 0);
    bool readable = false, writable = false;
    c.IsPropReadable(num, readable);
    c.IsPropWritable(num, writable);
    EXPECT_TRUE(readable);
    EXPECT_TRUE(writable);
    // A one-byte string travels as PSTR in code page 1251 and reads back as text.
    ASSERT_EQ(c.SetPropVal(num, Variant::FromAnsiString("\xcf\xf0\xe8")), kHrOk);
    Variant value;
    ASSERT_EQ(c.GetPropVal(num, value), kHrOk);
    ASSERT_EQ(value.Type(), vtOleStr);
    EXPECT_EQ(value.StrValue(), u"При");
    int32_t count = 0;
    c.GetNProps(count);
    bool flag = true;
    c.IsPropReadable(count, flag);
    EXPECT_FALSE(flag);
    EXPECT_EQ(c.GetPropVal(count, value), kHrFalse);
    EXPECT_EQ(c.SetPropVal(-1, Variant(true)), kHrFalse);
    std::u16string name;
    EXPECT_EQ(c.GetPropName(count, 0, name), kHrFalse);
    ExpectNoFaults();
}

TEST_F(NativeLibrary, ValuesOfEveryKindReachTheDriver) {
    TNativeComponent& c = Load({.GiveMemoryManager = true, .DatesAsTm = true});
    ASSERT_EQ(c.Init(), kHrOk);
    int32_t num = -1;
    c.FindProp(u"IPPort", num);
    ASSERT_GE(num, 0);
    const Variant values[] = {Variant(),
                              Variant::Null(),
                              Variant(true),
                              Variant(int32_t{-7}),
                              Variant(2.5),
                              Variant::FromSmallint(-3),
                              Variant::FromByte(200),
                              Variant::FromWord(60000),
                              Variant::FromLongWord(4000000000u),
                              Variant::FromInt64(-5),
                              Variant::FromUInt64(123),
                              Variant::FromSingle(1.5f),
                              Variant::FromShortInt(-100),
                              Variant(u"текст")};
    for (const Variant& v : values) {
        ASSERT_EQ(c.SetPropVal(num, v), kHrOk) << v.Type();
        Variant back;
        ASSERT_EQ(c.GetPropVal(num, back), kHrOk) << v.Type();
        EXPECT_TRUE(back.IsString() || back.Type() == vtBoolean || back.Type() == vtInteger ||
                    back.Type() == vtDouble || back.IsEmpty() || back.IsNull())
            << back.Type();
    }
    // A calendar time goes in as TM and comes back as a DATE of the same moment.
    const TDateTime moment = EncodeDate(2026, 12, 9) + EncodeTime(15, 4, 5, 0);
    ASSERT_EQ(c.SetPropVal(num, Variant::FromDate(moment)), kHrOk);
    Variant back;
    ASSERT_EQ(c.GetPropVal(num, back), kHrOk);
    ASSERT_EQ(back.Type(), vtDate);
    EXPECT_NEAR(back.FloatValue(), moment, 1e-9);
    ExpectNoFaults();
}

TEST_F(NativeLibrary, CallsAnswerFalseForWhatCannotBeCalled) {
    TNativeComponent& c = Load();
    ASSERT_EQ(c.Init(), kHrOk);
    const int32_t lastError = Method(u"GetLastError");
    ASSERT_GE(lastError, 0);
    Variant result;
    // A bad method number: false, and nothing to report.
    auto params = SafeArray::Vector(1);
    EXPECT_EQ(c.CallAsFunc(24, result, params.get()), kHrFalse);
    EXPECT_EQ(c.CallAsFunc(-1, result, params.get()), kHrFalse);
    EXPECT_EQ(c.CallAsProc(1000, params.get()), kHrFalse);
    EXPECT_TRUE(c.Errors().empty());
    // No array, whatever count the platform claims, and a short array: the
    // method still answers with its own result.
    EXPECT_TRUE(c.CallAsFuncWithoutArray(lastError, 3, result));
    EXPECT_EQ(result.Type(), vtInteger);
    auto none = SafeArray::Vector(0);
    EXPECT_EQ(c.CallAsFunc(Method(u"GetDescription"), result, none.get()), kHrOk);
    // A value the driver cannot take: false, and the reason through AddError.
    (*params).Elements()[0] = Variant::FromDispatch(0);
    EXPECT_EQ(c.CallAsFunc(lastError, result, params.get()), kHrFalse);
    ASSERT_EQ(c.Errors().size(), 1u);
    EXPECT_EQ(c.Errors()[0].Code, 1006);
    EXPECT_EQ(c.Errors()[0].Source, u"fr_norvane1c83");
    EXPECT_EQ(c.Errors()[0].Description, u"Параметр 1: тип значения 9 не поддерживается");
    EXPECT_NE(c.Errors()[0].Scode, 0);
    // An output the driver writes comes back allocated by the memory manager.
    (*params).Elements()[0] = Variant();
    ASSERT_EQ(c.CallAsFunc(lastError, result, params.get()), kHrOk);
    EXPECT_EQ(result.Type(), vtInteger);
    ASSERT_TRUE((*params).Elements()[0].IsString());
    EXPECT_EQ((*params).Elements()[0].StrValue(), u"Нет ошибок");
    ExpectNoFaults();
}

TEST_F(NativeLibrary, WithoutAMemoryManagerNothingIsHandedOver) {
    TNativeComponent& c = Load({.GiveMemoryManager = false});
    ASSERT_EQ(c.Init(), kHrOk);
    std::u16string name;
    EXPECT_EQ(c.RegisterExtensionAs(name), kHrFalse);
    EXPECT_EQ(c.GetMethodName(0, 0, name), kHrFalse);
    const int32_t lastError = Method(u"GetLastError");
    auto params = SafeArray::Vector(1);
    Variant result;
    // The method ran, but its text output cannot reach the platform.
    EXPECT_EQ(c.CallAsFunc(lastError, result, params.get()), kHrFalse);
    ASSERT_EQ(c.Errors().size(), 1u);
    EXPECT_EQ(c.Errors()[0].Description, u"Параметр 1: значение не передано платформе");
    // Numbers need no memory.
    int32_t num = -1;
    c.FindProp(u"IPPort", num);
    ASSERT_GE(num, 0);
    ASSERT_EQ(c.SetPropVal(num, Variant(int32_t{4242})), kHrOk);
    Variant value;
    ASSERT_EQ(c.GetPropVal(num, value), kHrOk);
    EXPECT_EQ(value, Variant(int32_t{4242}));
    ExpectNoFaults();
}

TEST_F(NativeLibrary, NullStringsReadAsEmptyText) {
    TNativeComponent& c = Load({.EmptyStringsAsNull = true});
    ASSERT_EQ(c.Init(), kHrOk);
    int32_t num = -1;
    c.FindProp(u"IPAddress", num);
    ASSERT_GE(num, 0);
    for (const Variant& empty : {Variant(u""), Variant::FromAnsiString("")}) {
        ASSERT_EQ(c.SetPropVal(num, empty), kHrOk);
        Variant value;
        ASSERT_EQ(c.GetPropVal(num, value), kHrOk);
        ASSERT_TRUE(value.IsString());
        EXPECT_TRUE(value.StrValue().empty());
    }
    // Null texts as method arguments, and more elements than the method has.
    auto params = SafeArray::Vector(3);
    params->Elements()[1] = Variant(u"");
    Variant result;
    EXPECT_EQ(c.CallAsFunc(Method(u"GetLastError"), result, params.get()), kHrOk);
    EXPECT_EQ(result, Variant(int32_t{0}));
    ExpectNoFaults();
}

TEST_F(NativeLibrary, WithoutInitThereIsNoDriverAndNoCrash) {
    TNativeComponent& c = Load();
    int32_t count = -1;
    c.GetNMethods(count);
    EXPECT_EQ(count, 0);
    Variant result;
    auto params = SafeArray::Vector(1);
    EXPECT_EQ(c.CallAsFunc(0, result, params.get()), kHrFalse);
    c.Done();
    ExpectNoFaults();
}

// The same adapter built with the other ABI's single destructor slot: the host
// must refuse it with a plain reason instead of calling into the wrong methods.
TEST(NativeLibraryLayout, AShiftedTableIsRefusedClearly) {
    try {
        TNativeComponent component(FR_NATIVE_SHIFTED_LIBRARY);
        FAIL() << "a library with shifted tables was accepted";
    } catch (const ENativeLoadError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("GetInfo answered"), std::string::npos) << text;
        EXPECT_NE(text.find("not laid out as the platform calls it"), std::string::npos) << text;
    }
}

TEST(NativeLibraryLayout, AFileThatIsNoComponentIsRefused) {
    EXPECT_THROW(TNativeComponent("/nonexistent/library.so"), ENativeLoadError);
    // A real shared object without the entry points.
    try {
        TNativeComponent component(FR_NOT_A_COMPONENT_LIBRARY);
        FAIL() << "accepted";
    } catch (const ENativeLoadError& e) {
        EXPECT_NE(std::string(e.what()).find("does not export"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace fr::test
