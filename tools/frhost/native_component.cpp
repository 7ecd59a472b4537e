#include "tools/frhost/native_component.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <set>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "platform/date_time.h"
#include "platform/text.h"
#include "tools/frhost/host_session.h"

namespace fr {

// ---- The platform's side of the interface, from its published layout.
namespace {

#ifdef _WIN32
#define FRH_CALL __stdcall
constexpr size_t kDestructorSlots = 1;
using TLong = int32_t;
using TULong = uint32_t;
constexpr size_t kVariantSize = 48;
#else
#define FRH_CALL
constexpr size_t kDestructorSlots = 2;
using TLong = int64_t;
using TULong = uint64_t;
constexpr size_t kVariantSize = 64;
#endif
constexpr size_t kElementsOffset = kVariantSize - 8;
constexpr size_t kTypeOffset = kVariantSize - 4;
static_assert(kElementsOffset + sizeof(uint32_t) == kTypeOffset);
constexpr TLong kTechnologyVersion = 2000;

// Type codes of the interface's values.
enum : uint16_t {
    kEmpty = 0,
    kNull = 1,
    kI2 = 2,
    kI4 = 3,
    kR4 = 4,
    kR8 = 5,
    kDate = 6,
    kTm = 7,
    kPstr = 8,
    kInterface = 9,
    kError = 10,
    kBool = 11,
    kI1 = 13,
    kUi1 = 14,
    kUi2 = 15,
    kUi4 = 16,
    kI8 = 17,
    kUi8 = 18,
    kInt = 19,
    kUint = 20,
    kPwstr = 22,
};

// One value in the platform's layout: the union, then cbElements, then vt.
struct TValue {
    alignas(8) unsigned char bytes[kVariantSize] = {};

    uint16_t Type() const { return Get<uint16_t>(kTypeOffset); }
    void SetType(uint16_t vt) { Put(kTypeOffset, vt); }
    template <class T>
    T Get(size_t offset = 0) const {
        T value;
        std::memcpy(&value, bytes + offset, sizeof value);
        return value;
    }
    template <class T>
    void Put(size_t offset, T value) {
        std::memcpy(bytes + offset, &value, sizeof value);
    }
    // A string member: the pointer, then its 32-bit length.
    void* Pointer() const { return Get<void*>(0); }
    uint32_t Length() const { return Get<uint32_t>(sizeof(void*)); }
    void SetText(uint16_t vt, const void* pointer, uint32_t length) {
        *this = TValue();
        Put(0, pointer);
        Put(sizeof(void*), length);
        SetType(vt);
    }
    friend bool operator==(const TValue& a, const TValue& b) {
        return std::memcmp(a.bytes, b.bytes, kVariantSize) == 0;
    }
};

// The calendar time's first nine int fields are the same on every target.
struct TCalendar {
    int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;
};

// Index of a method within its table, after the destructor slot(s).
enum TInitDoneSlot { sInit, sSetMemManager, sGetInfo, sDone };
enum TExtenderSlot {
    sRegisterExtensionAs,
    sGetNProps,
    sFindProp,
    sGetPropName,
    sGetPropVal,
    sSetPropVal,
    sIsPropReadable,
    sIsPropWritable,
    sGetNMethods,
    sFindMethod,
    sGetMethodName,
    sGetNParams,
    sGetParamDefValue,
    sHasRetVal,
    sCallAsProc,
    sCallAsFunc
};
enum TLocaleSlot { sSetLocale };

template <class Fn>
Fn Slot(void* iface, size_t method) {
    void* const* table = *static_cast<void* const* const*>(iface);
    return reinterpret_cast<Fn>(table[kDestructorSlots + method]);
}

using TGetClassNames = const char16_t* (*)();
using TGetClassObject = TLong (*)(const char16_t*, void**);
using TDestroyObject = TLong (*)(void**);
using TSetPlatformCapabilities = int (*)(int);
using TGetAttachType = int (*)();

// An object the platform hands to the component: its table, then the host.
struct TPlatformObject {
    void* const* table;
    TNativeComponent::TImpl* host;
};

TNativeComponent::TImpl& HostOf(void* self);

}  // namespace

struct TNativeComponent::TImpl {
    TNativeOptions options;
    std::string path;
    void* library = nullptr;
    TDestroyObject destroyObject = nullptr;
    void* object = nullptr;
    std::u16string classNames;
    std::u16string extensionName;
    std::vector<TNativeAddError> errors;
    std::vector<std::string> faults;
    std::set<void*> live;  // blocks the memory manager gave out and nobody freed
    TPlatformObject memory{};
    TPlatformObject connection{};
    int32_t eventBufferDepth = 0;

