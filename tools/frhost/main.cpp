// frhost: drives the component from the command line, as the platform would.

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver_registry.h"
#include "tools/frhost/call_watch.h"
#include "tools/frhost/command_call.h"
#include "tools/frhost/host_session.h"
#include "tools/frhost/log_echo.h"
#include "tools/frhost/options.h"

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "platform/text.h"
#include "tools/frhost/com_component.h"
#else
#include <unistd.h>

#include "support/log.h"
#include "tools/frhost/direct_component.h"
#include "tools/frhost/native_component.h"
#endif

namespace {

// The arguments in UTF-8 (on Windows from the wide command line, so that
// Cyrillic method names and texts arrive whole).
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const std::wstring w = wide[i];
        args.push_back(fr::Utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

// On a console the notices of one call rewrite one line; elsewhere each is a line.
void NoticeToStderr(const std::string& line) {
#ifdef _WIN32
    static const bool console = _isatty(_fileno(stderr)) != 0;
#else
    static const bool console = isatty(fileno(stderr)) != 0;
#endif
    if (console) {
        std::fputs(line.empty() ? "\n" : ("\r" + line).c_str(), stderr);
    } else if (!line.empty()) {
        std::fputs((line + "\n").c_str(), stderr);
    }
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    fr::TFrHostOptions options;
    std::string error;
    if (!fr::ParseFrHostOptions(Arguments(argc, argv), options, error)) {
        std::cerr << "frhost: " << error << "\nTry frhost --help.\n";
        return 2;
    }
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
    // Lines as they are: no CR added to the JSON replies or the results.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (options.Help) {
        std::cout << fr::FrHostHelpText();
        return 0;
    }
    fr::ApplyFrHostOptions(options);
    // The linked-in driver: the object itself on Linux, the names behind suggestions on Windows.
    fr::RegisterDriverClasses();
    std::unique_ptr<fr::TFrComponent> component;
    std::unique_ptr<fr::TLogFolderEcho> folderEcho;
#ifdef _WIN32
    {
        const std::u16string dll = fr::Utf8ToUtf16(options.Dll);
        auto com = fr::TComComponent::Create(std::wstring(dll.begin(), dll.end()), error);
        if (!com) {
            std::cerr << "frhost: " << error << '\n';
            return 1;
        }
        if (!options.Log.empty())
            folderEcho = std::make_unique<fr::TLogFolderEcho>(com->LogFolder());
        component = std::move(com);
    }
#else
    if (!options.NativeLibrary.empty()) {
        try {
            // JSON lines through the library alone: its breaches of the platform's
            // rules are reported when the session ends.
            if (options.Call.empty())
                return fr::RunNativeHostSession(options.NativeLibrary, std::cin, std::cout,
                                                std::cerr);
            component = std::make_unique<fr::TNativeComponent>(options.NativeLibrary);
        } catch (const std::exception& e) {
            std::cerr << "frhost: " << e.what() << '\n';
            return 1;
        }
    } else {
        component = std::make_unique<fr::TDirectComponent>();
        if (!options.Log.empty()) fr::TLog::SetLineSink(&fr::EchoLogText);
    }
#endif
    std::ios::sync_with_stdio(false);
    int status = 0;
    {
        fr::TCallWatch watch(std::chrono::seconds(options.NoticeSeconds), &NoticeToStderr);
        auto watched = std::make_unique<fr::TWatchedComponent>(std::move(component), watch);
        try {
            if (!options.Call.empty()) {
                status = fr::RunCommandLineCall(*watched, options, std::cout, std::cerr);
            } else {
                fr::RunHostSession(std::move(watched), std::cin, std::cout, std::cerr,
                                   [&](fr::TFrComponent& c) {
                                       if (!options.Log.empty()) fr::EnableDriverLog(c, options);
                                   });
            }
        } catch (const std::exception& e) {
            std::cerr << "frhost: " << e.what() << '\n';
            status = 1;
        }
    }
    folderEcho.reset();
#ifndef _WIN32
    fr::TLog::SetLineSink(nullptr);
#endif
    return status;
}
