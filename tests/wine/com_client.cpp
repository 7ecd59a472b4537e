// A COM client that plays the host platform: creates the component by its
// programmatic identifier, initialises it with a connection object of its own,
// and runs a script of calls, checking every answer. Exit code 0 only when
// every line passed.
//
// Script lines (# starts a comment, ${NAME} takes an environment variable):
//   create | init | done | release | info <value> | ext <value>
//   nmethods <n> | nprops <n> | findmethod <name> <n> | findprop <name> <n>
//   methodname <n> <alias> <value> | propname <n> <alias> <value> | nparams <name> <n>
//   hasretval <n> | defvalue <n> <m> | setprop <name> <value> | getprop <name> <value>
//   call <name|#n> <args...> => <value> [@i=<value>...] [hr=<n>]
//   proc <name|#n> <args...> [@i=<value>...] [hr=<n>]
//   connection <refs>      the connection object's references held by the component
// Values: empty null any i2:N i4:N r4:X r8:X cy:X date:X bool:true|false ui1:N
//   str:"text" disp:conn disp:null ref:<value> ref-<type>:<x> arr(<v>,...)
//   arr-<type>(<x>,...); <type>:* matches any value of that type.
//   file:"path" is the text of a UTF-8 file (a BSTR; a relative path is taken
//   from the script's folder); contains:"text" matches a
//   BSTR that holds the text (@i= may be given more than once).

#include <windows.h>

#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "com/com_interfaces.h"