    void* InitDone() const { return object; }
    void* Extender() const { return static_cast<void**>(object) + 1; }
    void* Locale() const { return static_cast<void**>(object) + 2; }
    void* Memory() { return options.GiveMemoryManager ? &memory : nullptr; }

    void Fault(const std::string& text) { faults.push_back(text); }

    // A block the component handed over: must come from the memory manager.
    bool Owned(const void* block, const char* what) {
        if (!block) return false;
        if (live.count(const_cast<void*>(block))) return true;
        Fault(std::string(what) + " was not allocated through the memory manager");
        return false;
    }
    void Free(void* block) {
        if (live.erase(block)) std::free(block);
    }
    // Reads a text the component allocated, then frees it as the platform does.
    bool TakeText(const char16_t* text, const char* what, std::u16string& out) {
        if (!Owned(text, what)) return false;
        out = text;
        Free(const_cast<char16_t*>(text));
        return true;
    }

    // Values going in: the texts live in `keep` until the call returns.
    TValue In(const Variant& source, std::deque<std::u16string>& keep,
              std::deque<std::string>& keepBytes) const {
        const Variant& value = source.Deref();
        TValue out;
        switch (value.BaseType()) {
            case vtEmpty:
                break;
            case vtNull:
                out.SetType(kNull);
                break;
            case vtBoolean:
                out.Put(0, value.BoolValue());
                out.SetType(kBool);
                break;
            case vtSmallint:
                out.Put(0, static_cast<int16_t>(value.IntValue()));
                out.SetType(kI2);
                break;
            case vtInteger:
                out.Put(0, static_cast<int32_t>(value.IntValue()));
                out.SetType(kI4);
                break;
            case vtShortInt:
                out.Put(0, static_cast<int8_t>(value.IntValue()));
                out.SetType(kI1);
                break;
            case vtByte:
                out.Put(0, static_cast<uint8_t>(value.IntValue()));
                out.SetType(kUi1);
                break;
            case vtWord:
                out.Put(0, static_cast<uint16_t>(value.IntValue()));
                out.SetType(kUi2);
                break;
            case vtLongWord:
                out.Put(0, static_cast<uint32_t>(value.IntValue()));
                out.SetType(kUi4);
                break;
            case vtInt64:
                out.Put(0, static_cast<int64_t>(value.IntValue()));
                out.SetType(kI8);
                break;
            case vtUInt64:
                out.Put(0, value.UIntValue());
                out.SetType(kUi8);
                break;
            case vtError:
                out.Put(0, static_cast<int32_t>(value.IntValue()));
                out.SetType(kError);
                break;
            case vtSingle:
                out.Put(0, static_cast<float>(value.FloatValue()));
                out.SetType(kR4);
                break;
            case vtDouble:
                out.Put(0, value.FloatValue());
                out.SetType(kR8);
                break;
            case vtCurrency:
                out.Put(0, value.CurrValue().ToDouble());
                out.SetType(kR8);
                break;
            case vtDate:
                if (options.DatesAsTm) {
                    TCalendar tm{};
                    int msec = 0;
                    DecodeDate(value.FloatValue(), tm.year, tm.mon, tm.mday);
                    DecodeTime(value.FloatValue(), tm.hour, tm.min, tm.sec, msec);
                    tm.year -= 1900;
                    tm.mon -= 1;
                    out.Put(0, tm);
                    out.SetType(kTm);
                } else {
                    out.Put(0, value.FloatValue());
                    out.SetType(kDate);
                }
                break;
            case vtOleStr:
            case vtUString:
                keep.push_back(value.StrValue());
                out.SetText(kPwstr,
                            keep.back().empty() && options.EmptyStringsAsNull ? nullptr
                                                                              : keep.back().c_str(),
                            static_cast<uint32_t>(keep.back().size()));
                break;
            case vtString:
                keepBytes.push_back(value.AnsiValue());
                out.SetText(kPstr,
                            keepBytes.back().empty() && options.EmptyStringsAsNull
                                ? nullptr
                                : keepBytes.back().c_str(),
                            static_cast<uint32_t>(keepBytes.back().size()));
                break;
            default:
                // Anything else reaches the component as an interface pointer,
                // which the driver has no use for.
                out.Put(0, static_cast<void*>(nullptr));
                out.SetType(kInterface);
                break;
        }
        return out;
    }

