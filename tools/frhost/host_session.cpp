#include "tools/frhost/host_session.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <ostream>

#include "platform/text.h"
#include "platform/variant_convert.h"
#include "tools/frhost/direct_component.h"
#include "tools/frhost/json_variant.h"

namespace fr {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& text) {
    throw EProtocolError(Utf8ToUtf16(text));
}

// HRESULTs read as their usual unsigned form (E_NOTIMPL is 2147500033).
json HResultJson(HResult hr) {
    return static_cast<uint32_t>(hr);
}

std::string NameOf(const json& request, const char* key) {
    const json& name = request.at(key);
    if (!name.is_string()) Fail(std::string("\"") + key + "\" needs a string");
    return name.get<std::string>();
}

const json& ListOf(const json& request, const char* key) {
    static const json kEmpty = json::array();
    const auto it = request.find(key);
    if (it == request.end() || it->is_null()) return kEmpty;
    if (!it->is_array()) Fail(std::string("\"") + key + "\" needs a list");
    return *it;
}

void CheckKeys(const json& request, std::initializer_list<const char*> allowed) {
    for (const auto& item : request.items()) {
        const bool known = std::any_of(allowed.begin(), allowed.end(),
                                       [&](const char* key) { return item.key() == key; });
        if (!known) Fail("unknown key \"" + item.key() + "\"");
    }
}

json ArrayJson(const SafeArray& array) {
    json out = json::array();
    for (const Variant& element : array.Elements())
        out.push_back(VariantToJson(element));
    return out;
}

// The host's parameter array: the given values, padded with empty ones up to the
// method's parameter count.
SafeArrayPtr BuildParams(const json& params, int32_t paramsCount) {
    const size_t count = std::max(params.size(), static_cast<size_t>(std::max(paramsCount, 0)));
    SafeArrayPtr array = SafeArray::Vector(count);
    for (size_t i = 0; i < params.size(); ++i)
        array->Elements()[i] = JsonToVariant(params[i]);
    return array;
}

// Arguments of raw operations.
class TRawArgs {
  public:
    explicit TRawArgs(const json& args) : args_(args) {}
    int32_t Int(size_t index) const { return VarToInt(Value(index)); }
    std::u16string Text(size_t index) const { return VarToStr(Value(index)); }
    Variant Value(size_t index) const {
        return index < args_.size() ? JsonToVariant(args_[index]) : Variant();
    }
    const json& List(size_t index) const {
        static const json kEmpty = json::array();
        if (index >= args_.size() || args_[index].is_null()) return kEmpty;
        if (!args_[index].is_array()) Fail("argument " + std::to_string(index) + " needs a list");
        return args_[index];
    }

  private:
    const json& args_;
};

