#include "tools/frhost/command_call.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <sstream>

#include "platform/text.h"
#include "platform/variant_convert.h"
#include "tools/frhost/host_session.h"
#include "tools/frhost/json_variant.h"
#include "tools/frhost/nearest_names.h"

namespace fr {
namespace {

using nlohmann::json;

// The methods that work without a connection to the register: the base ones
// (the version, the settings form and file) and the standard ones.
constexpr const char16_t* kNoConnectionMethods[] = {u"ShowSettingsDlg",
                                                    u"GetVersion",
                                                    u"ReadSettings",
                                                    u"SaveSettings",
                                                    u"SetDeviceID",
                                                    u"GetDescription",
                                                    u"GetLastError",
                                                    u"GetParameters",
                                                    u"SetParameter",
                                                    u"Open",
                                                    u"Close",
                                                    u"DeviceTest",
                                                    u"GetAdditionalActions",
                                                    u"DoAdditionalAction"};

struct TUsageError {
    std::string Text;
};

std::string Nearest(const std::u16string& name, const std::vector<std::u16string>& names) {
    const std::vector<std::u16string> near = NearestNames(name, names);
    if (near.empty()) return "";
    std::string text = "; nearest: ";
    for (size_t i = 0; i < near.size(); ++i)
        text += (i ? ", " : "") + Utf16ToUtf8(near[i]);
    return text;
}

std::string HrText(HResult hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

int32_t MethodNumber(TFrComponent& component, const std::u16string& name) {
    int32_t num = -1;
    if (HrFailed(component.FindMethod(name, num))) return -1;
    return num;
}

bool NeedsConnection(TFrComponent& component, int32_t num) {
    for (const char16_t* name : kNoConnectionMethods)
        if (MethodNumber(component, name) == num) return false;
    return true;
}

// One call by number with the given values; the result, the array after it.
HResult Call(TFrComponent& component, int32_t num, const std::vector<Variant>& values,
             Variant& result, SafeArrayPtr& array) {
    int32_t count = 0;
    component.GetNParams(num, count);
    array = SafeArray::Vector(std::max(values.size(), static_cast<size_t>(std::max(count, 0))));
    for (size_t i = 0; i < values.size(); ++i)
        array->Elements()[i] = values[i];
    bool hasResult = false;
    component.HasRetVal(num, hasResult);
    return hasResult ? component.CallAsFunc(num, result, array.get())
                     : component.CallAsProc(num, array.get());
}

bool IsFalse(const Variant& value) {
    return value.BaseType() == vtBoolean && !value.IsArray() && !value.BoolValue();
}

void PrintLastError(TFrComponent& component, std::ostream& out) {
    TLastError error;
    if (ReadLastError(component, error)) {
        out << "GetLastError: " << error.Code << ", " << Utf16ToUtf8(error.Text) << '\n';
    }
}

// Open or Close by its English name; false when Open did not answer true.
bool RunConnection(TFrComponent& component, const char16_t* name, std::ostream& out) {
    const int32_t num = MethodNumber(component, name);
    if (num < 0) return true;  // a component without connections
    Variant result;
    SafeArrayPtr array;
    const HResult hr = Call(component, num, {}, result, array);
    if (HrFailed(hr)) {
        out << Utf16ToUtf8(name) << ": HRESULT " << HrText(hr) << '\n';
        return false;
    }
    if (IsFalse(result)) {
        out << Utf16ToUtf8(name) << ": false\n";
        PrintLastError(component, out);
        return false;
    }
    return true;
}

void ApplySettings(TFrComponent& component, const TFrHostOptions& options) {
    for (const auto& [name, text] : options.Settings) {
        const std::u16string wide = Utf8ToUtf16(name);
        int32_t num = -1;
        component.FindProp(wide, num);
        if (num < 0) {
            throw TUsageError{"unknown setting " + name + Nearest(wide, PropertyNames(component))};
        }
        const Variant value = CommandLineValue(text);
        HResult hr = 0;
        try {
            hr = component.SetPropVal(num, value);
        } catch (const Exception& e) {
            throw TUsageError{"setting " + name + "=" + text + ": " + Utf16ToUtf8(e.Message())};
        }
        if (HrFailed(hr))
            throw TUsageError{"setting " + name + "=" + text + " refused (HRESULT " + HrText(hr) +
                              ")"};
    }
}

int RunCall(TFrComponent& component, const TFrHostOptions& options, std::ostream& out) {
    if (!options.Log.empty()) EnableDriverLog(component, options);
    ApplySettings(component, options);
    const std::u16string method = Utf8ToUtf16(options.Call);
    const int32_t num = MethodNumber(component, method);
    if (num < 0)
        throw TUsageError{"unknown method " + options.Call +
                          Nearest(method, MethodNames(component))};
    int32_t count = 0;
    component.GetNParams(num, count);
    if (options.Args.size() > static_cast<size_t>(std::max(count, 0))) {
        throw TUsageError{options.Call + " takes " + std::to_string(count) + " parameter" +
                          (count == 1 ? "" : "s") + ", not " + std::to_string(options.Args.size())};
    }
    std::vector<Variant> values;
    for (const std::string& arg : options.Args)
        values.push_back(CommandLineValue(arg));

    const bool connect = NeedsConnection(component, num);
    if (connect && !RunConnection(component, u"Open", out)) return ceDriverFailure;
    Variant result;
    SafeArrayPtr array;
    const HResult hr = Call(component, num, values, result, array);
    int status = ceSuccess;
    if (HrFailed(hr)) {
        out << options.Call << ": HRESULT " << HrText(hr) << '\n';
        status = ceDriverFailure;
    } else {
        out << options.Call << ": " << ValueForPeople(result) << '\n';
        for (size_t i = 0; i < array->Count(); ++i) {
            const Variant before = i < values.size() ? values[i] : Variant();
            const Variant& after = array->Elements()[i];
            if (!(after == before)) out << "  [" << i << "] " << ValueForPeople(after) << '\n';
        }
        if (IsFalse(result)) {
            PrintLastError(component, out);
            status = ceDriverFailure;
        }
    }
    if (connect) RunConnection(component, u"Close", out);
    return status;
}

}  // namespace

Variant CommandLineValue(const std::string& text) {
    if (!text.empty() && text[0] == '@') {
        std::ifstream file(text.substr(1), std::ios::binary);
        if (!file) throw EProtocolError(Utf8ToUtf16("cannot read the file " + text.substr(1)));
        std::ostringstream bytes;
        bytes << file.rdbuf();
        std::string content = bytes.str();
        if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
        return Variant(Utf8ToUtf16(content));
    }
    const json parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return Variant(Utf8ToUtf16(text));
    return JsonToVariant(parsed);
}

std::string ValueForPeople(const Variant& value) {
    const Variant& v = value.Deref();
    if (v.IsArray()) return VariantToJson(v).dump();
    switch (v.BaseType()) {
        case vtEmpty:
            return "(empty)";
        case vtNull:
            return "(null)";
        case vtBoolean:
            return v.BoolValue() ? "true" : "false";
        case vtDate:
            return DateToJsonText(v.FloatValue());
        default:
            break;
    }
    try {
        return Utf16ToUtf8(VarToStr(v));
    } catch (const Exception&) {
        return VariantToJson(v).dump();
    }
}

void EnableDriverLog(TFrComponent& component, const TFrHostOptions& options) {
    // Before the connection the one turns the log on, from the connection on the other.
    for (const char16_t* name : {u"DebugLogEnabled", u"WriteLog"}) {
        bool given = false;
        for (const auto& setting : options.Settings)
            given = given || SameText(Utf8ToUtf16(setting.first), name);
        int32_t num = -1;
        component.FindProp(name, num);
        if (!given && num >= 0) component.SetPropVal(num, Variant(true));
    }
}

int RunInitialisedCall(TFrComponent& component, const TFrHostOptions& options, std::ostream& out,
                       std::ostream& err) {
    int status = ceSuccess;
    try {
        status = RunCall(component, options, out);
    } catch (const TUsageError& e) {
        err << "frhost: " << e.Text << "\nTry frhost --help.\n";
        status = ceUsage;
    } catch (const EProtocolError& e) {
        err << "frhost: " << Utf16ToUtf8(e.Message()) << "\nTry frhost --help.\n";
        status = ceUsage;
    } catch (const Exception& e) {
        err << "frhost: " << Utf16ToUtf8(e.Message()) << '\n';
        status = ceDriverFailure;
    } catch (const std::exception& e) {
        err << "frhost: " << e.what() << '\n';
        status = ceDriverFailure;
    }
    out.flush();
    return status;
}

int RunCommandLineCall(TFrComponent& component, const TFrHostOptions& options, std::ostream& out,
                       std::ostream& err) {
    try {
        const HResult hr = component.Init();
        if (HrFailed(hr)) {
            err << "frhost: Init answered HRESULT " << HrText(hr) << '\n';
            return ceDriverFailure;
        }
    } catch (const Exception& e) {
        err << "frhost: Init: " << Utf16ToUtf8(e.Message()) << '\n';
        return ceDriverFailure;
    } catch (const std::exception& e) {
        err << "frhost: Init: " << e.what() << '\n';
        return ceDriverFailure;
    }
    const int status = RunInitialisedCall(component, options, out, err);
    try {
        component.Done();
    } catch (...) {
        // Done frees the driver either way.
    }
    return status;
}

}  // namespace fr
