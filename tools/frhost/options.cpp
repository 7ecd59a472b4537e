#include "tools/frhost/options.h"

#include <cstdlib>
#include <functional>

#include "platform/module.h"

namespace fr {
namespace {

// One option: its name, whether a value follows, and what the value does.
struct TOptionRule {
    const char* Name;
    bool TakesValue;
    std::function<bool(TFrHostOptions&, const std::string& value, std::string& error)> Apply;
};

const std::vector<TOptionRule>& OptionRules() {
    static const std::vector<TOptionRule> rules = {
        {"--help", false,
         [](TFrHostOptions& o, const std::string&, std::string&) { return o.Help = true; }},
        {"-h", false,
         [](TFrHostOptions& o, const std::string&, std::string&) { return o.Help = true; }},
#ifndef _WIN32
        {"--platform", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             if (v != "7.7" && v != "8") {
                 error = "--platform takes 7.7 or 8, not " + v;
                 return false;
             }
             o.Platform = v;
             return true;
         }},
        {"--data-dir", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--data-dir needs a folder";
                 return false;
             }
             o.DataDir = v;
             return true;
         }},
        {"--native", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--native needs a library file";
                 return false;
             }
             o.NativeLibrary = v;
             return true;
         }},
#endif
        {"--set", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             const size_t eq = v.find('=');
             if (eq == std::string::npos || eq == 0) {
                 error = "--set takes NAME=VALUE, not " + v;
                 return false;
             }
             o.Settings.emplace_back(v.substr(0, eq), v.substr(eq + 1));
             return true;
         }},
        {"--log", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             if (v != "-") {
                 error = "--log takes - (standard error), not " + v;
                 return false;
             }
             o.Log = v;
             return true;
         }},
        {"--notice-after", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             char* end = nullptr;
             const long seconds = std::strtol(v.c_str(), &end, 10);
             if (v.empty() || *end != '\0' || seconds < 1 || seconds > 3600) {
                 error = "--notice-after takes seconds from 1 to 3600, not " + v;
                 return false;
             }
             o.NoticeSeconds = static_cast<int>(seconds);
             return true;
         }},
#ifdef _WIN32
        {"--dll", true,
         [](TFrHostOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--dll needs the path of the component DLL";
                 return false;
             }
             o.Dll = v;
             return true;
         }},
#endif
    };
    return rules;
}

}  // namespace

bool ParseFrHostOptions(const std::vector<std::string>& args, TFrHostOptions& options,
                        std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            // The method to run; everything after it is its arguments.
            options.Call = arg;
            options.Args.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            return true;
        }
        const TOptionRule* rule = nullptr;
        for (const TOptionRule& r : OptionRules())
            if (arg == r.Name) rule = &r;
        if (rule == nullptr) {
            error = "unknown option " + arg;
            return false;
        }
        std::string value;
        if (rule->TakesValue) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!rule->Apply(options, value, error)) return false;
    }
    return true;
}

std::u16string HostExecutableFor(const std::string& platform) {
    return platform == "7.7" ? u"1cv7s.exe" : u"1cv8.exe";
}

void ApplyFrHostOptions(const TFrHostOptions& options) {
    SetHostExecutablePathOverride(HostExecutableFor(options.Platform));
#ifndef _WIN32
    if (!options.DataDir.empty()) setenv("FR_COMMON_APPDATA", options.DataDir.c_str(), 1);
#endif
}

}  // namespace fr

namespace fr {

const char* FrHostHelpText() {
    return R"(Usage: frhost [OPTION ...] [--set NAME=VALUE ...] METHOD [ARG ...]
       frhost [OPTION ...]               (JSON requests on standard input)

Stands in for the platform: creates one component object as the platform does,)"
#ifdef _WIN32
           R"(
through COM by its programmatic identifier AddIn.fr_norvane1c83 (the registered
DLL of this program's bitness), or with --dll straight from a file,)"
#else
           R"(
through the class registry of the driver linked into this program,)"
#endif
           R"(
runs Init with no connection, and calls Done at the end.

With METHOD, frhost applies the settings, connects (Open) unless METHOD needs no
connection, runs METHOD once, disconnects (Close), and prints the return value
and every parameter the call changed (counted from 0). When the result is false
it prints GetLastError's code and text. Exit status: 0 success, 1 the driver or
the register failed, 2 a usage error (unknown option, method or setting).
Values of settings and arguments are typed as in the JSON requests below: an
argument that reads as JSON (0, 12.5, true, null, "text", {"vt": 7, "v": ...})
is that value, anything else is text; @FILE is the text of a UTF-8 file.

Examples (frhost on the same computer as the register emulator; put the
register's own address, port and files in their place):
  Status of a register over TCP (port number 9999 means TCP):
    frhost --set PortNumber=9999 --set IPAddress=127.0.0.1 --set IPPort=5555 GetCurrentStatus 0
  An X report on the register at COM3, cashier from a file:
    frhost --set PortNumber=3 --set BaudRate=115200 PrintXReport 0 @examples/input_parameters.xml
  A receipt from a file over TCP, with the driver's log on the screen:
    frhost --log - --set PortNumber=9999 --set IPPort=5555 ProcessCheck 0 false @examples/check.xml

Options:)"
#ifdef _WIN32
           R"(
  --dll PATH        load the component from this DLL without registration)"