std::string GuidText(const TGuid& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

json Typed(const Variant& value) {
    return VariantToJson(value);
}

json HandleCall(TFrComponent& object, const json& request, bool asFunction) {
    const char* key = asFunction ? "call" : "proc";
    CheckKeys(request, {key, "params"});
    const std::string name = NameOf(request, key);
    const json& params = ListOf(request, "params");
    int32_t num = -1;
    object.FindMethod(Utf8ToUtf16(name), num);
    json reply = {{key, name}, {"num", num}};
    if (num == -1) return reply;
    int32_t paramsCount = 0;
    object.GetNParams(num, paramsCount);
    SafeArrayPtr array = BuildParams(params, paramsCount);
    Variant result;
    const HResult hr = asFunction ? object.CallAsFunc(num, result, array.get())
                                  : object.CallAsProc(num, array.get());
    reply["hresult"] = HResultJson(hr);
    if (asFunction) reply["return"] = Typed(result);
    reply["params"] = ArrayJson(*array);
    TLastError error;
    if (asFunction && !HrFailed(hr) && result.Type() == vtBoolean && !result.BoolValue() &&
        ReadLastError(object, error)) {
        reply["lasterror"] = {{"code", error.Code}, {"text", Utf16ToUtf8(error.Text)}};
    }
    return reply;
}

json HandleSet(TFrComponent& object, const json& request) {
    CheckKeys(request, {"set", "value"});
    const std::string name = NameOf(request, "set");
    const Variant value = request.contains("value") ? JsonToVariant(request["value"]) : Variant();
    int32_t num = -1;
    object.FindProp(Utf8ToUtf16(name), num);
    const HResult hr = object.SetPropVal(num, value);
    return {{"set", name}, {"num", num}, {"hresult", HResultJson(hr)}};
}

json HandleGet(TFrComponent& object, const json& request) {
    CheckKeys(request, {"get"});
    const std::string name = NameOf(request, "get");
    int32_t num = -1;
    object.FindProp(Utf8ToUtf16(name), num);
    Variant value;
    const HResult hr = object.GetPropVal(num, value);
    return {{"get", name}, {"num", num}, {"hresult", HResultJson(hr)}, {"value", Typed(value)}};
}

json StringOut(const std::u16string& text) {
    return Typed(Variant(text));
}
json IntOut(int32_t number) {
    return Typed(Variant(number));
}
json BoolOut(bool flag) {
    return Typed(Variant(flag));
}

// Runs one interface operation by name; answers its HRESULT and output arguments.
HResult RunRaw(TFrComponent& object, const std::string& op, const TRawArgs& args, json& out) {
    if (op == "GetNMethods" || op == "GetNProps") {
        int32_t count = 0;
        const HResult hr =
            op == "GetNMethods" ? object.GetNMethods(count) : object.GetNProps(count);
        out.push_back(IntOut(count));
        return hr;
    }
    if (op == "FindMethod" || op == "FindProp") {
        int32_t num = -1;
        const HResult hr = op == "FindMethod" ? object.FindMethod(args.Text(0), num)
                                              : object.FindProp(args.Text(0), num);
        out.push_back(IntOut(num));
        return hr;
    }
    if (op == "GetMethodName" || op == "GetPropName") {
        std::u16string name;
        const HResult hr = op == "GetMethodName"
                               ? object.GetMethodName(args.Int(0), args.Int(1), name)
                               : object.GetPropName(args.Int(0), args.Int(1), name);
        out.push_back(StringOut(name));
        return hr;
    }
    if (op == "GetNParams") {
        int32_t count = 0;
        const HResult hr = object.GetNParams(args.Int(0), count);
        out.push_back(IntOut(count));
        return hr;
    }
    if (op == "GetParamDefValue") {
        Variant value;
        const HResult hr = object.GetParamDefValue(args.Int(0), args.Int(1), value);
        out.push_back(Typed(value));
        return hr;
    }
    if (op == "HasRetVal" || op == "IsPropReadable" || op == "IsPropWritable") {
        // An operation that leaves the flag unwritten answers false.
        bool flag = false;
        const HResult hr = op == "HasRetVal"        ? object.HasRetVal(args.Int(0), flag)
                           : op == "IsPropReadable" ? object.IsPropReadable(args.Int(0), flag)
                                                    : object.IsPropWritable(args.Int(0), flag);
        out.push_back(BoolOut(flag));
        return hr;
    }
    if (op == "GetPropVal") {
        Variant value;
        const HResult hr = object.GetPropVal(args.Int(0), value);
        out.push_back(Typed(value));
        return hr;
    }
    if (op == "SetPropVal") return object.SetPropVal(args.Int(0), args.Value(1));
    if (op == "CallAsFunc" || op == "CallAsProc") {
        const int32_t num = args.Int(0);
        SafeArrayPtr array = BuildParams(args.List(1), 0);
        if (op == "CallAsFunc") {
            Variant result;
            const HResult hr = object.CallAsFunc(num, result, array.get());
            out.push_back(Typed(result));
            out.push_back(Typed(Variant::FromArray(array)));
            return hr;
        }
        const HResult hr = object.CallAsProc(num, array.get());
        out.push_back(Typed(Variant::FromArray(array)));
        return hr;
    }
    if (op == "RegisterExtensionAs") {
        std::u16string name;
        const HResult hr = object.RegisterExtensionAs(name);
        out.push_back(StringOut(name));
        return hr;
    }
    if (op == "SetLocale") return object.SetLocale(args.Text(0));
    if (op == "GetInfo") {
        SafeArrayPtr info = SafeArray::Vector(1);
        const HResult hr = object.GetInfo(info.get());
        out.push_back(Typed(Variant::FromArray(info)));
        return hr;
    }
    if (op == "CapSettingsDlg") {
        bool value = false;
        const HResult hr = object.CapSettingsDlg(value);
        out.push_back(BoolOut(value));
        return hr;
    }
    if (op == "ChangeSettings") return object.ChangeSettings();
    if (op == "GetPages") {
        std::vector<TGuid> pages;
        const HResult hr = object.GetPages(pages);
        auto list = std::make_shared<SafeArray>(
            vtOleStr, std::vector<SafeArrayBound>{{0, static_cast<uint32_t>(pages.size())}});
        for (size_t i = 0; i < pages.size(); ++i) {
            list->Elements()[i] = Variant(Utf8ToUtf16(GuidText(pages[i])));
        }
        out.push_back(Typed(Variant::FromArray(list, vtOleStr)));
        return hr;
    }
    if (op == "Init") return object.Init();
    if (op == "Done") return object.Done();
    if (op == "GetTypeInfoCount") return object.GetTypeInfoCount();
    if (op == "GetTypeInfo") return object.GetTypeInfo();
    if (op == "GetIDsOfNames") return object.GetIDsOfNames();
    if (op == "Invoke") return object.Invoke();
    Fail("unknown operation \"" + op + "\"");
}

json HandleRaw(TFrComponent& object, const json& request) {
    CheckKeys(request, {"raw", "args"});
    const std::string op = NameOf(request, "raw");
    const TRawArgs args(ListOf(request, "args"));
    json out = json::array();
    const HResult hr = RunRaw(object, op, args, out);
    return {{"raw", op}, {"hresult", HResultJson(hr)}, {"out", std::move(out)}};
}

json Dispatch(TFrComponent& object, const json& request) {
    if (!request.is_object()) Fail("a request is a JSON object");
    if (request.contains("call")) return HandleCall(object, request, true);
    if (request.contains("proc")) return HandleCall(object, request, false);
    if (request.contains("set")) return HandleSet(object, request);
    if (request.contains("get")) return HandleGet(object, request);
    if (request.contains("raw")) return HandleRaw(object, request);
    Fail("a request needs one of \"call\", \"proc\", \"set\", \"get\", \"raw\"");
}

std::string Dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json ErrorReply(const std::string& text) {
    return {{"error", text}};
}

}  // namespace

