#include "tools/frhost/options.h"

#include <cstdlib>

#include "platform/module.h"

namespace fr {

bool ParseFrHostOptions(const std::vector<std::string>& args, TFrHostOptions& options,
                        std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            target = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.Help = true;
        } else if (arg == "--platform") {
            if (!value(options.Platform)) return false;
            if (options.Platform != "7.7" && options.Platform != "8") {
                error = "--platform takes 7.7 or 8, not " + options.Platform;
                return false;
            }
        } else if (arg == "--data-dir") {
            if (!value(options.DataDir)) return false;
            if (options.DataDir.empty()) {
                error = "--data-dir needs a folder";
                return false;
            }
        } else if (arg == "--native") {
            if (!value(options.NativeLibrary)) return false;
            if (options.NativeLibrary.empty()) {
                error = "--native needs a library file";
                return false;
            }
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

std::u16string HostExecutableFor(const std::string& platform) {
    return platform == "7.7" ? u"1cv7s.exe" : u"1cv8.exe";
}

void ApplyFrHostOptions(const TFrHostOptions& options) {
    SetHostExecutablePathOverride(HostExecutableFor(options.Platform));
    if (!options.DataDir.empty()) setenv("FR_COMMON_APPDATA", options.DataDir.c_str(), 1);
}

const char* FrHostHelpText() {
    return R"(Usage: frhost [--platform 7.7|8] [--data-dir DIR] [--native LIB]

Stands in for the platform: creates one component object as the platform does
(class registry, Init with no connection), reads JSON requests from standard
input, one per line, until the end of input, answers each with one JSON line on
standard output, and calls Done at the end.

Options:
  --platform 7.7|8  the host executable to emulate, "1cv7s.exe" or "1cv8.exe"
                    (default 8); the driver detects its platform from it
  --data-dir DIR    the common application-data folder for this run (sets
                    FR_COMMON_APPDATA): the log and the settings file go there
  --native LIB      load the Native API library LIB (a .so) and drive the
                    object of its first class through the platform's tables,
                    with a memory manager and a connection object of frhost's
                    own; AddError texts go to standard error, and breaches of
                    the platform's rules found on the way (memory not from the
                    memory manager, blocks never freed) end frhost with status 1
  --help            this text

Requests:
  {"call": NAME, "params": [V, ...]}
      FindMethod(NAME); when it answers -1 the reply is {"call": NAME, "num": -1}.
      Otherwise the parameter array is built from params, padded with empty
      values up to the method's parameter count, CallAsFunc runs, and the reply
      is {"call": NAME, "num": N, "hresult": H, "return": V, "params": [V, ...]}
      with every element as it stands after the call.
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