namespace {

using fr::com::IAsyncEvent;
using fr::com::IInitDone;
using fr::com::ILanguageExtender;
using fr::com::IPropertyLink;

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// The folder of the script, with its separator, for file:"..." values.
std::string g_scriptFolder;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Check(bool condition, const std::string& message) {
    if (!condition) throw Failure(message);
}

std::string Hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

void CheckHr(HRESULT actual, HRESULT expected, const std::string& what) {
    Check(actual == expected, what + " answered " + Hex(actual) + ", expected " + Hex(expected));
}

// ---- The connection object: IDispatch, IAsyncEvent, IExtWndsSupport.

class TConnection final : public IDispatch, public IAsyncEvent, public fr::com::IExtWndsSupport {
  public:
    std::vector<std::string> calls;
    LONG refs = 1;
    long depth = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
        } else if (IsEqualIID(riid, fr::com::kIID_IAsyncEvent)) {
            calls.push_back("QI IAsyncEvent");
            *ppv = static_cast<IAsyncEvent*>(this);
        } else if (IsEqualIID(riid, fr::com::kIID_IExtWndsSupport)) {
            calls.push_back("QI IExtWndsSupport");
            *ppv = static_cast<fr::com::IExtWndsSupport*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE SetEventBufferDepth(long lDepth) override {
        calls.push_back("SetEventBufferDepth(" + std::to_string(lDepth) + ")");
        depth = lDepth;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEventBufferDepth(long* plDepth) override {
        if (plDepth) *plDepth = depth;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExternalEvent(BSTR source, BSTR message, BSTR data) override {
        calls.push_back("ExternalEvent(" + Narrow(source ? source : L"") + "," +
                        Narrow(message ? message : L"") + "," + Narrow(data ? data : L"") + ")");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CleanBuffer() override { return S_OK; }
};

// ---- Values.

// A VARIANT the client owns, with storage for what a by-reference value points at.
struct TValue {
    VARIANT v;
    std::unique_ptr<TValue> target;  // by reference: the variable referred to
    TValue() { VariantInit(&v); }
    ~TValue() {
        if (!(v.vt & VT_BYREF)) VariantClear(&v);
    }
    TValue(const TValue&) = delete;
    TValue& operator=(const TValue&) = delete;
};

// An expectation: a value, or a kind that matches any value of the type.
struct TPattern {
    bool any = false;       // matches everything
    bool anyValue = false;  // matches any value of `value.v.vt`
    std::shared_ptr<TValue> value;
    std::shared_ptr<TPattern> refTarget;  // ref:<pattern>
    std::vector<TPattern> elements;       // arr(...)
    bool isArray = false;
    VARTYPE arrayType = VT_VARIANT;
    std::wstring contains;  // contains:"..."
    bool isContains = false;
};

struct TType {
    const char* name;
    VARTYPE vt;
};
constexpr TType kTypes[] = {
    {"i2", VT_I2},     {"i4", VT_I4},    {"r4", VT_R4},     {"r8", VT_R8},   {"cy", VT_CY},
    {"date", VT_DATE}, {"str", VT_BSTR}, {"bool", VT_BOOL}, {"ui1", VT_UI1}, {"disp", VT_DISPATCH}};

std::string TypeName(VARTYPE vt) {
    for (const auto& t : kTypes)
        if (t.vt == vt) return t.name;
    if (vt == VT_EMPTY) return "empty";
    if (vt == VT_NULL) return "null";
    return "vt" + std::to_string(vt);
}

class TParser {
  public:
    TParser(std::string text, IDispatch* connection)
        : s_(std::move(text)), connection_(connection) {}

    bool AtEnd() {
        SkipBlanks();
        return pos_ >= s_.size();
    }
    bool Peek(const std::string& word) {
        SkipBlanks();
        return s_.compare(pos_, word.size(), word) == 0;
    }
    bool Take(const std::string& word) {
        if (!Peek(word)) return false;
        pos_ += word.size();
        return true;
    }
    std::string Word() {
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == '"') return Quoted();
        const size_t start = pos_;
        while (pos_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
        return s_.substr(start, pos_ - start);
    }
    // Decimal, or hexadecimal with 0x (HRESULTs).
    long Number() {
        SkipBlanks();
        const size_t start = pos_;
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
        if (pos_ < s_.size() && s_[pos_] == 'x')
            while (++pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
            }
        const std::string w = s_.substr(start, pos_ - start);
        char* end = nullptr;
        const long n = static_cast<long>(std::strtoll(w.c_str(), &end, 0));
        Check(!w.empty() && *end == '\0', "a number expected at '" + s_.substr(start, 12) + "'");
        return n;
    }

    TPattern Pattern() {
        SkipBlanks();
        TPattern p;
        if (Take("any")) {
            p.any = true;
            return p;
        }
        if (Take("ref:")) {
            p.refTarget = std::make_shared<TPattern>(Pattern());
            return p;
        }
        if (Take("contains:")) {
            SkipBlanks();
            p.isContains = true;
            p.contains = Widen(Quoted());
            return p;
        }
        if (Take("file:")) {
            SkipBlanks();
            p.value = std::make_shared<TValue>();
            const std::wstring text = Widen(FileText(Quoted()));
            p.value->v.vt = VT_BSTR;
            p.value->v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            return p;
        }
        if (Take("arr")) {
            p.isArray = true;
            if (Take("-")) p.arrayType = TypeOf(Ident());
            Check(Take("("), "'(' expected");
            while (!Take(")")) {
                if (p.arrayType == VT_VARIANT) {
                    p.elements.push_back(Pattern());
                } else {
                    // A typed array lists bare literals of its type.
                    TPattern e;
                    e.value = std::make_shared<TValue>();
                    SkipBlanks();
                    Scalar(p.arrayType, e.value->v);
                    p.elements.push_back(std::move(e));
                }
                Take(",");
                Check(pos_ < s_.size(), "')' expected");
            }
            return p;
        }
        p.value = std::make_shared<TValue>();
        const std::string kind = Ident();
        if (kind == "empty") return p;
        if (kind == "null") {
            p.value->v.vt = VT_NULL;
            return p;
        }
        const VARTYPE vt = TypeOf(kind);
        Check(Take(":"), "':' expected after " + kind);
        if (Take("*")) {
            p.anyValue = true;
            p.value->v.vt = vt;
            return p;
        }
        Scalar(vt, p.value->v);
        return p;
    }

    // A value to pass in: a pattern without wildcards, built into `out`.
    void Value(TValue& out) {
        SkipBlanks();
        if (Take("ref-")) {
            const VARTYPE vt = TypeOf(Ident());
            Check(Take(":"), "':' expected");
            out.target = std::make_unique<TValue>();
            Scalar(vt, out.target->v);
            out.v.vt = VT_BYREF | vt;
            out.v.byref = &out.target->v.lVal;
            if (vt == VT_BSTR) out.v.pbstrVal = &out.target->v.bstrVal;
            return;
        }
        if (Take("ref:")) {
            out.target = std::make_unique<TValue>();
            Value(*out.target);
            out.v.vt = VT_BYREF | VT_VARIANT;
            out.v.pvarVal = &out.target->v;
            return;
        }
        TPattern p = Pattern();
        Check(!p.any && !p.anyValue && !p.refTarget && !p.isContains,
              "a wildcard cannot be passed");
        Build(p, out.v);
    }

    void Build(const TPattern& p, VARIANT& out) {
        VariantInit(&out);
        if (!p.isArray) {
            HRESULT hr = VariantCopy(&out, &p.value->v);
            Check(SUCCEEDED(hr), "VariantCopy failed");
            return;
        }
        SAFEARRAYBOUND bound{static_cast<ULONG>(p.elements.size()), 0};
        SAFEARRAY* array = SafeArrayCreate(p.arrayType, 1, &bound);
        for (LONG i = 0; i < static_cast<LONG>(p.elements.size()); ++i) {
            VARIANT element;
            Build(p.elements[static_cast<size_t>(i)], element);
            if (p.arrayType == VT_VARIANT) {
                SafeArrayPutElement(array, &i, &element);
            } else {
                Check(SUCCEEDED(VariantChangeType(&element, &element, 0, p.arrayType)),
                      "array element of the wrong type");
                SafeArrayPutElement(array, &i,
                                    p.arrayType == VT_BSTR ? static_cast<void*>(element.bstrVal)
                                                           : static_cast<void*>(&element.lVal));
            }
            VariantClear(&element);
        }
        out.vt = VT_ARRAY | p.arrayType;
        out.parray = array;
    }

  private:
    static std::string FileText(std::string path) {
        const bool absolute = path.find(':') != std::string::npos ||
                              (!path.empty() && (path[0] == '\\' || path[0] == '/'));
        if (!absolute) path = g_scriptFolder + path;
        std::ifstream file(path, std::ios::binary);
        Check(static_cast<bool>(file), "cannot read " + path);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    void SkipBlanks() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }
    std::string Ident() {
        const size_t start = pos_;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_]))))
            ++pos_;
        return s_.substr(start, pos_ - start);
    }
    std::string Quoted() {
        Check(s_[pos_] == '"', "'\"' expected");
        ++pos_;
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c == '\\' && pos_ < s_.size()) {
                c = s_[pos_++];
                if (c == 'n') c = '\n';
                if (c == 'r') c = '\r';
            }
            out += c;
        }
        Check(pos_ < s_.size(), "unterminated text");
        ++pos_;
        return out;
    }
    std::string Token() {
        const size_t start = pos_;
        while (pos_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[pos_])) &&
               s_[pos_] != ',' && s_[pos_] != ')')
            ++pos_;
        return s_.substr(start, pos_ - start);
    }
    static VARTYPE TypeOf(const std::string& name) {
        for (const auto& t : kTypes)
            if (name == t.name) return t.vt;
        throw Failure("unknown type '" + name + "'");
    }
    void Scalar(VARTYPE vt, VARIANT& out) {
        VariantInit(&out);
        if (vt == VT_BSTR) {
            out.vt = VT_BSTR;
            const std::wstring w = Widen(Quoted());
            out.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
            return;
        }
        const std::string token = Token();
        out.vt = vt;
        switch (vt) {
            case VT_I2:
                out.iVal = static_cast<SHORT>(std::stol(token));
                break;
            case VT_I4:
                out.lVal = std::stol(token);
                break;
            case VT_R4:
                out.fltVal = std::stof(token);
                break;
            case VT_R8:
                out.dblVal = std::stod(token);
                break;
            case VT_DATE:
                out.date = std::stod(token);
                break;
            case VT_UI1:
                out.bVal = static_cast<BYTE>(std::stoul(token));
                break;
            case VT_CY:
                out.cyVal.int64 = std::llround(std::stold(token) * 10000.0L);
                break;
            case VT_BOOL:
                Check(token == "true" || token == "false", "bool:true or bool:false");
                out.boolVal = token == "true" ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case VT_DISPATCH:
                Check(token == "conn" || token == "null", "disp:conn or disp:null");
                out.pdispVal = token == "conn" ? connection_ : nullptr;
                if (out.pdispVal) out.pdispVal->AddRef();
                break;
            default:
                throw Failure("no literal for " + TypeName(vt));
        }
    }

    std::string s_;
    size_t pos_ = 0;
    IDispatch* connection_;
};

