#pragma once
// frhost's command line.

#include <string>
#include <vector>

namespace fr {

struct TFrHostOptions {
    bool Help = false;
    std::string Platform = "8";  // "7.7" or "8"
    std::string DataDir;         // empty: the environment decides
    std::string NativeLibrary;   // empty: the component object linked in
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