THostSession::THostSession() : THostSession(std::make_unique<TDirectComponent>()) {}

THostSession::THostSession(std::unique_ptr<TFrComponent> component)
    : component_(std::move(component)) {
    try {
        component_->Init();
    } catch (const Exception& e) {
        initError_ = Utf16ToUtf8(e.Message());
    } catch (const std::exception& e) {
        initError_ = e.what();
    }
}

THostSession::~THostSession() {
    try {
        component_->Done();
    } catch (...) {
        // Nothing may escape a destructor; Done frees the driver either way.
    }
}

TAddInObject* THostSession::DirectObject() {
    auto* direct = dynamic_cast<TDirectComponent*>(component_.get());
    return direct ? &direct->Object() : nullptr;
}

std::string THostSession::HandleLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    try {
        const json request = json::parse(line);
        return Dump(Dispatch(*component_, request));
    } catch (const Exception& e) {
        return Dump(ErrorReply(Utf16ToUtf8(e.Message())));
    } catch (const std::exception& e) {
        return Dump(ErrorReply(e.what()));
    } catch (...) {
        return Dump(ErrorReply("unexpected failure"));
    }
}

bool ReadLastError(TFrComponent& component, TLastError& error) {
    int32_t num = -1;
    if (HrFailed(component.FindMethod(u"GetLastError", num)) || num < 0) return false;
    SafeArrayPtr params = SafeArray::Vector(1);
    Variant code;
    if (HrFailed(component.CallAsFunc(num, code, params.get()))) return false;
    try {
        error.Code = VarToInt(code);
        error.Text = VarToStr(params->Elements()[0].Deref());
    } catch (const Exception&) {
        return false;
    }
    return true;
}

void RunHostSession(std::istream& in, std::ostream& out, std::ostream& diagnostics) {
    RunHostSession(std::make_unique<TDirectComponent>(), in, out, diagnostics);
}

void RunHostSession(std::unique_ptr<TFrComponent> component, std::istream& in, std::ostream& out,
                    std::ostream& diagnostics, const std::function<void(TFrComponent&)>& prepare) {
    THostSession session(std::move(component));
    if (prepare && session.InitError().empty()) prepare(session.Component());
    ServeHostSession(session, in, out, diagnostics);
}

void ServeHostSession(THostSession& session, std::istream& in, std::ostream& out,
                      std::ostream& diagnostics) {
    if (!session.InitError().empty())
        diagnostics << "frhost: Init: " << session.InitError() << '\n';
    std::string line;
    while (std::getline(in, line)) {
        out << session.HandleLine(line) << '\n';
        out.flush();
    }
}

}  // namespace fr