std::string Show(const VARIANT& v);

std::string ShowArray(SAFEARRAY* array) {
    if (!array) return "arr(nil)";
    VARTYPE type = VT_VARIANT;
    SafeArrayGetVartype(array, &type);
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    std::string out = "arr";
    if (type != VT_VARIANT) out.append("-").append(TypeName(type));
    out += "(";
    for (LONG i = low; i <= high; ++i) {
        VARIANT e;
        VariantInit(&e);
        if (type == VT_VARIANT) {
            SafeArrayGetElement(array, &i, &e);
        } else {
            e.vt = type;
            SafeArrayGetElement(
                array, &i,
                type == VT_BSTR ? static_cast<void*>(&e.bstrVal) : static_cast<void*>(&e.lVal));
        }
        if (i > low) out += ",";
        out += Show(e);
        VariantClear(&e);
    }
    return out + ")";
}

std::string Show(const VARIANT& v) {
    char buf[64];
    if (v.vt & VT_ARRAY) return ShowArray((v.vt & VT_BYREF) ? *v.pparray : v.parray);
    if (v.vt == (VT_BYREF | VT_VARIANT)) return "ref:" + Show(*v.pvarVal);
    if (v.vt & VT_BYREF) {
        VARIANT copy;
        VariantInit(&copy);
        VariantCopyInd(&copy, const_cast<VARIANT*>(&v));
        std::string s = "ref-" + Show(copy);
        VariantClear(&copy);
        return s;
    }
    switch (v.vt) {
        case VT_EMPTY:
            return "empty";
        case VT_NULL:
            return "null";
        case VT_I2:
            return "i2:" + std::to_string(v.iVal);
        case VT_I4:
            return "i4:" + std::to_string(v.lVal);
        case VT_R4:
            std::snprintf(buf, sizeof buf, "r4:%.9g", v.fltVal);
            return buf;
        case VT_R8:
            std::snprintf(buf, sizeof buf, "r8:%.17g", v.dblVal);
            return buf;
        case VT_DATE:
            std::snprintf(buf, sizeof buf, "date:%.17g", v.date);
            return buf;
        case VT_CY:
            std::snprintf(buf, sizeof buf, "cy:%lld.%04lld",
                          static_cast<long long>(v.cyVal.int64 / 10000),
                          static_cast<long long>(std::llabs(v.cyVal.int64 % 10000)));
            return buf;
        case VT_BSTR: {
            std::string s = Narrow(
                std::wstring(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0));
            std::string escaped;
            for (char c : s)
                escaped += c == '\n' ? std::string("\\n") : c == '\r' ? "\\r" : std::string(1, c);
            return "str:\"" + escaped + "\"";
        }
        case VT_BOOL:
            return v.boolVal ? "bool:true" : "bool:false";
        case VT_UI1:
            return "ui1:" + std::to_string(v.bVal);
        case VT_DISPATCH:
            std::snprintf(buf, sizeof buf, "disp:%p", static_cast<void*>(v.pdispVal));
            return buf;
        default:
            return TypeName(v.vt);
    }
}

