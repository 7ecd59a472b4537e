// native_host LIB: frhost --native for Windows, run under Wine. It loads the
// DLL with LoadLibrary and speaks frhost's JSON-line protocol on standard input
// and output; the platform's side is frhost's own declaration of it.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <iostream>

#include "tools/frhost/native_component.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: native_host LIB\n";
        return 2;
    }
    // UTF-8 lines both ways, without line-end translation.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::ios::sync_with_stdio(false);
    try {
        return fr::RunNativeHostSession(argv[1], std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return 1;
    }
}