    // A value the component wrote; its texts are freed once read.
    Variant Out(const TValue& value) {
        switch (value.Type()) {
            case kEmpty:
                return Variant();
            case kNull:
                return Variant::Null();
            case kI2:
                return Variant::FromSmallint(value.Get<int16_t>());
            case kI4:
            case kInt:
                return Variant(value.Get<int32_t>());
            case kR4:
                return Variant::FromSingle(value.Get<float>());
            case kR8:
                return Variant(value.Get<double>());
            case kDate:
                return Variant::FromDate(value.Get<double>());
            case kBool:
                return Variant(value.Get<bool>());
            case kI1:
                return Variant::FromShortInt(value.Get<int8_t>());
            case kUi1:
                return Variant::FromByte(value.Get<uint8_t>());
            case kUi2:
                return Variant::FromWord(value.Get<uint16_t>());
            case kUi4:
            case kUint:
                return Variant::FromLongWord(value.Get<uint32_t>());
            case kI8:
                return Variant::FromInt64(value.Get<int64_t>());
            case kUi8:
                return Variant::FromUInt64(value.Get<uint64_t>());
            case kError:
                return Variant::FromError(value.Get<int32_t>());
            case kPwstr: {
                auto* text = static_cast<char16_t*>(value.Pointer());
                if (!Owned(text, "a PWSTR value")) return Variant(u"");
                if (text[value.Length()] != 0) Fault("a PWSTR value without its terminating zero");
                Variant result(std::u16string(text, value.Length()));
                Free(text);
                return result;
            }
            case kPstr: {
                auto* text = static_cast<char*>(value.Pointer());
                if (!Owned(text, "a PSTR value")) return Variant::FromAnsiString("");
                Variant result = Variant::FromAnsiString(std::string(text, value.Length()));
                Free(text);
                return result;
            }
            default:
                Fault("a value of type " + std::to_string(value.Type()) +
                      ", which the platform does not take back");
                return Variant::OfType(value.Type());
        }
    }
};

namespace {

TNativeComponent::TImpl& HostOf(void* self) {
    return *static_cast<TPlatformObject*>(self)->host;
}

// The platform's objects never expect their destructor slot to be called.
void DestructorSlot() {
    std::cerr << "frhost: the component called a destructor slot of a platform object\n";
    std::abort();
}

bool FRH_CALL AllocMemory(void* self, void** block, TULong bytes) {
    if (!block) return false;
    *block = bytes ? std::malloc(static_cast<size_t>(bytes)) : nullptr;
    if (!*block) return false;
    HostOf(self).live.insert(*block);
    return true;
}

void FRH_CALL FreeMemory(void* self, void** block) {
    if (!block || !*block) return;
    auto& host = HostOf(self);
    if (!host.live.count(*block)) {
        host.Fault("FreeMemory of a block the memory manager does not hold");
        return;
    }
    host.Free(*block);
    *block = nullptr;
}

bool FRH_CALL AddError(void* self, uint16_t code, const char16_t* source, const char16_t* descr,
                       TLong scode) {
    auto& host = HostOf(self);
    TNativeAddError error{code, source ? source : u"", descr ? descr : u"",
                          static_cast<int64_t>(scode)};
    if (host.options.Diagnostics)
        *host.options.Diagnostics << "frhost: AddError " << code << ' ' << Utf16ToUtf8(error.Source)
                                  << ": " << Utf16ToUtf8(error.Description) << '\n';
    host.errors.push_back(std::move(error));
    return true;
}

bool FRH_CALL Read(void*, char16_t*, void*, TLong*, char16_t**) {
    return false;
}
bool FRH_CALL Write(void*, char16_t*, void*) {
    return false;
}
bool FRH_CALL RegisterProfileAs(void*, char16_t*) {
    return false;
}
bool FRH_CALL SetEventBufferDepth(void* self, TLong depth) {
    HostOf(self).eventBufferDepth = static_cast<int32_t>(depth);
    return true;
}
TLong FRH_CALL GetEventBufferDepth(void* self) {
    return HostOf(self).eventBufferDepth;
}
bool FRH_CALL ExternalEvent(void*, char16_t*, char16_t*, char16_t*) {
    return true;
}
void FRH_CALL CleanEventBuffer(void*) {}
bool FRH_CALL SetStatusLine(void*, char16_t*) {
    return true;
}
void FRH_CALL ResetStatusLine(void*) {}

template <class F>
void* Entry(F function) {
    return reinterpret_cast<void*>(function);
}

#ifdef _WIN32
#define FRH_DESTRUCTORS Entry(&DestructorSlot)
#else
#define FRH_DESTRUCTORS Entry(&DestructorSlot), Entry(&DestructorSlot)
#endif

void* const kMemoryTable[] = {FRH_DESTRUCTORS, Entry(&AllocMemory), Entry(&FreeMemory)};
void* const kConnectionTable[] = {FRH_DESTRUCTORS,
                                  Entry(&AddError),
                                  Entry(&Read),
                                  Entry(&Write),
                                  Entry(&RegisterProfileAs),
                                  Entry(&SetEventBufferDepth),
                                  Entry(&GetEventBufferDepth),
                                  Entry(&ExternalEvent),
                                  Entry(&CleanEventBuffer),
                                  Entry(&SetStatusLine),
                                  Entry(&ResetStatusLine)};

// ---- The library file.

void* OpenLibrary(const std::string& path, std::string& error) {
#ifdef _WIN32
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) error = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) error = dlerror();
    return handle;
#endif
}