bool Matches(const TPattern& p, const VARIANT& actual, const TValue* passed);

bool ArrayMatches(const TPattern& p, const VARIANT& actual) {
    if (actual.vt != (VT_ARRAY | p.arrayType) || !actual.parray) return false;
    if (SafeArrayGetDim(actual.parray) != 1) return false;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(actual.parray, 1, &low);
    SafeArrayGetUBound(actual.parray, 1, &high);
    if (high - low + 1 != static_cast<LONG>(p.elements.size())) return false;
    for (LONG i = low; i <= high; ++i) {
        VARIANT e;
        VariantInit(&e);
        if (p.arrayType == VT_VARIANT) {
            SafeArrayGetElement(actual.parray, &i, &e);
        } else {
            e.vt = p.arrayType;
            SafeArrayGetElement(actual.parray, &i,
                                p.arrayType == VT_BSTR ? static_cast<void*>(&e.bstrVal)
                                                       : static_cast<void*>(&e.lVal));
        }
        const bool ok = Matches(p.elements[static_cast<size_t>(i - low)], e, nullptr);
        VariantClear(&e);
        if (!ok) return false;
    }
    return true;
}

// `passed` is what the client put in this place, for references: a reference
// must still be the client's own variable, written through.
bool Matches(const TPattern& p, const VARIANT& actual, const TValue* passed) {
    if (p.any) return true;
    if (p.refTarget) {
        if (!(actual.vt & VT_BYREF) || !passed || !passed->target) return false;
        if (actual.byref != passed->v.byref) return false;
        if (actual.vt == (VT_BYREF | VT_VARIANT))
            return Matches(*p.refTarget, *actual.pvarVal, nullptr);
        return Matches(*p.refTarget, passed->target->v, nullptr);
    }
    if (p.isArray) return ArrayMatches(p, actual);
    if (p.isContains) {
        if (actual.vt != VT_BSTR) return false;
        const std::wstring text(actual.bstrVal ? actual.bstrVal : L"",
                                actual.bstrVal ? SysStringLen(actual.bstrVal) : 0);
        return text.find(p.contains) != std::wstring::npos;
    }
    const VARIANT& e = p.value->v;
    if (actual.vt != e.vt) return false;
    if (p.anyValue) return true;
    switch (e.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_BSTR:
            return SysStringLen(actual.bstrVal) == SysStringLen(e.bstrVal) &&
                   std::memcmp(actual.bstrVal, e.bstrVal, SysStringByteLen(e.bstrVal)) == 0;
        case VT_I2:
            return actual.iVal == e.iVal;
        case VT_I4:
            return actual.lVal == e.lVal;
        case VT_R4:
            return actual.fltVal == e.fltVal;
        case VT_R8:
            return actual.dblVal == e.dblVal;
        case VT_DATE:
            return actual.date == e.date;
        case VT_CY:
            return actual.cyVal.int64 == e.cyVal.int64;
        case VT_BOOL:
            return (actual.boolVal != 0) == (e.boolVal != 0) && actual.boolVal == e.boolVal;
        case VT_UI1:
            return actual.bVal == e.bVal;
        case VT_DISPATCH:
            return actual.pdispVal == e.pdispVal;
        default:
            return false;
    }
}