#else
           R"(
  --platform 7.7|8  the host executable to emulate, "1cv7s.exe" or "1cv8.exe"
                    (default 8); the driver detects its platform from it
  --data-dir DIR    the common application-data folder for this run (sets
                    FR_COMMON_APPDATA): the log and the settings file go there
  --native LIB      load the Native API library LIB (a .so) and drive the
                    object of its first class through the platform's tables,
                    with a memory manager and a connection object of frhost's
                    own; AddError texts go to standard error, and breaches of
                    the platform's rules found on the way (memory not from the
                    memory manager, blocks never freed) end frhost with status 1)"
#endif
           R"(
  --set NAME=VALUE  a setting (property) before the call; may be repeated
  --log -           turn the driver's log on and copy its lines to standard error
  --notice-after S  after S seconds (default 5) of one call, say on standard
                    error what frhost waits for, and again every S seconds
  --help            this text

Requests (without METHOD, one per line on standard input):
  {"call": NAME, "params": [V, ...]}
      FindMethod(NAME); when it answers -1 the reply is {"call": NAME, "num": -1}.
      Otherwise the parameter array is built from params, padded with empty
      values up to the method's parameter count, CallAsFunc runs, and the reply
      is {"call": NAME, "num": N, "hresult": H, "return": V, "params": [V, ...]}
      with every element as it stands after the call. When the return value is
      false the reply adds "lasterror": {"code": N, "text": TEXT}, what
      GetLastError answers.
  {"proc": NAME, "params": [V, ...]}
      The same through CallAsProc, without "return".
  {"set": NAME, "value": V}
      FindProp and SetPropVal; reply {"set": NAME, "num": N, "hresult": H}.
  {"get": NAME}
      FindProp and GetPropVal; reply {"get": NAME, "num": N, "hresult": H, "value": V}.
  {"raw": OPERATION, "args": [A, ...]}
      Any other interface operation by name; reply
      {"raw": OPERATION, "hresult": H, "out": [V, ...]} with its output arguments
      in order. Operations and their arguments:
        GetNMethods, GetNProps, RegisterExtensionAs, CapSettingsDlg,
        ChangeSettings, GetInfo, GetPages, Init, Done, GetTypeInfoCount,
        GetTypeInfo, GetIDsOfNames, Invoke          no arguments
        FindMethod, FindProp                        [NAME]
        GetMethodName, GetPropName                  [NUM, ALIAS]
        GetNParams, HasRetVal, GetPropVal,
        IsPropReadable, IsPropWritable              [NUM]
        GetParamDefValue                            [NUM, PARAMNUM]
        SetPropVal                                  [NUM, V]
        CallAsFunc                                  [NUM, [V, ...]]  out: return, params
        CallAsProc                                  [NUM, [V, ...]]  out: params
        SetLocale                                   [TEXT]
      A flag an operation leaves unwritten reads false.

Values:
  In:  null is empty, true/false Boolean, an integer within 32 bits a 4-byte
       integer, any other number a double, a string a BSTR; or typed
       {"vt": CODE, "v": VALUE} with the OLE type code: 0 empty, 1 null,
       2 I2, 3 I4, 4 R4, 5 R8, 6 currency (a number), 7 date
       ("yyyy-mm-ddThh:nn:ss.zzz" or days since 1899-12-30), 8 BSTR,
       9 dispatch, 10 error, 11 Boolean, 12 variant, 16-21 the other integers,
       256 one-byte string (code page 1251), 258 wide string; an array adds
       8192 to the code, with "v" a list of its elements.
  Out: always typed {"vt": CODE, "v": VALUE}; no "v" for empty and null; a date
       as "yyyy-mm-ddThh:nn:ss.zzz"; money as a number; an array's "v" lists
       its elements. H is the HRESULT as an unsigned number (0 S_OK, 1 S_FALSE,
       2147500033 E_NOTIMPL).

A line that is not valid JSON, or not one of these forms, gets {"error": TEXT},
and frhost reads on.
)";
}

}  // namespace fr
