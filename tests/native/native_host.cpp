// native_host LIB: frhost --native for Windows, run under Wine, and for an older
// Linux system's root (linked as the shipped library is). It loads the library
// and speaks frhost's JSON-line protocol on standard input and output; the
// platform's side is frhost's own declaration of it.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <exception>
#include <iostream>

#include "tools/frhost/native_component.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: native_host LIB\n";
        return 2;
    }
#ifdef _WIN32
    // UTF-8 lines both ways, without line-end translation.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::ios::sync_with_stdio(false);
    try {
        return fr::RunNativeHostSession(argv[1], std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return 1;
    }
}