// ---- The session.

template <class T>
void ReleaseOf(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

class TSession {
  public:
    ~TSession() { ReleaseAll(); }

    void Run(const std::string& line) {
        TParser in(line, &connection_);
        const std::string command = in.Word();
        if (command == "create") return Create();
        if (command == "init") return Init();
        if (command == "done") {
            Check(initDone_ != nullptr, "no component object (create first)");
            return CheckHr(initDone_->Done(), S_OK, "Done");
        }
        if (command == "release") return ReleaseAll();
        if (command == "connection") {
            const long refs = in.Number();
            Check(connection_.refs == refs + 1, "the component holds " +
                                                    std::to_string(connection_.refs - 1) +
                                                    " references to the connection");
            return;
        }
        Need();
        if (command == "info") return Info(in);
        if (command == "ext") {
            BSTR name = nullptr;
            CheckHr(extender_->RegisterExtensionAs(&name), S_OK, "RegisterExtensionAs");
            return ExpectBstr(in, name);
        }
        if (command == "nmethods" || command == "nprops") {
            long n = -1;
            CheckHr(command == "nmethods" ? extender_->GetNMethods(&n) : extender_->GetNProps(&n),
                    S_OK, command);
            const long expected = in.Number();
            Check(n == expected, command + " is " + std::to_string(n));
            return;
        }
        if (command == "findmethod" || command == "findprop") {
            const std::wstring name = Widen(in.Word());
            const long expected = in.Number();
            const long n = Find(name, command == "findmethod");
            Check(n == expected, command + " gave " + std::to_string(n));
            return;
        }
        if (command == "methodname" || command == "propname") {
            const long n = in.Number();
            const long alias = in.Number();
            BSTR name = nullptr;
            const HRESULT hr = command == "methodname" ? extender_->GetMethodName(n, alias, &name)
                                                       : extender_->GetPropName(n, alias, &name);
            if (in.Take("hr=")) {
                CheckHr(hr, in.Number(), command);
                return;
            }
            CheckHr(hr, S_OK, command);
            return ExpectBstr(in, name);
        }
        if (command == "nparams") {
            const long n = MethodNumber(in.Word());
            long count = -1;
            CheckHr(extender_->GetNParams(n, &count), S_OK, "GetNParams");
            const long expected = in.Number();
            Check(count == expected, "GetNParams gave " + std::to_string(count));
            return;
        }
        if (command == "hasretval") {
            BOOL value = 7;
            CheckHr(extender_->HasRetVal(in.Number(), &value), S_OK, "HasRetVal");
            Check(value == 1, "HasRetVal wrote " + std::to_string(value));
            return;
        }
        if (command == "defvalue") {
            const long n = in.Number();
            const long m = in.Number();
            TValue v;
            v.v.vt = VT_I4;
            CheckHr(extender_->GetParamDefValue(n, m, &v.v), S_OK, "GetParamDefValue");
            Check(v.v.vt == VT_EMPTY, "GetParamDefValue left " + Show(v.v));
            return;
        }
        if (command == "setprop") return SetProp(in);
        if (command == "getprop") return GetProp(in);
        if (command == "call" || command == "proc") return Call(in, command == "call");
        throw Failure("unknown command '" + command + "'");
    }

  private:
    void Need() { Check(extender_ != nullptr, "no component object (create first)"); }

    void Create() {
        CLSID clsid;
        CheckHr(CLSIDFromProgID(L"AddIn.fr_norvane1c83", &clsid), S_OK, "CLSIDFromProgID");
        CheckHr(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, fr::com::kIID_IInitDone,
                                 reinterpret_cast<void**>(&initDone_)),
                S_OK, "CoCreateInstance");
        CheckHr(initDone_->QueryInterface(fr::com::kIID_ILanguageExtender,
                                          reinterpret_cast<void**>(&extender_)),
                S_OK, "QueryInterface(ILanguageExtender)");
        CheckHr(initDone_->QueryInterface(fr::com::kIID_IPropertyLink,
                                          reinterpret_cast<void**>(&propertyLink_)),
                S_OK, "QueryInterface(IPropertyLink)");
        // One object behind every interface.
        IUnknown* a = nullptr;
        IUnknown* b = nullptr;
        initDone_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        extender_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        Check(a && a == b, "IUnknown differs between interfaces");
        ReleaseOf(a);
        ReleaseOf(b);
        IDispatch* dispatch = nullptr;
        CheckHr(initDone_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK,
                "QueryInterface(IDispatch)");
        UINT count = 0;
        CheckHr(dispatch->GetTypeInfoCount(&count), E_NOTIMPL, "GetTypeInfoCount");
        CheckHr(dispatch->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), E_NOTIMPL,
                "GetIDsOfNames");
        CheckHr(dispatch->Invoke(0, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL,
                "Invoke");
        ReleaseOf(dispatch);
        ISpecifyPropertyPages* pages = nullptr;
        CheckHr(
            initDone_->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)),
            S_OK, "QueryInterface(ISpecifyPropertyPages)");
        CAUUID uuids{};
        CheckHr(pages->GetPages(&uuids), S_OK, "GetPages");
        Check(uuids.cElems == 1 && uuids.pElems != nullptr, "GetPages: one page expected");
        Check(!IsEqualGUID(uuids.pElems[0], clsid), "GetPages answered the class identifier");
        CoTaskMemFree(uuids.pElems);
        ReleaseOf(pages);
        IUnknown* none = nullptr;
        CheckHr(initDone_->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&none)),
                E_NOINTERFACE, "QueryInterface(IClassFactory)");
        BYTE cap = 7;
        CheckHr(propertyLink_->CapSettingsDlg(&cap), S_FALSE, "CapSettingsDlg before Init");
        Check(cap == 0, "CapSettingsDlg wrote " + std::to_string(cap));
    }

    void Init() {
        Check(initDone_ != nullptr, "no component object (create first)");
        connection_.calls.clear();
        CheckHr(initDone_->Init(&connection_), S_OK, "Init");
        Check(!connection_.calls.empty() && connection_.calls[0] == "QI IAsyncEvent",
              "Init did not ask for IAsyncEvent first");
        Check(connection_.calls.size() >= 3 && connection_.calls[1] == "SetEventBufferDepth(100)",
              "Init did not set the event buffer depth to 100 first");
        Check(connection_.calls[2] == "QI IExtWndsSupport", "Init did not ask for IExtWndsSupport");
        BYTE cap = 7;
        CheckHr(propertyLink_->CapSettingsDlg(&cap), S_OK, "CapSettingsDlg");
        Check(cap == 0, "CapSettingsDlg wrote " + std::to_string(cap));
        CheckHr(propertyLink_->ChangeSettings(), S_FALSE, "ChangeSettings");
    }

    void ReleaseAll() {
        ReleaseOf(propertyLink_);
        ReleaseOf(extender_);
        ReleaseOf(initDone_);
    }

    void Info(TParser& in) {
        SAFEARRAYBOUND bound{1, 0};
        SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
        const HRESULT hr = initDone_->GetInfo(&array);
        LONG i = 0;
        VARIANT e;
        VariantInit(&e);
        SafeArrayGetElement(array, &i, &e);
        SafeArrayDestroy(array);
        const std::string shown = Show(e);
        const bool ok = Matches(in.Pattern(), e, nullptr);
        VariantClear(&e);
        CheckHr(hr, S_OK, "GetInfo");
        Check(ok, "GetInfo gave " + shown);
    }

    void ExpectBstr(TParser& in, BSTR text) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = text;
        const std::string shown = Show(v);
        const bool ok = Matches(in.Pattern(), v, nullptr);
        VariantClear(&v);
        Check(ok, "got " + shown);
    }

    long Find(const std::wstring& name, bool method) {
        BSTR text = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        long n = -2;
        const HRESULT hr = method ? extender_->FindMethod(text, &n) : extender_->FindProp(text, &n);
        SysFreeString(text);
        CheckHr(hr, S_OK, method ? "FindMethod" : "FindProp");
        return n;
    }

    long MethodNumber(const std::string& name) {
        if (!name.empty() && name[0] == '#') return std::stol(name.substr(1));
        const long n = Find(Widen(name), true);
        Check(n >= 0, "no method " + name);
        return n;
    }

    long PropNumber(const std::string& name) {
        if (!name.empty() && name[0] == '#') return std::stol(name.substr(1));
        const long n = Find(Widen(name), false);
        Check(n >= 0, "no property " + name);
        return n;
    }

    void SetProp(TParser& in) {
        const long n = PropNumber(in.Word());
        TValue value;
        in.Value(value);
        HRESULT expected = S_OK;
        if (in.Take("hr=")) expected = in.Number();
        CheckHr(extender_->SetPropVal(n, &value.v), expected, "SetPropVal");
    }

    void GetProp(TParser& in) {
        const long n = PropNumber(in.Word());
        TValue value;
        value.v.vt = VT_I4;  // GetPropVal clears what was there
        const HRESULT hr = extender_->GetPropVal(n, &value.v);
        if (in.Take("hr=")) {
            CheckHr(hr, in.Number(), "GetPropVal");
            Check(value.v.vt == VT_EMPTY, "GetPropVal did not clear its output");
            return;
        }
        CheckHr(hr, S_OK, "GetPropVal");
        std::printf("    = %s\n", Show(value.v).c_str());
        Check(Matches(in.Pattern(), value.v, nullptr), "GetPropVal gave " + Show(value.v));
    }

    void Call(TParser& in, bool asFunction) {
        const long n = MethodNumber(in.Word());
        std::vector<std::unique_ptr<TValue>> args;
        while (!in.AtEnd() && !in.Peek("=>") && !in.Peek("@") && !in.Peek("hr=")) {
            args.push_back(std::make_unique<TValue>());
            in.Value(*args.back());
        }
        SAFEARRAYBOUND bound{static_cast<ULONG>(args.size()), 0};
        SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
        for (LONG i = 0; i < static_cast<LONG>(args.size()); ++i)
            SafeArrayPutElement(array, &i, &args[static_cast<size_t>(i)]->v);
        TValue ret;
        const HRESULT hr = asFunction ? extender_->CallAsFunc(n, &ret.v, &array)
                                      : extender_->CallAsProc(n, &array);
        // What came back, element by element.
        std::vector<VARIANT> out(args.size());
        std::string shown = "  <= " + Show(ret.v);
        for (LONG i = 0; i < static_cast<LONG>(args.size()); ++i) {
            VariantInit(&out[static_cast<size_t>(i)]);
            // A shallow copy keeps references as references.
            VARIANT* slot = nullptr;
            SafeArrayPtrOfIndex(array, &i, reinterpret_cast<void**>(&slot));
            out[static_cast<size_t>(i)] = *slot;
            shown += " @" + std::to_string(i) + "=" + Show(*slot);
        }
        std::printf("  %s\n", shown.c_str());
        std::string failure;
        HRESULT expectedHr = S_OK;
        if (in.Take("=>")) {
            const TPattern p = in.Pattern();
            if (!Matches(p, ret.v, nullptr)) failure = "return value " + Show(ret.v);
        }
        while (failure.empty() && in.Take("@")) {
            const long i = in.Number();
            Check(in.Take("="), "'=' expected");
            const TPattern p = in.Pattern();
            Check(i >= 0 && i < static_cast<long>(args.size()), "no element " + std::to_string(i));
            if (!Matches(p, out[static_cast<size_t>(i)], args[static_cast<size_t>(i)].get()))
                failure = "element " + std::to_string(i) + " " + Show(out[static_cast<size_t>(i)]);
        }
        if (in.Take("hr=")) expectedHr = in.Number();
        // The array owns copies of what went in; by-reference targets stay ours.
        SafeArrayDestroy(array);
        CheckHr(hr, expectedHr, asFunction ? "CallAsFunc" : "CallAsProc");
        Check(failure.empty(), failure);
    }

    TConnection connection_;
    IInitDone* initDone_ = nullptr;
    ILanguageExtender* extender_ = nullptr;
    IPropertyLink* propertyLink_ = nullptr;
};

std::string Expand(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '$' && i + 1 < line.size() && line[i + 1] == '{') {
            const size_t end = line.find('}', i);
            if (end != std::string::npos) {
                const char* value = std::getenv(line.substr(i + 2, end - i - 2).c_str());
                out += value ? value : "";
                i = end;
                continue;
            }
        }
        out += line[i];
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: com_client <script>\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "com_client: cannot read %s\n", argv[1]);
        return 2;
    }
    const std::string script = argv[1];
    g_scriptFolder = script.substr(0, script.find_last_of("\\/") + 1);
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "com_client: CoInitialize failed\n");
        return 2;
    }
    int passed = 0, failed = 0;
    {
        TSession session;
        std::string line;
        int number = 0;
        while (std::getline(file, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#') continue;
            line = Expand(line.substr(start));
            try {
                session.Run(line);
                ++passed;
                std::printf("ok   %d: %s\n", number, line.c_str());
            } catch (const std::exception& e) {
                ++failed;
                std::printf("FAIL %d: %s\n     %s\n", number, line.c_str(), e.what());
            }
            std::fflush(stdout);
        }
    }
    CoUninitialize();
    std::printf("com_client: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