void* Symbol(void* library, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

void CloseLibrary(void* library) {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

HResult Answer(bool ok) {
    return ok ? kHrOk : kHrFalse;
}

std::string Utf8(const std::u16string& text) {
    return Utf16ToUtf8(text);
}

}  // namespace

TNativeComponent::TNativeComponent(const std::string& libraryPath, TNativeOptions options)
    : impl_(std::make_unique<TImpl>()) {
    TImpl& m = *impl_;
    m.options = options;
    m.path = libraryPath;
    m.memory = {kMemoryTable, &m};
    m.connection = {kConnectionTable, &m};
    std::string error;
    m.library = OpenLibrary(libraryPath, error);
    if (!m.library) throw ENativeLoadError(libraryPath + ": cannot be loaded: " + error);
    auto fail = [&](const std::string& text) {
        if (m.object && m.destroyObject) m.destroyObject(&m.object);
        CloseLibrary(m.library);
        m.library = nullptr;
        throw ENativeLoadError(libraryPath + ": " + text);
    };
    auto names = reinterpret_cast<TGetClassNames>(Symbol(m.library, "GetClassNames"));
    auto create = reinterpret_cast<TGetClassObject>(Symbol(m.library, "GetClassObject"));
    m.destroyObject = reinterpret_cast<TDestroyObject>(Symbol(m.library, "DestroyObject"));
    if (!names || !create || !m.destroyObject)
        fail("does not export GetClassNames, GetClassObject and DestroyObject");
    if (auto capabilities = reinterpret_cast<TSetPlatformCapabilities>(
            Symbol(m.library, "SetPlatformCapabilities")))
        capabilities(3);
    if (auto attach = reinterpret_cast<TGetAttachType>(Symbol(m.library, "GetAttachType")))
        attach();
    const char16_t* list = names();
    m.classNames = list ? list : u"";
    const std::u16string first = m.classNames.substr(0, m.classNames.find(u'|'));
    if (first.empty()) fail("GetClassNames gave no class name");
    if (create(first.c_str(), &m.object) != 1 || !m.object)
        fail("GetClassObject(\"" + Utf8(first) + "\") created no object");
    // GetInfo takes nothing and answers a known number: a table whose slots are
    // shifted shows here, before a call with arguments can land on the wrong method.
    const TLong info = Slot<TLong(FRH_CALL*)(void*)>(m.InitDone(), sGetInfo)(m.InitDone());
    if (info != kTechnologyVersion)
        fail("GetInfo answered " + std::to_string(info) + ", not " +
             std::to_string(kTechnologyVersion) +
             ": the object's first table is not laid out as the platform calls it (" +
             std::to_string(kDestructorSlots) +
             " destructor slot(s), then Init, setMemManager, GetInfo, Done)");
    const bool memoryTaken =
        Slot<bool(FRH_CALL*)(void*, void*)>(m.InitDone(), sSetMemManager)(m.InitDone(), m.Memory());
    if (memoryTaken != options.GiveMemoryManager)
        fail(std::string("setMemManager answered ") + (memoryTaken ? "true" : "false"));
    if (options.GiveMemoryManager) {
        char16_t* name = nullptr;
        const bool named = Slot<bool(FRH_CALL*)(void*, char16_t**)>(
            m.Extender(), sRegisterExtensionAs)(m.Extender(), &name);
        if (!named || !m.TakeText(name, "the extension name", m.extensionName) ||
            m.extensionName.empty())
            fail(
                "RegisterExtensionAs gave no name: the object's second table is not laid out "
                "as the platform calls it");
    }
}

TNativeComponent::~TNativeComponent() {
    Destroy();
}

void TNativeComponent::Destroy() {
    TImpl& m = *impl_;
    if (!m.library) return;
    if (m.object) {
        void* object = m.object;
        if (m.destroyObject(&object) != 0 || object)
            m.Fault("DestroyObject did not answer 0 with the pointer cleared");
        m.object = nullptr;
    }
    if (!m.live.empty())
        m.Fault(std::to_string(m.live.size()) + " block(s) of the memory manager never freed");
    for (void* block : m.live)
        std::free(block);
    m.live.clear();
    CloseLibrary(m.library);
    m.library = nullptr;
}

const std::u16string& TNativeComponent::ClassNames() const {
    return impl_->classNames;
}
const std::u16string& TNativeComponent::ExtensionName() const {
    return impl_->extensionName;
}
const std::vector<TNativeAddError>& TNativeComponent::Errors() const {
    return impl_->errors;
}
const std::vector<std::string>& TNativeComponent::Faults() const {
    return impl_->faults;
}

HResult TNativeComponent::Init() {
    TImpl& m = *impl_;
    return Answer(
        Slot<bool(FRH_CALL*)(void*, void*)>(m.InitDone(), sInit)(m.InitDone(), &m.connection));
}

HResult TNativeComponent::Done() {
    TImpl& m = *impl_;
    if (!m.object) return kHrOk;  // destroyed already
    Slot<void(FRH_CALL*)(void*)>(m.InitDone(), sDone)(m.InitDone());
    return kHrOk;
}

HResult TNativeComponent::GetInfo(SafeArray* pInfo) {
    TImpl& m = *impl_;
    const TLong info = Slot<TLong(FRH_CALL*)(void*)>(m.InitDone(), sGetInfo)(m.InitDone());
    if (pInfo) pInfo->Put(0, Variant(static_cast<int32_t>(info)));
    return kHrOk;
}

HResult TNativeComponent::RegisterExtensionAs(std::u16string& bstrExtensionName) {
    TImpl& m = *impl_;
    char16_t* name = nullptr;
    const bool ok = Slot<bool(FRH_CALL*)(void*, char16_t**)>(m.Extender(), sRegisterExtensionAs)(
        m.Extender(), &name);
    if (ok && m.TakeText(name, "the extension name", bstrExtensionName)) return kHrOk;
    return kHrFalse;
}

HResult TNativeComponent::GetNProps(int32_t& plProps) {
    TImpl& m = *impl_;
    plProps =
        static_cast<int32_t>(Slot<TLong(FRH_CALL*)(void*)>(m.Extender(), sGetNProps)(m.Extender()));
    return kHrOk;
}

HResult TNativeComponent::FindProp(const std::u16string& bstrPropName, int32_t& plPropNum) {
    TImpl& m = *impl_;
    plPropNum = static_cast<int32_t>(Slot<TLong(FRH_CALL*)(void*, const char16_t*)>(
        m.Extender(), sFindProp)(m.Extender(), bstrPropName.c_str()));
    return kHrOk;
}

HResult TNativeComponent::GetPropName(int32_t lPropNum, int32_t lPropAlias,
                                      std::u16string& pbstrPropName) {
    TImpl& m = *impl_;
    const char16_t* name = Slot<const char16_t*(FRH_CALL*)(void*, TLong, TLong)>(
        m.Extender(), sGetPropName)(m.Extender(), lPropNum, lPropAlias);
    return Answer(m.TakeText(name, "a property name", pbstrPropName));
}

HResult TNativeComponent::GetPropVal(int32_t lPropNum, Variant& pvarPropVal) {
    TImpl& m = *impl_;
    TValue value;
    const bool ok = Slot<bool(FRH_CALL*)(void*, TLong, TValue*)>(m.Extender(), sGetPropVal)(
        m.Extender(), lPropNum, &value);
    pvarPropVal = ok ? m.Out(value) : Variant();
    return Answer(ok);
}

HResult TNativeComponent::SetPropVal(int32_t lPropNum, const Variant& varPropVal) {
    TImpl& m = *impl_;
    std::deque<std::u16string> keep;
    std::deque<std::string> keepBytes;
    TValue value = m.In(varPropVal, keep, keepBytes);
    return Answer(Slot<bool(FRH_CALL*)(void*, TLong, TValue*)>(m.Extender(), sSetPropVal)(
        m.Extender(), lPropNum, &value));
}

HResult TNativeComponent::IsPropReadable(int32_t lPropNum, bool& pboolPropRead) {
    TImpl& m = *impl_;
    pboolPropRead =
        Slot<bool(FRH_CALL*)(void*, TLong)>(m.Extender(), sIsPropReadable)(m.Extender(), lPropNum);
    return kHrOk;
}

HResult TNativeComponent::IsPropWritable(int32_t lPropNum, bool& pboolPropWrite) {
    TImpl& m = *impl_;
    pboolPropWrite =
        Slot<bool(FRH_CALL*)(void*, TLong)>(m.Extender(), sIsPropWritable)(m.Extender(), lPropNum);
    return kHrOk;
}

HResult TNativeComponent::GetNMethods(int32_t& plMethods) {
    TImpl& m = *impl_;
    plMethods = static_cast<int32_t>(
        Slot<TLong(FRH_CALL*)(void*)>(m.Extender(), sGetNMethods)(m.Extender()));
    return kHrOk;
}

HResult TNativeComponent::FindMethod(const std::u16string& bstrMethodName, int32_t& plMethodNum) {
    TImpl& m = *impl_;
    plMethodNum = static_cast<int32_t>(Slot<TLong(FRH_CALL*)(void*, const char16_t*)>(
        m.Extender(), sFindMethod)(m.Extender(), bstrMethodName.c_str()));
    return kHrOk;
}

int64_t TNativeComponent::FindMethodNull() {
    TImpl& m = *impl_;
    return Slot<TLong(FRH_CALL*)(void*, const char16_t*)>(m.Extender(), sFindMethod)(m.Extender(),
                                                                                     nullptr);
}

HResult TNativeComponent::GetMethodName(int32_t lMethodNum, int32_t lMethodAlias,
                                        std::u16string& pbstrMethodName) {
    TImpl& m = *impl_;
    const char16_t* name = Slot<const char16_t*(FRH_CALL*)(void*, TLong, TLong)>(
        m.Extender(), sGetMethodName)(m.Extender(), lMethodNum, lMethodAlias);
    return Answer(m.TakeText(name, "a method name", pbstrMethodName));
}

HResult TNativeComponent::GetNParams(int32_t lMethodNum, int32_t& plParams) {
    TImpl& m = *impl_;
    plParams = static_cast<int32_t>(
        Slot<TLong(FRH_CALL*)(void*, TLong)>(m.Extender(), sGetNParams)(m.Extender(), lMethodNum));
    return kHrOk;
}

HResult TNativeComponent::GetParamDefValue(int32_t lMethodNum, int32_t lParamNum,
                                           Variant& pvarParamDefValue) {
    TImpl& m = *impl_;
    TValue value;
    const bool ok = Slot<bool(FRH_CALL*)(void*, TLong, TLong, TValue*)>(
        m.Extender(), sGetParamDefValue)(m.Extender(), lMethodNum, lParamNum, &value);
    pvarParamDefValue = ok ? m.Out(value) : Variant();
    return Answer(ok);
}

HResult TNativeComponent::HasRetVal(int32_t lMethodNum, bool& pboolRetValue) {
    TImpl& m = *impl_;
    pboolRetValue =
        Slot<bool(FRH_CALL*)(void*, TLong)>(m.Extender(), sHasRetVal)(m.Extender(), lMethodNum);
    return kHrOk;
}

namespace {

// One call's parameter array in the platform's layout; after the call each
// element the component replaced is read back (and its memory freed).
class TCallArray {
  public:
    TCallArray(TNativeComponent::TImpl& host, SafeArray* params) : host_(host), params_(params) {
        if (!params_) return;
        for (const Variant& element : params_->Elements())
            values_.push_back(host_.In(element, keep_, keepBytes_));
        before_ = values_;
    }
    TValue* Data() { return values_.empty() ? nullptr : values_.data(); }
    TLong Count() const { return static_cast<TLong>(values_.size()); }
    void ReadBack() {
        for (size_t i = 0; i < values_.size(); ++i)
            if (!(values_[i] == before_[i])) params_->Elements()[i] = host_.Out(values_[i]);
    }

  private:
    TNativeComponent::TImpl& host_;
    SafeArray* params_;
    std::deque<std::u16string> keep_;
    std::deque<std::string> keepBytes_;
    std::vector<TValue> values_;
    std::vector<TValue> before_;
};

}  // namespace

HResult TNativeComponent::CallAsProc(int32_t lMethodNum, SafeArray* paParams) {
    TImpl& m = *impl_;
    TCallArray array(m, paParams);
    const bool ok = Slot<bool(FRH_CALL*)(void*, TLong, TValue*, TLong)>(m.Extender(), sCallAsProc)(
        m.Extender(), lMethodNum, array.Data(), array.Count());
    array.ReadBack();
    return Answer(ok);
}

HResult TNativeComponent::CallAsFunc(int32_t lMethodNum, Variant& pvarRetValue,
                                     SafeArray* paParams) {
    TImpl& m = *impl_;
    TCallArray array(m, paParams);
    TValue result;
    const bool ok = Slot<bool(FRH_CALL*)(void*, TLong, TValue*, TValue*, TLong)>(
        m.Extender(), sCallAsFunc)(m.Extender(), lMethodNum, &result, array.Data(), array.Count());
    array.ReadBack();
    pvarRetValue = m.Out(result);
    return Answer(ok);
}

bool TNativeComponent::CallAsFuncWithoutArray(int32_t lMethodNum, int64_t count, Variant& result) {
    TImpl& m = *impl_;
    TValue value;
    const bool ok =
        Slot<bool(FRH_CALL*)(void*, TLong, TValue*, TValue*, TLong)>(m.Extender(), sCallAsFunc)(
            m.Extender(), lMethodNum, &value, nullptr, static_cast<TLong>(count));
    result = m.Out(value);
    return ok;
}

HResult TNativeComponent::SetLocale(const std::u16string& wsLocale) {
    TImpl& m = *impl_;
    Slot<void(FRH_CALL*)(void*, const char16_t*)>(m.Locale(), sSetLocale)(m.Locale(),
                                                                          wsLocale.c_str());
    return kHrOk;
}

int RunNativeHostSession(const std::string& libraryPath, std::istream& in, std::ostream& out,
                         std::ostream& diagnostics) {
    TNativeOptions options;
    options.Diagnostics = &diagnostics;
    auto component = std::make_unique<TNativeComponent>(libraryPath, options);
    TNativeComponent& native = *component;
    {
        THostSession session(std::move(component));
        ServeHostSession(session, in, out, diagnostics);
        // The session's end runs Done; the object goes with the session.
        session.Component().Done();
        native.Destroy();
        for (const std::string& fault : native.Faults())
            diagnostics << "frhost: " << libraryPath << ": " << fault << '\n';
        if (!native.Faults().empty()) return 1;
    }
    return 0;
}

}  // namespace fr
