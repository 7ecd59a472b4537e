#pragma once
// frhost's command line.

#include <string>
#include <utility>
#include <vector>

namespace fr {

struct TFrHostOptions {
    bool Help = false;
    std::string Platform = "8";  // "7.7" or "8"
    std::string DataDir;         // empty: the environment decides
    // --set NAME=VALUE, in the order given.
    std::vector<std::pair<std::string, std::string>> Settings;
    // "-": the driver's log lines are copied to standard error.
    std::string Log;
    // Seconds a call runs before frhost says what it waits for.
    int NoticeSeconds = 5;
    // Windows: the component DLL loaded from a file instead of by registration.
    std::string Dll;
    // The one method the command line runs, and its arguments; empty: JSON lines.
    std::string Call;
    std::vector<std::string> Args;
    // Linux: a Native API library driven through the platform's tables instead
    // of the object linked in.
    std::string NativeLibrary;
};

// False with a message for an unknown option or a missing or bad value.
bool ParseFrHostOptions(const std::vector<std::string>& args, TFrHostOptions& options,
                        std::string& error);

// The emulated host executable and the data folder; call before the component
// object exists, as platform detection happens when the driver is constructed.
void ApplyFrHostOptions(const TFrHostOptions& options);

// The host executable name the platform option stands for.
std::u16string HostExecutableFor(const std::string& platform);

const char* FrHostHelpText();

}  // namespace fr
