// frhost: drives the component from the command line, as the platform would.

#include <iostream>
#include <string>
#include <vector>

#include "driver/driver_registry.h"
#include "tools/frhost/host_session.h"
#include "tools/frhost/native_component.h"
#include "tools/frhost/options.h"

int main(int argc, char** argv) {
    fr::TFrHostOptions options;
    std::string error;
    if (!fr::ParseFrHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "frhost: " << error << "\nTry frhost --help.\n";
        return 2;
    }
    if (options.Help) {
        std::cout << fr::FrHostHelpText();
        return 0;
    }
    fr::ApplyFrHostOptions(options);
    fr::RegisterDriverClasses();
    std::ios::sync_with_stdio(false);
    try {
        if (!options.NativeLibrary.empty())
            return fr::RunNativeHostSession(options.NativeLibrary, std::cin, std::cout, std::cerr);
        fr::RunHostSession(std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
